// The maker's pieces that need no browser: the zip writer read back by
// Python's zipfile and by unzip, and the folder builder's refusals.
//
//   VELMOR_MAKER=build-maker node --test tests/maker/build_tests.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { crc32, zipStored } from '../../tools/maker/zip.mjs';

const root = path.join(import.meta.dirname, '../..');
const builder = path.join(root, 'tools/maker/build_maker.mjs');

function temporary() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'velmor-maker-build-'));
}

// Each member's name, size, CRC and bytes (hex) as Python's zipfile reads them.
function readBack(file) {
  const script = `
import json, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None
print(json.dumps([[i.filename, i.file_size, i.CRC, i.compress_type, i.is_dir(),
                   z.read(i).hex()] for i in z.infolist()]))`;
  return JSON.parse(execFileSync('python3', ['-c', script, file], { encoding: 'utf8' }));
}

test('CRC-32 is zip\'s: the check value and bytes beyond 7 bits', () => {
  assert.equal(crc32(new TextEncoder().encode('123456789')), 0xcbf43926);
  assert.equal(crc32(new Uint8Array(0)), 0);
  assert.equal(crc32(Uint8Array.from([0xff, 0x00, 0x80])), 0xac616edf);
});

test('a zip of stored files reads back whole, folders and UTF-8 names included', () => {
  const dir = temporary();
  try {
    const big = new Uint8Array(300000).map((_, i) => (i * 7919) & 0xff);
    const files = [
      { name: 'velmor-for-мира/gift.pack', bytes: big },
      { name: 'velmor-for-мира/licences/a.txt', bytes: new TextEncoder().encode('licence\n') },
      { name: 'velmor-for-мира/empty', bytes: new Uint8Array(0) },
    ];
    const file = path.join(dir, 'gift.zip');
    fs.writeFileSync(file, zipStored(files, { date: new Date(2026, 11, 9, 12, 30, 10) }));
    const members = readBack(file);
    assert.deepEqual(members.map(([name]) => name), ['velmor-for-мира/',
      'velmor-for-мира/licences/', ...files.map((f) => f.name)]);
    for (const { name, bytes } of files) {
      const [, size, crc, method, folder, hex] = members.find(([n]) => n === name);
      assert.deepEqual([size, crc, method, folder], [bytes.length, crc32(bytes), 0, false]);
      assert.equal(hex, Buffer.from(bytes).toString('hex'));
    }
    // unzip makes the folders and the files, with their time.
    execFileSync('unzip', ['-q', file, '-d', path.join(dir, 'out')]);
    const unzipped = path.join(dir, 'out/velmor-for-мира');
    assert.ok(Buffer.from(big).equals(fs.readFileSync(path.join(unzipped, 'gift.pack'))));
    const time = fs.statSync(path.join(unzipped, 'licences/a.txt')).mtime;
    assert.deepEqual([time.getFullYear(), time.getMonth(), time.getDate(), time.getHours(),
      time.getMinutes(), time.getSeconds()], [2026, 11, 9, 12, 30, 10]);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('the zip writer refuses names that would land outside the folder, and twins', () => {
  const bytes = new Uint8Array(1);
  for (const name of ['', '/etc/passwd', '../up', 'a/../../b', 'a//b', 'a\\b', 'a/./b'])
    assert.throws(() => zipStored([{ name, bytes }]), /not a relative path/, name);
  assert.throws(() => zipStored([{ name: 'a', bytes }, { name: 'a', bytes }]), /given twice/);
});

// A folder tree of the given files, each holding its own name.
function tree(dir, names) {
  for (const name of names) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    fs.writeFileSync(path.join(dir, name), name);
  }
  return dir;
}

test('the builder refuses a missing or incomplete build in one line, leaving OUT as it was', () => {
  const dir = temporary();
  try {
    const web = tree(path.join(dir, 'web'), ['index.html', 'velmor.wasm']);
    const windows = tree(path.join(dir, 'windows'), ['velmor.exe', 'README.txt']);
    const core = tree(path.join(dir, 'core'), ['maker_core.mjs', 'velmor_maker.wasm']);
    const out = tree(path.join(dir, 'out'), ['kept']);
    const cases = [
      ['no intro build', [path.join(dir, 'none'), windows, core], /none: no such folder/],
      ['no velmor.exe', [web, path.join(dir, 'core'), core], /has no velmor\.exe/],
      ['no core', [web, windows, web], /has 1 \.wasm files|has no maker_core\.mjs/],
    ];
    for (const [what, folders, message] of cases) {
      const run = spawnSync('node', [builder, ...folders, out], { encoding: 'utf8' });
      assert.equal(run.status, 1, `${what}: status ${run.status}: ${run.stderr}`);
      assert.match(run.stderr, message, what);
      assert.equal(run.stderr.trim().split('\n').length, 1, `${what}: ${run.stderr}`);
      assert.deepEqual(fs.readdirSync(out), ['kept'], `${what}: OUT changed`);
    }
    assert.deepEqual(fs.readdirSync(dir).sort(), ['core', 'out', 'web', 'windows'],
      'something was left beside OUT');
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('the built maker lists exactly the intro and the program it carries, without the module',
  () => {
    const maker = process.env.VELMOR_MAKER ?? path.join(root, 'build-maker');
    const listed = JSON.parse(fs.readFileSync(path.join(maker, 'files.json'), 'utf8'));
    for (const folder of ['intro', 'windows']) {
      const present = fs.readdirSync(path.join(maker, folder), { recursive: true })
        .filter((n) => fs.statSync(path.join(maker, folder, n)).isFile()).sort();
      assert.deepEqual(listed[folder], present, folder);
      assert.ok(!present.includes('torva_velmor2.it'), `${folder} carries our module`);
    }
    assert.ok(fs.existsSync(path.join(maker, listed.core)));
  });
