// The check that a module fits the show: our module against the figures of its
// report, and modules of our writer's making, each broken in one way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "scene/timeline_table.h"
#include "tools/module/fit.h"
#include "tools/module/it_format.h"

namespace {

using velmor::fit::Fit;
using velmor::it::Module;
using Reasons = std::vector<std::string>;

constexpr int kRows = 192; // just enough for row 191, the last row the table waits for

// Silent, 13 orders of their own 192-row patterns, at speed 1 and tempo 250:
// a row lasts 10 ms, so order o row r starts at (192 o + r) / 100 s.
Module Shape() {
  Module m;
  m.initialSpeed = 1;
  m.initialTempo = 250;
  m.channelsUsed = 1;
  for (int o = 0; o < 13; ++o) {
    m.patterns.emplace_back(kRows, 1);
    m.orders.push_back(o);
  }
  return m;
}

// Puts effect B (jump to order) or C (break to the next order) at an order's row.
Module With(Module m, int order, int row, char effect, int param) {
  velmor::it::Cell &c = m.patterns[static_cast<size_t>(order)].At(row, 0);
  c.command = effect - 'A' + 1;
  c.param = param;
  return m;
}

Fit Check(const Module &m) {
  const std::vector<uint8_t> bytes = velmor::it::WriteModule(m);
  return velmor::fit::CheckModule(bytes.data(), bytes.size());
}

std::string Temp(const std::string &name) {
  return (std::filesystem::temp_directory_path() /
          ("velmor-fit-" + std::to_string(getpid()) + "-" + name))
      .string();
}

TEST(FitCheck, OurModuleFitsWithItsCardsAtTheReportedOrderStarts) {
  const Fit fit = velmor::fit::CheckModuleFile(VELMOR_MODULE);
  EXPECT_EQ(fit.reasons, Reasons{});
  ASSERT_EQ(fit.steps.size(), transitions.size());
  // docs/module_report.txt: "duration: 199.68 s (libopenmpt)", then one line per order.
  std::ifstream report(VELMOR_MODULE_REPORT);
  std::vector<double> orderStart;
  double duration = 0;
  for (std::string line; std::getline(report, line);) {
    int order = 0;
    double start = 0;
    if (std::sscanf(line.c_str(), "duration: %lf s", &duration) == 1) continue;
    if (std::sscanf(line.c_str(), "%d %lf", &order, &start) == 2 &&
        order == static_cast<int>(orderStart.size()))
      orderStart.push_back(start);
  }
  ASSERT_EQ(orderStart.size(), 13u) << VELMOR_MODULE_REPORT;
  EXPECT_NEAR(fit.passSeconds, duration, 0.006);
  EXPECT_NEAR(fit.endSeconds, duration, 0.01) << "the show ends when the song loops";
  for (size_t j = 0; j < fit.steps.size(); ++j) {
    if (j > 0) {
      EXPECT_GT(fit.steps[j].seconds, fit.steps[j - 1].seconds) << "step " << j;
    }
    if (transitions[j].rowFrom == anyRow) {
      EXPECT_NEAR(fit.steps[j].seconds, orderStart[transitions[j].order], 0.006) << "step " << j;
    }
  }
}

TEST(FitCheck, ReportsEachCardAtItsRowAndTheEndAtTheLoop) {
  const Fit fit = Check(Shape());
  ASSERT_EQ(fit.reasons, Reasons{});
  ASSERT_EQ(fit.steps.size(), transitions.size());
  for (size_t j = 0; j < transitions.size(); ++j) {
    const Transition &t = transitions[j];
    EXPECT_EQ(fit.steps[j].card, t.card);
    const uint32_t row = t.rowFrom == anyRow ? 0 : t.rowFrom;
    // A mark comes at the start of a 128-frame chunk: up to 3 ms after the row's start.
    EXPECT_NEAR(fit.steps[j].seconds, (kRows * t.order + row) / 100.0 + 0.0015, 0.002) << j;
  }
  EXPECT_NEAR(fit.passSeconds, 13 * kRows / 100.0, 0.001);
  EXPECT_NEAR(fit.endSeconds, 13 * kRows / 100.0 + 0.0015, 0.002);
}

TEST(FitCheck, RefusesOrdersTooShortOrMissingForTheTable) {
  Module shortOrder7 = Shape();
  shortOrder7.patterns[7] = velmor::it::Pattern(100, 1);
  EXPECT_EQ(Check(shortOrder7).reasons, Reasons{"order 7 has 100 rows; card 29 waits for row 127"});

  // One row short everywhere: every entry that waits for row 191, and no other.
  Module allShort = Shape();
  for (velmor::it::Pattern &p : allShort.patterns) p = velmor::it::Pattern(kRows - 1, 1);
  Reasons expected;
  for (const Transition &t : transitions)
    if (t.rowFrom == kRows - 1)
      expected.push_back("order " + std::to_string(t.order) + " has 191 rows; card " +
                         std::to_string(t.card) + " waits for row 191");
  EXPECT_EQ(expected.size(), 9u);
  EXPECT_EQ(Check(allShort).reasons, expected);

  Module tenOrders = Shape();
  tenOrders.orders.resize(10);
  EXPECT_EQ(Check(tenOrders).reasons,
            (Reasons{"the module has 10 orders; card 38 waits for order 10",
                     "the module has 10 orders; card 39 and the end of the show wait for order "
                     "11"}));
}

TEST(FitCheck, RefusesOrdersOutOfSequenceSkippedOrCutShort) {
  // Played 0-6, 8, 7, 9-12: order 8's cards come before card 29 in order 7.
  const Fit swapped =
      Check(With(With(With(Shape(), 6, 191, 'B', 8), 8, 191, 'B', 7), 7, 191, 'B', 9));
  ASSERT_EQ(swapped.reasons.size(), 4u);
  EXPECT_EQ(swapped.reasons[0],
            "card 30 waits for order 8 after card 29 (order 7 row 127, 16.63 s), "
            "but the music plays it only before that (13.44 s); play order 8 "
            "after order 7 row 127");
  for (int card = 31; card <= 33; ++card)
    EXPECT_EQ(swapped.reasons[card - 30].rfind("card " + std::to_string(card) + " waits for", 0),
              0u);

  EXPECT_EQ(Check(With(Shape(), 8, 191, 'B', 10)).reasons,
            Reasons{"order 9 is never played before the music goes back to order 0 (it plays "
                    "orders 0-8, 10-12); cards 34, 35, 36 and 37 wait for it"});
  EXPECT_EQ(Check(With(Shape(), 6, 150, 'C', 0)).reasons,
            Reasons{"order 6 stops at row 150 (a jump or break there); card 26 waits for row 191"});
}

TEST(FitCheck, RefusesAReturnToOrder0BeforeTheEndIsArmedAndNoReturnAtAll) {
  const std::string never = ", so the show would never end; go back to order 0 only after order "
                            "11 row 127";
  EXPECT_EQ(Check(With(Shape(), 10, 150, 'B', 0)).reasons,
            Reasons{"the music goes back to order 0 at 20.71 s (from order 10 row 150) before "
                    "card 39 (order 11) has come" +
                    never});
  // The cards cut off there are one reason, not one each.
  EXPECT_EQ(Check(With(Shape(), 6, 150, 'B', 0)).reasons,
            Reasons{"the music goes back to order 0 at 13.03 s (from order 6 row 150) before "
                    "card 26 (order 6 row 191) has come" +
                    never});
  EXPECT_EQ(Check(With(Shape(), 11, 100, 'B', 0)).reasons,
            Reasons{"the music goes back to order 0 at 22.13 s (from order 11 row 100) before "
                    "the end of the show (order 11 row 127) has come" +
                    never});
  EXPECT_EQ(Check(With(Shape(), 12, 191, 'B', 3)).reasons,
            Reasons{"the music never goes back to order 0 (followed for one pass, 24.96 s, and "
                    "2 s more), where the show ends; let the song run out after its last order, "
                    "or end it with a jump to order 0 after order 11 row 127"});
}

TEST(FitCheck, SaysWhenAFileIsNoModuleOrCannotBeRead) {
  const std::string text = "velmor\n";
  EXPECT_EQ(velmor::fit::CheckModule(text.data(), text.size()).reasons,
            Reasons{"not a module the intro can play (libopenmpt: error loading file)"});
  EXPECT_EQ(velmor::fit::CheckModuleFile(Temp("absent.it")).reasons,
            Reasons{"cannot read it: No such file or directory"});
}

// Runs the tool; its exit status, standard output and standard error.
struct ToolRun {
  int status;
  std::string out, err;
};
ToolRun Tool(const std::string &arguments) {
  const std::string out = Temp("out"), err = Temp("err");
  const std::string command = std::string("\"") + VELMOR_MODULE_GENERATOR + "\" " + arguments +
                              " >\"" + out + "\" 2>\"" + err + "\"";
  const int status = std::system(command.c_str());
  auto read = [](const std::string &path) {
    std::ifstream in(path);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(path);
    return text;
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(out), read(err)};
}

TEST(FitCommand, PrintsTheTimesOrEveryReasonWithTheFileAndExitsAccordingly) {
  const ToolRun ours = Tool(std::string("--check \"") + VELMOR_MODULE + "\"");
  EXPECT_EQ(ours.status, 0);
  EXPECT_EQ(ours.err, "");
  EXPECT_NE(ours.out.find("fits the show: 40 cards\nlength: 199.68 s (one pass)\n"),
            std::string::npos)
      << ours.out;
  EXPECT_NE(ours.out.find("\n   3      1  any     15.36\n"), std::string::npos) << ours.out;

  const std::string broken = Temp("broken.it");
  Module m = With(Shape(), 10, 150, 'B', 0);
  m.patterns[7] = velmor::it::Pattern(100, 1);
  const std::vector<uint8_t> bytes = velmor::it::WriteModule(m);
  std::ofstream(broken, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<long>(bytes.size()));
  const ToolRun refused = Tool("--check \"" + broken + "\"");
  std::filesystem::remove(broken);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  const std::string prefix = "velmor-module: " + broken + ": ";
  EXPECT_EQ(refused.err.rfind(prefix + "order 7 has 100 rows; card 29 waits for row 127\n" +
                                  prefix + "the music goes back to order 0 at 19.79 s",
                              0),
            0u)
      << refused.err;
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 2) << refused.err;

  EXPECT_EQ(Tool("--check").status, 2);
  EXPECT_EQ(Tool("--check a.it b.it").status, 2);
  const ToolRun folder = Tool("--check /");
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "velmor-module: /: cannot read it: it is a folder\n");
}

} // namespace
