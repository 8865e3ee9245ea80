// A program started from Explorer has no standard error: the one line the
// intro writes there when it cannot go on as designed (a module that is
// missing or cannot be loaded, a picture the loaders refuse) would reach no
// one, and the viewer would be left with a still, silent screen. Where
// standard error leads nowhere, a pipe takes its place before the program
// starts, and a thread of its own shows each line written to it in the box
// the shell's own failures use. The show does not wait for the box: it goes on
// as it would have, and the process waits for the last box only at its end.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

std::thread shower;
std::atomic<bool> finishing{false};

// A console, a file or a pipe is read by someone; no handle, or one of no
// known kind (what a process started with a closed standard error is given),
// by no one.
bool StandardErrorVisible() {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  return GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void ShowLine(std::string line) {
  // The C runtime writes "\r\n" for each "\n" in text mode.
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (!line.empty()) MessageBoxA(HWND_DESKTOP, line.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
}

// Reads without blocking: a thread that has shown a box owns windows (the
// box's input window stays), and a thread that stops answering its windows'
// messages holds up every other that sends to them, the show's among them.
// So between lines the thread answers its messages, and at the end it stops
// once the pipe is drained, whether or not its writing end was seen closed.
void ShowLines(HANDLE pipe) {
  std::string pending;
  char chunk[512];
  for (;;) {
    DWORD available = 0;
    bool open = PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) != 0;
    if (available > 0) {
      DWORD got = 0;
      if (!ReadFile(pipe, chunk, std::min<DWORD>(available, sizeof chunk), &got, nullptr)) break;
      pending.append(chunk, got);
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        ShowLine(pending.substr(0, end));
        pending.erase(0, end + 1);
      }
      continue;
    }
    if (!open || finishing.load()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&message);
  }
  // A last line without its end is shown all the same.
  ShowLine(pending);
  CloseHandle(pipe);
}

// Closing the pipe's one writing end lets the thread read to the end and show
// what is left. An exit from deep inside a library (the JPEG decoder's on a
// broken picture) comes through here too, so its line is seen before the
// process is gone.
void FinishLines() {
  std::fflush(stderr);
  SetStdHandle(STD_ERROR_HANDLE, nullptr);
  _close(_fileno(stderr));
  finishing.store(true);
  if (shower.joinable()) shower.join();
}

void RouteStandardErrorToBoxes() {
  if (StandardErrorVisible()) return;
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return;
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), _O_WRONLY | _O_TEXT);
  if (descriptor < 0) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    return;
  }
  // A process started without standard error has its stderr stream tied to
  // no descriptor (the C runtime marks it -2, and will not reopen such a
  // stream): it is tied to descriptor 2, which becomes the pipe's writing end.
  int target = _fileno(stderr) >= 0 ? _fileno(stderr) : 2;
  bool routed = _dup2(descriptor, target) == 0;
  _close(descriptor);
  if (!routed) {
    CloseHandle(readEnd);
    return;
  }
  if (_fileno(stderr) < 0) stderr->_file = target;
  // Each line reaches the pipe as it is written.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(target)));
  shower = std::thread(ShowLines, readEnd);
  std::atexit(FinishLines);
}

// Before WinMain, so that no line is written before the pipe is in place.
const bool routedAtStart = (RouteStandardErrorToBoxes(), true);

} // namespace
