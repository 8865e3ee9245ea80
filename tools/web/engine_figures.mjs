// Figures of the page in one browser engine, for docs/PERFORMANCE.md: for
// each showing, the time from the click to the first frame and to the first
// sound heard, the frames per second and the underruns the audio thread saw.
// tools/web/engine_figures.sh runs it with the engine's display and sound,
// and records what reaches the sound server meanwhile.
//
//   VELMOR_ENGINE=webkit tools/web/puppeteer.sh tools/web/engine_figures.mjs \
//     BUILD_WEB SECONDS RUNS
//
// With VELMOR_RECORD set to a folder, what reaches the sound server's null
// sink during each showing is recorded there as showing-N.raw (parec joins
// before the click: a recorder joining while a stream plays makes a gap).
import { spawn } from 'node:child_process';
import path from 'node:path';
import { serve } from './page.mjs';
import { launch } from '../../tests/web/engines.mjs';

const [web, seconds = '30', runs = '2'] = process.argv.slice(2);
const engine = process.env.VELMOR_ENGINE ?? 'chromium';
if (!web) {
  console.error('usage: engine_figures.mjs BUILD_WEB [SECONDS] [RUNS]');
  process.exit(2);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Watches the page from inside, so that the driver's own delays do not
// count: the click's time, the first frame's, and the first time a row after
// the opening one is heard (less one row, 60 ms: the first sound).
const watch = `(() => {
  const w = window.velmorWatch = { clicked: 0, frame: 0, sound: 0 };
  document.getElementById('cover').addEventListener('click',
    () => { w.clicked = performance.now(); }, { capture: true });
  const look = () => {
    if (w.clicked) {
      if (!w.frame && window.velmorFrames() > 0) w.frame = performance.now();
      const h = window.velmorHeard();
      if (!w.sound && h.position > 0) w.sound = performance.now() - 60;
    }
    if (!w.frame || !w.sound) setTimeout(look, 5);
  };
  look();
  return true;
})()`;

const server = await serve(web);
const browser = await launch(engine);
try {
  for (let run = 1; run <= Number(runs); ++run) {
    const page = await browser.open(`${server.origin}/`);
    const end = Date.now() + 120000;
    while ((await page.evaluate('document.body.dataset.state')) !== 'waiting') {
      if (Date.now() > end) throw new Error('no cover within 120 s');
      await sleep(100);
    }
    await page.evaluate(watch);
    const recorder = process.env.VELMOR_RECORD && spawn('sh', ['-c',
      'exec parec -d null.monitor --raw --format=s16le --rate=44100 --channels=2 >"$0"',
      path.join(process.env.VELMOR_RECORD, `showing-${run}.raw`)], { stdio: 'inherit' });
    await sleep(1000);
    await page.click('#cover');
    while (!(await page.evaluate('window.velmorWatch.sound > 0'))) {
      if (Date.now() > end) throw new Error('no sound within 120 s');
      await sleep(50);
    }
    const from = await page.evaluate('[window.velmorFrames(), window.velmorHeard().time]');
    await sleep(Number(seconds) * 1000);
    const to = await page.evaluate('[window.velmorFrames(), window.velmorHeard().time]');
    const w = await page.evaluate('window.velmorWatch');
    const h = await page.evaluate('window.velmorHeard()');
    if (recorder) recorder.kill();
    console.log(`${engine} showing ${run}: first frame ${((w.frame - w.clicked) / 1000).toFixed(2)} s ` +
      `and first sound ${((w.sound - w.clicked) / 1000).toFixed(2)} s after the click; ` +
      `${((to[0] - from[0]) / (to[1] - from[1])).toFixed(1)} frames a second over ` +
      `${(to[1] - from[1]).toFixed(1)} s; ${h.underruns} underruns seen by the audio thread`);
    await page.close();
  }
} finally {
  await browser.close();
  server.close();
}
