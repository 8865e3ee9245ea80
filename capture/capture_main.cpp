// velmor-capture: plays the intro offline, frame by frame, into a video. The
// scene runs unchanged; the offscreen back end gives it a GL context and a
// virtual clock, and the player is rendered in step with the frames, so each
// frame sees the music exactly as it would be heard at that moment.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/main.h"
#include "app/probe.h"
#include "app/scene.h"
#include "app/show.h"
#include "app/window.h"
#include "capture/outputs.h"
#include "capture/stepper.h"
#include "music/music.h"
#include "music/player_core.h"
#include "platform/offscreen/offscreen.h"
#include "platform/virtual_clock.h"

namespace {

constexpr const char *usage =
    "usage: velmor-capture [--fps N] [--from SECONDS] [--to SECONDS] [-o FILE]\n"
    "       velmor-capture --still SECONDS FILE.png\n"
    "\n"
    "Renders \"Velmor for Torva\" without a display or a sound card, exactly as it\n"
    "plays live, and writes it to a file. Run it in the folder that holds\n"
    "torva_velmor2.it.\n"
    "\n"
    "  -o FILE          the video, made with ffmpeg; its name says the kind:\n"
    "                   .mp4, .mkv or .mov (H.264 and AAC), .webm (VP9 and\n"
    "                   Opus); default velmor_for_torva.mp4. A name ending in /\n"
    "                   is a folder that receives frame_NNNNNN.png and audio.wav.\n"
    "  --fps N          frames per second, 1 to 240 (default 60)\n"
    "  --from SECONDS   start the file at this moment of the show (default 0)\n"
    "  --to SECONDS     end it here (default: the end of the show)\n"
    "  --still S FILE   write only the frame shown at S seconds, as a PNG\n"
    "  --help           this text\n"
    "\n"
    "Status 0 only when the file is complete; 2 for a wrong option, 1 for any\n"
    "other failure, which leaves nothing behind.\n";

struct Options {
  int fps = 60;
  double from = 0.0;
  double to = -1.0; // negative: the end of the show
  CaptureOutput output;
};

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

bool ParseNumber(const char *text, double *value) {
  char *end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(*value);
}

bool EndsWithPng(const std::string &name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char &c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".png";
}

// Returns 0 to go on, otherwise the exit status (-1: done, status 0).
int ParseArguments(int argc, char **argv, Options *o) {
  o->output.path = "velmor_for_torva.mp4";
  // The options given, as given: messages name those, not the ones they set.
  std::string still, span, output;
  bool toGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](double *v) {
      if (i + 1 >= argc || !ParseNumber(argv[i + 1], v)) {
        std::fprintf(stderr, "velmor-capture: %s needs a number\n%s", a.c_str(), usage);
        return false;
      }
      ++i;
      return true;
    };
    double v = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "velmor-capture: cannot write the usage: %s\n", std::strerror(errno));
        return 1;
      }
      return -1;
    } else if (a == "--fps") {
      if (!value(&v)) return 2;
      if (v < 1 || v > 240 || v != std::floor(v)) {
        std::fprintf(stderr, "velmor-capture: --fps takes a whole number from 1 to 240\n");
        return 2;
      }
      o->fps = static_cast<int>(v);
    } else if (a == "--from") {
      if (!value(&o->from)) return 2;
      span = a;
    } else if (a == "--to") {
      if (!value(&o->to)) return 2;
      toGiven = true;
      span = a;
    } else if (a == "-o") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "velmor-capture: -o needs a file name\n%s", usage);
        return 2;
      }
      o->output.path = argv[++i];
      output = a;
    } else if (a == "--still") {
      if (i + 2 >= argc || !ParseNumber(argv[i + 1], &o->from)) {
        std::fprintf(stderr, "velmor-capture: --still needs SECONDS and FILE.png\n%s", usage);
        return 2;
      }
      o->output.kind = CaptureOutput::Still;
      o->output.path = argv[i + 2];
      i += 2;
      still = a;
    } else {
      std::fprintf(stderr, "velmor-capture: unknown argument \"%s\"\n%s", a.c_str(), usage);
      return 2;
    }
  }
  if (!still.empty()) {
    // One picture at one moment, into its own file: a span or another output
    // would be ignored or would overrule the moment, depending on their order.
    if (!span.empty() || !output.empty()) {
      std::fprintf(stderr, "velmor-capture: --still takes no %s; it writes one PNG of its own\n",
                   (!span.empty() ? span : output).c_str());
      return 2;
    }
    if (o->from < 0) {
      std::fprintf(stderr, "velmor-capture: --still needs a moment of at least 0 seconds, not %g\n",
                   o->from);
      return 2;
    }
    if (!EndsWithPng(o->output.path)) {
      std::fprintf(stderr, "velmor-capture: --still writes a PNG; name it FILE.png, not %s\n",
                   o->output.path.c_str());
      return 2;
    }
    o->output.fps = o->fps;
    return 0;
  }
  if (o->from < 0) {
    std::fprintf(stderr, "velmor-capture: --from must be at least 0, not %g\n", o->from);
    return 2;
  }
  if (toGiven && o->to <= o->from) {
    std::fprintf(stderr, "velmor-capture: --to %g must come after --from %g\n", o->to, o->from);
    return 2;
  }
  // The same rounding as the frames themselves: a frame belongs to the file
  // when it is shown at or after --from and before --to.
  if (toGiven && std::ceil(o->from * o->fps - 1e-9) >= std::ceil(o->to * o->fps - 1e-9)) {
    std::fprintf(stderr, "velmor-capture: no frame is shown from --from %g to --to %g at %d fps\n",
                 o->from, o->to, o->fps);
    return 2;
  }
  if (!o->output.path.empty() && o->output.path.back() == '/') {
    o->output.kind = CaptureOutput::Folder;
  } else {
    o->output.format = VideoFormatFor(o->output.path);
    if (o->output.format == nullptr) {
      std::fprintf(stderr,
                   "velmor-capture: -o %s: the name must end in %s, or in / for PNG "
                   "frames and a WAV file\n",
                   o->output.path.c_str(), VideoExtensions().c_str());
      return 2;
    }
  }
  o->output.fps = o->fps;
  return 0;
}

// Two clocks meet here. A video frame is one picture, counted from the show's
// start at the chosen fps; an audio position counts sample frames (one stereo
// pair each, audioRate a second) from the show's start. The virtual clock and
// every span of sound are audio positions.

struct Progress {
  bool shown = isatty(STDERR_FILENO) != 0;
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
  int64_t lastDrawn = -1;

  void Draw(int64_t done, int64_t total, int fps) {
    if (!shown || total <= 0) return;
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total));
    if (percent == lastDrawn && done != total) return;
    lastDrawn = percent;
    double speed = elapsed > 0 ? (static_cast<double>(done) / fps) / elapsed : 0.0;
    double left = speed > 0 ? (static_cast<double>(total - done) / fps) / speed : 0.0;
    char bar[31];
    int filled = percent * 30 / 100;
    for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
    bar[30] = '\0';
    std::fprintf(stderr, "\r[%s] %lld/%lld frames  %02d:%02d left  %.2fx real time ", bar,
                 static_cast<long long>(done), static_cast<long long>(total),
                 static_cast<int>(left) / 60, static_cast<int>(left) % 60, speed);
    std::fflush(stderr);
  }
  // Ends the bar's line, once, so that what follows has a line of its own.
  void End() {
    if (shown && lastDrawn >= 0) std::fputc('\n', stderr);
    lastDrawn = -1;
  }
};

void CatchInterruptions() {
  // Without SA_RESTART: a wait for ffmpeg returns at once to hear the news.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A write to an ffmpeg that has stopped fails with EPIPE instead of ending
  // the tool silently; the failure is reported like any other.
  std::signal(SIGPIPE, SIG_IGN);
}

// Seconds beyond any show, where frame and sample counts still fit in 64 bits.
constexpr double neverSeconds = 1e9;

// What the file covers. It holds video frames firstVideoFrame up to (not
// including) endVideoFrame; its audio covers exactly the same span, audio
// positions audioStart up to audioEnd, so both tracks have one length.
struct Span {
  double fromSeconds = 0.0;
  int64_t firstVideoFrame = 0;
  int64_t endVideoFrame = 0;
  int64_t audioStart = 0;
  int64_t audioEnd = 0;
  int64_t videoFramesExpected = 0; // to the end of the span or of the show, whichever comes first
};

// One run of the tool, from the arguments to the finished file.
struct CaptureRun {
  Options options;
  Progress progress;
  AppWindow *window = nullptr;
  Span span;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t{screenWidth} * screenHeight * 3);
  Stepper stepper; // its sound goes to the file where it falls inside the span
  bool stillTaken = false;
};

// Every failure ends here: one line that says what happened, nothing left
// behind, status 1.
int Fail(CaptureRun *run, const std::string &message) {
  run->progress.End();
  // After ffmpeg is gone, so that this line comes last.
  OutputAbandon(&run->options.output);
  std::fprintf(stderr, "velmor-capture: %s\n",
               interrupted ? "interrupted; nothing was written" : message.c_str());
  return 1;
}

// Each step returns 0 to go on, otherwise the exit status.
int OpenOutput(CaptureRun *run) {
  run->options.output.stop = &interrupted;
  CatchInterruptions();
  // OutputOpen leaves nothing behind when it fails.
  if (!OutputOpen(&run->options.output)) {
    std::fprintf(stderr, "velmor-capture: %s\n", run->options.output.error.c_str());
    return 1;
  }
  return 0;
}

// The window, the scene and its module.
int OpenShow(CaptureRun *run) {
  // The same window record and class the intro uses, in a window of its own
  // size: the capture never switches a display.
  static AppInfo app{GetModuleHandleA(nullptr), "OpenGL"};
  static KeyTable keys{};
  static AppWindow window{};
  run->window = &window;
  FillAppRecords(&app, &window, &keys, 0);
  VirtualClockSetRate(audioRate);
  if (!RegisterWindowClass(&app) || !CreateAppWindow(&window))
    return Fail(run, "no offscreen OpenGL: " + OffscreenGlError() +
                         " (install Mesa's EGL: apt-get install libegl-mesa0)");
  keepRunning = 1;
  if (!InitScene(&window, &keys)) return Fail(run, "the scene could not be initialised");
  if (MusicHandle == 0)
    return Fail(run, "without torva_velmor2.it the show never ends; run velmor-capture in the "
                     "folder that holds it");
  return 0;
}

// After OpenShow: the show's length comes from its module.
void WorkOutSpan(CaptureRun *run) {
  const Options &o = run->options;
  Span *span = &run->span;
  span->fromSeconds = std::min(o.from, neverSeconds);
  const double toSeconds = o.to >= 0 ? std::min(o.to, neverSeconds) : neverSeconds;
  span->firstVideoFrame = static_cast<int64_t>(std::ceil(span->fromSeconds * o.fps - 1e-9));
  span->endVideoFrame = static_cast<int64_t>(std::ceil(toSeconds * o.fps - 1e-9));
  span->audioStart = AudioPositionOfVideoFrame(span->firstVideoFrame, o.fps);
  span->audioEnd = AudioPositionOfVideoFrame(span->endVideoFrame, o.fps);
  const double showSeconds = PlayerModuleSeconds() + 2.0;
  span->videoFramesExpected =
      std::min(span->endVideoFrame, static_cast<int64_t>(std::ceil(showSeconds * o.fps)));
}

// The part of each block of music that falls inside the span goes to the file.
bool WriteSound(CaptureRun *run, const float *stereo, int n, int64_t at) {
  const Span &span = run->span;
  int64_t skip = std::clamp<int64_t>(span.audioStart - at, 0, n);
  int64_t keep = std::clamp<int64_t>(span.audioEnd - at - skip, 0, n - skip);
  return keep <= 0 || OutputAudio(&run->options.output, stereo + 2 * skip, static_cast<int>(keep));
}

// Draws the show frame by frame, with its sound rendered up to each frame.
int RunFrames(CaptureRun *run) {
  CaptureOutput *out = &run->options.output;
  const Span &span = run->span;
  const int fps = run->options.fps;
  Stepper *stepper = &run->stepper;
  stepper->fps = fps;
  stepper->deviceContext = run->window->deviceContext;
  stepper->soundEnd = span.audioEnd;
  stepper->sound = [run](const float *stereo, int n, int64_t at) {
    return WriteSound(run, stereo, n, at);
  };
  const int64_t moment = static_cast<int64_t>(span.fromSeconds * audioRate);
  StepShown shown;
  while (keepRunning && !interrupted &&
         AudioPositionOfVideoFrame(stepper->videoFrame, fps) < span.audioEnd) {
    if (!StepFrame(stepper, &shown)) return Fail(run, out->error);
    OffscreenReadFrame(run->pixels.data());
    if (out->kind == CaptureOutput::Still) {
      if (StepReaches(stepper, shown, moment)) {
        if (!OutputFrame(out, run->pixels.data())) return Fail(run, out->error);
        run->stillTaken = true;
      }
    } else {
      // A picture that stood through a fade fills each video frame it stood for.
      for (int64_t f = std::max(shown.first, span.firstVideoFrame);
           f < std::min(shown.end, span.endVideoFrame); ++f)
        if (!OutputFrame(out, run->pixels.data())) return Fail(run, out->error);
    }
    run->progress.Draw(std::min(stepper->videoFrame, span.videoFramesExpected),
                       span.videoFramesExpected, fps);
    if (run->stillTaken) break;
  }
  return 0;
}

// Checks that the file got what it needs, completes it and says so.
int Finish(CaptureRun *run) {
  CaptureOutput *out = &run->options.output;
  run->progress.End();
  char moment[32];
  std::snprintf(moment, sizeof moment, "%g s", run->options.from);
  if (interrupted) return Fail(run, "interrupted");
  if (out->kind == CaptureOutput::Still && !run->stillTaken)
    return Fail(run, std::string("the show ends before ") + moment);
  if (out->kind != CaptureOutput::Still && out->framesWritten == 0)
    return Fail(run, std::string("the show ends before --from ") + moment);
  if (out->kind != CaptureOutput::Still &&
      !StepperRenderTo(&run->stepper,
                       AudioPositionOfVideoFrame(run->stepper.videoFrame, run->options.fps)))
    return Fail(run, out->error);
  if (!OutputFinish(out)) return Fail(run, out->error);
  DestroyAppWindow(run->window);
  std::fprintf(stderr, "velmor-capture: wrote %s (%llu frames at %d fps)\n", out->path.c_str(),
               static_cast<unsigned long long>(out->framesWritten), run->options.fps);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  CaptureRun run;
  if (int status = ParseArguments(argc, argv, &run.options)) return status < 0 ? 0 : status;
  if (int status = OpenOutput(&run)) return status;
  if (int status = OpenShow(&run)) return status;
  WorkOutSpan(&run);
  if (int status = RunFrames(&run)) return status;
  return Finish(&run);
}
