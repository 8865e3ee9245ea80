// Lines for the live tests: which frame, timeline step and fade a program has
// reached, on standard error. The test builds link app/probe.cpp; every other
// build links app/probe_silent.cpp, where the call does nothing.
#pragma once

// One line, "probe: " and then `format` filled in as by printf.
[[gnu::format(printf, 1, 2)]] void ProbeLine(const char *format, ...);
