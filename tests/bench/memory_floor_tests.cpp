// velmor-bench-memory-floor refuses what would make a wrong floor before it
// opens a display: a floor built without one of the intro's pictures would
// make the intro look worse than it is. Its measured run is in QuickRun.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
  int status = -1;
  std::string errors;
};

Outcome RunFloor(const std::string &arguments) {
  char errors[] = "/tmp/velmor-memory-floor-XXXXXX";
  int fd = mkstemp(errors);
  if (fd < 0) return {};
  close(fd);
  // No display: none of these runs may get as far as needing one.
  std::string command = std::string("env -u DISPLAY '") + VELMOR_MEMORY_FLOOR + "' " + arguments +
                        " > /dev/null 2> '" + errors + "'";
  int status = std::system(command.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  outcome.errors = text.str();
  std::remove(errors);
  return outcome;
}

TEST(MemoryFloor, WithoutNamesItSaysHowToCallIt) {
  Outcome o = RunFloor("");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.errors.find("usage"), std::string::npos) << o.errors;
}

TEST(MemoryFloor, ANameThatIsNoEmbeddedPictureIsRefusedBeforeAnythingLoads) {
  // Among real names, as the bench passes them; the font is embedded but is
  // no JPEG picture.
  for (const char *wrong : {"DATA_NOSUCH", "DATA_FONT2"}) {
    Outcome o = RunFloor(std::string("DATA_PARTICLE ") + wrong + " DATA_1");
    EXPECT_EQ(o.status, 1) << wrong;
    EXPECT_NE(o.errors.find(wrong), std::string::npos) << o.errors;
  }
}

} // namespace
