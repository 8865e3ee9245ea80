// The page around the show: the cover whose click starts it (a browser lets
// sound start only from a gesture), the full-screen control, the messages,
// the end, and the test hook ?at=SECONDS&fps=N.
//
// document.body.dataset.state tells where the page stands: loading, waiting
// (the cover), playing, ended, error (a message is shown); with the test hook
// rendering, then still (the frame shown at SECONDS is on the canvas) or error.
'use strict';

(function () {
  const musicFile = 'torva_velmor2.it';
  // The music's player for the audio thread: the processor's script and its
  // WebAssembly module, fetched once and given to every showing's context.
  // The program has no player of its own: each showing gets an instance of
  // the same module on this thread too, for the program's module check and
  // the still frames (platform/web/web_openmpt.cpp).
  const processorFile = 'velmor_processor.js';
  const workletFile = 'velmor_worklet.wasm';
  // A gift: someone's pictures (and perhaps module) in one file, beside the
  // page or inside it; without one the show is ours.
  const packFile = 'gift.pack';
  const body = document.body;
  const stage = document.getElementById('stage');
  const cover = document.getElementById('cover');
  const coverHint = document.getElementById('cover-hint');
  const message = document.getElementById('message');
  const endedText = document.getElementById('ended-text');
  const note = document.getElementById('note');
  let canvas = document.getElementById('canvas');

  // The program compiled once; every showing gets an instance of its own, so
  // that it starts from its first frame with nothing left of the last one.
  let compiled = null;
  let music = null;
  let current = null;
  let currentAudio = null;
  let worklet = null;
  // The gift's pack, {bytes, name}, or null; `nothingToStart` once the reader has
  // refused it or the program did not load, after which nothing starts.
  let gift = null;
  let nothingToStart = false;

  function setState(state) {
    body.dataset.state = state;
  }

  function showMessage(text) {
    message.textContent += (message.textContent ? '\n' : '') + text;
  }

  // Where the page was made into one file that opens from disk
  // (tools/web/one_file.mjs), its files are inside it: script elements of
  // type application/octet-stream named by data-file, each holding a file's
  // bytes in base64, gzipped where data-encoding says so. Such a page fetches
  // nothing.
  const carried = (file) => document.querySelector(`script[data-file="${file}"]`);
  const oneFile = document.querySelector('script[data-file]') !== null;

  function fromBase64(text) {
    if (Uint8Array.fromBase64) return Uint8Array.fromBase64(text);
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  // A file of the page: taken from the page itself where it is one file,
  // otherwise fetched beside it.
  async function load(file) {
    const inside = carried(file);
    if (!inside) return fetch(file);
    const headers = {'Content-Type': inside.dataset.type};
    if (inside.dataset.encoding !== 'gzip')
      return new Response(fromBase64(inside.textContent), {headers});
    if (typeof DecompressionStream === 'undefined')
      throw new Error('this browser cannot unpack the page\'s files; a newer one plays it');
    const packed = new Blob([fromBase64(inside.textContent)]).stream();
    return new Response(packed.pipeThrough(new DecompressionStream('gzip')), {headers});
  }

  // The gift's pack, or null for our show: inside the one file, or beside the
  // page, where none (404) is our show. The one file names itself in the
  // reader's lines: that is the file its receiver has.
  async function fetchGift() {
    if (oneFile && !carried(packFile)) return null;
    const response = await load(packFile);
    // Read to its end, so that the request ends as answered, not cut off.
    const bytes = new Uint8Array(await response.arrayBuffer());
    if (response.status === 404) return null;
    if (!response.ok)
      throw new Error(`velmor: cannot load the gift pack "${packFile}": ` +
                      `${response.status} ${response.statusText}`.trim());
    const name = oneFile ? decodeURIComponent(location.pathname.split('/').pop()) : packFile;
    return {bytes, name: name || packFile};
  }

  // Hands the gift's pack to an instance's reader, which checks it whole;
  // false, with the reader's line gone to `printErr`, when it is refused.
  function handOverGift(instance) {
    if (!gift) return true;
    const at = instance._malloc(gift.bytes.length);
    if (!at) return false;
    instance.HEAPU8.set(gift.bytes, at);
    const used = instance.ccall('velmor_use_gift_pack', 'number', ['number', 'number', 'string'],
                                [at, gift.bytes.length, gift.name]);
    instance._free(at);
    return used === 1;
  }

  // The reader's line for the gift's pack, or null when it is shown: read by
  // an instance of its own, before the cover, so that a damaged pack is told
  // at once and no show starts.
  async function checkGift() {
    if (!gift) return null;
    const lines = [];
    const instance = await new Promise((resolve, reject) => {
      createVelmor({
        canvas: document.createElement('canvas'),
        print: (line) => console.log(line),
        printErr: (line) => lines.push(line),
        onAbort: (what) => reject(new Error(what)),
        instantiateWasm: (imports, receive) => {
          WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled),
                                                          reject);
          return {};
        },
      }).then(resolve, reject);
    });
    if (handOverGift(instance)) return null;
    return lines.find((line) => line.startsWith('velmor')) ||
           `velmor: the gift pack "${gift.name}" cannot be shown`;
  }

  async function fetchMusic() {
    try {
      const response = await load(musicFile);
      return response.ok ? new Uint8Array(await response.arrayBuffer()) : null;
    } catch (e) {
      return null;
    }
  }

  async function fetchWorklet() {
    const fetched = async (file) => {
      const response = await load(file);
      if (!response.ok) throw new Error(file + ': ' + response.status);
      return response;
    };
    try {
      const [script, [wasm, compiled]] = await Promise.all([
        fetched(processorFile).then((response) => response.text()),
        fetched(workletFile).then((response) => {
          const bytes = response.clone().arrayBuffer();
          return Promise.all([bytes, compileFrom(response, () => bytes)]);
        }),
      ]);
      return {script, wasm, compiled};
    } catch (e) {
      return {problem: 'the sound player did not load (' + e.message + ')'};
    }
  }

  // Adds the player's processor to `audioContext`; what the program's sink
  // needs to make its node, or why there is none. From file:// only a data:
  // URL is accepted as the processor's script in every engine.
  async function addPlayer(audioContext) {
    if (!audioContext) return {problem: 'no AudioContext'};
    if (worklet.problem) return worklet;
    if (!audioContext.audioWorklet) return {problem: 'this browser has no audio worklet'};
    try {
      await audioContext.audioWorklet.addModule(
          'data:text/javascript,' + encodeURIComponent(worklet.script));
      return {wasm: worklet.wasm};
    } catch (e) {
      return {problem: 'the audio worklet did not start: ' + e};
    }
  }

  // The WebAssembly of `response`, compiled as it arrives; from `bytes()`
  // where a server names another type for .wasm.
  async function compileFrom(response, bytes) {
    if (WebAssembly.compileStreaming) {
      try {
        return await WebAssembly.compileStreaming(response);
      } catch (e) {
        // Compiled from the bytes below.
      }
    }
    return WebAssembly.compile(await bytes());
  }

  function compile() {
    return compileFrom(load('velmor.wasm'),
                       async () => (await load('velmor.wasm')).arrayBuffer());
  }

  // The player's instance for the program's thread, or null when it did not
  // load (the program then says that it cannot load the music). What the
  // player writes on standard error goes to the console.
  async function pagePlayer() {
    if (worklet.problem) {
      console.error('velmor: ' + worklet.problem);
      return null;
    }
    let exports = null;
    const calls = velmorSystemCalls(() => exports.memory, (line) => console.error(line),
                                    () => performance.now() / 1000);
    try {
      exports = (await WebAssembly.instantiate(worklet.compiled, calls)).exports;
      if (exports._initialize) exports._initialize();
      return exports;
    } catch (e) {
      console.error('velmor: the music\'s player did not start: ' + e);
      return null;
    }
  }

  // A fresh canvas for each instance: a WebGL context stays with its canvas.
  function freshCanvas() {
    const next = canvas.cloneNode(false);
    canvas.replaceWith(next);
    canvas = next;
    return next;
  }

  // The program's standard error goes to the console; its own lines, which
  // say what it could not do, are shown on the page too, as on a terminal.
  async function instantiate(audioContext, player) {
    const openmpt = await pagePlayer();
    return createVelmor({
      canvas: freshCanvas(),
      velmorOpenmpt: openmpt,
      velmorAudioContext: audioContext,
      velmorWorklet: player && player.wasm ? player : null,
      velmorWorkletProblem: player ? player.problem : null,
      velmorMessage: (caption, text) => showMessage(caption + ': ' + text),
      velmorTakeEarlyEscape: takeEarlyEscape,
      print: (line) => console.log(line),
      printErr: (line) => {
        // The GL emulation announces itself on standard error at every start;
        // that is a notice, and a console error must mean something went wrong.
        if (line.startsWith('WARNING: using emscripten GL')) console.warn(line);
        else console.error(line);
        if (line.startsWith('velmor')) showMessage(line);
      },
      onAbort: (what) => fail('The show stopped: ' + what),
      instantiateWasm: (imports, receive) => {
        WebAssembly.instantiate(compiled, imports).then((instance) => receive(instance, compiled),
                                                        (e) => fail('Cannot start: ' + e));
        return {};
      },
    }).then((instance) => {
      if (music) instance.FS.writeFile(musicFile, music);
      if (!handOverGift(instance)) throw new Error('the gift pack was refused');
      current = instance;
      return instance;
    });
  }

  function fail(text) {
    showMessage(text);
    endedText.textContent = 'The show could not go on.';
    setState('error');
  }

  // The program hears keys once its window is open, a moment after the
  // click; an Escape pressed before that still ends the show.
  let programListens = false;
  let earlyEscape = false;
  function takeEarlyEscape() {
    programListens = true;
    const pressed = earlyEscape;
    earlyEscape = false;
    return pressed;
  }

  async function play() {
    if (nothingToStart) return;
    if (body.dataset.state !== 'waiting' && body.dataset.state !== 'ended' &&
        body.dataset.state !== 'error')
      return;
    programListens = false;
    earlyEscape = false;
    // The measurements speak of this showing from its click on.
    current = null;
    message.textContent = '';
    // A phone plays a page's sound of type playback even with its ringer set
    // to silent, as it plays a music player's; the type must be set before
    // the sound starts.
    if (navigator.audioSession) {
      try {
        navigator.audioSession.type = 'playback';
      } catch (e) {
        console.warn('velmor: the audio session keeps its type: ' + e);
      }
    }
    // Made and resumed inside the gesture, or the browser keeps it silent.
    let audioContext = null;
    try {
      audioContext = new AudioContext({sampleRate: 44100});
      audioContext.resume();
    } catch (e) {
      console.error('velmor: no AudioContext: ' + e);
    }
    currentAudio = audioContext;
    setState('playing');
    try {
      const instance = await instantiate(audioContext, await addPlayer(audioContext));
      const status = await instance.ccall('main', 'number', ['number', 'number'], [0, 0],
                                          {async: true});
      if (audioContext) audioContext.close();
      if (status === 0) {
        endedText.textContent = 'The show is over.';
        setState('ended');
      } else {
        fail('The show ended with status ' + status + '.');
      }
    } catch (e) {
      if (audioContext) audioContext.close();
      fail('The show stopped: ' + e);
    }
  }

  async function still(at, fps) {
    setState('rendering');
    try {
      const instance = await instantiate(null, null);
      const status = await instance.ccall('velmor_still', 'number', ['number', 'number'],
                                          [at, fps], {async: true});
      if (status === 0)
        setState('still');
      else
        fail('No still at ' + at + ' s, ' + fps + ' fps.');
    } catch (e) {
      fail('The still stopped: ' + e);
    }
  }

  // In full screen a browser keeps Escape for itself, to leave full screen,
  // unless the page locks the key: then Escape ends the show there too. Where
  // it cannot be locked the viewer is told that the first Escape only leaves
  // full screen.
  function enteredFullScreen() {
    if (navigator.keyboard && navigator.keyboard.lock) {
      navigator.keyboard.lock(['Escape']).then(
        () => showNote(''),
        () => showNote(escapeNote));
    } else {
      showNote(escapeNote);
    }
  }

  const escapeNote = 'Escape leaves full screen; press it again to end the show.';
  let noteTimer = 0;
  function showNote(text) {
    clearTimeout(noteTimer);
    note.textContent = text;
    if (text) noteTimer = setTimeout(() => (note.textContent = ''), 5000);
  }

  function toggleFullScreen() {
    if (document.fullscreenElement)
      document.exitFullscreen();
    else if (stage.requestFullscreen)
      stage.requestFullscreen().then(enteredFullScreen,
                                     (e) => console.error('velmor: no full screen: ' + e));
  }

  document.addEventListener('fullscreenchange', () => {
    if (document.fullscreenElement) return;
    showNote('');
    if (navigator.keyboard && navigator.keyboard.unlock) navigator.keyboard.unlock();
  });

  // Measurements for whoever drives the page.
  window.velmorUnderruns = () => (current ? current._velmor_underruns() : 0);
  window.velmorAudioAheadMs = () => (current ? current._velmor_audio_ahead_ms() : 0);
  window.velmorFrames = () => (current ? current._velmor_frames() : 0);
  // The order and row being heard with the audio clock's time and the
  // underruns so far, read together.
  window.velmorHeard = () => ({
    position: current ? current._velmor_heard_position() : -1,
    time: current ? current._velmor_heard_time() : 0,
    running: currentAudio ? currentAudio.state === 'running' : false,
    underruns: current ? current._velmor_underruns() : 0,
  });

  document.getElementById('fullscreen').addEventListener('click', (e) => {
    toggleFullScreen();
    e.currentTarget.blur();
  });
  document.addEventListener('keydown', (e) => {
    if (e.code === 'KeyF' && !e.repeat && !e.altKey && !e.ctrlKey && !e.metaKey)
      toggleFullScreen();
    else if ((e.code === 'Enter' || e.code === 'Space') && body.dataset.state === 'waiting')
      play();
    else if (e.code === 'Escape' && body.dataset.state === 'playing' && !programListens)
      earlyEscape = true;
  });
  cover.addEventListener('click', play);
  document.getElementById('again').addEventListener('click', play);

  const params = new URLSearchParams(location.search);
  const startup = Promise.all([compile(), fetchMusic(), fetchWorklet(), fetchGift()])
    .then(([c, m, w, g]) => {
      compiled = c;
      music = m;
      worklet = w;
      gift = g;
      return checkGift();
    });
  // Nothing to start: the program did not load, or the gift's pack was
  // refused, when the show would not be the one that was given.
  function cannotStart(line) {
    nothingToStart = true;
    document.getElementById('again').hidden = true;
    fail(line);
  }
  startup.then((refusal) => {
    if (refusal) {
      cannotStart(refusal);
    } else if (params.has('at')) {
      still(Number(params.get('at')), Number(params.get('fps') || 60));
    } else {
      // A phone's viewer taps; the cover says so where the pointer is a finger.
      const touch = window.matchMedia && window.matchMedia('(pointer: coarse)').matches;
      coverHint.textContent = touch ? 'Tap to start' : 'Click to start';
      setState('waiting');
    }
  }, (e) => {
    // The gift's own lines stand alone; anything else kept the program from loading.
    cannotStart(String(e.message).startsWith('velmor:') ? e.message
                                                       : 'Cannot load the program: ' + e);
  });
})();
