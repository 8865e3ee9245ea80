// The browser's sink: a ScriptProcessorNode of the page's AudioContext asks
// for each buffer on the page's own thread, and the player renders it there
// and then. The program runs on that thread too, so the node is served
// whenever the program gives the browser its turn (every frame, and through
// every Sleep), and nothing needs a lock. In the still mode nothing plays:
// the frame loop renders the player and says which frame is heard.
#include <emscripten.h>

#include <cstdio>
#include <vector>

#include "music/audio_sink.h"
#include "music/music.h"
#include "music/player_core.h"
#include "platform/web/web_audio_clock.h"
#include "platform/web/web_backend.h"

namespace {

// 8192 frames (186 ms at 44100 Hz): the node asks for a buffer as it starts
// playing the other one, so the page may be busy for that long without a gap.
// Software WebGL (headless Chromium's SwiftShader) holds the page for up to
// ~100 ms a frame, where 2048 frames gave an underrun with nearly every
// buffer and 4096 one every 1.5 s; a GPU leaves far more room. What is heard
// is worked out from the node's slots, so the depth costs no sync, only a
// later start of the sound.
constexpr int bufferFrames = 8192;

bool sinkOpen = false;
bool running = false;
std::vector<float> buffer;
WebAudioClock heardClock;
uint64_t stillHeard = 0;

// The page makes the AudioContext in the click that starts the show (a
// browser lets sound start only from a gesture); without one, one is made
// here, which a browser may keep suspended.
EM_JS(int, web_audio_open, (int rate, int frames, float *samples), {
  var ctx = Module.velmorAudioContext;
  try {
    if (!ctx) {
      ctx = new AudioContext({sampleRate : rate});
      Module.velmorAudioContext = ctx;
    }
  } catch (e) {
    err('velmor: no sound output: ' + e);
    return 0;
  }
  if (ctx.sampleRate != rate) {
    err('velmor: no sound output: the page plays at ' + ctx.sampleRate + ' Hz, not ' + rate);
    return 0;
  }
  var node = ctx.createScriptProcessor(frames, 0, 2);
  node.onaudioprocess = function(e) {
    var out = e.outputBuffer;
    var n = out.length;
    var left = out.getChannelData(0);
    var right = out.getChannelData(1);
    var latency = (ctx.baseLatency || 0) + (ctx.outputLatency || 0);
    if (!Module['_web_sink_pull'](n, ctx.currentTime, latency)) {
      left.fill(0);
      right.fill(0);
      return;
    }
    var base = samples >> 2;
    for (var i = 0; i < n; i++) {
      left[i] = HEAPF32[base + 2 * i];
      right[i] = HEAPF32[base + 2 * i + 1];
    }
  };
  node.connect(ctx.destination);
  Module.velmorAudioNode = node;
  return 1;
});

EM_JS(double, web_audio_now, (), {
  var ctx = Module.velmorAudioContext;
  return ctx ? ctx.currentTime : 0;
});

EM_JS(void, web_audio_resume, (), {
  var ctx = Module.velmorAudioContext;
  if (ctx && ctx.state == 'suspended') ctx.resume();
});

} // namespace

// The node's request for its next buffer, at context time `now`: filled from
// the player while the output runs; 0 while stopped, when the node plays
// silence. Every request is counted, for the slots go on either way.
extern "C" EMSCRIPTEN_KEEPALIVE int web_sink_pull(int frames, double now, double latency) {
  heardClock.latency = latency;
  uint64_t first = PlayerFramesRendered();
  bool fill = running && frames == bufferFrames;
  if (fill) PlayerRender(buffer.data(), frames);
  WebAudioClockBuffer(&heardClock, first, fill ? frames : 0, now);
  return fill ? 1 : 0;
}

// For the page: requests for sound served after their slot began (the node
// repeated old sound meanwhile), since the show began.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_underruns() {
  return static_cast<double>(heardClock.underruns);
}

// For the page: how far the player's rendering runs ahead of what is heard,
// in milliseconds.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_audio_ahead_ms() {
  if (!sinkOpen) return 0;
  uint64_t heard = SinkHeardFrame();
  return static_cast<double>(PlayerFramesRendered() - heard) * 1000.0 / heardClock.rate;
}

// For the page: the module's order and row being heard now, order | row << 16.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_heard_position() {
  return sinkOpen ? static_cast<double>(BASS_MusicGetOrderPosition(MusicHandle)) : -1.0;
}

void WebSinkSetHeard(uint64_t frame) { stillHeard = frame; }

int SinkOpen(int rate) {
  if (sinkOpen) return 1;
  if (WebVirtualTime()) {
    sinkOpen = true;
    return 1;
  }
  buffer.assign(static_cast<size_t>(bufferFrames) * 2, 0.0f);
  if (!web_audio_open(rate, bufferFrames, buffer.data())) {
    buffer.clear();
    return 0;
  }
  heardClock = WebAudioClock{};
  heardClock.rate = rate;
  heardClock.bufferFrames = bufferFrames;
  sinkOpen = true;
  return 1;
}

void SinkStart() {
  if (!sinkOpen || WebVirtualTime() || running) return;
  running = true;
  web_audio_resume();
}

void SinkStop() { running = false; }

// The node is served only while the program has given the browser its turn,
// never in the middle of a change to the player.
void SinkLock() {}
void SinkUnlock() {}

uint64_t SinkHeardFrame() {
  if (WebVirtualTime()) return stillHeard;
  if (!sinkOpen) return 0;
  return WebAudioClockHeard(&heardClock, web_audio_now());
}
