#include "tests/scene/fake_music.h"

#include <string>

#include "music/music.h"

FakeMusicState fakeMusic;

BOOL BASS_Init(int device, DWORD freq, DWORD, HWND, const void *) {
  fakeMusic.calls.push_back("Init(" + std::to_string(device) + "," + std::to_string(freq) + ")");
  return fakeMusic.initResult;
}

HMUSIC BASS_MusicLoad(BOOL mem, const void *file, DWORD, DWORD, DWORD flags, DWORD) {
  fakeMusic.calls.push_back("MusicLoad(" + std::to_string(mem) + "," +
                            static_cast<const char *>(file) + "," + std::to_string(flags) + ")");
  return fakeMusic.loadResult;
}

BOOL BASS_Start() {
  fakeMusic.calls.push_back("Start");
  return TRUE;
}

BOOL BASS_Stop() {
  fakeMusic.calls.push_back("Stop");
  return TRUE;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  fakeMusic.calls.push_back("ChannelPlay(" + std::to_string(handle) + "," +
                            std::to_string(restart) + ")");
  return TRUE;
}

DWORD BASS_ChannelGetData(DWORD, void *buffer, DWORD length) {
  fakeMusic.calls.push_back("ChannelGetData");
  if (length == BASS_DATA_FFT512) {
    auto *bins = static_cast<float *>(buffer);
    for (int i = 0; i < 256; ++i) bins[i] = 0.0f;
    bins[3] = fakeMusic.bin3;
  }
  return 1024;
}

DWORD BASS_MusicGetOrderPosition(HMUSIC) {
  fakeMusic.calls.push_back("MusicGetOrderPosition");
  return fakeMusic.position;
}

BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time) {
  fakeMusic.calls.push_back("Slide(" + std::to_string(handle) + "," + std::to_string(freq) + "," +
                            std::to_string(volume) + "," + std::to_string(pan) + "," +
                            std::to_string(time) + ")");
  return TRUE;
}
