// What the gift maker's tests give it and the desktop's tools alike: the cards of a words file
// and test photos, made here (PNG written directly, JPEG through ImageMagick's mogrify).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { crc32 } from '../../tools/maker/zip.mjs';

// The cards of a words file as the maker's fields hold them: each card's lines joined by "\n".
export function cardsOf(text) {
  const cards = [];
  let open = false;
  for (const line of text.split('\n')) {
    if (line.trim() === '') {
      open = false;
    } else if (!(line.startsWith('#') && !open)) {
      if (!open) cards.push([]);
      open = true;
      cards.at(-1).push(line);
    }
  }
  return cards.map((c) => c.join('\n'));
}
export const wordsFileOf = (cards) => cards.join('\n\n') + '\n';

function chunk(type, data) {
  const out = Buffer.alloc(12 + data.length);
  out.writeUInt32BE(data.length, 0);
  out.write(type, 4, 'latin1');
  data.copy(out, 8);
  out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
  return out;
}
// A TIFF structure holding only an orientation, as EXIF carries it.
function tiffOrientation(orientation) {
  const t = Buffer.alloc(26);
  t.write('MM\0*', 0, 'latin1');
  t.writeUInt32BE(8, 4);
  t.writeUInt16BE(1, 8);
  t.writeUInt16BE(0x0112, 10);
  t.writeUInt16BE(3, 12);
  t.writeUInt32BE(1, 14);
  t.writeUInt16BE(orientation, 18);
  return t;
}
// channels 1 (grey), 3 (RGB) or 4 (RGBA); a pattern that differs with `seed`.
export function png(w, h, channels, seed, orientation = 0) {
  const rows = Buffer.alloc(h * (1 + w * channels));
  for (let y = 0; y < h; y++) {
    const at = y * (1 + w * channels);
    for (let x = 0; x < w; x++)
      for (let c = 0; c < channels; c++) {
        const v = c === 3 ? (x * 255) / w
          : 128 + 100 * Math.sin((x * (c + 1) + seed * 7) / (9 + seed)) *
            Math.cos((y * (3 - c) + seed) / (13 + c)) + ((x ^ y) & 15);
        rows[at + 1 + x * channels + c] = Math.max(0, Math.min(255, Math.round(v)));
      }
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(w, 0);
  header.writeUInt32BE(h, 4);
  header[8] = 8;
  header[9] = { 1: 0, 3: 2, 4: 6 }[channels];
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header), ...(orientation ? [chunk('eXIf', tiffOrientation(orientation))] : []),
    chunk('IDAT', zlib.deflateSync(rows)), chunk('IEND', Buffer.alloc(0))]);
}
// The JPEG with an EXIF segment saying `orientation` right after its start.
function withExif(jpeg, orientation) {
  const body = Buffer.concat([Buffer.from('Exif\0\0', 'latin1'), tiffOrientation(orientation)]);
  const app1 = Buffer.alloc(4);
  app1.writeUInt16BE(0xffe1, 0);
  app1.writeUInt16BE(body.length + 2, 2);
  return Buffer.concat([jpeg.subarray(0, 2), app1, body, jpeg.subarray(2)]);
}

// Thirty photos of many shapes, named so that the folder's order is the order given: JPEGs
// (one turned by EXIF, one large enough to be decoded reduced), PNGs in RGB, grey, with
// transparency and turned by an eXIf chunk.
export function makePhotos(folder) {
  fs.mkdirSync(folder);
  const sizes = [[640, 480], [480, 640], [300, 300], [1000, 200], [200, 900], [2200, 2100]];
  const pngs = { 4: [3], 9: [1], 14: [4], 21: [3, 6] };
  const names = [];
  for (let i = 1; i <= 30; i++) {
    const [w, h] = sizes[i % sizes.length];
    const stem = String(i).padStart(2, '0');
    if (pngs[i]) {
      fs.writeFileSync(path.join(folder, `${stem}.png`), png(w, h, pngs[i][0], i, pngs[i][1]));
      names.push(`${stem}.png`);
    } else {
      fs.writeFileSync(path.join(folder, `${stem}.source.png`), png(w, h, 3, i));
      names.push(`${stem}.jpg`);
    }
  }
  execFileSync('mogrify', ['-format', 'jpg', '-quality', '88',
    ...fs.readdirSync(folder).filter((n) => n.endsWith('.source.png')).map((n) => path.join(folder, n))]);
  for (const n of fs.readdirSync(folder).filter((n) => n.endsWith('.source.jpg'))) {
    let jpeg = fs.readFileSync(path.join(folder, n));
    if (n.startsWith('02.')) jpeg = withExif(jpeg, 6);
    fs.writeFileSync(path.join(folder, n.replace('.source', '')), jpeg);
    fs.rmSync(path.join(folder, n));
  }
  for (const n of fs.readdirSync(folder).filter((n) => n.endsWith('.source.png')))
    fs.rmSync(path.join(folder, n));
  return names.map((name) => ({ name, bytes: fs.readFileSync(path.join(folder, name)) }));
}

