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

// An underrun is a slot the page was too busy to fill: the clock runs on
// through it and the music resumes a slot later, so the heard row and the
// clock keep step only between underruns. While a late slot is awaited the
// heard row waits too, and the underrun is counted once the slot is filled:
// a sample counts as clean once a sample 1 s later shows no new underrun.
// The rows are compared with the clock over at least 2 s of clean samples
// (on a busy machine the page may need a while to find them).
test('the order and row heard advance with the audio clock, within a row', async () => {
  const { page, problems } = await playing();
  await sleep(2000);
  const offset = (s) => {
    const order = s.position & 0xffff, row = s.position >>> 16;
    return (order * 256 + row) * rowSeconds - s.time;
  };
  let stretch = [], spread = 0, seconds = 0, longest = 0;
  const started = Date.now();
  while (Date.now() - started < 30000) {
    const s = await page.evaluate(() => window.velmorHeard());
    assert.ok(s.running, 'the AudioContext is not running');
    if (stretch.length && s.underruns !== stretch[0].underruns) stretch = [];
    stretch.push(s);
    const clean = stretch.filter((c) => c.time <= s.time - 1);
    if (clean.length > 1) {
      // The module time of the row heard, less the clock's time: the same at
      // every clean sample, but for the row's own length and the clock's steps.
      const offsets = clean.map(offset);
      spread = Math.max(...offsets) - Math.min(...offsets);
      seconds = clean[clean.length - 1].time - clean[0].time;
      longest = Math.max(longest, seconds);
      assert.ok(spread <= 2 * rowSeconds,
        `the heard row drifts ${(spread * 1000).toFixed(0)} ms from the clock in ` +
        `${seconds.toFixed(2)} s without an underrun`);
      if (seconds >= 2) break;
    }
    await sleep(100);
  }
  console.log(`heard rows against currentTime: spread ${(spread * 1000).toFixed(0)} ms ` +
    `over ${seconds.toFixed(2)} s without an underrun`);
  assert.ok(seconds >= 2, `no 2 s without an underrun in 30 s (the longest: ${longest.toFixed(2)} s)`);
  assert.deepEqual(problems, []);
  await page.close();
});

// A new page whose scripts see `setup` run first (to stand in for what this
// browser lacks or to watch a call), on the cover.
async function coverWith(setup) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1024, height: 768, deviceScaleFactor: 1 });
  const problems = [];
  page.on('pageerror', (e) => problems.push(String(e)));
  await page.evaluateOnNewDocument(setup);
  await page.goto(`${server.origin}/`, { waitUntil: 'load' });
  await waitForState(page, 'waiting', 60);
  return { page, problems };
}

const escapeNote = 'Escape leaves full screen; press it again to end the show.';
const note = (page) => page.$eval('#note', (n) => n.textContent);

test('in full screen Escape ends the show where the key can be locked; elsewhere the page ' +
  'says the first Escape leaves full screen', async () => {
  const locking = await coverWith(() => {
    window.lockedKeys = [];
    const lock = navigator.keyboard.lock.bind(navigator.keyboard);
    navigator.keyboard.lock = (keys) => {
      window.lockedKeys.push(keys);
      return lock(keys);
    };
  });
  let page = locking.page;
  await page.mouse.click(512, 384);
  await waitForState(page, 'playing', 60);
  await page.click('#fullscreen');
  await page.waitForFunction(() => document.fullscreenElement !== null, { timeout: 5000 });
  await page.waitForFunction(() => window.lockedKeys.length > 0, { timeout: 5000 });
  assert.deepEqual(await page.evaluate(() => window.lockedKeys), [['Escape']]);
  assert.equal(await note(page), '', 'a note although Escape is locked');
  const pressed = Date.now();
  await page.keyboard.press('Escape');
  await waitForState(page, 'ended', 10);
  assert.ok(Date.now() - pressed <= 1500, `ended ${Date.now() - pressed} ms after Escape`);
  assert.deepEqual(locking.problems, []);
  await page.close();

  const plain = await coverWith(() => {
    Object.defineProperty(Navigator.prototype, 'keyboard', { get: () => undefined });
  });
  page = plain.page;
  await page.click('#fullscreen');
  await page.waitForFunction(() => document.fullscreenElement !== null, { timeout: 5000 });
  await page.waitForFunction((text) => document.getElementById('note').textContent === text,
    { timeout: 5000 }, escapeNote);
  // Leaving full screen takes the note away.
  await page.evaluate(() => document.exitFullscreen());
  await page.waitForFunction(() => document.getElementById('note').textContent === '',
    { timeout: 5000 });
  assert.deepEqual(plain.problems, []);
  await page.close();
});

test('where the page can name its kind of sound, the show plays as playback', async () => {
  const { page, problems } = await coverWith(() => {
    navigator.audioSession = { type: 'auto' };
  });
  assert.equal(await page.evaluate(() => navigator.audioSession.type), 'auto');
  await page.mouse.click(512, 384);
  await waitForState(page, 'playing', 60);
  assert.equal(await page.evaluate(() => navigator.audioSession.type), 'playback');
  assert.deepEqual(problems, []);
  await page.close();
});
