// On Windows the shell's and the scene's calls are Windows' own: this header
// only brings them in, with the two adjustments 64-bit Windows needs.
#pragma once

// The build defines WIN32_LEAN_AND_MEAN and NOMINMAX for every file, as GL's
// headers include <windows.h> too: the full set would bring RPC's `boolean`,
// which clashes with libjpeg's.
#include <windows.h>
// timeGetTime
#include <mmsystem.h>

// The shell keeps its window record's address in the window's user data. On
// 64-bit Windows GetWindowLongA would cut that address to 32 bits; the Ptr
// calls keep it whole, under the names the shell uses.
#undef GetWindowLongA
#undef SetWindowLongA
#define GetWindowLongA GetWindowLongPtrA
#define SetWindowLongA SetWindowLongPtrA
#ifndef GWL_USERDATA
#define GWL_USERDATA GWLP_USERDATA
#endif
