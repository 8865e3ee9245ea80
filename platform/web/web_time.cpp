// Time in the browser: performance.now() for the live show, or the virtual
// clock of the still mode, which moves only when the page's frame loop moves
// it and when the program sleeps. Waiting hands the page back to the browser
// (Asyncify), so that the audio, the input and the drawing go on meanwhile.
#include <emscripten.h>

#include "platform/web/web_backend.h"

namespace {

bool virtualTime = false;
int64_t virtualNow = 0;
int64_t virtualRate = 0; // frames a second

// Microseconds: performance.now() is no finer than that in any browser.
constexpr int64_t liveFrequency = 1000000;

// A hidden page gets no animation frames; the timeout lets the program notice
// that it was hidden and wait for messages instead.
EM_ASYNC_JS(void, web_await_animation_frame, (), {
  await new Promise(function(resolve) {
    var done = false;
    function finish() {
      if (!done) {
        done = true;
        resolve();
      }
    }
    requestAnimationFrame(finish);
    setTimeout(finish, 100);
  });
  // The audio thread's reports of what it rendered wait among the page's
  // messages, which Chromium, busy with slow frames, served only every few
  // frames (up to 0.8 s late); a message of our own is taken only after
  // those queued before it, so each frame starts with what is known so far.
  await new Promise(function(resolve) {
    var channel = new MessageChannel();
    channel.port1.onmessage = function() {
      channel.port1.close();
      resolve();
    };
    channel.port2.postMessage(0);
  });
});

} // namespace

bool WebVirtualTime() { return virtualTime; }
void WebSetVirtualTime(bool on) { virtualTime = on; }
void VirtualClockSetRate(int framesPerSecond) { virtualRate = framesPerSecond; }
int64_t VirtualClockNow() { return virtualNow; }
void VirtualClockSet(int64_t position) { virtualNow = position; }

void WebYieldToNextFrame() {
  if (virtualTime)
    emscripten_sleep(0);
  else
    web_await_animation_frame();
}

void WebYieldFor(double milliseconds) {
  emscripten_sleep(milliseconds > 0 ? static_cast<unsigned>(milliseconds) : 0);
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency) {
  if (frequency == nullptr) return FALSE;
  frequency->QuadPart = virtualTime ? virtualRate : liveFrequency;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *count) {
  if (count == nullptr) return FALSE;
  count->QuadPart = virtualTime ? virtualNow : static_cast<int64_t>(emscripten_get_now() * 1000.0);
  return TRUE;
}

DWORD timeGetTime() {
  if (virtualTime) return static_cast<DWORD>(virtualNow * 1000 / virtualRate);
  return static_cast<DWORD>(static_cast<int64_t>(emscripten_get_now()));
}

void Sleep(DWORD milliseconds) {
  if (virtualTime) {
    // The still mode never waits: the time passes, and the frame loop renders
    // what would have been heard meanwhile.
    virtualNow += static_cast<int64_t>(milliseconds) * virtualRate / 1000;
    return;
  }
  // To a deadline: the browser may wake the program early or late.
  double deadline = emscripten_get_now() + milliseconds;
  for (;;) {
    double left = deadline - emscripten_get_now();
    if (left <= 0) break;
    WebYieldFor(left);
  }
}
