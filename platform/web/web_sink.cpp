// The browser's sink: the music is rendered on the audio thread by a player
// of its own, the audio worklet's (worklet/), so that no frame, however
// slow, keeps the sound waiting. This sink only carries messages: the music
// calls go to the worklet, and what it rendered comes back, with its order
// and row marks, to the sink's source, from which the scene reads the
// position and the spectrum at the frame being heard, as everywhere else.
// Which frame that is comes from the AudioContext's output clock
// (web_heard_clock.h). In the still mode nothing plays: the frame loop
// renders the source itself and says which frame is heard.
#include <emscripten.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/audio_sink.h"
#include "platform/web/web_backend.h"
#include "platform/web/web_heard_clock.h"
#include "platform/web/web_runs.h"

namespace {

// The most frames one report of the worklet carries (velmor_processor.js
// sends 1024).
constexpr int runFrames = 4096;

bool sinkOpen = false;
int sinkRate = 0;
const SinkSource *source = nullptr;
std::vector<float> runSamples;  // where the page puts a report's samples
std::vector<uint32_t> runMarks; // and its marks, one per block
WebReceived received;
double underruns = 0;
uint64_t stillHeard = 0;

// The page makes the AudioContext, and adds the worklet's processor to it,
// in the click that starts the show (a browser lets sound start only from a
// gesture); without a context one is made here, which a browser may keep
// suspended. Without the processor there is no sound output.
EM_JS(int, web_audio_open, (int rate, float *samples, uint32_t *marks, int most), {
  if (!Module.velmorWorklet) {
    err('velmor: no sound output: ' + (Module.velmorWorkletProblem || 'no audio worklet'));
    return 0;
  }
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
  // Whether the output may be asked when it is heard (web_output_times).
  Module.velmorAskOutput = navigator.userAgent.indexOf('Firefox/') < 0;
  var node;
  try {
    node = new AudioWorkletNode(ctx, 'velmor-player', {
      numberOfInputs : 0,
      numberOfOutputs : 1,
      outputChannelCount : [2],
      processorOptions : {wasm : Module.velmorWorklet.wasm}
    });
  } catch (e) {
    err('velmor: no sound output: ' + e);
    return 0;
  }
  node.port.onmessage = function(e) {
    var m = e.data;
    if (m.type == 'run' && m.frames > most) {
      err('velmor: a report of the sound is too long to read: ' + m.frames + ' frames');
    } else if (m.type == 'run') {
      HEAPF32.set(m.samples, samples >> 2);
      HEAPU32.set(m.marks, marks >> 2);
      Module['_web_sink_receive'](m.context, m.player, m.frames, m.underruns);
    } else if (m.type == 'underruns') {
      Module['_web_sink_underruns'](m.underruns);
    } else if (m.type == 'line') {
      err(m.text);
    } else if (m.type == 'error') {
      err('velmor: the sound stopped: ' + m.text);
    }
  };
  node.onprocessorerror = function() {
    err('velmor: the sound stopped: the audio worklet failed');
  };
  node.connect(ctx.destination);
  Module.velmorAudioNode = node;
  return 1;
});

EM_JS(void, web_audio_post, (const char *type, double frames), {
  var node = Module.velmorAudioNode;
  if (node) node.port.postMessage({type : UTF8ToString(type), frames : frames});
});

EM_JS(void, web_audio_post_module, (const char *bytes, int size, int loopForever), {
  var node = Module.velmorAudioNode;
  if (!node) return;
  var copy = HEAPU8.slice(bytes, bytes + size).buffer;
  node.port.postMessage({type : 'load', bytes : copy, loop : loopForever != 0}, [copy]);
});

EM_JS(void, web_audio_resume, (), {
  var ctx = Module.velmorAudioContext;
  if (ctx && ctx.state == 'suspended') ctx.resume();
});

// What the context says of its output now, as WebOutputTimes' fields.
// Firefox is not asked: it answers `getOutputTimestamp()` and `outputLatency`
// by asking its sound server while holding its audio graph, and with
// PulseAudio that deadlocks the page now and then (seen: the page frozen for
// good within seconds of its first sound, 5 showings in 6). There the context's
// clock is taken as heard, ahead by the output's few tens of milliseconds.
// Elsewhere the latencies are read only where there is no timestamp at all.
EM_JS(void, web_output_times, (double *out), {
  var ctx = Module.velmorAudioContext;
  var base = out >> 3;
  HEAPF64.fill(0, base, base + 7);
  if (!ctx) return;
  var ask = Module.velmorAskOutput;
  var stamp = ask && ctx.getOutputTimestamp ? ctx.getOutputTimestamp() : null;
  if (stamp && typeof stamp.contextTime == 'number' && typeof stamp.performanceTime == 'number') {
    HEAPF64[base] = 1;
    HEAPF64[base + 1] = stamp.contextTime;
    HEAPF64[base + 2] = stamp.performanceTime;
  }
  HEAPF64[base + 3] = performance.now();
  HEAPF64[base + 4] = ctx.currentTime;
  if (ask && !ctx.getOutputTimestamp) {
    HEAPF64[base + 5] = ctx.outputLatency || 0;
    HEAPF64[base + 6] = ctx.baseLatency || 0;
  }
});

double HeardContextTime() {
  double read[7];
  web_output_times(read);
  WebOutputTimes times{read[0] != 0, read[1], read[2], read[3], read[4], read[5], read[6]};
  return WebHeardContextTime(times);
}

bool Live() { return sinkOpen && !WebVirtualTime(); }

} // namespace

// A run the worklet rendered: `frames` frames from the player's frame
// `player` on, rendered at context frame `context`, already in the report
// buffers; `count` underruns the audio thread has seen so far.
extern "C" EMSCRIPTEN_KEEPALIVE void web_sink_receive(double context, double player, int frames,
                                                      double count) {
  underruns = count;
  if (frames <= 0 || frames > runFrames) return;
  WebReceiveRun(&received,
                {static_cast<uint64_t>(context), static_cast<uint64_t>(player), frames,
                 runSamples.data(), runMarks.data()},
                source->take);
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_sink_underruns(double count) { underruns = count; }

// For the page: output the audio thread had to play as silence while the
// show played, since the show began.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_underruns() { return underruns; }

// For the page: how far what has been rendered runs ahead of what is heard,
// in milliseconds.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_audio_ahead_ms() {
  if (!Live()) return 0;
  uint64_t heard = SinkHeardFrame();
  return static_cast<double>(received.clock.received - heard) * 1000.0 / sinkRate;
}

// For the page: the module's order and row being heard now, order | row << 16.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_heard_position() {
  return sinkOpen ? static_cast<double>(source->heardPosition()) : -1.0;
}

// For the page: the audio clock's time of what is heard now, in seconds.
extern "C" EMSCRIPTEN_KEEPALIVE double velmor_heard_time() {
  return Live() ? HeardContextTime() : 0.0;
}

void VirtualClockSetHeard(uint64_t position) { stillHeard = position; }

int SinkOpen(int rate, const SinkSource *from) {
  if (sinkOpen) return 1;
  source = from;
  if (WebVirtualTime()) {
    sinkOpen = true;
    return 1;
  }
  runSamples.assign(2 * runFrames, 0.0f);
  runMarks.assign(runFrames / webRunBlockFrames, 0);
  if (!web_audio_open(rate, runSamples.data(), runMarks.data(), runFrames)) return 0;
  received = WebReceived{};
  sinkRate = rate;
  sinkOpen = true;
  return 1;
}

void SinkStart() {
  if (!Live()) return;
  web_audio_post("start", 0);
  web_audio_resume();
}

void SinkStop() {
  if (Live()) web_audio_post("stop", 0);
}

// The source is never pulled while the show plays: nothing to exclude.
void SinkLock() {}
void SinkUnlock() {}

uint64_t SinkHeardFrame() {
  if (WebVirtualTime()) return stillHeard;
  if (!sinkOpen) return 0;
  return WebHeardClockHeard(&received.clock, HeardContextTime() * sinkRate);
}

// The music calls are passed on to the worklet's player; the module goes
// over as the bytes the program just loaded it from.
void SinkModuleInstalled(const void *bytes, size_t size, int loopForever) {
  if (Live())
    web_audio_post_module(static_cast<const char *>(bytes), static_cast<int>(size), loopForever);
}

void SinkRestarted() {
  if (Live()) web_audio_post("restart", 0);
}

void SinkSliding(uint64_t frames) {
  if (Live()) web_audio_post("slide", static_cast<double>(frames));
}
