// What the scene keeps about the music, apart from the player behind the calls.
#include "music/music.h"

uint8_t MusicEnabled = 1;
uint8_t MusicStarted = 0;
HMUSIC MusicHandle = 0;
std::array<float, 256> SpectrumBuffer{};
MusicPositionRecord MusicPosition{};
