// A zip archive of files stored as they are, without compression: the gift's
// folders are mostly JPEG, WebAssembly and an executable, which deflate
// shrinks by little, and storing keeps the writer small enough to carry in
// the maker page without a library. Runs in Node and in a browser alike.
//
//   zipStored([{name: 'folder/file', bytes: Uint8Array}, ...], {date}) -> Uint8Array
//
// Names use '/' and are marked UTF-8; the folders they lie in get entries of
// their own, so that every unzip tool makes them. `date` (default now) is the
// time each entry is stamped with.

const crcTable = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

// CRC-32 as zip (and PNG, and the gift pack) compute it.
export function crc32(bytes) {
  let c = 0xffffffff;
  for (let i = 0; i < bytes.length; ++i) c = crcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// MS-DOS time and date, to two seconds, in local time as unzip shows them;
// 1980 is the earliest a zip can say.
function dosTime(date) {
  const year = Math.max(date.getFullYear(), 1980);
  return {
    time: (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1),
    day: ((year - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate(),
  };
}

function checkName(name) {
  if (!name || name.startsWith('/') || name.includes('\\') ||
      name.split('/').some((part) => part === '' || part === '.' || part === '..'))
    throw new Error(`zip: "${name}" is not a relative path of plain names`);
}

export function zipStored(files, { date = new Date() } = {}) {
  const encoder = new TextEncoder();
  const entries = [];
  const seen = new Set();
  const add = (name, bytes) => {
    if (seen.has(name)) throw new Error(`zip: "${name}" is given twice`);
    seen.add(name);
    entries.push({ name: encoder.encode(name), bytes, crc: crc32(bytes) });
  };
  for (const { name } of files) {
    checkName(name);
    const parts = name.split('/');
    for (let i = 1; i < parts.length; ++i) {
      const folder = parts.slice(0, i).join('/') + '/';
      if (!seen.has(folder)) add(folder, new Uint8Array(0));
    }
  }
  for (const { name, bytes } of files) add(name, bytes);
  if (entries.length > 0xffff) throw new Error(`zip: ${entries.length} entries; at most 65535`);

  const { time, day } = dosTime(date);
  const local = 30;
  const central = 46;
  let size = 22;
  for (const e of entries) size += local + central + 2 * e.name.length + e.bytes.length;
  if (size > 0xffffffff) throw new Error(`zip: ${size} bytes; at most 4 GiB without Zip64`);

  const out = new Uint8Array(size);
  const view = new DataView(out.buffer);
  let at = 0;
  const u16 = (v) => { view.setUint16(at, v, true); at += 2; };
  const u32 = (v) => { view.setUint32(at, v, true); at += 4; };
  const put = (bytes) => { out.set(bytes, at); at += bytes.length; };
  // Version 2.0 needed; bit 11: the name is UTF-8; method 0: stored.
  const common = (e) => {
    u16(20); u16(0x0800); u16(0); u16(time); u16(day);
    u32(e.crc); u32(e.bytes.length); u32(e.bytes.length); u16(e.name.length); u16(0);
  };
  for (const e of entries) {
    e.offset = at;
    u32(0x04034b50);
    common(e);
    put(e.name);
    put(e.bytes);
  }
  const directory = at;
  for (const e of entries) {
    u32(0x02014b50);
    // Made by: Unix (3), so that the attributes below give the permissions.
    u16((3 << 8) | 20);
    common(e);
    u16(0); u16(0); u16(0);
    const folder = e.name[e.name.length - 1] === 0x2f;
    u32((((folder ? 0o40755 : 0o100644) << 16) | (folder ? 0x10 : 0)) >>> 0);
    u32(e.offset);
    put(e.name);
  }
  const end = at;
  u32(0x06054b50);
  u16(0); u16(0); u16(entries.length); u16(entries.length);
  u32(end - directory); u32(directory); u16(0);
  return out;
}
