// Puts the maker page together as a static folder from what the other builds
// made; it compiles nothing.
//
//   node tools/maker/build_maker.mjs BUILD_WEB WINDOWS_FOLDER CORE_FOLDER OUT
//
// BUILD_WEB is the intro's page folder (make web), WINDOWS_FOLDER the folder
// `make windows` zips (velmor.exe, README.txt, the licences), CORE_FOLDER the
// maker's WebAssembly core (tools/maker/CMakeLists.txt). OUT gets:
//
//   index.html maker.css maker.js   the page (tools/maker/page/)
//   zip.mjs one_file.mjs            what it zips and assembles with
//   maker_core.mjs velmor_maker.*   the artwork, words and module checks
//   licences/                       of what the core compiles in and carries
//   one_file_parts.json             the intro's code, ready for the single file
//   words.txt                       the cards the page starts with
//   intro/                          the intro's page folder, for a web host
//   windows/                        the program, for the Windows zip
//   files.json                      what the page fetches of intro/, windows/
//
// OUT is made beside and put in place whole, so a failed build leaves the
// last one as it was.
import fs from 'node:fs';
import path from 'node:path';

const here = import.meta.dirname;
const root = path.join(here, '../..');
const musicFile = 'torva_velmor2.it';

class Refused extends Error {}

// Every file under `folder`, as paths relative to it with '/', sorted.
function filesUnder(folder) {
  if (!fs.existsSync(folder) || !fs.statSync(folder).isDirectory())
    throw new Refused(`${folder}: no such folder (is it built?)`);
  return fs.readdirSync(folder, { recursive: true })
    .filter((name) => fs.statSync(path.join(folder, name)).isFile())
    .map((name) => name.split(path.sep).join('/'))
    .sort();
}

function copy(from, to) {
  if (!fs.existsSync(from)) throw new Refused(`${from}: no such file (is it built?)`);
  fs.mkdirSync(path.dirname(to), { recursive: true });
  fs.copyFileSync(from, to);
}

async function build(web, windows, core, out) {
  const intro = filesUnder(web);
  const program = filesUnder(windows);
  const maker = filesUnder(core);
  const wasm = maker.filter((name) => name.endsWith('.wasm'));
  if (wasm.length !== 1)
    throw new Refused(`${core}: has ${wasm.length} .wasm files, not the core's one`);
  for (const [folder, files, needed] of [[web, intro, ['index.html', 'velmor.wasm']],
    [windows, program, ['velmor.exe', 'README.txt']], [core, maker, ['maker_core.mjs']]]) {
    for (const name of needed)
      if (!files.includes(name)) throw new Refused(`${folder}: has no ${name}`);
  }

  const { oneFileParts } = await import(path.join(root, 'tools/web/one_file.mjs'));
  const parts = await oneFileParts((name) => new Uint8Array(fs.readFileSync(path.join(web, name))),
    intro);

  fs.mkdirSync(path.dirname(path.resolve(out)), { recursive: true });
  const part = fs.mkdtempSync(`${path.resolve(out)}.part-`);
  try {
    for (const name of ['index.html', 'maker.css', 'maker.js'])
      copy(path.join(here, 'page', name), path.join(part, name));
    copy(path.join(here, 'zip.mjs'), path.join(part, 'zip.mjs'));
    copy(path.join(root, 'tools/web/one_file.mjs'), path.join(part, 'one_file.mjs'));
    copy(path.join(root, 'examples/words.txt'), path.join(part, 'words.txt'));
    for (const name of maker) copy(path.join(core, name), path.join(part, name));
    fs.writeFileSync(path.join(part, 'one_file_parts.json'), JSON.stringify(parts));
    // The gift always brings its module, ours or the giver's.
    const page = intro.filter((name) => name !== musicFile);
    const given = program.filter((name) => name !== musicFile);
    for (const name of page) copy(path.join(web, name), path.join(part, 'intro', name));
    for (const name of given) copy(path.join(windows, name), path.join(part, 'windows', name));
    fs.writeFileSync(path.join(part, 'files.json'), JSON.stringify(
      { core: wasm[0], intro: page, windows: given },
      null, 1));
    fs.chmodSync(part, 0o755);
    fs.rmSync(out, { recursive: true, force: true });
    fs.renameSync(part, out);
  } catch (e) {
    fs.rmSync(part, { recursive: true, force: true });
    throw e;
  }
  const bytes = filesUnder(out).reduce((n, name) => n + fs.statSync(path.join(out, name)).size, 0);
  console.log(`maker: ${out}/ (${filesUnder(out).length} files, ${(bytes / 1e6).toFixed(2)} MB)`);
}

const [web, windows, core, out, ...more] = process.argv.slice(2);
if (!out || more.length) {
  console.error('usage: build_maker.mjs BUILD_WEB WINDOWS_FOLDER CORE_FOLDER OUT');
  process.exit(2);
}
try {
  await build(web, windows, core, out);
} catch (e) {
  console.error(`maker: ${e instanceof Refused || e.name === 'Refused' ? e.message : e.stack}`);
  process.exit(1);
}
