#include "app/probe.h"

void ProbeLine(const char *, ...) {}
