// The intro's page served from a build folder (for the page tests and the page
// photos) and opened in headless Chromium through puppeteer-core (for the
// photos; the page tests drive each engine through tests/web/engines.mjs).
// puppeteer-core comes from PUPPETEER_DIR (tools/web/puppeteer.sh sets it).
import { createRequire } from 'node:module';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const puppeteer = createRequire(path.join(process.env.PUPPETEER_DIR, 'node_modules') + '/')(
  'puppeteer-core');

// A console error that is only the page finding no gift beside it: it asks
// for gift.pack, and a server without one answers 404.
export const noGiftPack = (message) =>
  message.text().includes('404') && /\/gift\.pack$/.test(message.location()?.url ?? '');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.css': 'text/css', '.json': 'application/json' };

// Serves `folder` on a free port of the loopback; resolves to the server,
// whose `origin` is the address to open.
export async function serve(folder) {
  const root = path.resolve(folder);
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, name === '/' ? 'index.html' : name);
    if (!file.startsWith(root) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
    fs.createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  server.origin = `http://127.0.0.1:${server.address().port}`;
  return server;
}

// Chromium with software WebGL and sound allowed to start without a gesture
// (the cover still waits for its click: the page asks for one regardless).
export function launch() {
  return puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--enable-unsafe-swiftshader', '--autoplay-policy=no-user-gesture-required',
      '--disable-background-networking', ...(process.getuid() === 0 ? ['--no-sandbox'] : [])],
  });
}

// A new page on the cover, in a 1024x768 window, with every console error,
// page error and failed request kept in `problems`.
export async function cover(browser, origin) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1024, height: 768, deviceScaleFactor: 1 });
  const problems = [];
  page.on('console', (m) => m.type() === 'error' && !noGiftPack(m) && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('requestfailed', (r) => problems.push(`failed: ${r.url()}`));
  await page.goto(`${origin}/`, { waitUntil: 'load' });
  await waitForState(page, 'waiting', 60);
  return { page, problems };
}

export async function waitForState(page, state, seconds) {
  await page.waitForFunction((s) => document.body.dataset.state === s,
    { timeout: seconds * 1000, polling: 20 }, state);
}

export const frames = (page) => page.evaluate(() => window.velmorFrames());
export const underruns = (page) => page.evaluate(() => window.velmorUnderruns());
export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
