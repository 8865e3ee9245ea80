// One quick run of velmor-bench: its JSON must be well-formed and complete,
// its page must show every figure, and a steady-state frame must allocate
// nothing in our code. Timings are never judged here: a slow or busy machine
// gives other numbers, not a failure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/report.h"
#include "tests/bench/json_reader.h"

namespace {

std::string ReadText(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class QuickRun : public ::testing::Test {
protected:
  // ctest's bench_quick_run has written the files; run alone, the binary
  // makes them itself.
  static void SetUpTestSuite() {
    folder = VELMOR_QUICK_DIR;
    json = folder + "/bench.json";
    markdown = folder + "/PERFORMANCE.md";
    if (access(json.c_str(), R_OK) != 0) {
      std::string command = std::string("cd '") + VELMOR_SOURCE_DIR + "' && '" + VELMOR_BENCH +
                            "' --quick --json '" + json + "' --markdown '" + markdown +
                            "' > /dev/null 2> '" + folder + "/err.txt'";
      int status = std::system(command.c_str());
      exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
      exitStatus = 0;
    }
    parsed = JsonReader(ReadText(json)).Read(&doc);
  }

  static const JsonValue *Find(const std::string &name) {
    for (const JsonValue &item : doc.items) {
      const JsonValue *n = item.Member("name");
      if (n != nullptr && n->text == name) return &item;
    }
    return nullptr;
  }

  static inline std::string folder, json, markdown;
  static inline int exitStatus = -1;
  static inline bool parsed = false;
  static inline JsonValue doc;
};

const char *const requiredFigures[] = {
    "init.scene",    "init.jpeg_textures", "init.jpeg_decode",      "init.mipmaps",
    "init.font",     "init.glow_target",   "init.module_load",      "frame.cards0",
    "frame.cards1",  "frame.cards3",       "alloc.frame.ours",      "alloc.frame.process",
    "audio.cpu",     "audio.render",       "audio.spectrum",        "alloc.audio.ours",
    "capture.speed", "memory.intro",       "memory.intro_absolute", "memory.capture"};

TEST_F(QuickRun, EndsWithSuccessAndWritesAWellFormedList) {
  EXPECT_EQ(exitStatus, 0) << ReadText(folder + "/err.txt");
  ASSERT_FALSE(ReadText(json).empty()) << "no " << json;
  ASSERT_TRUE(parsed) << ReadText(json);
  ASSERT_EQ(doc.kind, JsonValue::Array);
  EXPECT_FALSE(doc.items.empty());
}

TEST_F(QuickRun, EveryFigureHasEveryFieldOfItsType) {
  ASSERT_TRUE(parsed);
  std::set<std::string> names;
  for (const JsonValue &item : doc.items) {
    ASSERT_EQ(item.kind, JsonValue::Object);
    const JsonValue *name = item.Member("name");
    ASSERT_NE(name, nullptr);
    ASSERT_EQ(name->kind, JsonValue::String);
    EXPECT_FALSE(name->text.empty());
    EXPECT_TRUE(names.insert(name->text).second) << "twice: " << name->text;
    for (const char *field : {"value", "floor", "ratio"}) {
      const JsonValue *v = item.Member(field);
      ASSERT_NE(v, nullptr) << name->text << " lacks " << field;
      EXPECT_EQ(v->kind, JsonValue::Number) << name->text << "." << field << " not measured";
    }
    for (const char *field : {"unit", "target"}) {
      const JsonValue *v = item.Member(field);
      ASSERT_NE(v, nullptr) << name->text << " lacks " << field;
      EXPECT_EQ(v->kind, JsonValue::String) << name->text << "." << field;
    }
    EXPECT_FALSE(item.Member("unit")->text.empty()) << name->text;
    EXPECT_NE(CheckTarget(item.Member("target")->text, 1.0), TargetState::Unreadable)
        << name->text << ": " << item.Member("target")->text;
  }
  for (const char *required : requiredFigures)
    EXPECT_EQ(names.count(required), 1u) << "missing " << required;
}

TEST_F(QuickRun, EveryRatioIsItsValueOverItsFloor) {
  ASSERT_TRUE(parsed);
  for (const JsonValue &item : doc.items) {
    const JsonValue *value = item.Member("value"), *floor = item.Member("floor"),
                    *ratio = item.Member("ratio");
    if (value == nullptr || floor == nullptr || ratio == nullptr ||
        value->kind != JsonValue::Number || floor->kind != JsonValue::Number)
      continue;
    double expected = RatioOf(value->number, floor->number);
    EXPECT_NEAR(ratio->number, expected, 1e-4 * std::fabs(expected) + 1e-9)
        << item.Member("name")->text;
  }
}

TEST_F(QuickRun, MeasuredQuantitiesArePositive) {
  ASSERT_TRUE(parsed);
  for (const char *name :
       {"init.scene", "frame.cards0", "frame.cards3", "audio.cpu", "audio.spectrum",
        "capture.speed", "memory.intro", "memory.intro_absolute"}) {
    const JsonValue *f = Find(name);
    ASSERT_NE(f, nullptr) << name;
    EXPECT_GT(f->Member("value")->number, 0.0) << name;
    EXPECT_GT(f->Member("floor")->number, 0.0) << name;
  }
}

// The intro's memory is judged against its measured floor; the fixed size
// stays beside it as information. Both describe the same run of the intro.
// The floor is the intro's program less its show, so it stays below the
// intro: one at or above it carries something of the show, or is no floor.
TEST_F(QuickRun, TheIntrosMemoryIsJudgedAgainstItsMeasuredFloor) {
  ASSERT_TRUE(parsed);
  const JsonValue *judged = Find("memory.intro"), *absolute = Find("memory.intro_absolute");
  ASSERT_NE(judged, nullptr);
  ASSERT_NE(absolute, nullptr);
  EXPECT_EQ(judged->Member("target")->text, "<= 1.1");
  EXPECT_EQ(absolute->Member("target")->text, "info");
  EXPECT_EQ(judged->Member("value")->number, absolute->Member("value")->number);
  EXPECT_NE(judged->Member("floor")->number, absolute->Member("floor")->number)
      << "the floor is a measured program, not the fixed size";
  EXPECT_LT(judged->Member("floor")->number, judged->Member("value")->number);
}

TEST_F(QuickRun, ASteadyFrameAllocatesNothingInOurCode) {
  ASSERT_TRUE(parsed);
  const JsonValue *frame = Find("alloc.frame.ours");
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->Member("value")->number, 0.0);
  EXPECT_EQ(frame->Member("target")->text, "<= 0");
}

TEST_F(QuickRun, RenderingAudioAllocatesNothingInOurCode) {
  ASSERT_TRUE(parsed);
  const JsonValue *audio = Find("alloc.audio.ours");
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->Member("value")->number, 0.0);
}

TEST_F(QuickRun, ThePageDescribesTheMachineAndShowsEveryFigure) {
  std::string page = ReadText(markdown);
  ASSERT_FALSE(page.empty());
  for (const char *heading :
       {"## Machine", "processor", "GL renderer", "libjpeg-turbo", "libopenmpt", "memory"})
    EXPECT_NE(page.find(heading), std::string::npos) << heading;
  for (const JsonValue &item : doc.items)
    EXPECT_NE(page.find("`" + item.Member("name")->text + "`"), std::string::npos)
        << item.Member("name")->text;
}

} // namespace
