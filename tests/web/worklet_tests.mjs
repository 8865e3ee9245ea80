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
