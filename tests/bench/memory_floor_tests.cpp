// velmor-bench-memory-floor is the intro's program with a scene of its own.
// Under an X server of its own it must refuse what would make a wrong floor
// (no names, a name that is no embedded JPEG picture) before it loads
// anything, show its pictures until it is told to close as the intro is, and
// then end with status 0: the one end the benchmark counts. Its measured run
// is in QuickRun.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/children.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
  int status = -1;
  std::string errors;
};

std::string ReadText(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the floor to its end; `display` empty runs it with no DISPLAY at all.
Outcome RunFloor(const std::string &display, const std::string &arguments) {
  char errors[] = "/tmp/velmor-memory-floor-XXXXXX";
  int fd = mkstemp(errors);
  if (fd < 0) return {};
  close(fd);
  std::string environment = display.empty() ? "env -u DISPLAY" : "env DISPLAY=" + display;
  std::string command = environment + " '" + VELMOR_MEMORY_FLOOR + "' " + arguments +
                        " > /dev/null 2> '" + errors + "'";
  int status = std::system(command.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.errors = ReadText(errors);
  std::remove(errors);
  return outcome;
}

// The root window's pixels, every fourth one each way; empty when the
// display cannot be read.
std::vector<unsigned long> GrabScreen(Display *display) {
  std::vector<unsigned long> pixels;
  Window root = DefaultRootWindow(display);
  XImage *image = XGetImage(display, root, 0, 0, 800, 600, AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  for (int y = 0; y < 600; y += 4)
    for (int x = 0; x < 800; x += 4) pixels.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return pixels;
}

bool Uniform(const std::vector<unsigned long> &pixels) {
  return std::set<unsigned long>(pixels.begin(), pixels.end()).size() <= 1;
}

class MemoryFloor : public ::testing::Test {
protected:
  static void SetUpTestSuite() { server = StartXvfb(); }
  static void TearDownTestSuite() { StopXvfb(&server); }
  void SetUp() override { ASSERT_NE(server.pid, 0) << "Xvfb did not start"; }

  static inline XServer server;
};

TEST_F(MemoryFloor, WithoutADisplayItFailsInsteadOfMeasuringNothing) {
  // SDL would quietly fall back to a driver that shows nothing, whose size
  // is no floor of the intro's run under X.
  Outcome o = RunFloor("", "DATA_1");
  EXPECT_NE(o.status, 0);
  EXPECT_NE(o.errors.find("display"), std::string::npos) << o.errors;
}

TEST_F(MemoryFloor, WithoutNamesItSaysHowToCallItAndFails) {
  Outcome o = RunFloor(server.display, "");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.errors.find("usage"), std::string::npos) << o.errors;
}

TEST_F(MemoryFloor, ANameThatIsNoEmbeddedPictureIsRefusedBeforeAnythingLoads) {
  // Last among real names: a floor that loaded in order would stop in the
  // JPEG library on it, with a message that does not name it. The font is
  // embedded but is no JPEG picture.
  for (const char *wrong : {"DATA_NOSUCH", "DATA_FONT2"}) {
    Outcome o = RunFloor(server.display, std::string("DATA_PARTICLE DATA_1 ") + wrong);
    EXPECT_EQ(o.status, 1) << wrong;
    EXPECT_NE(o.errors.find(std::string("\"") + wrong + "\""), std::string::npos) << o.errors;
  }
}

TEST_F(MemoryFloor, ShowsItsPicturesInTurnUntilToldToCloseAndThenEndsWithZero) {
  Display *display = XOpenDisplay(server.display.c_str());
  ASSERT_NE(display, nullptr);
  std::vector<unsigned long> before = GrabScreen(display);
  ASSERT_FALSE(before.empty());

  std::string errors = "/tmp/velmor-memory-floor-run-" + std::to_string(getpid());
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int out = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) dup2(out, STDERR_FILENO);
    setenv("DISPLAY", server.display.c_str(), 1);
    execl(VELMOR_MEMORY_FLOOR, VELMOR_MEMORY_FLOOR, "DATA_PARTICLE", "DATA_1", "DATA_2",
          static_cast<char *>(nullptr));
    _exit(127);
  }

  // Frames draw the three pictures in turn: the screen must come to show
  // pictures (not a clear colour, not the bare root window) that change.
  // The limit only bounds a failure on a busy machine.
  std::set<std::vector<unsigned long>> pictures;
  Clock::time_point start = Clock::now();
  while (pictures.size() < 2 && Clock::now() - start < std::chrono::seconds(60)) {
    std::vector<unsigned long> now = GrabScreen(display);
    if (!now.empty() && now != before && !Uniform(now)) pictures.insert(now);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  XCloseDisplay(display);
  int status = 0;
  bool running = waitpid(pid, &status, WNOHANG) == 0;
  EXPECT_TRUE(running) << "it ended by itself: " << ReadText(errors);
  EXPECT_EQ(pictures.size(), 2u) << "the screen never showed its pictures in turn";

  // Closed as the benchmark closes the intro.
  if (running) {
    kill(pid, SIGINT);
    start = Clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (Clock::now() - start > std::chrono::seconds(30)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "still running 30 s after SIGINT";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadText(errors);
  }
  std::remove(errors.c_str());
}

} // namespace
