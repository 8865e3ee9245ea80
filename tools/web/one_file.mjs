// Makes the intro's page folder (the one `make web` builds) into one HTML file
// that plays when opened from disk, with nothing beside it and no network,
// carrying a gift's pack and module where one is given. It runs in Node and
// in a browser alike, and gives the same bytes in both:
//
//   const parts = await oneFileParts(readFile, names);   // once, in Node
//   const html = assembleOneFile(parts, {pack, module, title});
//
// oneFileParts reads the page folder through `readFile(name)` (a Uint8Array
// of the file `name`, relative to the folder) and `names` (every file of the
// folder, as readFile takes them: "licences/…" for its licences) and returns
// a plain object that survives JSON. It does the slow part, compressing the
// program, once; assembleOneFile only puts text together.
//
// The page's two scripts go inline. The files the page loads (the program,
// the music's player and its processor) go in as script elements of type
// application/octet-stream, each holding its file gzipped, in base64, which
// the page's script reads in place of fetching (platform/web/velmor_page.js).
// The module and a gift's pack go in the same way but not gzipped: a pack is
// JPEG pictures and a module is mostly samples, which gzip shrinks by a tenth
// at best, and a browser compresses differently from Node. A browser opening
// a file:// page refuses to fetch even the file's neighbours, so nothing may
// stay outside. The licences of the libraries compiled in travel as a comment
// at the end, where a reader of the source finds them.

// The page's scripts, inlined where index.html names them.
const inline = ['velmor.js', 'velmor_page.js'];
// The files the page loads besides the module, with the type it reads them as.
const compressed = {
  'velmor.wasm': 'application/wasm',
  'velmor_worklet.wasm': 'application/wasm',
  'velmor_processor.js': 'text/javascript',
};
const moduleFile = 'torva_velmor2.it';
const packFile = 'gift.pack';
const licences = 'licences';
const partsFormat = 'velmor-one-file-parts 1';

// What the page folder or the gift holds that the one file cannot carry; its
// message names the file and what is wrong.
export class Refused extends Error {}

const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';

// Base64 (RFC 4648, with padding), the same in every engine.
export function toBase64(bytes) {
  const chunks = [];
  const codes = new Array(4 * 8192);
  for (let start = 0; start < bytes.length; start += 3 * 8192) {
    const end = Math.min(bytes.length, start + 3 * 8192);
    let n = 0;
    for (let i = start; i < end; i += 3) {
      const left = end - i;
      const b = (bytes[i] << 16) | ((left > 1 ? bytes[i + 1] : 0) << 8) |
        (left > 2 ? bytes[i + 2] : 0);
      codes[n++] = alphabet.charCodeAt(b >>> 18);
      codes[n++] = alphabet.charCodeAt((b >>> 12) & 63);
      codes[n++] = left > 1 ? alphabet.charCodeAt((b >>> 6) & 63) : 61;
      codes[n++] = left > 2 ? alphabet.charCodeAt(b & 63) : 61;
    }
    chunks.push(String.fromCharCode.apply(null, codes.slice(0, n)));
  }
  return chunks.join('');
}

async function gzip(bytes) {
  const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('gzip'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

const decode = (bytes, fatal) => new TextDecoder('utf-8', { fatal }).decode(bytes);

function scriptText(readFile, name) {
  let text;
  try {
    text = decode(readFile(name), true);
  } catch (e) {
    if (e instanceof Refused) throw e;
    throw new Refused(`${name}: not UTF-8`);
  }
  // Inside a script element the HTML parser ends the script at "</script"
  // and changes its state at "<!--" and "<script", wherever they stand.
  for (const bad of ['</script', '<!--', '<script']) {
    if (text.toLowerCase().includes(bad))
      throw new Refused(`${name}: holds "${bad}", which would end or change its script element ` +
        'inline');
  }
  return text;
}

function element(name, type, data, encoding) {
  return `<script type="application/octet-stream" data-file="${name}" data-type="${type}"` +
    `${encoding ? ` data-encoding="${encoding}"` : ''}>${data}</script>\n`;
}

function licenceComment(readFile, names) {
  const texts = [];
  for (const name of names.filter((n) => n.startsWith(`${licences}/`)).sort()) {
    const text = decode(readFile(name), false);
    if (text.includes('-->') || text.includes('--!>'))
      throw new Refused(`${name}: holds "-->", which would end the comment it goes in`);
    texts.push(`==== ${name.slice(licences.length + 1)} ====\n\n${text.trimEnd()}\n`);
  }
  if (!texts.length) throw new Refused(`${licences}: no licences (the page must carry them)`);
  return '<!--\nThe libraries compiled into this page, and their licences.\n\n' +
    texts.join('\n') + '-->\n';
}

// `text` cut where the title stands: the window's, and the cover's where it
// says the same.
function titleSlots(text, title) {
  const pieces = [];
  let from = 0;
  for (const [open, close] of [['<title>', '</title>'], ['<h1>', '</h1>']]) {
    const i = text.indexOf(open + title + close, from);
    if (i < 0) continue;
    pieces.push(text.slice(from, i + open.length), { slot: 'title' });
    from = i + open.length + title.length;
  }
  pieces.push(text.slice(from));
  return pieces;
}

// The page folder's fixed parts, prepared once: the page cut where the title
// and the gift go, the program gzipped, our module. Refuses (Refused) a
// folder it would carry only in part, or a page it cannot inline.
export async function oneFileParts(readFile, names) {
  if (!Array.isArray(names))
    throw new Refused('the names of the page folder\'s files are needed (its licences go in too)');
  // Every file the page has must be one the one file carries, or the one file
  // would fail where the folder works.
  const known = new Set(['index.html', ...inline, ...Object.keys(compressed), moduleFile]);
  for (const name of [...names].sort()) {
    if (!known.has(name) && !name.startsWith(`${licences}/`))
      throw new Refused(`${name}: a file of the page that the one file would not carry`);
  }
  const page = decode(readFile('index.html'), false);
  const title = /<title>([^<]*)<\/title>/.exec(page);
  if (!title) throw new Refused('index.html: has no <title>');
  const end = page.lastIndexOf('</html>');
  if (end < 0) throw new Refused('index.html: has no </html>');

  let carried = '';
  for (const [name, type] of Object.entries(compressed))
    carried += element(name, type, toBase64(await gzip(readFile(name))), 'gzip');

  // The page as pieces of text between slots: where the title stands (the
  // window's and the cover's), and where the module and the gift go, with
  // the program's files, in front of the first script.
  const pieces = [];
  const rest = page.slice(0, end);
  const scripts = /<script src="([^"]+)"><\/script>/g;
  let count = 0;
  let at = 0;
  let text = '';
  for (const match of rest.matchAll(scripts)) {
    const name = match[1];
    if (!inline.includes(name))
      throw new Refused(`index.html: a script "${name}" that the one file would not carry`);
    text += rest.slice(at, match.index);
    if (count++ === 0) {
      pieces.push(text + carried, { slot: 'gift' });
      text = '';
    }
    text += `<script>\n${scriptText(readFile, name)}</script>`;
    at = match.index + match[0].length;
  }
  if (count !== inline.length)
    throw new Refused(`index.html: names ${count} scripts, not the ${inline.length} the one ` +
      'file inlines');
  pieces.push(text + rest.slice(at) + licenceComment(readFile, names) + page.slice(end));
  // Anything else the page would reach for outside itself.
  for (const where of pieces.join('').matchAll(/(?:src|href)="([^"]*)"/g)) {
    if (!where[1].startsWith('data:'))
      throw new Refused(`index.html: refers to "${where[1]}", which a page opened from disk ` +
        'cannot load');
  }
  pieces.splice(0, 1, ...titleSlots(pieces[0], title[1]));
  return {
    format: partsFormat,
    title: title[1],
    module: toBase64(readFile(moduleFile)),
    pieces,
  };
}

function escapeHtml(text) {
  return text.replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

const magic = 'VELMORPK';

// One gift's file, as the bytes of a UTF-8 HTML page: `pack` (a gift pack's
// bytes, or null for our pictures), `module` (the module's bytes, or null for
// ours) and `title` (the window's and the cover's, or null for ours).
export function assembleOneFile(parts, { pack = null, module = null, title = null } = {}) {
  if (parts?.format !== partsFormat)
    throw new Refused(`the one file's parts are not of the form "${partsFormat}"; make them again`);
  if (pack !== null) {
    if (!(pack instanceof Uint8Array)) throw new TypeError('pack: a Uint8Array or null');
    if (pack.length < magic.length || [...magic].some((c, i) => pack[i] !== c.charCodeAt(0)))
      throw new Refused(`${packFile}: not a gift pack (it does not begin with ${magic})`);
  }
  if (module !== null && !(module instanceof Uint8Array))
    throw new TypeError('module: a Uint8Array or null');
  const shownTitle = escapeHtml((title ?? '').replace(/\s+/g, ' ').trim() || parts.title);
  const gift = element(moduleFile, 'application/octet-stream',
    module === null ? parts.module : toBase64(module)) +
    (pack === null ? '' : element(packFile, 'application/octet-stream', toBase64(pack)));
  const text = parts.pieces.map((piece) => {
    if (typeof piece === 'string') return piece;
    if (piece.slot === 'title') return shownTitle;
    if (piece.slot === 'gift') return gift;
    throw new Refused(`the one file's parts have an unknown slot "${piece.slot}"`);
  }).join('');
  return new TextEncoder().encode(text);
}

const cyrillic = {
  а: 'a', б: 'b', в: 'v', г: 'g', д: 'd', е: 'e', ё: 'yo', ж: 'zh', з: 'z', и: 'i', й: 'y',
  к: 'k', л: 'l', м: 'm', н: 'n', о: 'o', п: 'p', р: 'r', с: 's', т: 't', у: 'u', ф: 'f',
  х: 'kh', ц: 'ts', ч: 'ch', ш: 'sh', щ: 'shch', ъ: '', ы: 'y', ь: '', э: 'e', ю: 'yu', я: 'ya',
  і: 'i', ї: 'yi', є: 'ye', ґ: 'g', ў: 'u',
};
// Latin letters that do not fall apart into a letter and its accents.
const latin = { ß: 'ss', æ: 'ae', œ: 'oe', ø: 'o', ł: 'l', đ: 'd', ð: 'd', þ: 'th', ı: 'i' };
const longestName = 40;
// What a dedication may start with that the name says already: "for" in the
// languages the cards' font covers best.
const forWords = ['for', 'to', 'dlya'];

// The file name of the gift whose first card (the dedication) says
// `firstCardText`: "velmor-for-NAME.html". NAME is the card's words in small
// letters, Cyrillic spelt in Latin letters and accents dropped, joined by
// "-", anything but a-z and 0-9 dropped; a leading "for", "to" or "для" is
// left out, the name saying it already; whole words up to 40 characters. "For Mira, from
// Jonas" gives velmor-for-mira-from-jonas.html. With no such letters or
// digits at all NAME is "gift".
export function giftFileName(firstCardText) {
  const spelt = [...String(firstCardText ?? '').toLowerCase()]
    .map((c) => cyrillic[c] ?? latin[c] ?? c).join('')
    .normalize('NFKD').replace(/\p{M}/gu, '');
  const words = spelt.split(/[^a-z0-9]+/).filter(Boolean);
  if (forWords.includes(words[0]) && words.length > 1) words.shift();
  let name = words.length ? words[0].slice(0, longestName) : '';
  for (const word of words.slice(1)) {
    if (name.length + 1 + word.length > longestName) break;
    name += `-${word}`;
  }
  return `velmor-for-${name || 'gift'}.html`;
}
