'use strict';
// The atlas's PNG decoded from its own bytes. An <img> drawn into a canvas
// comes back with colour multiplied by alpha and divided out again, which
// loses the distance channels of an mtsdf atlas where its alpha is low and
// the colour of a colour glyph's faint edges; these bytes are the file's.
// Reads what our PNG writer makes, 8-bit greyscale, RGB or RGBA, not
// interlaced, and refuses anything else with an AtlasError the page shows.

class AtlasError extends Error {}

const PNG_SIGNATURE = [137, 80, 78, 71, 13, 10, 26, 10];
// Bytes a pixel, by PNG colour type.
const PNG_CHANNELS = new Map([[0, 1], [2, 3], [6, 4]]);

function base64DataBytes(uri) {
  const comma = uri.indexOf(',');
  if (!uri.startsWith('data:') || comma < 0 || !uri.slice(0, comma).endsWith(';base64'))
    throw new AtlasError('The atlas is not in the page as base64 data.');
  let text;
  try {
    text = atob(uri.slice(comma + 1));
  } catch (error) {
    throw new AtlasError(`The atlas's base64 data is malformed (${error.message}).`);
  }
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return bytes;
}

function readHeader(body) {
  if (body.length !== 13) throw new AtlasError('The atlas PNG has a malformed IHDR chunk.');
  const view = new DataView(body.buffer, body.byteOffset, body.byteLength);
  const [depth, colourType, compression, filter, interlace] = body.subarray(8);
  const header = {
    width: view.getUint32(0),
    height: view.getUint32(4),
    channels: PNG_CHANNELS.get(colourType),
  };
  if (depth !== 8 || header.channels === undefined)
    throw new AtlasError(`The atlas is a PNG of bit depth ${depth} and colour type ` +
      `${colourType}; this page reads 8-bit greyscale, RGB and RGBA.`);
  if (interlace !== 0)
    throw new AtlasError('The atlas PNG is interlaced; this page reads non-interlaced ones.');
  if (compression !== 0 || filter !== 0 || header.width === 0 || header.height === 0)
    throw new AtlasError('The atlas PNG has a malformed IHDR chunk.');
  return header;
}

// The header and the IDAT chunks' bodies, in order, up to IEND.
function readChunks(bytes) {
  if (bytes.length < 8 || PNG_SIGNATURE.some((b, i) => bytes[i] !== b))
    throw new AtlasError('The atlas is not a PNG image.');
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let header = null;
  const data = [];
  for (let at = 8; ;) {
    const length = at + 8 <= bytes.length ? view.getUint32(at) : 0;
    if (at + 12 + length > bytes.length) throw new AtlasError('The atlas PNG is cut short.');
    const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (header === null && type !== 'IHDR')
      throw new AtlasError('The atlas PNG does not start with IHDR.');
    if (type === 'IHDR') header = readHeader(body);
    else if (type === 'IDAT') data.push(body);
    else if (type === 'IEND') return { header, data };
    at += 12 + length;
  }
}

async function inflated(parts) {
  try {
    const stream = new Blob(parts).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  } catch (error) {
    throw new AtlasError(`The atlas PNG's image data does not decompress (${error.message}).`);
  }
}

function paeth(left, above, upperLeft) {
  const p = left + above - upperLeft;
  const pa = Math.abs(p - left);
  const pb = Math.abs(p - above);
  const pc = Math.abs(p - upperLeft);
  return pa <= pb && pa <= pc ? left : pb <= pc ? above : upperLeft;
}

// One row undone from its filter into `row`, `above` being the previous row
// undone (zeros for the first); bytes wrap modulo 256 as a Uint8Array stores.
function unfilterRow(filter, line, row, above, step) {
  const n = line.length;
  const left = (i) => (i >= step ? row[i - step] : 0);
  if (filter === 0) row.set(line);
  else if (filter === 1) for (let i = 0; i < n; ++i) row[i] = line[i] + left(i);
  else if (filter === 2) for (let i = 0; i < n; ++i) row[i] = line[i] + above[i];
  else if (filter === 3) for (let i = 0; i < n; ++i) row[i] = line[i] + ((left(i) + above[i]) >> 1);
  else if (filter === 4)
    for (let i = 0; i < n; ++i)
      row[i] = line[i] + (i >= step ? paeth(row[i - step], above[i], above[i - step]) : above[i]);
  else throw new AtlasError(`The atlas PNG has a row of unknown filter ${filter}.`);
}

// The atlas of the <img> (a data: URI) as { width, height, channels, pixels },
// rows top to bottom, `channels` bytes a pixel, straight alpha.
async function decodeAtlasPng(image) {
  const { header, data } = readChunks(base64DataBytes(image.getAttribute('src')));
  const { width, height, channels } = header;
  const stride = width * channels;
  const raw = await inflated(data);
  if (raw.length !== height * (stride + 1))
    throw new AtlasError(`The atlas PNG holds ${raw.length} bytes of rows, not the ` +
      `${height * (stride + 1)} of ${width}x${height} pixels.`);
  const pixels = new Uint8Array(height * stride);
  let above = new Uint8Array(stride);
  for (let y = 0; y < height; ++y) {
    const row = pixels.subarray(y * stride, (y + 1) * stride);
    const start = y * (stride + 1);
    unfilterRow(raw[start], raw.subarray(start + 1, start + 1 + stride), row, above, channels);
    above = row;
  }
  return { width, height, channels, pixels };
}
