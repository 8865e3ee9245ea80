// The page as a viewer meets it, in headless Chromium driven by puppeteer-core:
// the cover, the click that starts the show, the music running, Escape's fade
// to the end, and no frames while the page is hidden.
//
//   VELMOR_WEB=build-web PUPPETEER_DIR=DIR node --test tests/web/page_tests.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const web = path.resolve(process.env.VELMOR_WEB ?? 'build-web');
const puppeteer = createRequire(path.join(process.env.PUPPETEER_DIR, 'node_modules') + '/')(
  'puppeteer-core');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
let server, origin, browser;

before(async () => {
  server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(web, name === '/' ? 'index.html' : name);
    if (!file.startsWith(web) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404).end();
      return;
    }
    const type = types[path.extname(file)] ?? 'application/octet-stream';
    response.writeHead(200, { 'Content-Type': type });
    fs.createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--enable-unsafe-swiftshader', '--autoplay-policy=no-user-gesture-required',
      '--disable-background-networking', ...(process.getuid() === 0 ? ['--no-sandbox'] : [])],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
});

// A page playing the show, with every console error and failed request kept.
async function playing() {
  const page = await browser.newPage();
  await page.setViewport({ width: 1024, height: 768, deviceScaleFactor: 1 });
  const problems = [];
  page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('requestfailed', (r) => problems.push(`failed: ${r.url()}`));
  await page.goto(`${origin}/`, { waitUntil: 'load' });
  await waitForState(page, 'waiting', 60);
  await page.mouse.click(512, 384);
  await waitForState(page, 'playing', 60);
  return { page, problems };
}

async function waitForState(page, state, seconds) {
  await page.waitForFunction((s) => document.body.dataset.state === s,
    { timeout: seconds * 1000, polling: 20 }, state);
}

const frames = (page) => page.evaluate(() => window.velmorFrames());
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

test('a click starts the show: frames are drawn and the music runs ahead of what is heard',
  async () => {
    const { page, problems } = await playing();
    const first = await frames(page);
    await sleep(3000);
    const later = await frames(page);
    assert.ok(later > first, `no frames in 3 s (${first} -> ${later})`);
    const ahead = await page.evaluate(() => window.velmorAudioAheadMs());
    assert.ok(ahead > 0 && ahead < 1000, `audio rendered ${ahead} ms ahead`);
    console.log(`frames in 3 s: ${later - first}; audio ahead ${ahead.toFixed(0)} ms; ` +
      `underruns ${await page.evaluate(() => window.velmorUnderruns())}`);
    assert.deepEqual(problems, []);
    await page.close();
  });

test('Escape fades and ends the show within a second and a half', async () => {
  const { page, problems } = await playing();
  await sleep(1000);
  const pressed = Date.now();
  await page.keyboard.press('Escape');
  await waitForState(page, 'ended', 10);
  const took = Date.now() - pressed;
  console.log(`Escape to ended: ${took} ms`);
  // The fade is one second; the rest is a slow frame or two of software WebGL.
  assert.ok(took >= 900 && took <= 1500, `ended ${took} ms after Escape`);
  assert.deepEqual(problems, []);
  await page.close();
});

test('a hidden page draws no frames and draws again when shown', async () => {
  const { page, problems } = await playing();
  const other = await browser.newPage();
  await other.bringToFront();
  await page.waitForFunction(() => document.visibilityState === 'hidden', { timeout: 5000 });
  await sleep(500);
  const hidden = await frames(page);
  await sleep(2000);
  assert.equal(await frames(page), hidden, 'frames were drawn while hidden');
  await page.bringToFront();
  await page.waitForFunction(() => document.visibilityState === 'visible', { timeout: 5000 });
  await sleep(2000);
  assert.ok(await frames(page) > hidden, 'no frames once shown again');
  assert.deepEqual(problems, []);
  await other.close();
  await page.close();
});

// The module's rows are evenly timed: 256 rows an order, an order every 15.36 s
// (docs/module_report.txt), so a row lasts 60 ms.
const rowSeconds = 15.36 / 256;

test('the order and row heard advance with the audio clock, within a row', async () => {
  const { page, problems } = await playing();
  await sleep(2000);
  const samples = [];
  for (let i = 0; i < 40; ++i) {
    samples.push(await page.evaluate(() => window.velmorHeard()));
    await sleep(100);
  }
  assert.ok(samples.every((s) => s.running), 'the AudioContext is not running');
  const first = samples[0], last = samples[samples.length - 1];
  assert.ok(last.time - first.time > 3, `currentTime moved ${last.time - first.time} s in 4 s`);
  // The module time of the row heard, less the clock's time: the same at every
  // sample, but for the row's own length and the clock's steps.
  const offsets = samples.map((s) => {
    const order = s.position & 0xffff, row = s.position >>> 16;
    return (order * 256 + row) * rowSeconds - s.time;
  });
  const spread = Math.max(...offsets) - Math.min(...offsets);
  console.log(`heard rows against currentTime: spread ${(spread * 1000).toFixed(0)} ms ` +
    `over ${(last.time - first.time).toFixed(2)} s`);
  assert.ok(spread <= 2 * rowSeconds, `the heard row drifts ${spread * 1000} ms from the clock`);
  assert.deepEqual(problems, []);
  await page.close();
});
