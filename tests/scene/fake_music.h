// A stand-in for the music calls: records them, and plays nothing.
#pragma once

#include <string>
#include <vector>

struct FakeMusicState {
  int initResult = 1;
  unsigned loadResult = 0x10000;
  unsigned position = 0; // what BASS_MusicGetOrderPosition answers
  float bin3 = 0.0f;     // what the spectrum holds at index 3
  std::vector<std::string> calls;
};

extern FakeMusicState fakeMusic;
