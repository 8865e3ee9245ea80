// velmor-bench: measures start-up, frames, audio, capture and memory, each
// against a floor measured in the same run, and writes the figures as a JSON
// list and as a Markdown page with the machine they were measured on.
//
//   velmor-bench [--quick] [--json FILE] [--markdown FILE]
//
// Run it in the folder that holds torva_velmor2.it. --quick does one
// repetition of tiny workloads (for tests: it shows the program works and the
// figures are complete, not how fast anything is).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <GL/glu.h>
#include <jpeglib.h>
#include <libopenmpt/libopenmpt.h>

#include "bench/children.h"
#include "bench/report.h"
#include "bench/scene_bench.h"

namespace {

struct Options {
  bool quick = false;
  std::string json, markdown;
  int loopFps = 0; // --render-loop FPS SECONDS: the capture floor's child
  double loopSeconds = 0;
};

std::string FirstLineOf(const std::string &path, const std::string &key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) {
      size_t colon = line.find(':');
      std::string v = colon == std::string::npos ? line : line.substr(colon + 1);
      size_t start = v.find_first_not_of(" \t");
      return start == std::string::npos ? "" : v.substr(start);
    }
  return "unknown";
}

std::string CommandFirstLine(const char *command) {
  FILE *p = popen(command, "r");
  if (p == nullptr) return "unknown";
  char line[256] = {0};
  if (std::fgets(line, sizeof line, p) == nullptr) line[0] = '\0';
  pclose(p);
  std::string s = line;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s.empty() ? "unknown" : s;
}

std::string MachineDescription() {
  std::ostringstream out;
  utsname names{};
  uname(&names);
  long cores = sysconf(_SC_NPROCESSORS_ONLN);
  std::string memKb = FirstLineOf("/proc/meminfo", "MemTotal");
  double memGiB = std::atof(memKb.c_str()) / 1024.0 / 1024.0;
  char mem[32];
  std::snprintf(mem, sizeof mem, "%.1f GiB", memGiB);
  const char *openmpt = openmpt_get_string("library_version");
  const char *glu = reinterpret_cast<const char *>(gluGetString(GLU_VERSION));
  out << "| | |\n| --- | --- |\n";
  out << "| processor | " << FirstLineOf("/proc/cpuinfo", "model name") << " |\n";
  out << "| cores online | " << cores << " |\n";
  out << "| memory | " << mem << " |\n";
  out << "| load average at start | " << FirstLineOf("/proc/loadavg", "") << " |\n";
  out << "| kernel | " << names.sysname << " " << names.release << " |\n";
  out << "| GL renderer | " << GlRendererName() << " |\n";
  out << "| GL version | " << GlVersionName() << " |\n";
  out << "| GLU | " << (glu != nullptr ? glu : "unknown") << " |\n";
  out << "| libjpeg-turbo | " << LIBJPEG_TURBO_VERSION_NUMBER / 1000000 << "."
      << LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000 << "." << LIBJPEG_TURBO_VERSION_NUMBER % 1000
      << " (API " << JPEG_LIB_VERSION << ") |\n";
  out << "| libopenmpt | " << (openmpt != nullptr ? openmpt : "unknown") << " |\n";
  std::string ffmpeg = CommandFirstLine("ffmpeg -hide_banner -version 2>/dev/null");
  size_t copyright = ffmpeg.find(" Copyright");
  if (copyright != std::string::npos) ffmpeg.resize(copyright);
  out << "| ffmpeg | " << ffmpeg << " |\n";
  out << "| compiler | GCC " << __VERSION__ << " |\n";
  openmpt_free_string(openmpt);
  return out.str();
}

int ParseArguments(int argc, char **argv, Options *o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--quick") {
      o->quick = true;
    } else if (a == "--json" && i + 1 < argc) {
      o->json = argv[++i];
    } else if (a == "--markdown" && i + 1 < argc) {
      o->markdown = argv[++i];
    } else if (a == "--render-loop" && i + 2 < argc) {
      o->loopFps = std::atoi(argv[++i]);
      o->loopSeconds = std::atof(argv[++i]);
      if (o->loopFps <= 0 || o->loopSeconds <= 0) return 2;
    } else {
      std::fprintf(stderr, "usage: velmor-bench [--quick] [--json FILE] [--markdown FILE]\n"
                           "(run it in the folder that holds torva_velmor2.it)\n");
      return 2;
    }
  }
  return 0;
}

// velmor-capture against the same frames rendered and read back with nothing
// written; both whole processes, start-up included, taken in turn.
void MeasureCapture(bool quick, std::vector<Figure> *figures, double *renderLoopMB,
                    double *captureMB) {
  const int fps = quick ? 10 : 30;
  const double seconds = quick ? 1.0 : 2.0;
  const int reps = quick ? 1 : 3;
  char scratch[] = "/tmp/velmor-bench-XXXXXX";
  if (mkdtemp(scratch) == nullptr) return;
  std::string video = std::string(scratch) + "/capture.mp4";
  std::vector<double> captureSpeed, floorSpeed, captureCpu, floorCpu, captureMem, floorMem;
  for (int rep = 0; rep < reps; ++rep) {
    ChildResult c = RunChild({VELMOR_CAPTURE, "--fps", std::to_string(fps), "--to",
                              std::to_string(seconds), "-o", video},
                             {}, 0.0);
    ChildResult f = RunChild(
        {"/proc/self/exe", "--render-loop", std::to_string(fps), std::to_string(seconds)}, {}, 0.0);
    std::remove(video.c_str());
    if (!c.ran || c.exitStatus != 0 || !f.ran || f.exitStatus != 0) {
      std::fprintf(stderr, "velmor-bench: capture %d, render loop %d: not counted\n", c.exitStatus,
                   f.exitStatus);
      continue;
    }
    captureSpeed.push_back(seconds / c.wallSeconds);
    floorSpeed.push_back(seconds / f.wallSeconds);
    captureCpu.push_back(c.cpuSeconds / seconds);
    floorCpu.push_back(f.cpuSeconds / seconds);
    captureMem.push_back(c.peakMB);
    floorMem.push_back(f.peakMB);
  }
  rmdir(scratch);
  double nan = std::nan("");
  auto median = [&](const std::vector<double> &v) { return v.empty() ? nan : Median(v); };
  std::string run = "--fps " + std::to_string(fps) + " --to " + std::to_string(int(seconds));
  figures->push_back(MakeFigure("capture.speed", "velmor-capture " + run + " to MP4, whole process",
                                median(captureSpeed), "video s per s", median(floorSpeed),
                                "same frames rendered and read back, nothing written", ">= 0.8"));
  figures->push_back(MakeFigure("capture.cpu", "processor time of the capture, ffmpeg included",
                                median(captureCpu), "cpu s per video s", median(floorCpu),
                                "same frames rendered and read back, nothing written", "info"));
  *captureMB = median(captureMem);
  *renderLoopMB = median(floorMem);
}

struct MemoryRun {
  double introMB = std::nan(""); // peak resident size of the intro
  double floorMB = std::nan(""); // and of velmor-bench-memory-floor
  std::vector<MappingShare> introMapping, floorMapping;
};

// The intro and its floor one after the other under one Xvfb, with the same
// environment, each stopped by SIGINT after `seconds`, which the shell they
// share takes as a request to close. The floor is given the intro's 43
// picture names from the scene's own list, so the two cannot load different
// pictures.
MemoryRun MeasureMemory(double seconds) {
  MemoryRun run;
  XServer x = StartXvfb();
  if (x.pid == 0) {
    std::fprintf(stderr, "velmor-bench: no Xvfb; the intro's memory is not measured\n");
    return run;
  }
  const std::vector<std::string> environment = {"DISPLAY=" + x.display, "SDL_AUDIODRIVER=disk",
                                                "SDL_DISKAUDIOFILE=/dev/null"};
  ChildResult intro = RunChild({VELMOR_INTRO}, environment, seconds, &run.introMapping);
  std::vector<std::string> floorArgv = {VELMOR_MEMORY_FLOOR};
  for (const char *name : JpegNames()) floorArgv.push_back(name);
  ChildResult floor = RunChild(floorArgv, environment, seconds, &run.floorMapping);
  StopXvfb(&x);
  // Each program's own file under one name, so the two rows line up.
  for (auto [mapping, path] : {std::pair{&run.introMapping, VELMOR_INTRO},
                               std::pair{&run.floorMapping, VELMOR_MEMORY_FLOOR}}) {
    std::string base = path;
    base = base.substr(base.rfind('/') + 1);
    for (MappingShare &m : *mapping)
      if (m.name == base) m.name = "the program's file";
  }
  if (intro.ran) run.introMB = intro.peakMB;
  // Counted only when it ran until our signal and then closed as the intro
  // does: any other end means it never held every texture or stopped drawing
  // them before the intro would have, and its size would be no floor.
  if (floor.ran && floor.exitStatus == 0 && floor.wallSeconds >= seconds)
    run.floorMB = floor.peakMB;
  else
    std::fprintf(stderr, "velmor-bench: the memory floor ended with %d: not counted\n",
                 floor.exitStatus);
  return run;
}

bool WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string Page(const std::vector<Figure> &figures, const MemoryRun &memory,
                 const std::string &machine, const std::string &when, double seconds, bool quick);

// The section of an earlier page that this program does not write, from its
// heading to the end; empty when there is none.
std::string KeptSection(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string page = text.str();
  size_t at = page.find("\n## The page's sound\n");
  return at == std::string::npos ? "" : "\n" + page.substr(at + 1);
}

} // namespace

int main(int argc, char **argv) {
  Options options;
  if (ParseArguments(argc, argv, &options) != 0) return 2;
  if (options.loopFps > 0) return RunRenderLoop(options.loopFps, options.loopSeconds);
  // A failed run must never leave an earlier run's figures looking current.
  // The page is measured in the browser by other tools
  // (tools/web/sound_figures.mjs, tools/web/engine_figures.sh): their
  // sections, from the page's sound to the end, are kept as they are.
  std::string kept = options.markdown.empty() ? "" : KeptSection(options.markdown);
  if (!options.json.empty()) std::remove(options.json.c_str());
  if (!options.markdown.empty()) std::remove(options.markdown.c_str());

  std::time_t started = std::time(nullptr);
  char when[64];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M UTC", std::gmtime(&started));
  BenchSizes sizes;
  if (options.quick) sizes = BenchSizes{1, 1, 1, 1, 3, 1, 60};

  if (!OpenBenchScene()) return 1;
  std::string machine = MachineDescription();
  std::vector<Figure> figures;
  std::fprintf(stderr, "velmor-bench: start-up\n");
  MeasureStartup(sizes, &figures);
  figures.push_back(MakeFigure("init.scene_first",
                               "the run's first InitScene: cold, audio set-up and module load",
                               FirstInitSceneMs(), "cpu ms", figures.front().value,
                               "InitScene repeated (init.scene)", "info"));
  std::fprintf(stderr, "velmor-bench: frames\n");
  MeasureFrames(sizes, &figures);
  std::fprintf(stderr, "velmor-bench: audio\n");
  MeasureAudio(sizes, &figures);
  std::fprintf(stderr, "velmor-bench: capture\n");
  double renderLoopMB = 0, captureMB = 0;
  MeasureCapture(options.quick, &figures, &renderLoopMB, &captureMB);
  std::fprintf(stderr, "velmor-bench: the intro's memory (Xvfb)\n");
  MemoryRun memory = MeasureMemory(options.quick ? 3.0 : 10.0);
  double introMB = memory.introMB;
  figures.push_back(
      MakeFigure("memory.intro", "peak resident size of build/velmor under Xvfb", introMB, "MB",
                 memory.floorMB,
                 "same shell, GL context and 43 mipmapped textures, one drawn a frame", "<= 1.1"));
  figures.push_back(
      MakeFigure("memory.intro_absolute",
                 "peak resident size of build/velmor under Xvfb, against a fixed size", introMB,
                 "MB", 150.0, "150 MB", "info"));
  figures.push_back(MakeFigure("memory.capture",
                               "peak resident size of velmor-capture (or its ffmpeg)", captureMB,
                               "MB", renderLoopMB, "render loop without output", "info"));
  const ResidentSteps &steps = BenchResidentSteps();
  figures.push_back(MakeFigure(
      "memory.gl_context", "resident growth from creating the GL context (libraries, llvmpipe)",
      steps.context - steps.start, "MB", introMB, "the intro's peak (ratio = share)", "info"));
  figures.push_back(MakeFigure(
      "memory.scene", "resident growth from InitScene (43 mipmapped textures, font, module)",
      steps.scene - steps.context, "MB", introMB, "the intro's peak (ratio = share)", "info"));

  double seconds = std::difftime(std::time(nullptr), started);
  std::string table = FiguresToMarkdown(figures);
  std::fputs(table.c_str(), stdout);
  bool ok = true;
  if (!options.json.empty()) ok = WriteFile(options.json, FiguresToJson(figures)) && ok;
  if (!options.markdown.empty())
    ok = WriteFile(options.markdown,
                   Page(figures, memory, machine, when, seconds, options.quick) + kept) &&
         ok;
  if (!ok) std::fprintf(stderr, "velmor-bench: could not write the results\n");
  return ok ? 0 : 1;
}

namespace {

const Figure *FindFigure(const std::vector<Figure> &figures, const std::string &name) {
  for (const Figure &f : figures)
    if (f.name == name) return &f;
  return nullptr;
}

// printf into a string, for sentences that carry this run's figures.
template <typename... Args> std::string Say(const char *format, Args... args) {
  char text[1024];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// Resident MB of the mappings whose name contains `part`.
double MappingMB(const std::vector<MappingShare> &mapping, const char *part) {
  double mb = 0.0;
  for (const MappingShare &m : mapping)
    if (m.name.find(part) != std::string::npos) mb += m.residentMB;
  return mb;
}

// Resident MB of the files that `first` maps and `second` does not, each
// program's own file aside.
double OnlyInFirstMB(const std::vector<MappingShare> &first,
                     const std::vector<MappingShare> &second) {
  double mb = 0.0;
  for (const MappingShare &m : first) {
    if (m.name == "the program's file" || m.name.starts_with("[")) continue;
    bool shared = false;
    for (const MappingShare &n : second) shared = shared || n.name == m.name;
    if (!shared) mb += m.residentMB;
  }
  return mb;
}

std::string Findings(const std::vector<Figure> &figures, const MemoryRun &memory) {
  auto get = [&](const char *name) {
    static const Figure none = MakeFigure("", "", std::nan(""), "", std::nan(""), "", "info");
    const Figure *f = FindFigure(figures, name);
    return f != nullptr ? *f : none;
  };
  Figure init = get("init.scene"), decode = get("init.jpeg_decode"), mipmaps = get("init.mipmaps"),
         module = get("init.module_load");
  Figure f0 = get("frame.cards0"), f1 = get("frame.cards1"), f3 = get("frame.cards3"),
         w3 = get("frame.cards3_wall");
  Figure allocOurs = get("alloc.frame.ours"), allocAll = get("alloc.frame.process");
  Figure cpu = get("audio.cpu"), render = get("audio.render"), chunks = get("audio.render_chunks"),
         spectrum = get("audio.spectrum"), fft = get("audio.spectrum_fft");
  Figure capture = get("capture.speed"), captureCpu = get("capture.cpu");
  Figure intro = get("memory.intro"), absolute = get("memory.intro_absolute"),
         context = get("memory.gl_context");

  std::string out = "## What the figures say\n\n";
  out += Say("- **Start-up.** InitScene takes %.0f ms of processor time against a floor of %.0f ms "
             "(ratio %.2f). "
             "The floor is libjpeg-turbo decoding the 43 pictures into one buffer (%.0f ms) plus "
             "GLU building the same 43 mipmap chains from the pixels just decoded (%.0f ms): "
             "the mipmap builder alone is %.0f %% of the floor. The scene makes every texture "
             "with `gluBuild2DMipmaps` (full chains, so cards stay smooth as they shrink), so "
             "that share stays. Both sides start on a "
             "trimmed heap, as the intro's one InitScene starts on a fresh one, and fault in "
             "the 43 textures' storage alike. Our decoder with its "
             "one row turn costs %.2fx libjpeg-turbo alone; the module load is %.1f ms; the "
             "font, the glow target and the card table together are under 1 ms.\n",
             init.value, init.floor, init.ratio, decode.floor, mipmaps.floor,
             100.0 * mipmaps.floor / init.floor, decode.ratio, module.value);
  out +=
      Say("- **Frames.** SceneFrame costs %.1f / %.1f / %.1f ms of processor time (all "
          "of llvmpipe's threads) with 0 / 1 / 3 live cards against %.1f / %.1f / %.1f ms for "
          "the bare loop (ratios %.2f / %.2f / %.2f). The scene's own work per frame (card "
          "updates, projection, spectrum, timeline) is lost in the fill work: the frame is "
          "bound by llvmpipe's fill rate. ",
          f0.value, f1.value, f3.value, f0.floor, f1.floor, f3.floor, f0.ratio, f1.ratio, f3.ratio);
  double perQuad = (f3.floor - f0.floor) / 6.0;
  if (perQuad > 0)
    out += Say("Each full-screen textured, blended card quad costs about %.1f ms "
               "((3-card floor - 0-card floor) / 6 quads). ",
               perQuad);
  out += Say("In wall time a 3-card frame took %.0f ms here (%.0f frames per second) on a "
             "machine shared with other work. That is the frame's composition itself (two card "
             "passes, 15 glow layers, 3 picture layers) on a CPU rasteriser, not our code.\n",
             w3.value, 1000.0 / w3.value);
  out += Say("- **Allocations.** A steady-state frame makes %.0f allocations in our code (the "
             "scene, the player, the music calls: counted through the linker's `--wrap` of "
             "malloc, calloc, realloc and operator new). The whole process makes %.1f per frame, "
             "and the bare loop, which has no scene code at all, makes %.1f: they are the GL "
             "driver's (the first one sampled returns into the library named in the table).\n",
             allocOurs.value, allocAll.value, allocAll.floor);
  out += Say("- **Audio.** One second of music with 60 spectra takes %.2f %% of a core "
             "(target 2 %%). PlayerRender is %.2fx libopenmpt reading the same second in "
             "1024-frame blocks and %.2fx libopenmpt reading it in the player's own 128-frame "
             "reads, ",
             cpu.value, render.ratio, chunks.ratio);
  out += chunks.ratio < render.ratio
             ? "so part of the difference is the read size, which sets how finely the "
               "order/row marks follow the music and is kept; the rest is the marks, the "
               "slide test and the mono ring, all of it far inside the budget. "
             : "so the read size does not explain the difference; the marks, the slide test "
               "and the mono ring do, all of it far inside the budget. ";
  out += Say("A spectrum costs %.2f us of processor time (target 5 us), of which the 512-point FFT "
             "is %.2f us; "
             "the rest is the Hann window over the ring and 256 magnitudes.\n",
             spectrum.value, fft.floor);
  out += Say("- **Capture.** The capture tool makes %.3f s of video per second against %.3f "
             "for the same frames rendered and read back with nothing written (ratio %.2f, "
             "target 0.8). The difference is the encoder: ffmpeg's x264 takes %.2f processor "
             "seconds per video second beside the renderer's %.2f, on the same two cores that "
             "llvmpipe's threads use. Real-time capture at 60 frames per second is a GPU "
             "figure; here rendering alone runs at %.2fx real time.\n",
             capture.value, capture.floor, capture.ratio, captureCpu.value - captureCpu.floor,
             captureCpu.floor, capture.floor);
  out += Say("- **Memory.** The intro peaks at %.0f MB resident against %.0f MB for its floor "
             "(ratio %.2f, target 1.1). The floor is `velmor-bench-memory-floor`: the intro's own "
             "program (its entry and shell, its SDL back end, its loader and embedded pictures, "
             "linked as the intro is) with a scene of its own in place of the intro's, so that "
             "its window and GL context are the intro's by construction. That scene loads the "
             "same 43 pictures into mipmapped textures through the intro's loader and shows one "
             "of them a frame as a plain full-screen textured quad; it has no music, audio, "
             "blending or glow. It runs under the same Xvfb with the same environment, as long "
             "as the intro, and is stopped the same way.",
             intro.value, intro.floor, intro.ratio);
  out += Say(" Both are mostly the software renderer's: creating the GL context adds %.0f MB "
             "(Mesa's llvmpipe and its LLVM: %.0f MB of LLVM in the intro's map below, %.0f MB "
             "in the floor's, both grown by the shaders that llvmpipe compiles to draw), and "
             "the 43 textures with full mipmap chains, which llvmpipe stores at 4 bytes a texel "
             "(it has no 3-byte format), take %.0f MB.",
             context.value, MappingMB(memory.introMapping, "LLVM"),
             MappingMB(memory.floorMapping, "LLVM"), JpegTextureMB());
  out += Say(" The %.0f MB the intro has above the floor is the show's: %.0f MB in libraries "
             "that only the intro maps (the music's player and what it loads), %.0f MB "
             "more heap and anonymous memory (the module as the player holds it, the glow "
             "target's copies, the font) and %.0f MB more of LLVM (the shaders of the blended "
             "card, glow and vignette passes); mapping by mapping, it is in the table below.",
             intro.value - intro.floor, OnlyInFirstMB(memory.introMapping, memory.floorMapping),
             MappingMB(memory.introMapping, "[heap]") + MappingMB(memory.introMapping, "[anon") -
                 MappingMB(memory.floorMapping, "[heap]") - MappingMB(memory.floorMapping, "[anon"),
             MappingMB(memory.introMapping, "LLVM") - MappingMB(memory.floorMapping, "LLVM"));
  out += Say(" Against a fixed 150 MB (`memory.intro_absolute`, information only) it is %.2f; "
             "with a GPU driver the texture storage leaves the process and LLVM is not loaded, "
             "so a fixed size judges the driver more than the intro, and the floor, which "
             "carries the same driver, is what the target is set against.\n",
             absolute.ratio);
  return out + "\n";
}

std::string Page(const std::vector<Figure> &figures, const MemoryRun &memory,
                 const std::string &machine, const std::string &when, double seconds, bool quick) {
  std::ostringstream out;
  out << "# Performance\n\n";
  out << "Written by `make bench` (`build/velmor-bench`) on " << when << " in "
      << static_cast<int>(seconds) << " s" << (quick ? " (quick mode: not representative)" : "")
      << ". Every figure is the median of repeated runs and comes with a floor measured in the "
         "same run: the same work done the cheapest honest way. The ratio is value / floor (for "
         "counts whose floor is none, the excess); the target applies to the ratio. The same "
         "figures are in `build/bench.json`.\n\n";
  out << "## Machine\n\n" << machine << "\n";
  out << "## Figures\n\n" << FiguresToMarkdown(figures) << "\n";
  out << Findings(figures, memory);
  out << "## Where the intro's memory is\n\n"
         "Resident memory of `build/velmor` and of its floor, `velmor-bench-memory-floor`, by "
         "mapping, read from `/proc/PID/smaps` just before each was stopped; the intro's ten "
         "largest:\n\n| mapping | intro | floor |\n| --- | ---: | ---: |\n";
  auto mb = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", value);
    return std::string(text);
  };
  double introRest = 0.0, floorRest = 0.0;
  for (const MappingShare &m : memory.floorMapping) floorRest += m.residentMB;
  for (size_t i = 0; i < memory.introMapping.size(); ++i) {
    const MappingShare &m = memory.introMapping[i];
    if (i >= 10) {
      introRest += m.residentMB;
      continue;
    }
    double inFloor = 0.0;
    for (const MappingShare &f : memory.floorMapping)
      if (f.name == m.name) inFloor = f.residentMB;
    floorRest -= inFloor;
    out << "| " << m.name << " | " << mb(m.residentMB) << " | " << mb(inFloor) << " |\n";
  }
  out << "| everything else | " << mb(introRest) << " | " << mb(floorRest) << " |\n\n";
  return out.str();
}

} // namespace
