// The page made into one file (tools/web/one_file.py) and opened from disk in
// headless Chromium, as a receiver double-clicks it: it reaches the cover
// asking for nothing outside itself, a click plays the show with its music,
// Escape ends it and it plays again. And the maker refuses a page folder it
// would carry only in part.
//
//   tools/web/puppeteer.sh --test tests/web/one_file_tests.mjs
//
// From the environment: VELMOR_WEB (the page's folder) and VELMOR_ONE_FILE
// (the one file made of it).
import { test as nodeTest, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, waitFor } from './engines.mjs';

const test = (name, body) => nodeTest(name, { timeout: 300000 }, body);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const web = process.env.VELMOR_WEB ?? 'build-web';
const oneFile = path.resolve(process.env.VELMOR_ONE_FILE ?? 'build-web-one/velmor.html');
const maker = path.join(import.meta.dirname, '../../tools/web/one_file.py');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'velmor-one-file-'));
let browser;

before(async () => {
  browser = await launch('chromium');
});

after(async () => {
  await browser?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

const waitForState = (page, wanted, seconds) =>
  waitFor(page, `document.body.dataset.state === ${JSON.stringify(wanted)}`, seconds,
    `the page's state "${wanted}"`);

// The one file opened from disk, with every request it makes and every
// error it reports gathered; `coverAt` is the page's own time (from the
// start of its navigation) at which the cover first waited for its click.
async function open(before = () => {}) {
  const page = await browser.puppeteer.newPage();
  await page.evaluateOnNewDocument(before);
  const requests = [];
  const problems = [];
  page.on('request', (r) => requests.push(r.url()));
  page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(String(e)));
  await page.evaluateOnNewDocument(() => {
    new MutationObserver(() => {
      if (document.body?.dataset.state === 'waiting') window.velmorCoverAt ??= performance.now();
    }).observe(document, { attributes: true, subtree: true });
  });
  const url = pathToFileURL(oneFile).href;
  await page.goto(url, { waitUntil: 'load' });
  await waitFor(page, () => ['waiting', 'error'].includes(document.body.dataset.state), 60,
    'the cover');
  assert.equal(await page.evaluate(() => document.body.dataset.state), 'waiting',
    `the page did not load: ${await page.evaluate(() => message.textContent)}`);
  const coverAt = await page.evaluate(() => window.velmorCoverAt);
  // Only what the page is made of inline (the sound's processor goes to the
  // audio thread as a data: URL) may be asked for besides the file itself.
  const outside = () => requests.filter((r) => r !== url && !r.startsWith('data:'));
  return { page, url, requests, outside, problems, coverAt };
}

test('opened from disk, the one file reaches its cover asking for nothing outside it',
  async () => {
    const { page, url, requests, outside, problems, coverAt } = await open();
    const size = fs.statSync(oneFile).size;
    console.log(`one file: ${(size / 1e6).toFixed(2)} MB; the cover ${coverAt.toFixed(0)} ms ` +
      `after opening; requests: ${requests.length}`);
    assert.equal(requests[0], url);
    assert.deepEqual(outside(), []);
    // The cover comes within about 0.4 s on a quiet machine; the bound is
    // for a busy one.
    assert.ok(coverAt < 10000, `the cover came ${coverAt.toFixed(0)} ms after opening`);
    assert.ok(size <= 8e6, `the one file is ${size} bytes`);
    assert.deepEqual(problems, []);
    await page.close();
  });

test('a click plays the show with its music; Escape ends it, and it plays again', async () => {
  const { page, outside, problems } = await open();
  await page.click('#cover');
  await waitForState(page, 'playing', 60);
  await waitFor(page, () => window.velmorFrames() > 0, 60, 'the first frame');
  // Heard: the audio clock runs and the module's rows move on with it,
  // which only the player on the audio thread can make happen.
  await waitFor(page, () => window.velmorHeard().position >= 0, 60, 'the music heard');
  const first = await page.evaluate(() => window.velmorHeard());
  await waitFor(page, `window.velmorHeard().time >= ${first.time + 3} && ` +
    `window.velmorHeard().position !== ${first.position}`, 60, 'the music heard for 3 s');
  const heard = await page.evaluate(() => window.velmorHeard());
  assert.ok(heard.running, 'the AudioContext is not running');
  const drawn = await page.evaluate(() => window.velmorFrames());
  await sleep(1000);
  assert.ok(await page.evaluate(() => window.velmorFrames()) > drawn, 'no frames in a second');
  console.log(`one file: heard ${JSON.stringify(heard)}, ${drawn} frames`);

  await page.keyboard.press('Escape');
  await waitForState(page, 'ended', 30);
  await page.click('#again');
  await waitForState(page, 'playing', 60);
  await waitFor(page, () => window.velmorFrames() > 0, 60, 'a frame after Play again');
  await waitFor(page, () => window.velmorHeard().running, 30, 'the sound after Play again');
  assert.deepEqual(outside(), [], 'requests outside the file while playing');
  assert.deepEqual(problems, []);
  await page.close();
});

// Browsers from before 2025 decode base64 only through atob.
test('without Uint8Array.fromBase64 the one file still plays', async () => {
  const { page, problems } = await open(() => delete Uint8Array.fromBase64);
  assert.equal(await page.evaluate(() => typeof Uint8Array.fromBase64), 'undefined');
  await page.click('#cover');
  await waitFor(page, () => window.velmorFrames() > 0, 60, 'the first frame');
  await waitFor(page, () => window.velmorHeard().running, 30, 'the sound');
  assert.deepEqual(problems, []);
  await page.close();
});

test('a browser that cannot unpack the one file says so', async () => {
  const page = await browser.puppeteer.newPage();
  await page.evaluateOnNewDocument(() => delete window.DecompressionStream);
  await page.goto(pathToFileURL(oneFile).href, { waitUntil: 'load' });
  await waitFor(page, () => document.body.dataset.state === 'error', 60, 'the error');
  assert.match(await page.evaluate(() => message.textContent),
    /^Cannot load the program: .*cannot unpack the page's files; a newer one plays it$/);
  await page.close();
});

// A copy of the page's folder to spoil.
function copyOfPage() {
  const copy = fs.mkdtempSync(path.join(work, 'page-'));
  fs.cpSync(web, copy, { recursive: true });
  return copy;
}

function make(folder, out) {
  return spawnSync('python3', [maker, folder, out], { encoding: 'utf8' });
}

test('the maker gives the same file from the same page, and refuses what it cannot carry',
  () => {
    const again = path.join(work, 'again.html');
    execFileSync('python3', [maker, web, again]);
    assert.ok(fs.readFileSync(again).equals(fs.readFileSync(oneFile)),
      'two files made of the same page differ');

    const spoilt = [
      // A file the page may load that would be left behind.
      ['a file it does not know', (dir) => fs.writeFileSync(path.join(dir, 'extra.js'), ''),
        /extra\.js: a file of the page that the one file would not carry/],
      // Inline, this would end the script element half-way.
      ['a script holding </script', (dir) => fs.appendFileSync(path.join(dir, 'velmor_page.js'),
        '\nconst x = "</script>";\n'), /velmor_page\.js: holds "<\/script"/],
      ['a file the page loads gone', (dir) => fs.rmSync(path.join(dir, 'velmor_worklet.wasm')),
        /velmor_worklet\.wasm: No such file/],
      ['no licences', (dir) => fs.rmSync(path.join(dir, 'licences'), { recursive: true }),
        /licences: no licences/],
    ];
    for (const [what, spoil, message] of spoilt) {
      const dir = copyOfPage();
      spoil(dir);
      const out = path.join(dir, 'out.html');
      const run = make(dir, out);
      assert.equal(run.status, 1, `${what}: exit status ${run.status}`);
      assert.match(run.stderr, message, what);
      assert.equal(run.stderr.trim().split('\n').length, 1, `${what}: more than one line`);
      assert.ok(!fs.existsSync(out), `${what}: a file was written`);
    }
  });
