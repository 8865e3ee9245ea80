// The music calls the scene makes, with the arguments it makes them with, and
// the records it keeps about the music.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

using HMUSIC = DWORD;
using QWORD = uint64_t;

constexpr DWORD BASS_MUSIC_LOOP = 4;
constexpr DWORD BASS_DATA_FFT512 = 0x80000000u; // 256 magnitudes of a 512-point FFT

// Opens the default output (device 1 or -1) at `freq` Hz, stereo. Zero when no
// sound device can be opened.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND window, const void *clsid);
// Loads a module from the file named by `file` (mem 0), or from the `length`
// bytes at `file` + `offset` (mem nonzero); BASS_MUSIC_LOOP makes it
// start over from order 0 after its last order, forever. Zero, with one line
// naming the file and the reason on standard error, when it cannot be loaded.
HMUSIC BASS_MusicLoad(BOOL mem, const void *file, DWORD offset, DWORD length, DWORD flags,
                      DWORD freq);
BOOL BASS_Start();
BOOL BASS_Stop();
// restart nonzero: from the beginning.
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
// With BASS_DATA_FFT512: 256 floats, the spectrum of the audio being heard now.
DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);
// order | row << 16 of the row being heard now.
DWORD BASS_MusicGetOrderPosition(HMUSIC handle);
// volume -2: fade to silence over `time` ms, then stop. freq -1/0 and pan -101
// leave pitch and panning alone. Returns at once.
BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time);

struct MusicPositionRecord {
  uint32_t order;
  uint32_t row;
};

extern uint8_t MusicEnabled; // 1 until the device cannot be opened
extern uint8_t MusicStarted; // 1 after the first play request
extern HMUSIC MusicHandle;
extern std::array<float, 256> SpectrumBuffer;
extern MusicPositionRecord MusicPosition;
