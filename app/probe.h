// Lines for the live tests: which frame, timeline step and fade a program has
// reached, on standard error. The test builds link app/probe.cpp; every other
// build links app/probe_silent.cpp, where the call does nothing.
#pragma once

#include "app/printf_format.h"

// One line, "probe: " and then `format` filled in as by printf.
VELMOR_PRINTF_FORMAT(1, 2) void ProbeLine(const char *format, ...);
