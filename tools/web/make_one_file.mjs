// The one file made from a page folder on the command line (tools/web/one_file.mjs
// does the work, the same in Node and in the maker page):
//
//   node tools/web/make_one_file.mjs BUILD_WEB OUT [--pack FILE] [--module FILE]
//                                     [--words FILE] [--title TEXT] [--parts OUT.json]
//
// OUT is the HTML file to write, or a folder, to write velmor-for-NAME.html
// in with NAME from the first card of --words (giftFileName). --words also
// gives the title: the first card's lines. --parts writes the folder's fixed
// parts as JSON as well, for the maker page. Every refusal is one line,
// naming the file; OUT is written beside and renamed, so that a stopped run
// leaves no half a page.
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { Refused, assembleOneFile, giftFileName, oneFileParts } from './one_file.mjs';

const usage = 'usage: make_one_file.mjs BUILD_WEB OUT [--pack FILE] [--module FILE] ' +
  '[--words FILE] [--title TEXT] [--parts OUT.json]';

// "No such file or directory", as a person reads it, from Node's error.
function reason(e) {
  const text = e.message.replace(/^[A-Z]+: /, '').replace(/, \w+ '.*'$/s, '');
  return text.charAt(0).toUpperCase() + text.slice(1);
}

function read(file) {
  try {
    return new Uint8Array(fs.readFileSync(file));
  } catch (e) {
    throw new Refused(`${file}: ${reason(e)}`);
  }
}

// The page folder's files, as oneFileParts names them.
function namesIn(folder) {
  const names = [];
  let entries;
  try {
    entries = fs.readdirSync(folder, { withFileTypes: true, recursive: true });
  } catch (e) {
    throw new Refused(`${folder}: ${reason(e)}`);
  }
  for (const entry of entries) {
    if (entry.isDirectory()) continue;
    const name = path.relative(folder, path.join(entry.parentPath ?? entry.path, entry.name));
    names.push(name.split(path.sep).join('/'));
  }
  return names;
}

// The first card of a words file the artwork tool accepted, line by line, as
// it reads it: notes between cards, "." for an empty line, spaces trimmed.
export function firstCard(text) {
  const lines = [];
  for (let line of text.replace(/^\uFEFF/, '').split('\n')) {
    line = line.replace(/\r$/, '');
    if (!lines.length && line.startsWith('#')) continue;
    line = line.replace(/\t/g, ' ').replace(/^ +| +$/g, '');
    if (!line) {
      if (lines.length) break;
      continue;
    }
    lines.push(line === '.' ? '' : line);
  }
  return lines;
}

function options(argv) {
  const [folder, out, ...rest] = argv;
  if (!folder || !out) throw new Refused(usage);
  const given = { folder, out };
  for (let i = 0; i < rest.length; i += 2) {
    const [flag, value] = [rest[i], rest[i + 1]];
    const key = { '--pack': 'pack', '--module': 'module', '--words': 'words', '--title': 'title',
      '--parts': 'parts' }[flag];
    if (!key || value === undefined) throw new Refused(usage);
    given[key] = value;
  }
  return given;
}

// Written beside and renamed; nothing is left on a failure.
function writeWhole(file, bytes) {
  const part = `${file}.part`;
  try {
    fs.writeFileSync(part, bytes);
    fs.renameSync(part, file);
  } catch (e) {
    fs.rmSync(part, { force: true });
    throw new Refused(`${e.path ?? file}: ${reason(e)}`);
  }
}

async function main(argv) {
  const given = options(argv);
  let title = given.title ?? null;
  let name = null;
  if (given.words !== undefined) {
    const card = firstCard(new TextDecoder().decode(read(given.words)));
    title ??= card.filter(Boolean).join(' ');
    name = giftFileName(card.join(' '));
  }
  let out = given.out;
  if (fs.statSync(out, { throwIfNoEntry: false })?.isDirectory())
    out = path.join(out, name ?? giftFileName(''));

  const folder = given.folder;
  const parts = await oneFileParts((file) => read(path.join(folder, file)), namesIn(folder));
  let html;
  try {
    html = assembleOneFile(parts, {
      pack: given.pack === undefined ? null : read(given.pack),
      module: given.module === undefined ? null : read(given.module),
      title,
    });
  } catch (e) {
    // The assembler names the pack as the page does; here it is a file.
    if (e instanceof Refused && given.pack !== undefined)
      e.message = e.message.replace(/^gift\.pack:/, `${given.pack}:`);
    throw e;
  }
  if (given.parts !== undefined) writeWhole(given.parts, JSON.stringify(parts));
  writeWhole(out, html);
  console.log(`one_file: ${out} (${html.length} bytes)`);
}

if (import.meta.url === pathToFileURL(path.resolve(process.argv[1])).href) {
  main(process.argv.slice(2)).catch((e) => {
    if (!(e instanceof Refused)) throw e;
    console.error(`one_file: ${e.message}`);
    process.exitCode = e.message === usage ? 2 : 1;
  });
}
