// Shared by the web tests: PNG files for test pictures, and the verdicts of
// web_expect (the plain reference) on results.
'use strict';
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const zlib = require('node:zlib');

const CRC_TABLE = Int32Array.from({ length: 256 }, (_, n) => {
  for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
  return n;
});
const crc32 = (bytes) => (bytes.reduce((c, b) => CRC_TABLE[(c ^ b) & 255] ^ (c >>> 8), -1) ^ -1) >>> 0;

// An 8-bit RGBA PNG of the pixels.
function writePng(path, width, height, rgba) {
  const rows = Buffer.alloc((width * 4 + 1) * height);
  for (let y = 0; y < height; y++) rgba.copy(rows, y * (width * 4 + 1) + 1, y * width * 4, (y + 1) * width * 4);
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type), data]);
    const head = Buffer.alloc(4);
    head.writeUInt32BE(data.length);
    const tail = Buffer.alloc(4);
    tail.writeUInt32BE(crc32(body));
    return Buffer.concat([head, body, tail]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 6, 0, 0, 0], 8);
  fs.writeFileSync(path, Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(rows, { level: 1 })), chunk('IEND', Buffer.alloc(0))]));
}

// A picture with smooth colours, some noise and every alpha from 0 to 255.
function testPicture(width, height, seed) {
  const rgba = Buffer.alloc(width * height * 4);
  let x = seed >>> 0;
  for (let i = 0; i < rgba.length; i += 4) {
    x = (Math.imul(x, 1103515245) + 12345) >>> 0;
    const col = (i / 4) % width, row = Math.floor(i / 4 / width);
    rgba[i] = (col * 255) / Math.max(1, width - 1) + (x >>> 28);
    rgba[i + 1] = (row * 255) / Math.max(1, height - 1) - (x >>> 29);
    rgba[i + 2] = x >>> 24;
    rgba[i + 3] = (x >>> 16) & 3 ? 255 : (x >>> 8) & 255;
  }
  return rgba;
}

// Runs web_expect over the lines (IN RESULT values... cx cy view_width
// view_height) and returns its verdicts, one per line.
function verdicts(expect, lines) {
  const run = spawnSync(expect, { input: lines.map((l) => `${l.join(' ')}\n`).join(''), encoding: 'utf8' });
  if (run.error || run.status > 1) throw new Error(`web_expect failed: ${run.error || run.stdout + run.stderr}`);
  return run.stdout.trim().split('\n');
}

module.exports = { writePng, testPicture, verdicts };
