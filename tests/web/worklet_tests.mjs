// The audio worklet's processor (velmor_processor.js) and its player
// (velmor_worklet.wasm) in Node, in a stand-in for the worklet's scope that
// has what the browsers' have and no more: the page's messages in, the
// rendered blocks out, and what it reports to the page.
//
//   node --test tests/web/worklet_tests.mjs   (VELMOR_WEB: the browser build)
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import vm from 'node:vm';

const web = process.env.VELMOR_WEB ?? 'build-web';
const script = fs.readFileSync(path.join(web, 'velmor_processor.js'), 'utf8');
const wasm = fs.readFileSync(path.join(web, 'velmor_worklet.wasm'));
const module = fs.readFileSync(path.join(web, 'torva_velmor2.it'));
const copy = (b) => b.buffer.slice(b.byteOffset, b.byteOffset + b.length);
const quantum = 128;

// A processor in a scope of its own, with the clock of its context.
async function processor() {
  const sent = [];
  let made = null;
  class AudioWorkletProcessor {
    constructor() {
      this.port = { postMessage: (m) => sent.push(m), onmessage: null };
    }
  }
  const scope = { AudioWorkletProcessor, registerProcessor: (name, c) => { made = c; },
    currentFrame: 0, currentTime: 0 };
  for (const name of ['WebAssembly', 'Math', 'BigInt', 'Error', 'Uint8Array', 'Uint32Array',
    'Float32Array', 'DataView', 'String', 'escape', 'decodeURIComponent'])
    scope[name] = globalThis[name];
  vm.createContext(scope);
  vm.runInContext(script, scope);
  const p = new made({ processorOptions: { wasm: copy(wasm) } });
  const send = (m) => p.port.onmessage({ data: m });
  // Quanta of output, as the context asks for them; returns left, right.
  const play = (quanta) => {
    const left = new Float32Array(quanta * quantum), right = new Float32Array(quanta * quantum);
    for (let q = 0; q < quanta; q++) {
      const l = new Float32Array(quantum), r = new Float32Array(quantum);
      p.process([], [[l, r]]);
      left.set(l, q * quantum);
      right.set(r, q * quantum);
      scope.currentFrame += quantum;
      scope.currentTime = scope.currentFrame / 44100;
    }
    return { left, right };
  };
  const ready = async () => {
    while (!sent.some((m) => m.type === 'ready' || m.type === 'error'))
      await new Promise((r) => setTimeout(r, 5));
  };
  return { p, send, play, sent, scope, ready };
}

const runs = (sent) => sent.filter((m) => m.type === 'run');

// The samples reported, by the context frame they are played at.
function played(reports) {
  const at = new Map();
  for (const r of reports)
    for (let i = 0; i < r.frames; i++) at.set(r.context + i, [r.samples[2 * i], r.samples[2 * i + 1]]);
  return at;
}

test('what plays at each context frame is what the reports say plays there', async () => {
  const w = await processor();
  // Sent before the player is ready: they wait, in order.
  w.send({ type: 'load', bytes: copy(module), loop: true });
  w.send({ type: 'start' });
  w.send({ type: 'restart' });
  await w.ready();
  const out = w.play(600);
  const reports = runs(w.sent);
  assert.ok(reports.length > 40, `${reports.length} reports`);
  for (let i = 1; i < reports.length; i++) {
    const a = reports[i - 1], b = reports[i];
    assert.equal(b.player, a.player + a.frames, 'the player frames follow on');
    assert.equal(b.context, a.context + a.frames, 'the context frames follow on');
    assert.equal(b.marks.length, b.frames / quantum);
  }
  assert.equal(reports[0].context, 0);
  assert.equal(reports[0].player, 0);
  const at = played(reports);
  let loud = 0;
  for (let f = 0; f < out.left.length; f++) {
    const reported = at.get(f);
    assert.ok(reported, `nothing reported for context frame ${f}`);
    assert.equal(out.left[f], reported[0], `left at ${f}`);
    assert.equal(out.right[f], reported[1], `right at ${f}`);
    if (Math.abs(out.left[f]) > 0.01) loud++;
  }
  assert.ok(loud > 10000, 'the music is silent');
  // Rendering runs ahead of what is played, by less than the page's ring
  // holds (32768 frames, with a spectrum's 512 and a report's 1024 to spare).
  const last = reports.at(-1);
  const ahead = last.context + last.frames - out.left.length;
  assert.ok(ahead > 0.2 * 44100 && ahead <= 32768 - 512 - 1024, `rendered ${ahead} frames ahead`);
  // The rows advance with the frames: 60 ms a row.
  const row = last.marks.at(-1) >>> 16;
  const expected = Math.floor((last.player + last.frames - quantum) / 44100 / 0.06);
  assert.ok(Math.abs(row - expected) <= 1, `row ${row} at frame ${last.player}, not ${expected}`);
  assert.equal(w.sent.filter((m) => m.type === 'underruns').length, 0);
});

test('a stop lets what was rendered play out, then silence; a start goes on from there',
  async () => {
    const w = await processor();
    w.send({ type: 'load', bytes: copy(module), loop: true });
    await w.ready();
    w.send({ type: 'start' });
    w.send({ type: 'restart' });
    w.play(400);
    w.send({ type: 'stop' });
    const stoppedAt = w.scope.currentFrame;
    const before = runs(w.sent);
    const end = before.at(-1).context + before.at(-1).frames;
    const out = w.play(300);
    assert.equal(runs(w.sent).length, before.length, 'rendered while stopped');
    const tail = end - stoppedAt;
    assert.ok(tail > 0, 'nothing was left to play');
    assert.ok(out.left.subarray(0, tail).some((x) => x !== 0), 'the rendered rest was dropped');
    assert.ok(out.left.subarray(tail).every((x) => x === 0), 'sound after the rendered rest');
    assert.equal(w.sent.filter((m) => m.type === 'underruns').length, 0, 'a stop is no underrun');
    w.send({ type: 'start' });
    w.play(10);
    const again = runs(w.sent).slice(before.length);
    assert.equal(again[0].player, before.at(-1).player + before.at(-1).frames);
    assert.equal(again[0].context, stoppedAt + 300 * quantum, 'plays from the frame it starts');
  });

test('a slide fades what is played next to silence over its frames', async () => {
  // The same showing twice, once with a slide: the same output, scaled from
  // the frame played after the slide, though much was rendered before it.
  const showings = [];
  for (const slide of [false, true]) {
    const w = await processor();
    w.send({ type: 'load', bytes: copy(module), loop: true });
    await w.ready();
    w.send({ type: 'start' });
    w.send({ type: 'restart' });
    const before = w.play(400);
    if (slide) w.send({ type: 'slide', frames: 44100 });
    const after = w.play(800);
    showings.push({ before, after, sent: w.sent });
  }
  const [plain, faded] = showings;
  assert.deepEqual(faded.before.left, plain.before.left);
  let loud = 0;
  for (let f = 0; f < faded.after.left.length; f++) {
    const gain = Math.max(0, 1 - f / 44100);
    for (const side of ['left', 'right']) {
      const expected = plain.after[side][f] * gain;
      assert.ok(Math.abs(faded.after[side][f] - expected) < 1e-6,
        `${side} at frame ${f} of the fade: ${faded.after[side][f]}, not ${expected}`);
    }
    if (gain > 0.1 && Math.abs(plain.after.left[f]) > 0.01) loud++;
  }
  assert.ok(loud > 1000, 'the music was silent where it fades');
  // The player stops once its fade is over: its last reports are silence.
  const last = runs(faded.sent).at(-1);
  assert.ok(last.samples.every((x) => x === 0));
});

test('output asked for while the show plays without a player is an underrun, reported',
  async () => {
    const w = await processor();
    await w.ready();
    w.send({ type: 'start' });
    const out = w.play(5);
    assert.ok(out.left.every((x) => x === 0));
    const reported = w.sent.filter((m) => m.type === 'underruns');
    assert.equal(reported.length, 5);
    assert.equal(reported.at(-1).underruns, 5);
  });

test("the player's own lines reach the page; a file that is no module is refused", async () => {
  const w = await processor();
  await w.ready();
  w.send({ type: 'load', bytes: copy(Buffer.from('not a module at all, only words')), loop: true });
  const lines = w.sent.filter((m) => m.type === 'line').map((m) => m.text);
  assert.equal(lines.length, 1, lines.join(' | '));
  assert.match(lines[0], /^velmor: cannot load the music "the page's module": /);
  assert.ok(w.sent.some((m) => m.type === 'error'));
  w.send({ type: 'start' });
  w.play(2);
  assert.equal(w.sent.filter((m) => m.type === 'underruns').at(-1).underruns, 2);
});

// The page's own instance of the player, made as velmor_page.js makes it,
// with the system calls the build puts in front of both scripts.
async function pagePlayer() {
  const scope = { WebAssembly, Math, BigInt, Error, Uint8Array, DataView, String, escape,
    decodeURIComponent };
  vm.createContext(scope);
  vm.runInContext(script, Object.assign(scope, { AudioWorkletProcessor: class {},
    registerProcessor() {} }));
  const lines = [];
  let exports = null;
  const calls = scope.velmorSystemCalls(() => exports.memory, (line) => lines.push(line), () => 0);
  exports = (await WebAssembly.instantiate(wasm, calls)).instance.exports;
  exports._initialize?.();
  const open = (bytes) => {
    const at = exports.malloc(bytes.length);
    new Uint8Array(exports.memory.buffer, at, bytes.length).set(bytes);
    const out = exports.malloc(8);
    const made = exports.velmor_openmpt_open(at, bytes.length, out, out + 4);
    const view = new DataView(exports.memory.buffer);
    const result = { made, error: view.getInt32(out, true), message: view.getUint32(out + 4, true) };
    exports.free(out);
    return result;
  };
  return { exports, lines, open, calls };
}

test("the page's calls render what the worklet plays, row for row", async () => {
  const page = await pagePlayer();
  const x = page.exports;
  const { made, message } = page.open(module);
  assert.notEqual(made, 0, 'the module was refused');
  assert.equal(message, 0);
  const duration = x.openmpt_module_get_duration_seconds(made);
  assert.ok(duration > 60 && duration < 1200, `${duration} s`);
  x.openmpt_module_set_repeat_count(made, -1);
  x.openmpt_module_set_position_seconds(made, 0);
  const frames = 200 * quantum;
  const at = x.malloc(8 * quantum);
  const pageSamples = new Float32Array(2 * frames);
  for (let done = 0; done < frames; done += quantum) {
    assert.equal(x.openmpt_module_read_interleaved_float_stereo(made, 44100, quantum, at), quantum);
    pageSamples.set(new Float32Array(x.memory.buffer, at, 2 * quantum), 2 * done);
  }
  const row = x.openmpt_module_get_current_row(made);
  assert.equal(x.openmpt_module_get_current_order(made), 0);
  assert.ok(Math.abs(row - Math.floor(frames / 44100 / 0.06)) <= 1, `row ${row}`);
  x.free(at);
  x.openmpt_module_destroy(made);

  const w = await processor();
  w.send({ type: 'load', bytes: copy(module), loop: true });
  w.send({ type: 'start' });
  w.send({ type: 'restart' });
  await w.ready();
  w.play(400);
  const heard = played(runs(w.sent));
  for (let f = 0; f < frames; f++) {
    assert.equal(pageSamples[2 * f], heard.get(f)[0], `left at ${f}`);
    assert.equal(pageSamples[2 * f + 1], heard.get(f)[1], `right at ${f}`);
  }
  assert.ok(pageSamples.some((s) => Math.abs(s) > 0.01), 'the music is silent');
  assert.deepEqual(page.lines, []);
});

test("a file that is no module is refused to the page with libopenmpt's reason", async () => {
  const page = await pagePlayer();
  const refused = page.open(Buffer.from('not a module at all, only words'));
  assert.equal(refused.made, 0);
  assert.notEqual(refused.error, 0);
  assert.notEqual(refused.message, 0, 'no reason given');
  const bytes = new Uint8Array(page.exports.memory.buffer);
  let end = refused.message;
  while (bytes[end] !== 0) end++;
  assert.ok(end > refused.message, 'an empty reason');
  page.exports.openmpt_free_string(refused.message);
  // Still able to play after a refusal.
  assert.notEqual(page.open(module).made, 0);
});

test("the player's lines are told whole, as UTF-8, however they are written", async () => {
  const { calls, exports, lines } = await pagePlayer();
  const memory = new DataView(exports.memory.buffer);
  const at = exports.malloc(64), iovs = exports.malloc(16), written = exports.malloc(4);
  const text = Buffer.from('velmor: t\u00e9st\nsecond');
  new Uint8Array(exports.memory.buffer, at, text.length).set(text);
  // The first line in two pieces of one call, which ends inside a character;
  // the line's end and the next in another call.
  memory.setUint32(iovs, at, true);
  memory.setUint32(iovs + 4, 5, true);
  memory.setUint32(iovs + 8, at + 5, true);
  memory.setUint32(iovs + 12, 5, true);
  assert.equal(calls.wasi_snapshot_preview1.fd_write(2, iovs, 2, written), 0);
  assert.equal(memory.getUint32(written, true), 10);
  assert.deepEqual(lines, []);
  memory.setUint32(iovs, at + 10, true);
  memory.setUint32(iovs + 4, text.length - 10, true);
  calls.wasi_snapshot_preview1.fd_write(2, iovs, 1, written);
  assert.deepEqual(lines, ['velmor: t\u00e9st']);
  new Uint8Array(exports.memory.buffer, at, 1).set([10]);
  memory.setUint32(iovs, at, true);
  memory.setUint32(iovs + 4, 1, true);
  calls.wasi_snapshot_preview1.fd_write(2, iovs, 1, written);
  assert.deepEqual(lines, ['velmor: t\u00e9st', 'second']);
});
