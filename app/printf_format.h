// Checks the arguments of our own printf-style functions against their format.
// MinGW's GCC takes "printf" to mean Microsoft's dialect, without %zu; the
// Windows build formats with MinGW's C99 functions (__USE_MINGW_ANSI_STDIO),
// which GCC calls gnu_printf there.
#pragma once

#if defined(__MINGW32__)
#define VELMOR_PRINTF_FORMAT(string, first) [[gnu::format(gnu_printf, string, first)]]
#else
#define VELMOR_PRINTF_FORMAT(string, first) [[gnu::format(printf, string, first)]]
#endif
