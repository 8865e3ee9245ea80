// Other programs run and measured from the outside: wall time, processor time
// and peak resident size, as the kernel accounts them at the child's end.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
  bool ran = false;         // started and ended (by itself or by our signal)
  int exitStatus = -1;      // when it exited; -1 when a signal ended it
  double wallSeconds = 0.0; // from fork to its end
  double cpuSeconds = 0.0;  // user + system, its reaped children (an encoder) included
  double peakMB =
      0.0; // ru_maxrss in MB (10^6 bytes): the larger of its own and its reaped children's
};

struct MappingShare {
  std::string name; // a file's base name, "[heap]", "[anonymous]", ...
  double residentMB = 0.0;
};

// Resident memory of process `pid` (0: this one) by mapping, largest first.
std::vector<MappingShare> ResidentByMapping(int pid);

// Runs `argv` with `environment` added, output thrown away. With stopAfter > 0
// it is sent SIGINT after that many seconds (SIGKILL 10 s later if it lingers);
// `mapping`, when given, receives its resident memory by mapping just before.
ChildResult RunChild(const std::vector<std::string> &argv,
                     const std::vector<std::string> &environment, double stopAfter,
                     std::vector<MappingShare> *mapping = nullptr);

// An Xvfb server at 800x600x24 on a display number it chooses; 0 when none.
struct XServer {
  int pid = 0;
  std::string display; // ":N"
};
XServer StartXvfb();
void StopXvfb(XServer *server);
