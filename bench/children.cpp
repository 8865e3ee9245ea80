#include "bench/children.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "app/show.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void ExecChild(const std::vector<std::string> &argv,
                            const std::vector<std::string> &environment) {
  int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
  }
  for (const std::string &e : environment) putenv(const_cast<char *>(e.c_str()));
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

} // namespace

std::vector<MappingShare> ResidentByMapping(int pid) {
  std::string path = pid == 0 ? "/proc/self/smaps" : "/proc/" + std::to_string(pid) + "/smaps";
  std::map<std::string, double> sums;
  FILE *f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return {};
  char line[1024];
  std::string current = "[anonymous]";
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned long kib = 0;
    if (std::sscanf(line, "Rss: %lu kB", &kib) == 1) {
      sums[current] += static_cast<double>(kib) * 1024.0 / 1e6;
      continue;
    }
    // A mapping's header: "start-end perms offset dev inode [path]".
    char range[64], perms[8], offset[32], device[16];
    unsigned long inode = 0;
    int used = 0;
    if (std::sscanf(line, "%63s %7s %31s %15s %lu %n", range, perms, offset, device, &inode,
                    &used) == 5 &&
        std::strchr(range, '-') != nullptr) {
      std::string name = line + used;
      while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
      size_t slash = name.rfind('/');
      if (slash != std::string::npos) name = name.substr(slash + 1);
      current = name.empty() ? "[anonymous]" : name;
    }
  }
  std::fclose(f);
  std::vector<MappingShare> shares;
  for (const auto &[name, mb] : sums) shares.push_back(MappingShare{name, mb});
  std::sort(shares.begin(), shares.end(), [](const MappingShare &a, const MappingShare &b) {
    return a.residentMB > b.residentMB;
  });
  return shares;
}

ChildResult RunChild(const std::vector<std::string> &argv,
                     const std::vector<std::string> &environment, double stopAfter,
                     std::vector<MappingShare> *mapping) {
  ChildResult result;
  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) ExecChild(argv, environment);

  bool interrupted = false, killed = false;
  int status = 0;
  rusage usage{};
  for (;;) {
    pid_t done = wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    if (done < 0) return result;
    double elapsed = Since(start);
    if (stopAfter > 0 && !interrupted && elapsed >= stopAfter) {
      if (mapping != nullptr) *mapping = ResidentByMapping(pid);
      kill(pid, SIGINT);
      interrupted = true;
    }
    if (interrupted && !killed && elapsed >= stopAfter + 10.0) {
      kill(pid, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.wallSeconds = Since(start);
  result.ran = !killed;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  result.peakMB = static_cast<double>(usage.ru_maxrss) * 1024.0 / 1e6;
  return result;
}

XServer StartXvfb() {
  XServer server;
  int fds[2];
  if (pipe(fds) != 0) return server;
  // A display of the show's size, the mode the intro asks for.
  const std::string screen =
      std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
  pid_t pid = fork();
  if (pid < 0) return server;
  if (pid == 0) {
    close(fds[0]);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
           "tcp", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  Clock::time_point start = Clock::now();
  while (Since(start) < 15.0 && poll(&p, 1, 200) >= 0) {
    if (!(p.revents & (POLLIN | POLLHUP))) continue;
    char c;
    ssize_t n = read(fds[0], &c, 1);
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return server;
  }
  server.pid = pid;
  server.display = ":" + number;
  return server;
}

void StopXvfb(XServer *server) {
  if (server->pid <= 0) return;
  kill(server->pid, SIGTERM);
  waitpid(server->pid, nullptr, 0);
  server->pid = 0;
}
