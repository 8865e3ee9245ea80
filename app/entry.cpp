// The process entry of the intro. Arguments are ignored: the intro has no
// options and no configuration.
#include "app/main.h"

int main() { return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL); }
