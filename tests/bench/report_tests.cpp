// The figures' arithmetic and their two written forms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "bench/report.h"
#include "tests/bench/json_reader.h"

namespace {

TEST(Median, OddCountTakesTheMiddleOfTheSortedSamples) {
  EXPECT_DOUBLE_EQ(Median({9.0, 1.0, 5.0}), 5.0);
  EXPECT_DOUBLE_EQ(Median({3.0, 100.0, 2.0, 1.0, 4.0}), 3.0);
}

TEST(Median, EvenCountAveragesTheTwoMiddleSamples) {
  EXPECT_DOUBLE_EQ(Median({4.0, 1.0, 3.0, 2.0}), 2.5);
}

TEST(Median, OneOutlierDoesNotMoveIt) {
  EXPECT_DOUBLE_EQ(Median({10.0, 10.0, 10.0, 10.0, 1000.0}), 10.0);
}

TEST(Median, NoSamplesGiveZero) { EXPECT_DOUBLE_EQ(Median({}), 0.0); }

TEST(Ratio, IsValueOverFloor) { EXPECT_DOUBLE_EQ(RatioOf(3.0, 2.0), 1.5); }

TEST(Ratio, AFloorOfNoneGivesTheExcess) {
  EXPECT_DOUBLE_EQ(RatioOf(0.0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(RatioOf(2.0, 0.0), 2.0);
}

TEST(Target, AtMostHoldsUpToAndIncludingTheLimit) {
  EXPECT_EQ(CheckTarget("<= 1.15", 1.15), TargetState::Holds);
  EXPECT_EQ(CheckTarget("<= 1.15", 1.0), TargetState::Holds);
  EXPECT_EQ(CheckTarget("<= 1.15", 1.151), TargetState::Misses);
}

TEST(Target, AtLeastHoldsFromTheLimitUp) {
  EXPECT_EQ(CheckTarget(">= 0.8", 0.8), TargetState::Holds);
  EXPECT_EQ(CheckTarget(">= 0.8", 0.79), TargetState::Misses);
}

TEST(Target, StrictComparisonsExcludeTheLimit) {
  EXPECT_EQ(CheckTarget("< 1", 1.0), TargetState::Misses);
  EXPECT_EQ(CheckTarget("> 1", 1.0), TargetState::Misses);
  EXPECT_EQ(CheckTarget("> 1", 1.5), TargetState::Holds);
}

TEST(Target, ZeroAllocationsIsTheOnlyWayToHoldAtMostZero) {
  EXPECT_EQ(CheckTarget("<= 0", 0.0), TargetState::Holds);
  EXPECT_EQ(CheckTarget("<= 0", 0.05), TargetState::Misses);
}

TEST(Target, AMissingMeasurementNeverHolds) {
  EXPECT_EQ(CheckTarget(">= 0.8", std::nan("")), TargetState::Misses);
  EXPECT_EQ(CheckTarget("<= 1.1", std::nan("")), TargetState::Misses);
}

TEST(Target, InfoAndEmptyAreNoTarget) {
  EXPECT_EQ(CheckTarget("info", 123.0), TargetState::NoTarget);
  EXPECT_EQ(CheckTarget("", 123.0), TargetState::NoTarget);
}

TEST(Target, GarbageIsUnreadableRatherThanHolding) {
  EXPECT_EQ(CheckTarget("about 1", 1.0), TargetState::Unreadable);
  EXPECT_EQ(CheckTarget("<=", 1.0), TargetState::Unreadable);
  EXPECT_EQ(CheckTarget("<= 1.1x", 1.0), TargetState::Unreadable);
  EXPECT_EQ(CheckTarget("=< 1", 1.0), TargetState::Unreadable);
}

TEST(MakeFigure, FillsTheRatioFromValueAndFloor) {
  Figure f = MakeFigure("a", "b", 46.0, "ms", 40.0, "c", "<= 1.15");
  EXPECT_DOUBLE_EQ(f.ratio, 1.15);
  EXPECT_EQ(f.name, "a");
  EXPECT_EQ(f.unit, "ms");
  EXPECT_EQ(f.target, "<= 1.15");
}

TEST(JsonString, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("x\ny\tz"), "\"x\\ny\\tz\"");
  EXPECT_EQ(JsonString(std::string("\x01", 1)), "\"\\u0001\"");
}

TEST(FiguresToJson, ReadsBackAsAListWithEveryField) {
  std::vector<Figure> figures = {
      MakeFigure("frame.cards3", "SceneFrame \"3\" cards", 46.0, "ms", 40.0, "bare\\loop",
                 "<= 1.15"),
      MakeFigure("alloc.frame.ours", "allocations", 0.0, "allocs", 0.0, "none", "<= 0")};
  JsonValue doc;
  ASSERT_TRUE(JsonReader(FiguresToJson(figures)).Read(&doc));
  ASSERT_EQ(doc.kind, JsonValue::Array);
  ASSERT_EQ(doc.items.size(), 2u);
  const JsonValue &first = doc.items[0];
  ASSERT_EQ(first.kind, JsonValue::Object);
  EXPECT_EQ(first.Member("name")->text, "frame.cards3");
  EXPECT_EQ(first.Member("what")->text, "SceneFrame \"3\" cards");
  EXPECT_EQ(first.Member("floor_is")->text, "bare\\loop");
  EXPECT_DOUBLE_EQ(first.Member("value")->number, 46.0);
  EXPECT_DOUBLE_EQ(first.Member("floor")->number, 40.0);
  EXPECT_NEAR(first.Member("ratio")->number, 1.15, 1e-6);
  EXPECT_EQ(first.Member("unit")->text, "ms");
  EXPECT_EQ(first.Member("target")->text, "<= 1.15");
  EXPECT_DOUBLE_EQ(doc.items[1].Member("value")->number, 0.0);
}

TEST(FiguresToJson, AnEmptyListIsStillAList) {
  JsonValue doc;
  ASSERT_TRUE(JsonReader(FiguresToJson({})).Read(&doc));
  EXPECT_EQ(doc.kind, JsonValue::Array);
  EXPECT_TRUE(doc.items.empty());
}

TEST(FiguresToJson, AMissingMeasurementIsNullNotAnInvalidNumber) {
  JsonValue doc;
  std::string json =
      FiguresToJson({MakeFigure("m", "w", std::nan(""), "MB", 150.0, "budget", "<= 1.0")});
  ASSERT_TRUE(JsonReader(json).Read(&doc)) << json;
  EXPECT_EQ(doc.items[0].Member("value")->kind, JsonValue::Null);
  EXPECT_EQ(doc.items[0].Member("ratio")->kind, JsonValue::Null);
}

TEST(JsonReader, RejectsBrokenDocuments) {
  JsonValue v;
  EXPECT_FALSE(JsonReader("[{\"a\": 1,}]").Read(&v));
  EXPECT_FALSE(JsonReader("[{\"a\": 1}").Read(&v));
  EXPECT_FALSE(JsonReader("[1] x").Read(&v));
  EXPECT_FALSE(JsonReader("[nan]").Read(&v));
  EXPECT_FALSE(JsonReader("[\"a\nb\"]").Read(&v));
}

TEST(FiguresToMarkdown, OneRowPerFigureWithItsVerdict) {
  std::vector<Figure> figures = {MakeFigure("frame.cards3", "w", 50.0, "ms", 40.0, "f", "<= 1.15"),
                                 MakeFigure("init.scene", "w", 100.0, "ms", 100.0, "f", "<= 1.1"),
                                 MakeFigure("init.font", "w", 1.0, "ms", 100.0, "f", "info")};
  std::string md = FiguresToMarkdown(figures);
  size_t rows = 0;
  for (size_t at = md.find('\n'); at != std::string::npos; at = md.find('\n', at + 1)) ++rows;
  EXPECT_EQ(rows, 2u + figures.size()); // header, rule, figures
  size_t miss = md.find("**misses**");
  ASSERT_NE(miss, std::string::npos);
  EXPECT_LT(md.find("frame.cards3"), miss);
  EXPECT_GT(md.find("init.scene"), miss); // only the first row misses
  EXPECT_NE(md.find("holds"), std::string::npos);
  EXPECT_NE(md.find("| 1.25 |"), std::string::npos);
}

} // namespace
