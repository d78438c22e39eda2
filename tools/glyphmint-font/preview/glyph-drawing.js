'use strict';
// Laid-out glyphs drawn into a greyscale image by render's rules, every
// position multiplied by the scale: one function per kind of atlas, each
// copying one glyph, overlapping pixels keeping the larger value.

// One channel of the atlas's pixels as its PNG holds them (decodeAtlasPng).
function atlasChannel(atlas, channel) {
  return (x, y) => atlas.pixels[(y * atlas.width + x) * atlas.channels + channel];
}

// Coverage: each atlas pixel a scale x scale block.
function drawCoverage(font, atlas, glyph, image, to) {
  const grey = atlasChannel(atlas, 0);
  const n = to.scale;
  for (let r = 0; r < glyph.rows * n; ++r) {
    const row = (to.y0 + r) * image.width + to.x0;
    const sourceY = glyph.y + 1 + Math.floor(r / n);
    for (let c = 0; c < glyph.width * n; ++c) {
      const value = grey(glyph.x + 1 + Math.floor(c / n), sourceY);
      if (value > image.pixels[row + c]) image.pixels[row + c] = value;
    }
  }
}

// The bilinear sample at (u, v) in the glyph's bitmap, its edge pixels
// standing in for whatever lies beyond them.
function bilinear(pixel, glyph, u, v) {
  const at = (x, y) => pixel(glyph.x + 1 + Math.min(Math.max(x, 0), glyph.width - 1),
    glyph.y + 1 + Math.min(Math.max(y, 0), glyph.rows - 1));
  const fu = Math.floor(u);
  const fv = Math.floor(v);
  const ax = u - fu;
  const ay = v - fv;
  const top = at(fu, fv) * (1 - ax) + at(fu + 1, fv) * ax;
  const bottom = at(fu, fv + 1) * (1 - ax) + at(fu + 1, fv + 1) * ax;
  return top * (1 - ay) + bottom * ay;
}

// A field: the output pixel whose centre lies at u = (x + 0.5) / scale - 0.5,
// v likewise, takes the field's sample s there and holds
// 255 * clamp(0.5 + (s - 128) / 128 * spread * scale, 0, 1), rounded: the
// outline sharp with one output pixel of ramp across it, at any scale.
function drawField(sampleAt, font, glyph, image, to) {
  const n = to.scale;
  const ramp = font.spread * n / 128.0;
  for (let y = 0; y < glyph.rows * n; ++y) {
    const row = (to.y0 + y) * image.width + to.x0;
    const v = (y + 0.5) / n - 0.5;
    for (let x = 0; x < glyph.width * n; ++x) {
      const s = sampleAt(glyph, (x + 0.5) / n - 0.5, v);
      const value = Math.round(255.0 * Math.min(Math.max(0.5 + (s - 128.0) * ramp, 0.0), 1.0));
      if (value > image.pixels[row + x]) image.pixels[row + x] = value;
    }
  }
}

function drawDistanceField(font, atlas, glyph, image, to) {
  const grey = atlasChannel(atlas, 0);
  drawField((g, u, v) => bilinear(grey, g, u, v), font, glyph, image, to);
}

// Three pseudo-distances: the outline lies where their median crosses the
// middle, each channel sampled on its own first.
function drawMultiChannelField(font, atlas, glyph, image, to) {
  const channels = [0, 1, 2].map((c) => atlasChannel(atlas, c));
  drawField((g, u, v) => {
    const [r, gr, b] = channels.map((pixel) => bilinear(pixel, g, u, v));
    return Math.max(Math.min(r, gr), Math.min(Math.max(r, gr), b));
  }, font, glyph, image, to);
}

// Straight-alpha source over straight-alpha destination, one RGBA pixel.
function compositeOver(source, pixels, at) {
  const sa = source[3] / 255.0;
  const da = pixels[at + 3] / 255.0;
  const outA = sa + da * (1 - sa);
  if (outA <= 0) return;
  for (let c = 0; c < 3; ++c)
    pixels[at + c] = Math.round((source[c] * sa + pixels[at + c] * da * (1 - sa)) / outA);
  pixels[at + 3] = Math.round(outA * 255.0);
}

// Colour: each atlas pixel a scale x scale block, composited over what is
// there, into an RGBA image.
function drawColour(font, atlas, glyph, image, to) {
  const n = to.scale;
  for (let r = 0; r < glyph.rows * n; ++r) {
    const sourceRow = (glyph.y + 1 + Math.floor(r / n)) * atlas.width + glyph.x + 1;
    for (let c = 0; c < glyph.width * n; ++c) {
      const from = 4 * (sourceRow + Math.floor(c / n));
      const source = atlas.pixels.subarray(from, from + 4);
      compositeOver(source, image.pixels, 4 * ((to.y0 + r) * image.width + to.x0 + c));
    }
  }
}

// The kinds this page draws, by the name the font's data gives its kind, and
// the channels of the image each draws: grey, or RGBA for colour.
const GLYPH_DRAWERS = {
  coverage: { draw: drawCoverage, channels: 1 },
  mono: { draw: drawCoverage, channels: 1 },
  sdf: { draw: drawDistanceField, channels: 1 },
  msdf: { draw: drawMultiChannelField, channels: 1 },
  mtsdf: { draw: drawMultiChannelField, channels: 1 },
  color: { draw: drawColour, channels: 4 },
};

// The layout drawn on a black (for colour, transparent) image of its scaled
// bounds, for a kind that GLYPH_DRAWERS has.
function drawText(font, atlas, layout, scale) {
  const { draw, channels } = GLYPH_DRAWERS[font.kind];
  const left = layout.bounds.left * scale;
  const top = layout.bounds.top * scale;
  const image = {
    width: layout.bounds.right * scale - left,
    height: layout.bounds.bottom * scale - top,
    channels,
  };
  image.pixels = new Uint8ClampedArray(image.width * image.height * channels);
  for (const { glyph, x, y } of layout.placed)
    draw(font, atlas, glyph, image, { x0: x * scale - left, y0: y * scale - top, scale });
  return image;
}
