// The music calls over the player core and the linked sink.
#include "music/music.h"

#include "music/player_core.h"
#include "platform/audio_sink.h"

#include <vector>

// What a sink holds back is still in the ring when it is heard.
static_assert(ringFrames >= sinkHeldFrames);

namespace {

bool deviceOpen = false;
openmpt_module *loaded = nullptr;
HMUSIC loadedHandle = 0;
HMUSIC nextHandle = 0x10000;

bool IsLoaded(DWORD handle) { return loaded != nullptr && handle == loadedHandle; }

// Audio the browser's audio thread rendered with a player of its own goes
// into this player's ring, where the position and the spectrum are read.
void TakeRendered(const float *stereo, int frames, uint32_t position) {
  PlayerRingWrite(stereo, frames, position & 0xFFFF, position >> 16);
}

uint32_t HeardPosition() { return BASS_MusicGetOrderPosition(loadedHandle); }

const SinkSource playerSource{PlayerRender, TakeRendered, HeardPosition};

} // namespace

BOOL BASS_Init(int device, DWORD freq, DWORD, HWND, const void *) {
  if (device != 1 && device != -1) return FALSE;
  if (deviceOpen) return TRUE;
  // The player renders at its own fixed rate; the device converts if it must.
  (void)freq;
  deviceOpen = SinkOpen(audioRate, &playerSource) != 0;
  if (deviceOpen) PlayerPrepareSpectrum();
  return deviceOpen ? TRUE : FALSE;
}

HMUSIC BASS_MusicLoad(BOOL mem, const void *file, DWORD offset, DWORD length, DWORD flags, DWORD) {
  if (file == nullptr || !deviceOpen) return 0;
  int loopForever = (flags & BASS_MUSIC_LOOP) != 0;
  std::vector<char> read;
  const void *bytes = static_cast<const char *>(file) + offset;
  size_t size = length;
  const char *name = "the gift pack's module";
  if (!mem) {
    if (!PlayerReadModuleFile(static_cast<const char *>(file), &read)) return 0;
    bytes = read.data();
    size = read.size();
    name = static_cast<const char *>(file);
  }
  openmpt_module *module = PlayerOpenModuleBytes(bytes, size, name, loopForever);
  if (module == nullptr) return 0;
  SinkLock();
  PlayerInstall(module);
  SinkUnlock();
  SinkModuleInstalled(bytes, size, loopForever);
  PlayerCloseModule(loaded);
  loaded = module;
  loadedHandle = nextHandle++;
  return loadedHandle;
}

BOOL BASS_Start() {
  if (!deviceOpen) return FALSE;
  SinkStart();
  return TRUE;
}

BOOL BASS_Stop() {
  if (!deviceOpen) return FALSE;
  SinkStop();
  return TRUE;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  if (!IsLoaded(handle)) return FALSE;
  if (restart || !PlayerIsPlaying()) {
    SinkLock();
    PlayerRestart();
    SinkUnlock();
    SinkRestarted();
  }
  return TRUE;
}

DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length) {
  if (!IsLoaded(handle) || buffer == nullptr || length != BASS_DATA_FFT512) return 0xFFFFFFFFu;
  PlayerSpectrumAt(SinkHeardFrame(), static_cast<float *>(buffer));
  return spectrumSize * sizeof(float);
}

DWORD BASS_MusicGetOrderPosition(HMUSIC handle) {
  if (!IsLoaded(handle)) return 0xFFFFFFFFu;
  return PlayerPositionAt(SinkHeardFrame());
}

BOOL BASS_ChannelSlideAttributes(DWORD handle, int, int volume, int, DWORD time) {
  if (!IsLoaded(handle)) return FALSE;
  if (volume == -2) {
    uint64_t frames = static_cast<uint64_t>(time) * audioRate / 1000;
    PlayerSlideToSilence(frames);
    SinkSliding(frames);
  }
  return TRUE;
}
