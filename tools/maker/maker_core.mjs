// The gift maker's core for a page or for Node: the artwork tool's checks and pictures, the fit
// check and the pack writer, compiled to WebAssembly (velmor_maker.js and .wasm beside this
// file). Every answer is the programs' own: a refusal is the line velmor-artwork or
// velmor-module prints, after the program's name and, for words, after the file and line.
//
//   const core = await loadMakerCore({wasm: bytes or URL});
//   core.checkCard(index, text)        -> {ok, errors}
//   core.cardPicture(index, text)      -> the card's JPEG (throws with the refusals)
//   core.photoPicture(bytes, name)     -> {jpeg} or {error}
//   core.checkModule(bytes, name)      -> {ok, message}
//   core.makeGift({cards, photos, module, packModule})
//        -> {ok, errors, pictures: [{file, bytes}], pack, module}
//   core.version
import createVelmorMaker from './velmor_maker.js';

export const version = '1';

async function wasmBytes(wasm) {
  if (wasm instanceof Uint8Array || wasm instanceof ArrayBuffer) return new Uint8Array(wasm);
  const response = await fetch(wasm);
  if (!response.ok) throw new Error(`${wasm}: ${response.status} ${response.statusText}`);
  return new Uint8Array(await response.arrayBuffer());
}

// options.wasm: velmor_maker.wasm as bytes, or where to fetch it from.
export async function loadMakerCore(options = {}) {
  if (!options.wasm) throw new Error('loadMakerCore: no wasm given (bytes or a URL)');
  const m = await createVelmorMaker({
    wasmBinary: await wasmBytes(options.wasm),
    print: options.print ?? (() => {}),
    printErr: options.printErr ?? ((line) => console.warn(line)),
  });
  const encoder = new TextEncoder();

  // Bytes copied into the program's memory for the length of one call.
  function withBytes(list, call) {
    const pointers = list.map((bytes) => {
      const at = m._malloc(Math.max(1, bytes.length));
      m.HEAPU8.set(bytes, at);
      return at;
    });
    try {
      return call(...pointers);
    } finally {
      pointers.forEach((at) => m._free(at));
    }
  }
  const text = (s) => encoder.encode(`${s}\0`);
  const texts = () => Array.from({length: m._maker_text_count()}, (_, i) =>
    m.UTF8ToString(m._maker_text(i)));
  const files = () => Array.from({length: m._maker_file_count()}, (_, i) => {
    const at = m._maker_file_data(i);
    return {
      file: m.UTF8ToString(m._maker_file_name(i)),
      bytes: m.HEAPU8.slice(at, at + m._maker_file_size(i)),
    };
  });
  const bytesOf = (b) => (b instanceof Uint8Array ? b : new Uint8Array(b));

  return {
    version,
    checkCard(index, cardText) {
      const ok = withBytes([text(cardText)], (t) => m._maker_check_card(index, t)) === 1;
      return {ok, errors: texts()};
    },
    cardPicture(index, cardText) {
      if (withBytes([text(cardText)], (t) => m._maker_card_picture(index, t)) !== 1)
        throw new Error(texts().join('\n'));
      return files()[0].bytes;
    },
    photoPicture(bytes, name) {
      const b = bytesOf(bytes);
      const ok = withBytes([text(name), b], (n, at) => m._maker_photo_picture(n, at, b.length));
      return ok === 1 ? {jpeg: files()[0].bytes} : {error: texts()[0]};
    },
    checkModule(bytes, name) {
      const b = bytesOf(bytes);
      const ok = withBytes([text(name), b], (n, at) => m._maker_check_module(n, at, b.length));
      return {ok: ok === 1, message: texts().join('\n')};
    },
    // cards: the ten cards' texts; photos: [{name, bytes}] in the order the picture cards
    // show them (30 at most are used); module: {name, bytes}, or none for ours. The pack holds
    // the pictures, and the module too when packModule is true.
    makeGift({cards, photos = [], module, packModule = false}) {
      if (!Array.isArray(cards) || cards.length !== 10)
        throw new Error('makeGift: cards must be the ten cards\' texts');
      m._maker_gift_begin();
      cards.forEach((c, i) => withBytes([text(c)], (t) => m._maker_gift_card(i, t)));
      for (const p of photos) {
        const b = bytesOf(p.bytes);
        withBytes([text(p.name), b], (n, at) => m._maker_gift_photo(n, at, b.length));
      }
      if (module) {
        const b = bytesOf(module.bytes);
        withBytes([text(module.name), b], (n, at) => m._maker_gift_module(n, at, b.length));
      }
      const ok = m._maker_gift_make(packModule ? 1 : 0) === 1;
      // Only the inputs' copies are dropped: the answer is read out first.
      const out = files();
      const errors = texts();
      m._maker_gift_begin();
      if (!ok) return {ok, errors, pictures: [], pack: new Uint8Array(), module: new Uint8Array()};
      const byName = new Map(out.map((f) => [f.file, f.bytes]));
      return {
        ok,
        errors,
        pictures: out.filter((f) => f.file !== 'gift.pack' && f.file !== 'torva_velmor2.it'),
        pack: byName.get('gift.pack'),
        module: byName.get('torva_velmor2.it'),
      };
    },
  };
}
