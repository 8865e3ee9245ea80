// One small driver over each of the three browser engines the page is checked
// in, so that the same cases run in all of them:
//
//   chromium  headless, through puppeteer-core over CDP
//   firefox   Firefox ESR with a window (headless it has no WebGL), through
//             puppeteer-core over WebDriver BiDi
//   webkit    WebKitGTK's MiniBrowser with a window, started and driven by
//             WebKitWebDriver: plain W3C WebDriver over HTTP
//
// The windowed engines need DISPLAY and, to be heard at all, a sound server
// (tests/web/page_tests.sh starts both). A driver opens a page at a URL and
// hands back one record:
//
//   evaluate(expression)  the value of a JavaScript expression in the page
//                         (a promise is awaited)
//   click(selector)       a mouse click in the middle of the element
//   key(name)             a key pressed and released ('Escape')
//   canvasShot()          the canvas as the screen shows it, a PNG buffer
//   hide(), show()        the page hidden from view, then shown again
//   problems()            console errors, page errors and failed loads (but
//                         the 404 that tells the page it carries no gift)
//   close()
//
// The puppeteer-driven engines also hand back `puppeteer`, the browser itself,
// for a case that needs more than the record gives.
import { createRequire } from 'node:module';
import { execFileSync, spawn } from 'node:child_process';
import net from 'node:net';
import path from 'node:path';
import { noGiftPack } from '../../tools/web/page.mjs';

const puppeteer = () =>
  createRequire(path.join(process.env.PUPPETEER_DIR, 'node_modules') + '/')('puppeteer-core');

export const engines = ['chromium', 'firefox', 'webkit'];

// Room for the 800x600 canvas at its own size, with the browser's own frame
// around it inside the virtual screen.
const viewport = { width: 1024, height: 768 };

export function launch(engine) {
  switch (engine) {
    case 'chromium':
      return launchPuppeteer(engine, {
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--enable-unsafe-swiftshader', '--disable-background-networking',
          ...(process.getuid() === 0 ? ['--no-sandbox'] : [])],
      });
    case 'firefox':
      return launchPuppeteer(engine, {
        browser: 'firefox',
        executablePath: '/usr/bin/firefox-esr',
        headless: false,
      });
    case 'webkit':
      return launchWebKit();
    default:
      throw new Error(`unknown engine "${engine}" (known: ${engines.join(', ')})`);
  }
}

// The value of `expression` in `page` once it is true, looked at every 20 ms
// for at most `seconds`; past that an error says `what` did not come.
export async function waitFor(page, expression, seconds, what) {
  const end = Date.now() + seconds * 1000;
  for (;;) {
    const value = await page.evaluate(expression);
    if (value) return value;
    if (Date.now() > end) throw new Error(`${what}: not within ${seconds} s`);
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// What the browser does not answer within a minute fails, saying what it was
// asked, instead of stalling the run.
async function answer(promise, what) {
  let timer;
  const late = new Promise((resolve, reject) => {
    timer = setTimeout(() => reject(new Error(`no answer within 60 s to: ${what}`)), 60000);
  });
  try {
    return await Promise.race([promise, late]);
  } finally {
    clearTimeout(timer);
  }
}

async function launchPuppeteer(engine, options) {
  const browser = await puppeteer().launch({ ...options, defaultViewport: viewport,
    protocolTimeout: 600000 });
  return {
    engine,
    puppeteer: browser,
    async open(url) {
      const page = await browser.newPage();
      const problems = [];
      page.on('console', (m) => m.type() === 'error' && !noGiftPack(m) && problems.push(m.text()));
      page.on('pageerror', (e) => problems.push(String(e)));
      page.on('requestfailed', (r) => problems.push(`failed: ${r.url()}`));
      await page.goto(url, { waitUntil: 'load' });
      let other = null;
      return {
        evaluate: (expression) => answer(page.evaluate(`(${expression})`), expression),
        click: (selector) => answer(page.click(selector), `a click on ${selector}`),
        key: (name) => page.keyboard.press(name),
        async canvasShot() {
          return Buffer.from(await (await page.$('canvas')).screenshot({ type: 'png' }));
        },
        async hide() {
          other = await browser.newPage();
          await other.bringToFront();
        },
        async show() {
          await page.bringToFront();
          await other?.close();
          other = null;
        },
        problems: () => problems,
        close: () => answer(page.close(), 'closing the page'),
      };
    },
    // A browser that does not close within half a minute is ended.
    async close() {
      let timer;
      const late = new Promise((resolve) => { timer = setTimeout(resolve, 30000, 'late'); });
      const closed = await Promise.race([browser.close(), late]);
      if (closed === 'late') browser.process()?.kill('SIGKILL');
      clearTimeout(timer);
    },
  };
}

async function freePort() {
  const server = net.createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

const elementKey = 'element-6066-11e4-a52e-4f735466cecf';
const webkitBinary = '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const keyCodes = { Escape: '\uE00C', Enter: '\uE007' };

// Classic WebDriver injects nothing before a page's own scripts run, so the
// page's errors are gathered from the moment it has loaded.
const gatherProblems = `
  if (!window.__problems) {
    window.__problems = [];
    const error = console.error.bind(console);
    console.error = (...a) => { window.__problems.push(a.join(' ')); error(...a); };
    window.addEventListener('error', (e) => window.__problems.push(String(e.message)));
    window.addEventListener('unhandledrejection', (e) => window.__problems.push(String(e.reason)));
  }`;

async function launchWebKit() {
  const port = await freePort();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`],
    { stdio: ['ignore', 'ignore', 'pipe'] });
  let driverLog = '';
  driver.stderr.on('data', (d) => { driverLog = (driverLog + d).slice(-2000); });
  const base = `http://127.0.0.1:${port}`;

  async function call(method, where, body) {
    const response = await fetch(base + where, {
      method,
      headers: { 'Content-Type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const answer = await response.json();
    if (!response.ok) {
      const v = answer.value ?? {};
      throw new Error(`WebKitWebDriver ${method} ${where}: ${v.error}: ${v.message}`);
    }
    return answer.value;
  }

  let session = null;
  for (let tries = 0; !session; ++tries) {
    try {
      session = (await call('POST', '/session', {
        capabilities: { alwaysMatch: { browserName: 'MiniBrowser',
          'webkitgtk:browserOptions': { binary: webkitBinary, args: ['--automation'] } } },
      })).sessionId;
    } catch (e) {
      // The driver takes a moment to listen.
      if (tries >= 100 || !String(e.cause?.code ?? '').startsWith('ECONN')) {
        driver.kill();
        throw new Error(`${e.message}\n${driverLog}`);
      }
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
  }
  const s = (where) => `/session/${session}${where}`;
  const rect = { x: 0, y: 0, width: viewport.width + 64, height: viewport.height + 128 };
  await call('POST', s('/window/rect'), rect);
  const element = async (selector) =>
    (await call('POST', s('/element'), { using: 'css selector', value: selector }))[elementKey];
  const evaluate = (expression) =>
    call('POST', s('/execute/sync'), { script: `return (${expression});`, args: [] });

  return {
    engine: 'webkit',
    async open(url) {
      await call('POST', s('/url'), { url });
      await evaluate(`(() => { ${gatherProblems} })()`);
      return {
        evaluate,
        click: async (selector) => call('POST', s(`/element/${await element(selector)}/click`), {}),
        key: (name) => call('POST', s('/actions'), { actions: [{ type: 'key', id: 'keyboard',
          actions: [{ type: 'keyDown', value: keyCodes[name] },
            { type: 'keyUp', value: keyCodes[name] }] }] }),
        // WebKit's own screenshots leave a WebGL canvas black: the screen
        // is read instead, where the window's frame puts the canvas.
        async canvasShot() {
          const r = await evaluate(`(() => {
            const r = document.querySelector('canvas').getBoundingClientRect();
            return { x: screenX + outerWidth - innerWidth + r.left,
                     y: screenY + outerHeight - innerHeight + r.top,
                     width: r.width, height: r.height };
          })()`);
          const crop = `${r.width}x${r.height}+${r.x}+${r.y}`;
          return execFileSync('import', ['-window', 'root', '-crop', crop, '+repage', 'png:-'],
            { maxBuffer: 64 << 20 });
        },
        // The MiniBrowser opens a new tab behind the current one: the
        // window is minimised instead, and given its size back.
        hide: () => call('POST', s('/window/minimize'), {}),
        show: () => call('POST', s('/window/rect'), rect),
        problems: () => evaluate('window.__problems'),
        close: () => call('POST', s('/url'), { url: 'about:blank' }),
      };
    },
    async close() {
      try {
        await call('DELETE', s(''));
      } finally {
        driver.kill();
      }
    },
  };
}
