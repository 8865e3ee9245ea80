// A gift as its receiver meets it in headless Chromium: the one HTML file of
// `make gift … TARGETS=html` opened from disk, and the page folder of
// TARGETS=web served. Both show the gift's own dedication and photos, as the
// capture tool run in the gift's folder draws them; a damaged pack shows the
// reader's one line and no show starts.
//
//   tests/gift/gift_html_check.sh      (makes the gift and runs these)
//
// From the environment: VELMOR_GIFT_HTML (the one file), VELMOR_GIFT_WEB
// (the page folder), and the capture tool's frames of the same gift:
// VELMOR_GIFT_STILL_7 (--fps 10 --still 7), VELMOR_GIFT_AROUND_7 (a folder of
// the frames from 6.6 to 7.8 s at 20 fps), VELMOR_GIFT_PICTURE (--fps 10
// --still 33.6, the first picture card, the first photo's); and
// VELMOR_GIFT_DAMAGED, a folder of one files with damaged packs, each NAME.html
// beside NAME.expected, what the reader must say of it; VELMOR_STEPS,
// `velmor-module --check` of the gift's module (when each card's row comes).
import { test as nodeTest, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, waitFor } from './engines.mjs';
import { rowTimes } from './module_steps.mjs';
import { serve } from '../../tools/web/page.mjs';

const test = (name, body) => nodeTest(name, { timeout: 300000 }, body);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const env = (name) => {
  assert.ok(process.env[name], `${name} is not set`);
  return process.env[name];
};
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'velmor-gift-page-'));
let browser;
before(async () => (browser = await launch('chromium')));
after(() => Promise.all([browser?.close(), fs.promises.rm(work, { recursive: true, force: true })]));

const state = (page) => page.evaluate(() => document.body.dataset.state);

// `url` opened in a new page, with its problems gathered; `coverAt` is the
// page's own time from the start of its navigation to the cover waiting for
// its click (or to its error).
async function open(url) {
  const page = await browser.puppeteer.newPage();
  const requests = [];
  const problems = [];
  page.on('request', (r) => requests.push(r.url()));
  page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('requestfailed', (r) => problems.push(`failed: ${r.url()}`));
  // WebGL keeps the frame it drew until the next one, so that the canvas
  // can be read together with the audio clock, in one step of the page; a
  // screenshot takes seconds on a busy machine, while the show moves on.
  await page.evaluateOnNewDocument(() => {
    const getContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (kind, attributes) {
      const keep = kind.startsWith('webgl') ? { preserveDrawingBuffer: true } : {};
      return getContext.call(this, kind, { ...attributes, ...keep });
    };
  });
  await page.evaluateOnNewDocument(() => {
    new MutationObserver(() => {
      if (['waiting', 'error'].includes(document.body?.dataset.state))
        window.velmorSettledAt ??= performance.now();
    }).observe(document, { attributes: true, subtree: true });
  });
  await page.goto(url, { waitUntil: 'load' });
  await waitFor(page, () => ['waiting', 'error', 'still'].includes(document.body.dataset.state),
    240, 'the cover, the still or an error');
  const coverAt = await page.evaluate(() => window.velmorSettledAt);
  return { page, requests, problems, coverAt };
}

// Per-channel "mean R G B max R G B" of two pictures, in levels of 255.
function difference(a, b, crop) {
  const line = execFileSync('python3', [path.join(import.meta.dirname, '../frame_difference.py'),
    ...(crop ? ['--crop', crop] : []), a, b], { encoding: 'utf8' });
  const n = line.split(/\s+/).filter((x) => /^[0-9.]+$/.test(x)).map(Number);
  return { mean: n.slice(0, 3), max: n.slice(3, 6), line: line.trim() };
}

let shots = 0;
function save(png) {
  const file = path.join(work, `shot-${++shots}.png`);
  fs.writeFileSync(file, Buffer.from(png.slice(png.indexOf(',') + 1), 'base64'));
  return file;
}

// The canvas as a PNG file.
const shot = async (page) =>
  save(await page.evaluate(() => document.getElementById('canvas').toDataURL('image/png')));

// The canvas as the music heard reaches `seconds` of the show, read in the
// page the moment it does (the audio clock starts with the click, the music
// a while later, seconds on a busy machine), with the show's time it was
// read at, from the row heard.
async function shotAt(page, seconds) {
  const times = rowTimes(env('VELMOR_STEPS'));
  const row = (position) => (position & 0xffff) * 256 + (position >>> 16);
  let wanted = 0;
  while (times(((wanted & 0xff) << 16) | (wanted >> 8)) < seconds) ++wanted;
  const { position, png } = await page.evaluate((wanted) => new Promise((resolve) => {
    const look = () => {
      const { position } = window.velmorHeard();
      if (position >= 0 && (position & 0xffff) * 256 + (position >>> 16) >= wanted)
        resolve({ position, png: document.getElementById('canvas').toDataURL('image/png') });
      else setTimeout(look, 5);
    };
    look();
  }), wanted);
  assert.ok(row(position) >= wanted);
  return { file: save(png), time: times(position) };
}

test('the one file, opened from disk and clicked, plays the gift: its dedication as the ' +
  'capture tool draws it, then its first photo', async () => {
  const html = env('VELMOR_GIFT_HTML');
  const { page, requests, problems, coverAt } = await open(pathToFileURL(html).href);
  assert.equal(await state(page), 'waiting',
    `no cover: ${await page.evaluate(() => message.textContent)}`);
  console.log(`gift file: ${(fs.statSync(html).size / 1e6).toFixed(2)} MB; the cover ` +
    `${coverAt.toFixed(0)} ms after opening`);
  // The cover comes within about 0.5 s on a quiet machine; the bound is for a busy one.
  assert.ok(coverAt < 10000, `the cover came ${coverAt.toFixed(0)} ms after opening`);
  assert.equal(await page.evaluate(() => document.title), 'For Zinaida, from Pyotr');

  await page.click('#cover');
  await waitFor(page, () => window.velmorFrames() > 0, 60, 'the first frame');
  // A live frame is drawn for whatever moment the music has reached, not on
  // the capture's grid of frames, and the show moves by 5.8 levels of 255 in
  // a tenth of a second here: the canvas as the music passes 7 s is matched
  // against the capture tool's frames around it, 50 ms apart (measured: 2.1
  // to 2.9 levels from the closest, which lies within 0.1 s of the music).
  const live = await shotAt(page, 7);
  const around = env('VELMOR_GIFT_AROUND_7');
  const frames = fs.readdirSync(around).filter((f) => f.endsWith('.png')).sort();
  assert.ok(frames.length >= 20, `${frames.length} frames in ${around}`);
  const best = frames
    .map((f, i) => ({ at: 6.6 + i / 20, d: difference(live.file, path.join(around, f)) }))
    .reduce((a, b) => (Math.max(...b.d.mean) < Math.max(...a.d.mean) ? b : a));
  console.log(`gift file: the canvas at ${live.time.toFixed(2)} s of the show; closest to the ` +
    `capture's frame at ${best.at.toFixed(2)} s: ${best.d.line}`);
  assert.ok(Math.max(...best.d.mean) <= 4,
    `the dedication at 7 s is none of the capture's frames from 6.6 to 7.8 s (${best.d.line})`);
  // A frame or two behind the music on a busy machine, never a card's time.
  assert.ok(Math.abs(best.at - live.time) <= 0.5,
    `the canvas at ${live.time.toFixed(2)} s of the music shows the capture's frame of ` +
    `${best.at.toFixed(2)} s`);

  // The first picture card grows from 30.7 s and stands from about 33 s
  // until the next grows over it from 34.5 s: the middle of the screen is the
  // capture's at 33.6 s, whose first photo is red (ours there is blue, about
  // 110 levels away in red). The flicker follows the music as it is heard, so
  // a live frame is lighter or darker all over than the capture's by up to
  // about 12 levels (measured 3.2 to 12.2): a quarter of ours' distance still
  // tells the photos apart.
  const picture = await shotAt(page, 33.6);
  const d = difference(picture.file, env('VELMOR_GIFT_PICTURE'), '200x200+300+200');
  console.log(`gift file: the middle of the canvas at ${picture.time.toFixed(2)} s of the show ` +
    `against the capture's at 33.6 s: ${d.line}`);
  assert.ok(Math.max(...d.mean) <= 26, `the first photo is not on the canvas (${d.line})`);

  assert.deepEqual(requests.filter((r) => !r.startsWith('file:') && !r.startsWith('data:')), [],
    'requests outside the file');
  assert.deepEqual(problems, []);
  await page.close();
});

// The still hook (`page` is the page's address): the frame at 7 s, exactly,
// against the capture tool's.
async function stillAt7(page, what) {
  const { page: still, problems } = await open(`${page}?at=7&fps=10`);
  assert.equal(await state(still), 'still');
  const d = difference(await shot(still), env('VELMOR_GIFT_STILL_7'));
  console.log(`${what}: the still at 7 s against the capture's: ${d.line}`);
  assert.ok(Math.max(...d.mean) <= 4, `mean difference over 4 levels: ${d.line}`);
  assert.deepEqual(problems, []);
  await still.close();
}

test('the one file\'s frame at 7 s is the capture tool\'s', () =>
  stillAt7(pathToFileURL(env('VELMOR_GIFT_HTML')).href, 'gift file'));

test('the page folder served with the gift\'s pack beside it plays the gift', async () => {
  const server = await serve(env('VELMOR_GIFT_WEB'));
  try {
    const cover = await open(`${server.origin}/`);
    assert.equal(await state(cover.page), 'waiting');
    assert.ok(cover.requests.some((r) => r.endsWith('/gift.pack')), 'the pack was not asked for');
    assert.deepEqual(cover.problems, []);
    await cover.page.close();
    await stillAt7(`${server.origin}/`, 'gift folder');
  } finally {
    server.close();
  }
});

// What the receiver sees of a damaged gift: the reader's line, alone, naming
// the file they opened, and nothing to start.
async function refused(url, name, expected) {
  const { page, problems } = await open(url);
  assert.equal(await state(page), 'error', `${name}: the page is "${await state(page)}"`);
  const text = await page.evaluate(() => message.textContent);
  assert.equal(text, `velmor: the gift pack "${name}" cannot be shown: ${expected}`);
  assert.equal(await page.evaluate(() => document.getElementById('again').hidden), true,
    `${name}: Play again is offered`);
  await page.keyboard.press('Enter');
  await page.click('#stage');
  await sleep(500);
  assert.equal(await state(page), 'error', `${name}: the show started`);
  assert.equal(await page.evaluate(() => window.velmorFrames()), 0, `${name}: frames were drawn`);
  assert.deepEqual(problems, []);
  await page.close();
  return text;
}

test('a damaged pack is refused with the reader\'s one line, in the one file and served',
  async () => {
    const damaged = env('VELMOR_GIFT_DAMAGED');
    const names = fs.readdirSync(damaged).filter((f) => f.endsWith('.html')).sort();
    assert.equal(names.length, 3, `${names.length} damaged files in ${damaged}`);
    for (const name of names) {
      const expected = fs.readFileSync(path.join(damaged, name.replace(/html$/, 'expected')),
        'utf8').trim();
      const line = await refused(pathToFileURL(path.join(damaged, name)).href, name, expected);
      console.log(`damaged: ${line}`);
    }
    // Served, the pack is named as the file beside the page.
    const folder = path.join(work, 'served');
    fs.cpSync(env('VELMOR_GIFT_WEB'), folder, { recursive: true });
    const pack = fs.readFileSync(path.join(folder, 'gift.pack'));
    fs.writeFileSync(path.join(folder, 'gift.pack'), pack.subarray(0, 1000));
    const server = await serve(folder);
    try {
      await refused(`${server.origin}/`, 'gift.pack',
        `truncated: 1000 of its ${pack.length} bytes`);
    } finally {
      server.close();
    }
  });
