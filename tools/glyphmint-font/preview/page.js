'use strict';
// The page's behaviour: the atlas with a box per record and the record under
// the pointer, and the sample text drawn as render draws it, from the text
// box or from the address's fragment (#text=...&scale=N).

const MAX_SIDE = 16384;
const MAX_PIXELS = 64 * 1024 * 1024;

// The record, and the font that supplied it when the bake had fallbacks; a
// shaped bake's glyphs that no code point reaches are named by glyph index.
function describeGlyph(font, index) {
  const glyph = font.glyphs[index];
  const name = font.codeRecords === undefined || index < font.codeRecords ?
    codePointName(glyph.code) : `glyph ${glyph.index} of font ${glyph.fontNumber}`;
  const supplier = font.suppliers && font.suppliers.of[index];
  const from = supplier === undefined ? '' : `  from ${font.suppliers.fonts[supplier]}`;
  return `${name}  cell x ${glyph.x}, y ${glyph.y}  ` +
    `size ${glyph.width}x${glyph.rows}  bearing x ${glyph.bearingX}, y ${glyph.bearingY}  ` +
    `advance ${glyph.advance}${from}`;
}

// One box per record, over each glyph's cell, placed in percent of the atlas
// so that zooming moves them with it.
function showAtlasBoxes(font) {
  const boxes = document.getElementById('boxes');
  const info = document.getElementById('glyph-info');
  const percent = (value, whole) => `${(100 * value) / whole}%`;
  font.glyphs.forEach((glyph, index) => {
    const box = document.createElement('div');
    box.className = 'box';
    box.dataset.codepoint = String(glyph.code);
    box.dataset.index = String(index);
    box.style.left = percent(glyph.x, font.atlasWidth);
    box.style.top = percent(glyph.y, font.atlasHeight);
    box.style.width = percent(glyph.width + 2, font.atlasWidth);
    box.style.height = percent(glyph.rows + 2, font.atlasHeight);
    boxes.appendChild(box);
  });
  let pinned = null;
  const show = (box) => {
    info.textContent = box ? describeGlyph(font, Number(box.dataset.index)) : '';
  };
  boxes.addEventListener('mouseover', (event) => pinned || show(event.target.closest('.box')));
  boxes.addEventListener('click', (event) => {
    const box = event.target.closest('.box');
    if (pinned) pinned.classList.remove('pinned');
    pinned = box === pinned ? null : box;
    if (pinned) pinned.classList.add('pinned');
    show(box);
  });
}

function setUpZoom(font) {
  const zoom = document.getElementById('zoom');
  const atlas = document.getElementById('atlas');
  const apply = () => {
    atlas.style.width = `${font.atlasWidth * Number(zoom.value)}px`;
    atlas.style.height = `${font.atlasHeight * Number(zoom.value)}px`;
  };
  zoom.addEventListener('change', apply);
  apply();
}

// The text and scale the fragment asks for; what it lacks, or cannot be
// decoded, stays null, with the reason in `problem`.
function readFragment() {
  const wanted = { text: null, scale: null, problem: null };
  for (const part of location.hash.replace(/^#/, '').split('&')) {
    const [key, value = ''] = part.split('=');
    try {
      if (key === 'text') wanted.text = decodeURIComponent(value);
    } catch (error) {
      wanted.problem = `The address's text is not percent-encoded UTF-8 (${error.message}).`;
    }
    if (key === 'scale') wanted.scale = Number(value);
  }
  return wanted;
}

// The scale asked for when it is one render takes (1 to 16), else 1.
function scaleOrOne(value) {
  return Number.isInteger(value) && value >= 1 && value <= 16 ? value : 1;
}

// Why the sample cannot be drawn, or null when it can.
function refusal(font, width, height) {
  if (!(font.kind in GLYPH_DRAWERS)) return `This page cannot draw the glyphs of a ${font.kind} atlas yet.`;
  if (width <= 0 || height <= 0)
    return `The text makes an empty image (${width}x${height} pixels): nothing to draw.`;
  if (width > MAX_SIDE || height > MAX_SIDE || width * height > MAX_PIXELS)
    return `The image would be ${width}x${height} pixels, more than 16384 on a side or 64 Mi in all.`;
  return null;
}

function paint(canvas, image) {
  canvas.width = image.width;
  canvas.height = image.height;
  canvas.style.width = `${image.width}px`;
  canvas.style.height = `${image.height}px`;
  const rgba = new ImageData(image.width, image.height);
  if (image.channels === 4) rgba.data.set(image.pixels);
  for (let i = 0; image.channels === 1 && i < image.pixels.length; ++i) {
    rgba.data.fill(image.pixels[i], 4 * i, 4 * i + 3);
    rgba.data[4 * i + 3] = 255;
  }
  canvas.getContext('2d').putImageData(rgba, 0, 0);
}

// A shaped bake's sample as the tool shaped it; other text one glyph per code
// point, with a note, since the page has no shaper.
function sampleLayout(font, text) {
  if (!font.shaped) return { layout: layOutText(font, text), note: '' };
  if (text === font.shaped.text) {
    const lacking = font.shaped.lacking.map(
      ([glyph, code]) => `glyph ${glyph} (from ${codePointName(code)})`);
    const note = lacking.length ? 'Not in the bake: ' + lacking.join(', ') : '';
    return { layout: shapedLayout(font), note };
  }
  const note = 'Only the sample the page was made with is drawn shaped; ' +
    'this text is drawn one glyph per code point.';
  return { layout: layOutText(font, text), note };
}

function drawSample(font, atlas, text, scale) {
  const { layout, note: shapingNote } = sampleLayout(font, text);
  const b = layout.bounds;
  const width = (b.right - b.left) * scale;
  const height = (b.bottom - b.top) * scale;
  const why = refusal(font, width, height);
  const canvas = document.getElementById('sample');
  const note = document.getElementById('sample-note');
  canvas.hidden = why !== null;
  note.hidden = why === null;
  note.textContent = why || '';
  if (why === null) paint(canvas, drawText(font, atlas, layout, scale));
  const missing = layout.missing.length === 0 ? '' :
    'Not in the font: ' + layout.missing.map(codePointName).join(', ');
  document.getElementById('missing').textContent = [shapingNote, missing].filter((t) => t).join(' ');
}

function setUpSample(font, atlas) {
  const textBox = document.getElementById('text');
  const scaleBox = document.getElementById('scale');
  let problem = null;
  const fromFragment = () => {
    const wanted = readFragment();
    textBox.value = wanted.text === null ? font.text : wanted.text;
    scaleBox.value = String(scaleOrOne(wanted.scale));
    problem = wanted.problem;
  };
  const redraw = () => {
    drawSample(font, atlas, textBox.value, scaleOrOne(Number(scaleBox.value)));
    if (problem !== null) document.getElementById('missing').textContent = problem;
  };
  const edited = () => {
    problem = null;
    try {
      history.replaceState(null, '', `#text=${encodeURIComponent(textBox.value)}&scale=${scaleBox.value}`);
    } catch (error) {
      // A lone surrogate has no UTF-8 form: the address keeps its last text.
    }
    redraw();
  };
  textBox.addEventListener('input', edited);
  scaleBox.addEventListener('input', edited);
  window.addEventListener('hashchange', () => {
    fromFragment();
    redraw();
  });
  fromFragment();
  redraw();
}

async function start() {
  const font = readFont(JSON.parse(document.getElementById('font-data').textContent));
  showAtlasBoxes(font);
  setUpZoom(font);
  // The atlas's pixels, decoded once, are what every sample is drawn from;
  // without them the page says why in the sample's place.
  try {
    setUpSample(font, await decodeAtlasPng(document.getElementById('atlas-image')));
  } catch (error) {
    if (!(error instanceof AtlasError)) throw error;
    document.getElementById('sample').hidden = true;
    Object.assign(document.getElementById('sample-note'), { hidden: false, textContent: error.message });
  }
  document.body.dataset.ready = '1';
}

start();
