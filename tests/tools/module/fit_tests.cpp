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

// Shape() with what a module carries besides: a song message, an instrument
// and its sample, whose data the writer puts last. Its offset tables lie at
// 0xC0 + 14: the instrument's, the sample's, then the 13 patterns'.
Module Full() {
  Module m = Shape();
  m.message = "cut me";
  velmor::it::Sample s;
  s.data.assign(3000, 1000);
  m.samples.push_back(s);
  velmor::it::Instrument i;
  i.sample = 1;
  m.instruments.push_back(i);
  return m;
}

constexpr size_t kTables = 0xC0 + 14;

uint32_t U32(const std::vector<uint8_t> &b, size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
         static_cast<uint32_t>(b.at(at + 3)) << 24;
}
void Put32(std::vector<uint8_t> *b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b->at(at + i) = static_cast<uint8_t>(v >> 8 * i);
}

uint64_t Needed(const std::vector<uint8_t> &b) {
  return velmor::it::BytesNeeded(b.data(), b.size());
}

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The one reason of a refused cut file, with the two figures it gives.
struct CutReason {
  bool one = false; // the only reason, and of the expected form
  unsigned long long size = 0, needed = 0;
};
CutReason Cut(const std::vector<uint8_t> &b, size_t size) {
  const Fit fit = velmor::fit::CheckModule(b.data(), size);
  CutReason r;
  char rest = 0;
  r.one =
      fit.reasons.size() == 1 &&
      std::sscanf(fit.reasons[0].c_str(), "the file is cut short or damaged; %llu of %llu bytes%c",
                  &r.size, &r.needed, &rest) == 2;
  EXPECT_TRUE(r.one) << "cut at " << size << ": " << ::testing::PrintToString(fit.reasons);
  return r;
}

TEST(ModuleSize, TheHeadersOfAWrittenModuleReachExactlyItsEnd) {
  const std::vector<uint8_t> full = velmor::it::WriteModule(Full());
  EXPECT_EQ(Needed(full), full.size());
  const std::vector<uint8_t> ours = ReadAll(VELMOR_MODULE);
  ASSERT_GT(ours.size(), 600000u) << VELMOR_MODULE;
  EXPECT_EQ(Needed(ours), ours.size());

  // Bytes after the last thing the headers point at are a later tracker's
  // additions, not damage.
  std::vector<uint8_t> longer = full;
  longer.resize(full.size() + 100, 0xEE);
  EXPECT_EQ(Needed(longer), full.size());
  EXPECT_EQ(velmor::fit::CheckModule(longer.data(), longer.size()).reasons, Reasons{});

  const std::string text = "velmor\n";
  EXPECT_EQ(velmor::it::BytesNeeded(reinterpret_cast<const uint8_t *>(text.data()), text.size()),
            0u);
  EXPECT_EQ(velmor::it::BytesNeeded(full.data(), 3), 0u) << "too short to say what it is";
}

TEST(ModuleSize, OffsetsAndLengthsPastTheEndAreMeasuredIn64Bits) {
  const std::vector<uint8_t> full = velmor::it::WriteModule(Full());
  const size_t sample = U32(full, kTables + 4);
  const uint64_t data = U32(full, sample + 0x48);

  std::vector<uint8_t> longSample = full;
  Put32(&longSample, sample + 0x30, 0xFFFFFFFF);
  EXPECT_EQ(Needed(longSample), data + 2 * 0xFFFFFFFFull);

  // A pattern offset past the end: at least its 8-byte header is needed.
  std::vector<uint8_t> farPattern = full;
  Put32(&farPattern, kTables + 8 + 4 * 12, 0xFFFFFFF0);
  EXPECT_EQ(Needed(farPattern), 0xFFFFFFF0ull + 8);
  const CutReason r = Cut(farPattern, farPattern.size());
  EXPECT_EQ(r.size, full.size());
  EXPECT_EQ(r.needed, 0xFFFFFFF0ull + 8);

  std::vector<uint8_t> farInstrument = full;
  Put32(&farInstrument, kTables, 0xFFFFFFFF);
  EXPECT_EQ(Needed(farInstrument), 0xFFFFFFFFull + 554);

  // The song message's length and place come from the header.
  std::vector<uint8_t> longMessage = full;
  longMessage[0x36] = longMessage[0x37] = 0xFF;
  EXPECT_EQ(Needed(longMessage), std::max<uint64_t>(full.size(), U32(full, 0x38) + 0xFFFFull));
}

TEST(ModuleSize, CompressedAndDeltaSamplesAreMeasuredByTheirOwnLayout) {
  // The sample's data is the file's last part, so it can be swapped for another.
  const std::vector<uint8_t> full = velmor::it::WriteModule(Full());
  const size_t sample = U32(full, kTables + 4);
  const size_t data = U32(full, sample + 0x48);
  ASSERT_EQ(data + 2 * 3000, full.size());

  // Compressed, 16-bit, stereo, 0x4001 frames: two blocks per channel, each led
  // by its length in bytes.
  std::vector<uint8_t> compressed(full.begin(), full.begin() + static_cast<long>(data));
  compressed[sample + 0x12] |= 4 | 8;
  Put32(&compressed, sample + 0x30, 0x4001);
  for (int block : {300, 40, 290, 1}) {
    compressed.push_back(static_cast<uint8_t>(block));
    compressed.push_back(static_cast<uint8_t>(block >> 8));
    compressed.insert(compressed.end(), static_cast<size_t>(block), 0);
  }
  EXPECT_EQ(Needed(compressed), compressed.size());
  EXPECT_EQ(Needed(std::vector<uint8_t>(compressed.begin(), compressed.end() - 1)),
            compressed.size());
  // Cut inside the third block's length: it and the next one cannot be found.
  const size_t third = data + 2 + 300 + 2 + 40;
  EXPECT_EQ(Needed(std::vector<uint8_t>(compressed.begin(), compressed.begin() + third + 1)),
            third + 2);

  // 8-bit stored as 4-bit deltas after a 16-byte table.
  std::vector<uint8_t> deltas(full.begin(), full.begin() + static_cast<long>(data));
  deltas[sample + 0x12] &= static_cast<uint8_t>(~2);
  deltas[sample + 0x2E] = 0xFF;
  deltas.resize(data + 16 + 1500);
  EXPECT_EQ(Needed(deltas), deltas.size());

  // A header without data needs none, whatever its length says.
  std::vector<uint8_t> empty(full.begin(), full.begin() + static_cast<long>(data));
  empty[sample + 0x12] = 0;
  EXPECT_EQ(Needed(empty), empty.size());
}

TEST(FitCheck, RefusesACutModuleInOneReasonWhereverTheCutFalls) {
  const std::vector<uint8_t> full = velmor::it::WriteModule(Full());
  ASSERT_EQ(velmor::fit::CheckModule(full.data(), full.size()).reasons, Reasons{});
  const size_t tables = kTables + 4 * (1 + 1 + 13);
  const size_t instrument = U32(full, kTables), sample = U32(full, kTables + 4);
  const size_t firstPattern = U32(full, kTables + 8);
  const size_t sampleData = U32(full, sample + 0x48);
  struct Case {
    const char *where;
    size_t cut;
    unsigned long long needed; // 0: the whole file
  };
  for (const Case &c :
       {Case{"in the header", 100, 0xC0}, Case{"in the offset tables", tables - 3, tables},
        Case{"in the instrument", instrument + 100, 0},
        Case{"in the sample header", sample + 70, 0},
        Case{"in a pattern's rows", firstPattern + 50, 0},
        Case{"in the sample data", sampleData + 10, 0},
        Case{"one byte short", full.size() - 1, 0}}) {
    SCOPED_TRACE(c.where);
    const CutReason r = Cut(full, c.cut);
    EXPECT_EQ(r.size, c.cut);
    if (c.needed != 0) {
      EXPECT_EQ(r.needed, c.needed);
    } else {
      // Headers that lie past the cut cannot say how far their data goes, so
      // the figure is the most the readable headers reach: above the cut, and
      // the whole file once every sample header is in.
      EXPECT_GT(r.needed, c.cut);
      EXPECT_LE(r.needed, full.size());
      if (c.cut >= sample + 80) {
        EXPECT_EQ(r.needed, full.size());
      }
    }
  }
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

TEST(FitCommand, SaysOurModuleCutShortIsCutInOneLine) {
  // Cut to 43 %, every header is in and the figure is the whole file; cut to
  // 1000 bytes, only the offset tables are, and it is where they reach.
  const std::vector<uint8_t> ours = ReadAll(VELMOR_MODULE);
  for (size_t size : {ours.size() * 43 / 100, size_t{1000}}) {
    const std::string cut = Temp("cut.it");
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char *>(ours.data()), static_cast<long>(size));
    const ToolRun run = Tool("--check \"" + cut + "\"");
    std::filesystem::remove(cut);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const std::string line = "velmor-module: " + cut + ": the file is cut short or damaged; " +
                             std::to_string(size) + " of ";
    EXPECT_EQ(run.err.rfind(line, 0), 0u) << run.err;
    if (size > 1000) {
      EXPECT_EQ(run.err, line + std::to_string(ours.size()) + " bytes\n");
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.find("rows"), std::string::npos) << run.err;
  }
}

} // namespace
