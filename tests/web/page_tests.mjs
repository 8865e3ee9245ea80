// The page as a viewer meets it, in headless Chromium driven by puppeteer-core:
// the cover, the click that starts the show, the music running, Escape's fade
// to the end and a second showing, and no frames while the page is hidden.
//
//   tests/web/page_tests.sh BUILD_WEB
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { serve, launch, playing as open, waitForState, frames, sleep } from
  '../../tools/web/page.mjs';

let server, browser;

before(async () => {
  server = await serve(process.env.VELMOR_WEB ?? 'build-web');
  browser = await launch();
});

after(async () => {
  await browser?.close();
  server?.close();
});

const playing = () => open(browser, server.origin);

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

test('Escape fades and ends the show within a second and a half; it plays again', async () => {
  const { page, problems } = await playing();
  await sleep(1000);
  const pressed = Date.now();
  await page.keyboard.press('Escape');
  await waitForState(page, 'ended', 10);
  const took = Date.now() - pressed;
  console.log(`Escape to ended: ${took} ms`);
  // The fade is one second; the rest is a slow frame or two of software WebGL.
  assert.ok(took >= 900 && took <= 1500, `ended ${took} ms after Escape`);
  // Playing again starts a fresh program on the same page.
  await page.click('#again');
  await waitForState(page, 'playing', 60);
  const again = await frames(page);
  await sleep(2000);
  assert.ok(await frames(page) > again, 'no frames after Play again');
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
