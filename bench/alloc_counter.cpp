#include "bench/alloc_counter.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *block);

void *__real_malloc(size_t size);
void *__real_calloc(size_t count, size_t size);
void *__real_realloc(void *block, size_t size);
void *__real__Znwm(size_t size);
void *__real__Znam(size_t size);
void *__real__ZnwmRKSt9nothrow_t(size_t size, const std::nothrow_t &tag);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<uint64_t> processCount{0};
std::atomic<uint64_t> ourCount{0};
std::atomic<void *> firstCaller{nullptr};

// Runs inside malloc: no allocation, no locks, no library calls.
inline void CountProcess(void *caller) {
  if (!counting.load(std::memory_order_relaxed)) return;
  if (processCount.fetch_add(1, std::memory_order_relaxed) == 0)
    firstCaller.store(caller, std::memory_order_relaxed);
}

inline void CountOurs() {
  if (counting.load(std::memory_order_relaxed)) ourCount.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

void AllocCountingStart() {
  processCount.store(0);
  ourCount.store(0);
  firstCaller.store(nullptr);
  counting.store(true, std::memory_order_seq_cst);
}

AllocCounts AllocCountingStop() {
  counting.store(false, std::memory_order_seq_cst);
  return AllocCounts{processCount.load(), ourCount.load()};
}

void *AllocFirstProcessCaller() { return firstCaller.load(); }

// The process-wide replacements: glibc's own allocator underneath.
extern "C" {

void *malloc(size_t size) {
  CountProcess(__builtin_return_address(0));
  return __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
  CountProcess(__builtin_return_address(0));
  return __libc_calloc(count, size);
}

void *realloc(void *block, size_t size) {
  CountProcess(__builtin_return_address(0));
  return __libc_realloc(block, size);
}

void *memalign(size_t alignment, size_t size) {
  CountProcess(__builtin_return_address(0));
  return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) {
  CountProcess(__builtin_return_address(0));
  return __libc_memalign(alignment, size);
}

int posix_memalign(void **result, size_t alignment, size_t size) {
  CountProcess(__builtin_return_address(0));
  void *block = __libc_memalign(alignment, size);
  if (block == nullptr) return 12; // ENOMEM
  *result = block;
  return 0;
}

void free(void *block) { __libc_free(block); }

// Calls from this executable's own code.
void *__wrap_malloc(size_t size) {
  CountOurs();
  return __real_malloc(size);
}

void *__wrap_calloc(size_t count, size_t size) {
  CountOurs();
  return __real_calloc(count, size);
}

void *__wrap_realloc(void *block, size_t size) {
  CountOurs();
  return __real_realloc(block, size);
}

void *__wrap__Znwm(size_t size) {
  CountOurs();
  return __real__Znwm(size);
}

void *__wrap__Znam(size_t size) {
  CountOurs();
  return __real__Znam(size);
}

void *__wrap__ZnwmRKSt9nothrow_t(size_t size, const std::nothrow_t &tag) {
  CountOurs();
  return __real__ZnwmRKSt9nothrow_t(size, tag);
}

} // extern "C"
