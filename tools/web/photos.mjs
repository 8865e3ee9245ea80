// Photographs the page as a viewer sees it in a 1024x768 browser window: the
// cover, the picture card at 33.6 s and the page after Escape's fade. Between
// them it counts the frames drawn and the sound's underruns over the first
// 30 s of the show, as a measure of how the page keeps up on this machine.
//
//   tools/web/puppeteer.sh tools/web/photos.mjs BUILD_WEB OUTPUT_FOLDER
import path from 'node:path';
import { serve, launch, cover, waitForState, frames, underruns, sleep } from './page.mjs';

const [web, out] = process.argv.slice(2);
if (!web || !out) {
  console.error('usage: photos.mjs BUILD_WEB OUTPUT_FOLDER');
  process.exit(2);
}

const server = await serve(web);
const browser = await launch();
try {
  const { page, problems } = await cover(browser, server.origin);
  const shot = async (name) => {
    await page.screenshot({ path: path.join(out, name) });
    console.log(`photos: ${path.join(out, name)}`);
  };
  await shot('web_cover.png');

  await page.mouse.click(512, 384);
  await waitForState(page, 'playing', 60);
  const started = Date.now();
  const firstFrames = await frames(page);
  await sleep(30000);
  const seconds = (Date.now() - started) / 1000;
  const rate = ((await frames(page)) - firstFrames) / seconds;
  console.log(`photos: ${rate.toFixed(1)} frames per second ` +
    `over ${seconds.toFixed(1)} s, ${await underruns(page)} underruns`);

  await sleep(Math.max(0, started + 33600 - Date.now()));
  await shot('web_picture_card.png');

  await page.keyboard.press('Escape');
  await waitForState(page, 'ended', 10);
  await shot('web_end.png');
  if (problems.length) throw new Error(`the page reported: ${problems.join('; ')}`);
} finally {
  await browser.close();
  server.close();
}
