// Figures of the page's sound in headless Chromium, for docs/PERFORMANCE.md:
// for each showing, the time from the click to the first sound heard, the
// frames per second and the underruns the audio thread saw over 30 s, at
// normal speed and with the CPU throttled 4x (a mid-range phone); then a
// showing whose page is held for 1.5 s just after the first sound, with the
// row heard at 12 s against the audio clock's time (the song's time less the
// clock's stays as it was before the hold, within a row, when the page
// follows what is heard).
//
//   tools/web/puppeteer.sh tools/web/sound_figures.mjs BUILD_WEB [THROTTLED_RUNS]
import { serve, launch, cover, waitForState, frames, sleep } from './page.mjs';

const [web, runs = '3'] = process.argv.slice(2);
if (!web) {
  console.error('usage: sound_figures.mjs BUILD_WEB [THROTTLED_RUNS]');
  process.exit(2);
}

// The module's rows: 256 an order, an order every 15.36 s.
const rowSeconds = 15.36 / 256;
const heard = (page) => page.evaluate(() => window.velmorHeard());
const rowOf = (s) => (s.position & 0xffff) * 256 + (s.position >>> 16);

// Clicks the cover and waits for the first row after the opening one to be
// heard; resolves to the click's time and the milliseconds to the first
// sound (that moment less one row).
async function start(page) {
  const clicked = Date.now();
  await page.mouse.click(512, 384);
  await waitForState(page, 'playing', 60);
  for (;;) {
    const s = await heard(page);
    if (s.position > 0 && rowOf(s) >= 1) break;
    await sleep(5);
  }
  return { clicked, firstSound: Date.now() - clicked - rowSeconds * 1000 };
}

async function showing(browser, origin, throttle) {
  const { page, problems } = await cover(browser, origin);
  const session = await page.createCDPSession();
  if (throttle > 1) await session.send('Emulation.setCPUThrottlingRate', { rate: throttle });
  const { firstSound } = await start(page);
  const firstFrames = await frames(page);
  const began = Date.now();
  await sleep(30000);
  const rate = ((await frames(page)) - firstFrames) / ((Date.now() - began) / 1000);
  const s = await heard(page);
  console.log(`sound: ${throttle}x CPU: first sound ${firstSound.toFixed(0)} ms after the click; ` +
    `${rate.toFixed(1)} frames/s; ${s.underruns} underruns in 30 s; ` +
    `problems: ${problems.length ? problems.join(' | ') : 'none'}`);
  await page.close();
}

async function held(browser, origin) {
  const { page, problems } = await cover(browser, origin);
  const { clicked } = await start(page);
  const first = await heard(page);
  await page.evaluate(() => {
    const until = performance.now() + 1500;
    while (performance.now() < until);
  });
  await sleep(Math.max(0, clicked + 12000 - Date.now()));
  const s = await heard(page);
  const offset = rowOf(s) * rowSeconds - s.time;
  const later = await heard(page);
  console.log(`sound: held 1.5 s after the first sound: at 12 s order ${s.position & 0xffff} ` +
    `row ${s.position >>> 16} (row ${rowOf(s)} of the song) at audio time ${s.time.toFixed(2)} s; ` +
    `song time less audio time ${offset.toFixed(3)} s ` +
    `(${(rowOf(first) * rowSeconds - first.time).toFixed(3)} s before the hold); ` +
    `${later.underruns} underruns; ` +
    `problems: ${problems.length ? problems.join(' | ') : 'none'}`);
  await page.close();
}

const server = await serve(web);
const browser = await launch();
try {
  await showing(browser, server.origin, 1);
  for (let i = 0; i < Number(runs); i++) await showing(browser, server.origin, 4);
  await held(browser, server.origin);
} finally {
  await browser.close();
  server.close();
}
