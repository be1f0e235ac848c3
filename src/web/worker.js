// The page's worker: holds the open picture at full resolution in the
// engine's memory, decodes it, shades it, shrinks results to the copy the
// page shows, and writes the PNG for Download.  Jobs run one after another;
// a full-resolution render gives way to a newer one between bands of rows.
//
// Decoding: PNG files go through the engine's own PNG reader (stb_image, as
// the command-line host reads them), which gives the file's exact samples,
// alpha included.  Other formats (JPEG, WebP, ...) are decoded by the browser
// with no colour conversion; a 2D canvas keeps premultiplied alpha, so their
// partly transparent pixels may come out rounded, and the page says so.
'use strict';

// Pictures up to this many pixels: the source, the result and the decoder's
// own buffers must fit the engine's 2 GB of memory.
const MAX_PIXELS = 150e6;
// Pixels shaded between two looks at the message queue.
const BAND_PIXELS = 1 << 21;

let eng = null;
let settingsAt = 0;
let picture = null;     // name, width, height, src, dst (in eng's memory), done: settings whose result dst holds
let latestRender = -1;  // generation of the newest render asked for
let opens = 0;          // opens asked for: a render gives way to a new picture
let queue = Promise.resolve();

class Refusal extends Error {}

self.onmessage = ({ data: m }) => {
  if (m.type === 'render') latestRender = m.generation;
  if (m.type === 'open') opens++;
  queue = queue.then(() => handle(m)).catch((error) => {
    const message = error instanceof Refusal ? error.message
      : m.type === 'open' ? `${m.name} could not be opened (${error.message || error}).`
        : `Something went wrong (${error.message || error}).`;
    postMessage({ type: 'failed', task: m.type, message });
  });
};

async function handle(m) {
  switch (m.type) {
    case 'init':
      importScripts(`${m.engine}.js`);
      eng = await GlimmoraEngine();
      settingsAt = eng._malloc(40);
      break;
    case 'open':
      return open(m);
    case 'copy':
      if (picture) {
        const copy = makeCopy(picture.src, copySize(m.box));
        postMessage({ type: 'copy', width: picture.width, height: picture.height, ...copy }, [copy.pixels]);
      }
      break;
    case 'render':
      if (picture && await render(m.settings, () => m.generation < latestRender)) {
        const copy = makeCopy(picture.dst, [m.copyWidth, m.copyHeight]);
        postMessage({ type: 'rendered', generation: m.generation, ...copy }, [copy.pixels]);
      }
      break;
    case 'download':
      return download(m);
  }
}

function alloc(bytes, name) {
  const at = eng._malloc(bytes);
  if (!at) throw new Refusal(`${name} is too big for the memory this browser gives the page.`);
  return at;
}

// --- opening ----------------------------------------------------------------------

function checkSize(name, width, height) {
  const side = eng._glimmora_web_max_side();
  if (width < 1 || height < 1) throw new Refusal(`${name} has no pixels.`);
  if (width > side || height > side) {
    throw new Refusal(`${name} is ${width} x ${height} pixels; the effect takes at most ${side} pixels on a side.`);
  }
  if (width * height > MAX_PIXELS) {
    throw new Refusal(`${name} is ${width} x ${height} pixels (${Math.round((width * height) / 1e6)} megapixels), ` +
      `too big for the browser: the page takes pictures of up to ${MAX_PIXELS / 1e6} megapixels.`);
  }
}

const PNG_SIGNATURE = [137, 80, 78, 71, 13, 10, 26, 10];

function decodePng(bytes, name) {
  // The size from the header, checked before anything is decoded.
  const header = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (bytes.length < 33 || String.fromCharCode(...bytes.subarray(12, 16)) !== 'IHDR') {
    throw new Refusal(`${name} could not be read: the PNG file is damaged (no header).`);
  }
  checkSize(name, header.getUint32(16), header.getUint32(20));
  const data = alloc(bytes.length, name);
  eng.HEAPU8.set(bytes, data);
  const size = eng._malloc(8);
  const pixels = eng._glimmora_web_decode_png(data, bytes.length, size);
  const [width, height] = [eng.HEAP32[size >> 2], eng.HEAP32[(size >> 2) + 1]];
  eng._free(data);
  eng._free(size);
  if (!pixels) {
    const reason = eng.UTF8ToString(eng._glimmora_web_decode_failure());
    if (reason === 'outofmem') throw new Refusal(`${name} is too big for the memory this browser gives the page.`);
    throw new Refusal(`${name} could not be read: the PNG file is damaged (${reason}).`);
  }
  return { width, height, pixels, note: '' };
}

async function decodeOther(file, name) {
  let bitmap;
  try {
    bitmap = await createImageBitmap(file, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
  } catch {
    throw new Refusal(`${name} could not be opened: it is not an image this browser reads, it is damaged, ` +
      'or it is too big for the browser.');
  }
  const { width, height } = bitmap;
  try {
    checkSize(name, width, height);
    const context = new OffscreenCanvas(width, height).getContext('2d', { willReadFrequently: true });
    if (!context) throw new Refusal(`${name} is too big for the browser's canvas.`);
    context.drawImage(bitmap, 0, 0);
    const data = context.getImageData(0, 0, width, height).data;
    const pixels = alloc(data.length, name);
    eng.HEAPU8.set(data, pixels);
    let note = '';
    for (let i = 3; i < data.length; i += 4) {
      if (data[i] !== 255) {
        note = `${name} has transparent pixels, which the browser hands over with rounded colours; ` +
          'save it as PNG for exact results.';
        break;
      }
    }
    return { width, height, pixels, note };
  } finally {
    bitmap.close();
  }
}

async function open(m) {
  const bytes = new Uint8Array(await m.file.arrayBuffer());
  const png = PNG_SIGNATURE.every((b, i) => bytes[i] === b);
  const decoded = png ? decodePng(bytes, m.name) : await decodeOther(m.file, m.name);
  const bytesNeeded = decoded.width * decoded.height * 4;
  const dst = eng._malloc(bytesNeeded);
  if (!dst) {
    eng._free(decoded.pixels);
    throw new Refusal(`${m.name} is too big for the memory this browser gives the page.`);
  }
  if (picture) {
    eng._free(picture.src);
    eng._free(picture.dst);
  }
  picture = { name: m.name, width: decoded.width, height: decoded.height, src: decoded.pixels, dst, done: null };
  const copy = makeCopy(picture.src, copySize(m.box));
  postMessage({ type: 'opened', name: m.name, width: picture.width, height: picture.height, note: decoded.note,
    ...copy }, [copy.pixels]);
}

// --- shading and copies -------------------------------------------------------------

// The copy the page draws: the picture shrunk into its box, never enlarged.
function copySize(box) {
  const { width, height } = picture;
  const s = Math.min(1, box.width / width, box.height / height, Math.sqrt(box.area / (width * height)));
  return [Math.max(1, Math.round(width * s)), Math.max(1, Math.round(height * s))];
}

function makeCopy(from, [copyWidth, copyHeight]) {
  const bytes = copyWidth * copyHeight * 4;
  let pixels;
  if (copyWidth === picture.width && copyHeight === picture.height) {
    pixels = eng.HEAPU8.slice(from, from + bytes).buffer;
  } else {
    const at = alloc(bytes, picture.name);
    eng._glimmora_web_shrink(from, picture.width, picture.height, at, copyWidth, copyHeight);
    pixels = eng.HEAPU8.slice(at, at + bytes).buffer;
    eng._free(at);
  }
  return { copyWidth, copyHeight, pixels };
}

const yieldToMessages = () => new Promise((resolve) => setTimeout(resolve, 0));

// Shades the whole picture for the settings into picture.dst, in bands;
// false when it gave way (superseded() turned true, or a new picture came).
async function render(settings, superseded) {
  const key = JSON.stringify(settings);
  if (picture.done === key) return true;
  picture.done = null;
  const view = [eng._glimmora_web_view_width(), eng._glimmora_web_view_height()];
  const { width, height, src, dst } = picture;
  const band = Math.max(1, Math.floor(BAND_PIXELS / width));
  const opensAtStart = opens;
  // Jobs run one at a time, so nothing else writes the settings meanwhile.
  eng.HEAP32.set([...settings.values, settings.cx, settings.cy, ...view], settingsAt >> 2);
  for (let y = 0; y < height; y += band) {
    if (superseded() || opens !== opensAtStart) return false;
    eng._glimmora_web_render(settingsAt, width, height, y, y + band, src, dst);
    if (y + band < height) await yieldToMessages();
  }
  picture.done = key;
  return true;
}

// --- Download -------------------------------------------------------------------------

async function download(m) {
  if (!picture) return;
  await render(m.settings, () => false);
  if (picture.done !== JSON.stringify(m.settings)) throw new Refusal('A new picture was opened; press Download again.');
  const blob = await encodePng(picture.dst, picture.width, picture.height);
  postMessage({ type: 'png', name: m.name, width: picture.width, height: picture.height, blob });
}

const CRC_TABLE = new Int32Array(256).map((_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c;
});

// A PNG chunk as Blob parts: length, type and data, CRC.
function chunk(type, data) {
  const head = new Uint8Array(8);
  const view = new DataView(head.buffer);
  view.setUint32(0, data.length);
  for (let i = 0; i < 4; i++) head[4 + i] = type.charCodeAt(i);
  let crc = -1;
  for (const bytes of [head.subarray(4), data]) {
    for (let i = 0; i < bytes.length; i++) crc = CRC_TABLE[(crc ^ bytes[i]) & 255] ^ (crc >>> 8);
  }
  const tail = new Uint8Array(4);
  new DataView(tail.buffer).setUint32(0, (crc ^ -1) >>> 0);
  return [head, data, tail];
}

// The exact pixels as an 8-bit PNG: RGB when every pixel is opaque, RGBA
// otherwise; rows Paeth-filtered, compressed by the browser's zlib.
async function encodePng(at, width, height) {
  const heap = eng.HEAPU8;
  const total = width * height * 4;
  let opaque = true;
  for (let i = at + 3; i < at + total && opaque; i += 4) opaque = heap[i] === 255;
  const channels = opaque ? 3 : 4;
  const rowBytes = width * channels;

  const header = new Uint8Array(13);
  const view = new DataView(header.buffer);
  view.setUint32(0, width);
  view.setUint32(4, height);
  header.set([8, opaque ? 2 : 6, 0, 0, 0], 8);
  const parts = [new Uint8Array(PNG_SIGNATURE), ...chunk('IHDR', header)];

  const stream = new CompressionStream('deflate');
  const writer = stream.writable.getWriter();
  const reading = (async () => {
    const reader = stream.readable.getReader();
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      parts.push(...chunk('IDAT', value));
    }
  })();

  let previous = new Uint8Array(rowBytes);
  let row = new Uint8Array(rowBytes);
  const rowsPerBatch = Math.max(1, Math.floor((1 << 20) / (rowBytes + 1)));
  for (let y0 = 0; y0 < height; y0 += rowsPerBatch) {
    const rows = Math.min(rowsPerBatch, height - y0);
    const out = new Uint8Array(rows * (rowBytes + 1));
    for (let j = 0; j < rows; j++) {
      let p = at + (y0 + j) * width * 4;
      if (opaque) {
        for (let i = 0; i < rowBytes; i += 3, p += 4) {
          row[i] = heap[p];
          row[i + 1] = heap[p + 1];
          row[i + 2] = heap[p + 2];
        }
      } else {
        row.set(heap.subarray(p, p + rowBytes));
      }
      let o = j * (rowBytes + 1);
      out[o++] = 4;  // Paeth
      for (let i = 0; i < rowBytes; i++) {
        const a = i >= channels ? row[i - channels] : 0;
        const b = previous[i];
        const c = i >= channels ? previous[i - channels] : 0;
        const pa = Math.abs(b - c), pb = Math.abs(a - c), pc = Math.abs(a + b - 2 * c);
        out[o++] = row[i] - (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
      }
      [previous, row] = [row, previous];
    }
    await writer.write(out);
  }
  await writer.close();
  await reading;
  parts.push(...chunk('IEND', new Uint8Array(0)));
  return new Blob(parts, { type: 'image/png' });
}
