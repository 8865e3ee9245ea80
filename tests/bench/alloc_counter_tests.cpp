// The allocation counter must see what it claims to see, or its zero for a
// frame would prove nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/alloc_counter.h"

namespace {

// Keeps the compiler from removing an allocation whose result is unused.
void Escape(void *p) { asm volatile("" : : "g"(p) : "memory"); }

TEST(AllocCounter, CountsMallocFromOurCodeAsOursAndAsTheProcesss) {
  AllocCountingStart();
  void *p = std::malloc(100);
  Escape(p);
  AllocCounts counts = AllocCountingStop();
  std::free(p);
  EXPECT_EQ(counts.ours, 1u);
  EXPECT_GE(counts.process, 1u);
}

TEST(AllocCounter, CountsOperatorNewCallocAndRealloc) {
  AllocCountingStart();
  int *n = new int(7);
  Escape(n);
  int *a = new int[16];
  Escape(a);
  void *c = std::calloc(4, 8);
  Escape(c);
  void *r = std::realloc(c, 4096);
  Escape(r);
  AllocCounts counts = AllocCountingStop();
  delete n;
  delete[] a;
  std::free(r);
  EXPECT_EQ(counts.ours, 4u);
  EXPECT_GE(counts.process, 4u);
}

TEST(AllocCounter, AnAllocationInsideASharedLibraryIsTheProcesssOnly) {
  AllocCountingStart();
  // The C library allocates the FILE record itself.
  FILE *f = std::fopen("/dev/null", "r");
  AllocCounts counts = AllocCountingStop();
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(counts.ours, 0u);
  EXPECT_GE(counts.process, 1u);
  EXPECT_NE(AllocFirstProcessCaller(), nullptr);
}

TEST(AllocCounter, NothingIsCountedWhileStoppedAndStartBeginsFromZero) {
  AllocCountingStart();
  void *p = std::malloc(10);
  Escape(p);
  AllocCountingStop();
  void *q = std::malloc(10);
  Escape(q);
  std::free(p);
  std::free(q);
  AllocCountingStart();
  AllocCounts counts = AllocCountingStop();
  EXPECT_EQ(counts.ours, 0u);
  EXPECT_EQ(counts.process, 0u);
  EXPECT_EQ(AllocFirstProcessCaller(), nullptr);
}

TEST(AllocCounter, FreeingIsNotAnAllocation) {
  void *p = std::malloc(64);
  Escape(p);
  AllocCountingStart();
  std::free(p);
  AllocCounts counts = AllocCountingStop();
  EXPECT_EQ(counts.ours, 0u);
  EXPECT_EQ(counts.process, 0u);
}

} // namespace
