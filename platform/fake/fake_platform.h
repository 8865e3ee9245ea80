// The test double's controls: it records every platform call by name, fails a
// named call on request, and runs a clock that only moves when told to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

// Back to a fresh double: no calls recorded, no failures armed, display mode
// and pointer as at start, clock at zero with a performance counter of
// 1 MHz. Windows and classes still registered are the caller's to destroy.
void FakeReset();

// The next call named `call` (counting from now, 1 = the very next) fails.
void FakeFailCall(const std::string &call, int occurrence = 1);

// Every platform call made since the last reset, by name, in order.
const std::vector<std::string> &FakeCalls();
int FakeCallCount(const std::string &call);

// Message boxes shown, each as "caption|text".
const std::vector<std::string> &FakeMessageBoxes();

// Display state as the program left it.
bool FakeDisplaySwitched();
int FakeCursorCount();
void FakeSetFullScreenAvailable(bool available);
// With false, a switch to a listed mode is accepted but the display stays at
// the desktop's 1024x768, as when a driver or compositor refuses it later.
void FakeSetSwitchTakesEffect(bool takes);
// How often the display was given back its own mode.
int FakeDisplayRestores();

// The clock. Without a counter, QueryPerformanceFrequency fails and only the
// millisecond timer runs. `counterStep` is added after every counter read.
void FakeSetCounter(bool available, int64_t frequency, int64_t value, int64_t counterStep = 0);
void FakeSetMilliseconds(DWORD value, DWORD step = 0);
// Total of all Sleep requests since the last reset, in milliseconds.
uint64_t FakeSleptMilliseconds();

// Run when WaitMessage finds the queue empty: the place for a test to post
// what the desktop would. WaitMessage with no hook installed that returns
// without a message posted aborts the test instead of spinning forever.
void FakeOnWait(std::function<void()> hook);
