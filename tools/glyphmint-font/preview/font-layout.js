'use strict';
// The baked font as the page's script holds it, and texts laid out with it
// by the rules of the C reader's layout, as render lays them out: the pen
// starts every line at x = 0, line i has its baseline at ascender + i * line
// height, each glyph's bitmap sits at (pen + bearing x, baseline - bearing y),
// and kerning moves the pen between neighbouring glyphs of a line.

// The records as objects, and a lookup by code point that keeps the first
// record of a code point baked twice, as the reader's search does.
function readFont(data) {
  const glyphs = data.glyphs.map(
    ([code, width, rows, bearingX, bearingY, x, y, advance, index, fontNumber]) => ({
      code, width, rows, bearingX, bearingY, x, y, advance, index, fontNumber,
    }));
  // A shaped bake's records past its code points' are found by glyph only.
  const codeRecords = data.codeRecords === undefined ? glyphs.length : data.codeRecords;
  const byCode = new Map();
  for (const g of glyphs.slice(0, codeRecords)) if (!byCode.has(g.code)) byCode.set(g.code, g);
  const pairs = new Map();
  for (const [first, second, amount] of data.kerning || []) pairs.set(pairKey(first, second), amount);
  return { ...data, glyphs, codeRecords, byCode, pairs };
}

// The sample as the tool's shaper laid it out, for drawText.
function shapedLayout(font) {
  const [left, top, right, bottom] = font.shaped.bounds;
  const placed = font.shaped.placed.map(([cellX, cellY, width, rows, x, y]) => ({
    glyph: { x: cellX, y: cellY, width, rows }, x, y,
  }));
  return { placed, missing: [], bounds: { left, top, right, bottom } };
}

function pairKey(first, second) {
  return first * 0x110000 + second;
}

// The rectangle that holds everything drawn; left and top inside it, right
// and bottom not.
function emptyBounds() {
  return { left: Infinity, top: Infinity, right: -Infinity, bottom: -Infinity };
}

function hold(bounds, x0, y0, x1, y1) {
  bounds.left = Math.min(bounds.left, x0, x1);
  bounds.top = Math.min(bounds.top, y0, y1);
  bounds.right = Math.max(bounds.right, x0, x1);
  bounds.bottom = Math.max(bounds.bottom, y0, y1);
}

// Every glyph of the text placed, the bounds of every line's box and glyph
// bitmap, and the code points the font lacks, each once in the text's order.
function layOutText(font, text) {
  const placed = [];
  const missing = [];
  const bounds = emptyBounds();
  let line = 0;
  let pen = 0;
  let previous = null;
  const endLine = () => hold(bounds, 0, line * font.lineHeight, pen, (line + 1) * font.lineHeight);
  for (const character of text) {
    const code = character.codePointAt(0);
    if (code === 0x0a) {
      endLine();
      line += 1;
      pen = 0;
      previous = null;
      continue;
    }
    const glyph = font.byCode.get(code);
    if (glyph === undefined) {
      if (!missing.includes(code)) missing.push(code);
      continue;
    }
    if (previous !== null) pen += font.pairs.get(pairKey(previous, code)) || 0;
    const x = pen + glyph.bearingX;
    const y = font.ascender + line * font.lineHeight - glyph.bearingY;
    // An empty bitmap (a space's) holds no pixel, so it asks for no room.
    if (glyph.width > 0 && glyph.rows > 0) {
      hold(bounds, x, y, x + glyph.width, y + glyph.rows);
      placed.push({ glyph, x, y });
    }
    pen += glyph.advance;
    previous = code;
  }
  endLine();
  return { placed, missing, bounds };
}

// "U+00E9 é": how the page names a code point.
function codePointName(code) {
  const hex = 'U+' + code.toString(16).toUpperCase().padStart(4, '0');
  const prints = code > 0x20 && !(code >= 0x7f && code < 0xa0) && code <= 0x10ffff &&
    !(code >= 0xd800 && code < 0xe000);
  return prints ? hex + ' ' + String.fromCodePoint(code) : hex;
}
