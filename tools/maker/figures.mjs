// The maker's figures in headless Chromium: what a giver downloads before
// it is usable, how long it takes to show the photos given, and how long the
// 45 pictures of a gift take from ten cards and those photos.
//
//   tools/web/puppeteer.sh tools/maker/figures.mjs BUILD_MAKER PHOTO...
//
// Prints one line per figure. The pictures are made by Download's first step,
// timed by the page itself (document.body.dataset.madeSeconds).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launch, serve } from '../web/page.mjs';

const [folder, ...photos] = process.argv.slice(2);
if (!folder || photos.length === 0) {
  console.error('usage: figures.mjs BUILD_MAKER PHOTO...');
  process.exit(2);
}
const bytes = (file) => fs.statSync(file).size;
const total = (dir) => fs.readdirSync(dir, { recursive: true })
  .map((name) => path.join(dir, name)).filter((f) => fs.statSync(f).isFile())
  .reduce((n, f) => n + bytes(f), 0);
const megabytes = (n) => `${(n / 1e6).toFixed(2)} MB`;

const server = await serve(folder);
const browser = await launch();
const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'velmor-maker-figures-'));
try {
  const page = await browser.newPage();
  const session = await page.createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.setViewport({ width: 1280, height: 800 });
  let started = Date.now();
  await page.goto(`${server.origin}/`, { waitUntil: 'load' });
  await page.waitForFunction(() => document.body.dataset.state !== 'loading',
    { timeout: 300000, polling: 20 });
  const usable = Date.now() - started;
  const loaded = await page.evaluate(() => performance.getEntriesByType('resource')
    .reduce((n, e) => n + e.encodedBodySize,
      performance.getEntriesByType('navigation')[0].encodedBodySize));
  console.log(`figures: ${folder}/ holds ${megabytes(total(folder))}; the maker was usable ` +
    `${usable} ms after opening, having loaded ${megabytes(loaded)}`);

  started = Date.now();
  await (await page.$('#photo-files')).uploadFile(...photos);
  await page.waitForFunction((n) => document.querySelectorAll('#photo-list li').length +
    document.querySelectorAll('#refused li').length >= n, { timeout: 600000, polling: 50 },
  Math.min(photos.length, 30));
  const given = photos.reduce((n, f) => n + bytes(f), 0);
  console.log(`figures: ${photos.length} photos (${megabytes(given)}) shown as their cards in ` +
    `${((Date.now() - started) / 1000).toFixed(1)} s`);

  await page.click('#download-html');
  await page.waitForFunction(() => document.body.dataset.madeSeconds && !document.body.dataset.busy,
    { timeout: 600000, polling: 50 });
  const seconds = await page.evaluate(() => document.body.dataset.madeSeconds);
  console.log(`figures: the 45 pictures from ten cards and ${Math.min(photos.length, 30)} ` +
    `photos in ${seconds} s`);
} finally {
  await browser.close();
  server.close();
  fs.rmSync(downloads, { recursive: true, force: true });
}
