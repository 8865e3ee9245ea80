// The page made into one file (tools/web/one_file.mjs) and opened from disk in
// headless Chromium, as a receiver double-clicks it: it reaches the cover
// asking for nothing outside itself, a click plays the show with its music,
// Escape ends it and it plays again. The maker refuses a page folder it would
// carry only in part, gives the same bytes in Node and in a browser, and
// names a gift's file by its dedication.
//
//   tools/web/puppeteer.sh --test tests/web/one_file_tests.mjs
//
// From the environment: VELMOR_WEB (the page's folder) and VELMOR_ONE_FILE
// (the one file made of it).
import { test as nodeTest, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launch, waitFor } from './engines.mjs';
import { assembleOneFile, giftFileName, oneFileParts } from '../../tools/web/one_file.mjs';

const test = (name, body) => nodeTest(name, { timeout: 300000 }, body);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const web = process.env.VELMOR_WEB ?? 'build-web';
const oneFile = path.resolve(process.env.VELMOR_ONE_FILE ?? 'build-web-one/velmor.html');
const maker = path.join(import.meta.dirname, '../../tools/web/make_one_file.mjs');
const assembler = path.join(import.meta.dirname, '../../tools/web/one_file.mjs');
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
  assert.equal(await page.evaluate(() => document.getElementById('again').hidden), true,
    'Play again is offered for a program that did not load');
  await page.close();
});

// A copy of the page's folder to spoil.
function copyOfPage() {
  const copy = fs.mkdtempSync(path.join(work, 'page-'));
  fs.cpSync(web, copy, { recursive: true });
  return copy;
}

function make(folder, out, ...more) {
  return spawnSync('node', [maker, folder, out, ...more], { encoding: 'utf8' });
}

test('the maker gives the same file from the same page, and refuses what it cannot carry',
  () => {
    const again = path.join(work, 'again.html');
    execFileSync('node', [maker, web, again]);
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

// The page folder's parts, as the maker page keeps them.
async function partsOf(folder) {
  const names = fs.readdirSync(folder, { recursive: true })
    .filter((name) => fs.statSync(path.join(folder, name)).isFile());
  return oneFileParts((name) => new Uint8Array(fs.readFileSync(path.join(folder, name))), names);
}

// Bytes of no picture at all, but headed as a pack: the assembler carries a
// pack, and only the page's reader checks it.
function packLike(size) {
  const bytes = new Uint8Array(size).map((_, i) => (i * 2654435761) >>> 24);
  bytes.set(new TextEncoder().encode('VELMORPK'));
  return bytes;
}

test('a gift assembled in the browser is the same file, byte for byte, as in Node', async () => {
  const parts = JSON.parse(JSON.stringify(await partsOf(web)));
  const pack = packLike(2_000_003);
  const module = fs.readFileSync('torva_velmor2.it').subarray(0, 300_001);
  const title = 'For <Mira> & "Jonas" — с любовью';
  const inNode = assembleOneFile(parts, { pack, module: new Uint8Array(module), title });
  const digest = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

  const page = await browser.puppeteer.newPage();
  // A page from disk: a secure context, where crypto.subtle is.
  const blank = path.join(work, 'blank.html');
  fs.writeFileSync(blank, '<!doctype html><title>assembler</title>');
  await page.goto(pathToFileURL(blank).href);
  await page.addScriptTag({ type: 'module', content: fs.readFileSync(assembler, 'utf8') +
    '\nwindow.assembleOneFile = assembleOneFile;' });
  await waitFor(page, () => typeof window.assembleOneFile === 'function', 30, 'the assembler');
  const inBrowser = await page.evaluate(async (parts, pack, module, title) => {
    const bytes = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
    const html = window.assembleOneFile(parts, { pack: bytes(pack), module: bytes(module), title });
    const hash = new Uint8Array(await crypto.subtle.digest('SHA-256', html));
    const hex = [...hash].map((b) => b.toString(16).padStart(2, '0')).join('');
    return { size: html.length, hash: hex };
  }, parts, Buffer.from(pack).toString('base64'), module.toString('base64'), title);
  await page.close();
  assert.deepEqual(inBrowser, { size: inNode.length, hash: digest(inNode) });

  // What it carries: the pack and the module as given, the title escaped
  // in the window's and the cover's place.
  const text = new TextDecoder().decode(inNode);
  const carried = (name) => Buffer.from(new RegExp(
    `<script type="application/octet-stream" data-file="${name}"[^>]*>([^<]*)</script>`)
    .exec(text)[1], 'base64');
  assert.ok(carried('gift.pack').equals(pack), 'the pack is not carried as given');
  assert.ok(carried('torva_velmor2.it').equals(module), 'the module is not carried as given');
  const shown = 'For &#60;Mira&#62; &#38; &#34;Jonas&#34; — с любовью';
  assert.match(text, new RegExp(`<title>${shown}</title>`));
  assert.match(text, new RegExp(`<h1>${shown}</h1>`));
  // Without a gift: our module, no pack, our title.
  const ours = new TextDecoder().decode(assembleOneFile(parts, {}));
  assert.ok(!ours.includes('data-file="gift.pack"'), 'a pack in our show');
  assert.match(ours, /<title>Velmor for Torva<\/title>/);
  assert.throws(() => assembleOneFile(parts, { pack: new Uint8Array(64) }),
    /gift\.pack: not a gift pack/);
  assert.throws(() => assembleOneFile({ ...parts, format: 'other' }, {}), /make them again/);
});

test('a gift\'s file is named by its dedication', () => {
  for (const [dedication, name] of [
    ['For Mira,\nfrom Jonas', 'mira-from-jonas'],
    ['To   Anna —\nс любовью', 'anna-s-lyubovyu'],
    ['Для Юли и Ёжика', 'yuli-i-yozhika'],
    ['Für Jürgen & Zoë, Cœur à Łódź', 'fur-jurgen-zoe-coeur-a-lodz'],
    ['FOR', 'for'],
    ['2024: 10 years', '2024-10-years'],
    ['A very long dedication that goes on and on past forty letters',
      'a-very-long-dedication-that-goes-on-and'],
    ['Supercalifragilisticexpialidociousandthensome', 'supercalifragilisticexpialidociousandthe'],
    ['!!! ♥ …', 'gift'],
    ['', 'gift'],
  ])
    assert.equal(giftFileName(dedication), `velmor-for-${name}.html`, dedication);
});

test('a gift made on the command line: named by the first card, its pack and module inside, ' +
  'refused in one line where a file is wrong', () => {
  const words = path.join(work, 'words.txt');
  fs.writeFileSync(words, '\uFEFF# notes first\n\n  For\tMira,  \r\n.\nfrom Jonas\n\nCard two\n');
  const pack = path.join(work, 'gift.pack');
  fs.writeFileSync(pack, packLike(5000));
  const folder = fs.mkdtempSync(path.join(work, 'out-'));
  const run = make(web, folder, '--pack', pack, '--words', words, '--module', 'torva_velmor2.it');
  assert.equal(run.status, 0, run.stderr);
  const file = path.join(folder, 'velmor-for-mira-from-jonas.html');
  assert.deepEqual(fs.readdirSync(folder), [path.basename(file)]);
  const text = fs.readFileSync(file, 'utf8');
  assert.match(text, /<title>For Mira, from Jonas<\/title>/);
  assert.ok(text.includes(`data-file="gift.pack" data-type="application/octet-stream">` +
    `${fs.readFileSync(pack).toString('base64')}<`), 'the pack is not inside');

  for (const [what, args, message] of [
    ['a pack that is no pack', ['--pack', words], /words\.txt: not a gift pack/],
    ['no such pack', ['--pack', path.join(work, 'none.pack')], /none\.pack: No such file/],
    ['no such module', ['--module', path.join(work, 'none.it')], /none\.it: No such file/],
  ]) {
    const out = path.join(work, 'refused.html');
    const refused = make(web, out, ...args);
    assert.equal(refused.status, 1, `${what}: exit status ${refused.status}`);
    assert.match(refused.stderr, message, what);
    assert.equal(refused.stderr.trim().split('\n').length, 1, `${what}: more than one line`);
    assert.ok(!fs.existsSync(out) && !fs.existsSync(`${out}.part`), `${what}: a file was written`);
  }
});
