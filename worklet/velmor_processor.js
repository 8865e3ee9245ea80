// The audio worklet's processor: runs the music's player (velmor_worklet.wasm,
// given as bytes in processorOptions.wasm) on the audio thread and plays what
// it renders, a fixed depth later. The page learns what was rendered only
// when its own thread takes the report, which a slow frame delays by a
// frame's time; the depth lets the page hold what will be heard before it is
// heard, so that its cards are shown on their rows. The page controls it
// through the port:
//   {type: 'load', bytes, loop}   the module to play, stopped at its start
//   {type: 'start'} {type: 'stop'} the player renders, or not; what was
//                                  rendered plays out, then silence; the
//                                  player keeps its place while stopped
//   {type: 'restart'}              from the song's beginning, full volume
//   {type: 'slide', frames}        fade to silence over that many frames,
//                                  from the next frame played
// Messages that come before the player is ready wait for it, in order.
// It reports back:
//   {type: 'run', context, player, frames, samples, marks, underruns}
//     what it rendered: `frames` frames from the player's frame `player` on,
//     to be played from context frame `context` on, interleaved stereo, with
//     the order | row << 16 of each block of 128 frames; sent every 1024
//     frames and whenever the player stops, so that each run is continuous
//   {type: 'underruns', underruns}  output asked for while the show plays and
//     nothing was rendered for it (the player not ready, or failed): silence
//     played instead
//   {type: 'line', text}           a line the player wrote on standard error
//   {type: 'ready'} {type: 'error', text}
//
// The build puts velmor_system_calls.js in front of it.

const runFrames = 1024;
const blockFrames = 128;
// How far rendering runs ahead of the output once the show plays: 557 ms.
// The page takes these reports between its frames, a frame's time late or
// more (headless Chromium with software WebGL: often 0.25 s, at times over
// 0.4 s), and must hold what is heard before it is heard to show each card on
// its row. A player rendering just in time was always behind the page's
// clock; 186 and 372 ms ahead still fell behind now and then. The page's ring
// (32768 frames) must still hold the heard frame's spectrum once the newest
// report is in. Reached a block at a time, two rendered for each one played,
// so the first sound waits for nothing; a fade applies at once to what is
// queued, so the depth delays nothing that is heard.
const depthFrames = 24576;

class VelmorPlayer extends AudioWorkletProcessor {
  constructor(options) {
    super();
    this.waiting = [];
    this.player = null;
    this.block = 0; // the player's block of rendered frames, in its memory
    this.memory = null;
    this.loaded = false;
    this.running = false;
    this.underruns = 0;
    this.run = null;
    // The rendered frames waiting to be played, interleaved stereo.
    this.queue = new Float32Array(2 * (depthFrames + 2 * blockFrames));
    this.queueStart = 0;
    this.queued = 0;
    this.port.onmessage = (e) => {
      if (this.player) this.apply(e.data);
      else this.waiting.push(e.data);
    };
    const calls = velmorSystemCalls(() => this.memory,
                                    (text) => this.port.postMessage({type: 'line', text}),
                                    () => currentTime);
    WebAssembly.instantiate(options.processorOptions.wasm, calls).then(
        (made) => {
          const exports = (made.instance || made).exports;
          this.memory = exports.memory;
          if (exports._initialize) exports._initialize();
          this.block = exports.velmor_worklet_block();
          this.player = exports;
          this.port.postMessage({type: 'ready'});
          for (const message of this.waiting) this.apply(message);
          this.waiting = [];
        },
        (e) => this.port.postMessage({type: 'error', text: String(e)}));
  }

  apply(message) {
    const p = this.player;
    switch (message.type) {
    case 'load': {
      const bytes = new Uint8Array(message.bytes);
      const at = p.malloc(bytes.length > 0 ? bytes.length : 1);
      new Uint8Array(this.memory.buffer, at, bytes.length).set(bytes);
      this.loaded = p.velmor_worklet_load(at, bytes.length, message.loop ? 1 : 0) === 1;
      if (!this.loaded) this.port.postMessage({type: 'error', text: 'the module did not load'});
      break;
    }
    case 'start':
      this.running = true;
      break;
    case 'stop':
      this.running = false;
      this.send();
      break;
    case 'restart':
      p.velmor_worklet_restart();
      break;
    case 'slide':
      this.fadeQueue(message.frames);
      p.velmor_worklet_slide(message.frames, this.queued);
      break;
    }
  }

  // Fades what is queued as the first `frames` frames of a fade to silence,
  // so that the fade is heard from the next frame played; the player goes
  // on with it from the frame after them.
  fadeQueue(frames) {
    const capacity = this.queue.length / 2;
    const length = Math.max(1, frames);
    for (let i = 0; i < this.queued; i++) {
      const gain = i >= length ? 0 : 1 - i / length;
      const at = 2 * ((this.queueStart + i) % capacity);
      this.queue[at] *= gain;
      this.queue[at + 1] *= gain;
    }
  }

  // Sends the run gathered so far.
  send() {
    const run = this.run;
    if (!run || run.frames === 0) return;
    this.port.postMessage({
      type: 'run',
      context: run.context,
      player: run.player,
      frames: run.frames,
      samples: run.samples.subarray(0, 2 * run.frames),
      marks: run.marks.subarray(0, Math.ceil(run.frames / blockFrames)),
      underruns: this.underruns,
    }, [run.samples.buffer, run.marks.buffer]);
    this.run = null;
  }

  // Renders one block into the queue and the run being gathered. It will be
  // played once the frames queued before it are, from context frame `at`.
  renderBlock(at) {
    const p = this.player;
    const player = p.velmor_worklet_frames();
    let run = this.run;
    if (run && (run.context + run.frames !== at || run.player + run.frames !== player)) {
      this.send();
      run = null;
    }
    if (!run) {
      run = this.run = {
        context: at,
        player,
        frames: 0,
        samples: new Float32Array(2 * runFrames),
        marks: new Uint32Array(runFrames / blockFrames),
      };
    }
    run.marks[run.frames / blockFrames] = p.velmor_worklet_render(blockFrames);
    const rendered = new Float32Array(this.memory.buffer, this.block, 2 * blockFrames);
    run.samples.set(rendered, 2 * run.frames);
    run.frames += blockFrames;
    const capacity = this.queue.length / 2;
    const end = (this.queueStart + this.queued) % capacity;
    for (let i = 0; i < blockFrames; i++) {
      const to = 2 * ((end + i) % capacity);
      this.queue[to] = rendered[2 * i];
      this.queue[to + 1] = rendered[2 * i + 1];
    }
    this.queued += blockFrames;
    if (run.frames === runFrames) this.send();
  }

  process(inputs, outputs) {
    const out = outputs[0];
    const left = out[0], right = out[1] || out[0];
    const n = left.length;
    const capacity = this.queue.length / 2;
    if (this.running && this.player && this.loaded) {
      for (let blocks = this.queued < depthFrames ? 2 : 1; blocks > 0; blocks--) {
        if (this.queued + blockFrames > capacity) break;
        this.renderBlock(currentFrame + this.queued);
      }
    }
    if (this.running && this.queued < n) {
      // The show plays, and there is nothing to play it with.
      this.underruns++;
      this.port.postMessage({type: 'underruns', underruns: this.underruns});
    }
    const take = Math.min(n, this.queued);
    for (let i = 0; i < take; i++) {
      const from = 2 * ((this.queueStart + i) % capacity);
      left[i] = this.queue[from];
      right[i] = this.queue[from + 1];
    }
    this.queueStart = (this.queueStart + take) % capacity;
    this.queued -= take;
    return true;
  }
}

registerProcessor('velmor-player', VelmorPlayer);
