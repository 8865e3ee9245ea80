// The maker: a gift made in the browser, with the same code that makes it on
// the command line (the artwork, words and module checks compiled to
// WebAssembly: maker_core.mjs), the single file put together as the terminal
// does (one_file.mjs), and the folders zipped here (zip.mjs).
//
// Everything the maker needs is fetched while it loads (files.json lists the
// prebuilt intro and Windows program); after that it asks the network for
// nothing, and the giver's words, photos and music stay in this page.
//
// document.body.dataset.state: loading, ready (usable), failed (it did not
// load; #loading says why). dataset.busy is set while a gift is being made.
import { loadMakerCore } from './maker_core.mjs';
import { assembleOneFile, giftFileName } from './one_file.mjs';
import { zipStored } from './zip.mjs';

const cardCount = 10;
const pictureCards = 30;
const musicFile = 'torva_velmor2.it';
const $ = (id) => document.getElementById(id);
const body = document.body;

let core = null;
let parts = null;
const prebuilt = { intro: new Map(), windows: new Map() };

const cards = [];          // {text, ok, errors, url}
const photos = [];         // {name, bytes, url}
let module = null;         // {name, bytes} once it passed the check
let made = null;           // the last gift made, until anything changes
let changes = 0;

// --- loading ----------------------------------------------------------------

async function fetched(name, as = 'bytes') {
  const response = await fetch(name);
  if (!response.ok) throw new Error(`${name}: ${response.status} ${response.statusText}`);
  if (as === 'json') return response.json();
  if (as === 'text') return response.text();
  return new Uint8Array(await response.arrayBuffer());
}

async function load() {
  const manifest = await fetched('files.json', 'json');
  const [words, loadedParts, loadedCore] = await Promise.all([
    fetched('words.txt', 'text'),
    fetched('one_file_parts.json', 'json'),
    loadMakerCore({ wasm: new URL(manifest.core, location.href) }),
  ]);
  parts = loadedParts;
  core = loadedCore;
  await Promise.all(['intro', 'windows'].flatMap((folder) =>
    manifest[folder].map(async (name) =>
      prebuilt[folder].set(name, await fetched(`${folder}/${name}`))),
  ));
  return exampleCards(words);
}

// The cards of our own words file, to start from. Its notes go; a "." line
// is a gap, which the giver writes here as an empty line.
function exampleCards(text) {
  const found = [];
  let open = false;
  for (const raw of text.replace(/\r/g, '').split('\n')) {
    const line = raw.trim();
    if (!line) {
      open = false;
    } else if (!open && line.startsWith('#')) {
      continue;
    } else {
      if (!open) found.push([]);
      open = true;
      found[found.length - 1].push(line === '.' ? '' : line);
    }
  }
  return found.map((lines) => lines.join('\n'));
}

// A card as the giver typed it, in the form of a card of a words file: an
// empty line between two lines is a gap (a "." line); empty lines around the
// card are nothing.
function cardText(value) {
  const lines = value.replace(/\r/g, '').split('\n').map((l) => l.replace(/\s+$/, ''));
  while (lines.length && !lines[0].trim()) lines.shift();
  while (lines.length && !lines[lines.length - 1].trim()) lines.pop();
  return lines.map((l) => (l.trim() ? l : '.')).join('\n');
}

function changed() {
  ++changes;
  made = null;
  $('give-errors').replaceChildren();
  $('give-status').textContent = '';
}

function pictureUrl(jpeg, old) {
  if (old) URL.revokeObjectURL(old);
  return URL.createObjectURL(new Blob([jpeg], { type: 'image/jpeg' }));
}

function listItems(list, lines) {
  list.replaceChildren(...lines.map((line) => {
    const item = document.createElement('li');
    item.textContent = line;
    return item;
  }));
}

// --- the words --------------------------------------------------------------

const cardRoles = ['the dedication', 'opening', 'opening', 'opening', 'opening', 'opening',
  'opening', 'closing: wishes', 'closing: greetings', 'closing: credits'];

function buildCards(texts) {
  const list = $('cards');
  for (let i = 0; i < cardCount; ++i) {
    const item = document.createElement('li');
    item.className = 'card';
    item.id = `card-${i + 1}`;
    const label = document.createElement('label');
    label.htmlFor = `card-text-${i + 1}`;
    label.textContent = `Card ${i + 1} (${cardRoles[i]})`;
    const text = document.createElement('textarea');
    text.id = `card-text-${i + 1}`;
    text.rows = 6;
    text.spellcheck = true;
    text.value = texts[i] ?? '';
    text.setAttribute('aria-describedby', `card-messages-${i + 1}`);
    const picture = document.createElement('img');
    picture.dataset.alt = `Card ${i + 1} as the show sets it`;
    const messages = document.createElement('ul');
    messages.className = 'messages';
    messages.id = `card-messages-${i + 1}`;
    messages.setAttribute('aria-live', 'polite');
    item.append(label, text, picture, messages);
    list.append(item);
    cards.push({ text: '', ok: false, errors: [], url: null });
    let timer = 0;
    text.addEventListener('input', () => {
      changed();
      clearTimeout(timer);
      timer = setTimeout(() => checkCard(i), 150);
    });
    checkCard(i);
  }
}

function checkCard(i) {
  const item = $(`card-${i + 1}`);
  const card = cards[i];
  card.text = cardText($(`card-text-${i + 1}`).value);
  const result = core.checkCard(i, card.text);
  card.ok = result.ok;
  card.errors = result.errors;
  item.dataset.ok = String(result.ok);
  listItems(item.querySelector('.messages'), result.errors);
  const picture = item.querySelector('img');
  if (result.ok) {
    card.url = pictureUrl(core.cardPicture(i, card.text), card.url);
    picture.src = card.url;
    picture.alt = picture.dataset.alt;
    picture.style.opacity = '';
  } else {
    // The last picture that fitted stays, dimmed, until the card fits again.
    picture.style.opacity = '0.3';
  }
  updateButtons();
}

// --- the photos -------------------------------------------------------------

// The order a file manager lists names in: 2 before 10, capitals and small
// letters alike, as the command line takes a folder of photos.
const byName = new Intl.Collator('en', { numeric: true, sensitivity: 'base' });

async function addPhotos(files) {
  const given = [...files].sort((a, b) => byName.compare(a.name, b.name));
  const refused = [];
  for (const [k, file] of given.entries()) {
    // A camera's photo takes a quarter of a second; the page says how far it is.
    $('photo-count').textContent = `Making the picture card of photo ${k + 1} of ${given.length}…`;
    await new Promise((resolve) => setTimeout(resolve, 0));
    if (photos.length >= pictureCards) {
      refused.push(`${file.name}: left out; the show has ${pictureCards} picture cards, ` +
        'all of them taken');
      continue;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    const result = core.photoPicture(bytes, file.name);
    if (result.error) {
      refused.push(result.error);
      continue;
    }
    photos.push({ name: file.name, bytes, url: pictureUrl(result.jpeg) });
  }
  listItems($('refused'), refused);
  changed();
  showPhotos();
}

function showPhotos(focus) {
  const list = $('photo-list');
  list.replaceChildren(...photos.map((photo, i) => {
    const item = document.createElement('li');
    item.className = 'photo';
    const picture = document.createElement('img');
    picture.src = photo.url;
    picture.alt = `Picture card ${i + 1}: ${photo.name}`;
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = `${i + 1}. ${photo.name}`;
    const moves = document.createElement('div');
    moves.className = 'moves';
    const button = (text, label, enabled, action) => {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = text;
      b.setAttribute('aria-label', `${label} ${photo.name}`);
      b.dataset.action = text;
      b.disabled = !enabled;
      b.addEventListener('click', action);
      moves.append(b);
    };
    button('Earlier', 'Show earlier:', i > 0, () => move(i, i - 1, 'Earlier'));
    button('Later', 'Show later:', i < photos.length - 1, () => move(i, i + 1, 'Later'));
    button('Remove', 'Remove', true, () => remove(i));
    item.append(picture, name, moves);
    return item;
  }));
  const count = photos.length;
  $('photo-count').textContent = count === 0 ? 'No photos yet: all thirty picture cards are ours.'
    : count < pictureCards ? `${count} of ${pictureCards} picture cards show your photos; ` +
      'the rest stay ours.'
      : `All ${pictureCards} picture cards show your photos.`;
  // The keyboard stays with the photo it moved.
  if (focus) list.children[focus.index]?.querySelector(`[data-action="${focus.action}"]`)?.focus();
}

function move(from, to, action) {
  const [photo] = photos.splice(from, 1);
  photos.splice(to, 0, photo);
  changed();
  const stays = (action === 'Earlier' && to > 0) || (action === 'Later' && to < photos.length - 1);
  showPhotos({ index: to, action: stays ? action : action === 'Earlier' ? 'Later' : 'Earlier' });
}

function remove(i) {
  URL.revokeObjectURL(photos[i].url);
  photos.splice(i, 1);
  changed();
  showPhotos();
  const next = $('photo-list').children[Math.min(i, photos.length - 1)];
  (next?.querySelector('[data-action="Remove"]') ?? $('photo-files')).focus();
}

function dropZone() {
  const drop = $('drop');
  // Files dropped anywhere on the page are taken as photos, not opened in its
  // place; dragged text still goes into the cards.
  const files = (e) => e.dataTransfer?.types.includes('Files');
  for (const type of ['dragenter', 'dragover']) {
    document.addEventListener(type, (e) => {
      if (!files(e)) return;
      e.preventDefault();
      drop.classList.toggle('over', drop.contains(e.target));
    });
  }
  document.addEventListener('dragleave', (e) => {
    if (!e.relatedTarget) drop.classList.remove('over');
  });
  document.addEventListener('drop', (e) => {
    if (!files(e)) return;
    e.preventDefault();
    drop.classList.remove('over');
    if (e.dataTransfer?.files.length) addPhotos(e.dataTransfer.files);
  });
  $('photo-files').addEventListener('change', async (e) => {
    await addPhotos(e.target.files);
    e.target.value = '';
  });
}

// --- the music --------------------------------------------------------------

function music() {
  const input = $('module-file');
  const message = $('module-message');
  const clear = $('module-clear');
  input.addEventListener('change', async () => {
    const file = input.files[0];
    input.value = '';
    if (!file) return;
    const bytes = new Uint8Array(await file.arrayBuffer());
    const result = core.checkModule(bytes, file.name);
    changed();
    if (result.ok) {
      module = { name: file.name, bytes };
      message.textContent = result.message || `${file.name} fits the show; it plays.`;
      message.classList.remove('problem');
    } else {
      module = null;
      message.textContent = `${result.message}\nOurs plays instead.`;
      message.classList.add('problem');
    }
    clear.hidden = !module;
  });
  clear.addEventListener('click', () => {
    module = null;
    changed();
    message.textContent = `Ours plays: ${musicFile}.`;
    message.classList.remove('problem');
    clear.hidden = true;
    input.focus();
  });
}

// --- making and giving ------------------------------------------------------

function updateButtons() {
  const fits = cards.length === cardCount && cards.every((c) => c.ok);
  for (const id of ['preview', 'download-html', 'download-web', 'download-windows'])
    $(id).disabled = !fits;
  if (!fits && cards.length === cardCount) {
    const refused = cards.flatMap((c, i) => (c.ok ? [] : [i + 1]));
    $('give-status').textContent = `Card${refused.length > 1 ? 's' : ''} ${refused.join(', ')} ` +
      'must fit before the show can be made.';
  }
}

// The gift from what the page holds now: the 45 pictures, the pack and the
// module; null, with the reasons shown, when it cannot be made.
async function gift() {
  if (made && made.changes === changes) return made;
  const status = $('give-status');
  status.textContent = 'Making the 45 pictures…';
  body.dataset.busy = 'true';
  // Lets the browser show the line above before the work holds its thread.
  await new Promise((resolve) => setTimeout(resolve, 30));
  try {
    const started = performance.now();
    const result = core.makeGift({
      cards: cards.map((c) => c.text),
      photos: photos.map(({ name, bytes }) => ({ name, bytes })),
      ...(module ? { module } : {}),
    });
    const seconds = (performance.now() - started) / 1000;
    if (!result.ok) {
      status.textContent = 'The gift cannot be made:';
      listItems($('give-errors'), result.errors);
      return null;
    }
    body.dataset.madeSeconds = seconds.toFixed(2);
    made = { ...result, changes,
      said: `Made the ${result.pictures.length} pictures in ${seconds.toFixed(1)} s.` };
    status.textContent = made.said;
    return made;
  } finally {
    delete body.dataset.busy;
  }
}

// The dedication's lines as a words file's reader gives them: a "." is a gap.
function dedication() {
  return cards[0].text.split('\n').map((l) => (l.trim() === '.' ? '' : l.trim())).join('\n');
}

function singleFile(result) {
  return assembleOneFile(parts, { pack: result.pack, module: result.module,
    title: giftTitle() });
}

function giftTitle() {
  return dedication().split('\n').filter((l) => l.trim()).join(' ');
}

function save(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
  $('give-status').textContent = `${made.said} Saved ${name} (${(bytes.length / 1e6).toFixed(1)} MB).`;
}

const htmlName = () => giftFileName(dedication());
const baseName = () => htmlName().replace(/\.html$/, '');

async function downloadHtml() {
  const result = await gift();
  if (result) save(singleFile(result), htmlName(), 'text/html');
}

// The intro's page folder with the gift's pack and module beside it.
async function downloadWeb() {
  const result = await gift();
  if (!result) return;
  const folder = baseName();
  const files = [...prebuilt.intro].filter(([name]) => name !== musicFile)
    .map(([name, bytes]) => ({ name: `${folder}/${name}`, bytes }));
  files.push({ name: `${folder}/gift.pack`, bytes: result.pack },
    { name: `${folder}/${musicFile}`, bytes: result.module });
  save(zipStored(files), `${folder}-web.zip`, 'application/zip');
}

// What `make windows` zips, with the gift's module in place of ours and its
// pack beside the program.
async function downloadWindows() {
  const result = await gift();
  if (!result) return;
  const folder = 'velmor-for-torva';
  const files = [...prebuilt.windows].filter(([name]) => name !== musicFile)
    .map(([name, bytes]) => ({ name: `${folder}/${name}`, bytes }));
  files.push({ name: `${folder}/gift.pack`, bytes: result.pack },
    { name: `${folder}/${musicFile}`, bytes: result.module });
  save(zipStored(files), `${baseName()}-windows.zip`, 'application/zip');
}

// The show plays in a frame: the very single file the download gives.
let previewUrl = null;
async function preview() {
  const result = await gift();
  if (!result) return;
  previewUrl = URL.createObjectURL(new Blob([singleFile(result)], { type: 'text/html' }));
  const frame = $('preview-frame');
  frame.src = previewUrl;
  $('preview-layer').hidden = false;
  frame.addEventListener('load', () => {
    frame.contentWindow.addEventListener('keydown', (e) => {
      // Escape ends the show inside; once it has ended, or before it began,
      // it closes the preview.
      const state = frame.contentDocument.body.dataset.state;
      if (e.key === 'Escape' && state !== 'playing') closePreview();
    });
    frame.contentWindow.focus();
  }, { once: true });
}

function closePreview() {
  const layer = $('preview-layer');
  if (layer.hidden) return;
  layer.hidden = true;
  // Leaving the page stops its sound.
  $('preview-frame').src = 'about:blank';
  URL.revokeObjectURL(previewUrl);
  previewUrl = null;
  $('preview').focus();
}

function giving() {
  const run = (action) => async () => {
    try {
      await action();
    } catch (e) {
      $('give-status').textContent = `Something went wrong: ${e.message}`;
      console.error(e);
    }
  };
  $('preview').addEventListener('click', run(preview));
  $('download-html').addEventListener('click', run(downloadHtml));
  $('download-web').addEventListener('click', run(downloadWeb));
  $('download-windows').addEventListener('click', run(downloadWindows));
  $('preview-close').addEventListener('click', closePreview);
  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') closePreview();
  });
}

load().then((texts) => {
  buildCards(texts);
  showPhotos();
  dropZone();
  music();
  giving();
  $('loading').textContent = '';
  body.dataset.state = 'ready';
}, (e) => {
  $('loading').textContent = `The maker did not load: ${e.message}`;
  $('loading').classList.add('problem');
  body.dataset.state = 'failed';
  console.error(e);
});
