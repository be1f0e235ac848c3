// node runs both WebAssembly builds of the engine (SIMD and plain) through
// the page's C interface over a table of sizes, values and centres; the plain
// reference (web_expect) checks every result.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { parseArgs } = require('node:util');
const { writePng, testPicture, verdicts } = require('./support.js');

const { web, expect, work } = parseArgs({ options: { web: { type: 'string' }, expect: { type: 'string' },
  work: { type: 'string' } } }).values;

// width, height, [spokes, angle, thickness, intensity, radius, length], cx, cy, view (default 311 x 289)
const cases = [
  [640, 480, [8, 0, 20, 50, 50, 50], 320, 240],           // the defaults
  [640, 480, [50, 0, 100, 50, 0, 100], 100, 400],         // dense, thick: long solid stretches
  [640, 480, [50, 0, 5, 50, 0, 100], 639, 0],             // dense, thin: mostly feather, corner centre
  [1000, 37, [3, 0, 100, 50, 0, 100], 500, 18],           // a strip
  [37, 1000, [20, 15, 40, 50, 100, 100], 0, 999],
  [1, 1, [8, 0, 20, 50, 50, 50], 0, 0],
  [7, 3, [1, 360, 5, 100, 0, 2], 3, 1],
  [1200, 900, [8, 45, 20, 100, 50, 50], 600, 450],        // full intensity: colour written directly
  [800, 600, [12, 15, 20, 0, 50, 50], 236, 62],           // no intensity: copied
  [2000, 1500, [50, 7, 60, 73, 10, 90], 1700, 200],       // big rings
  [4000, 100, [20, 15, 40, 50, 100, 100], 500, 50],       // ramps wider than 2^21 in both halves
  [700, 500, [8, 0, 20, 50, 50, 50], 350, 250, [600, 600]], // another view (capped at 512)
  [300, 4000, [33, 300, 77, 64, 21, 2], 150, 3999, [120, 80]],
];

async function main() {
  fs.mkdirSync(work, { recursive: true });
  const builds = {};
  for (const name of ['glimmora-simd', 'glimmora']) builds[name] = await require(path.join(web, `${name}.js`))();
  const lines = [];
  cases.forEach(([width, height, values, cx, cy, view = [311, 289]], k) => {
    const input = testPicture(width, height, k + 1);
    const inPath = path.join(work, `case${k}.png`);
    writePng(inPath, width, height, input);
    for (const [name, m] of Object.entries(builds)) {
      const settings = m._malloc(40), src = m._malloc(input.length), dst = m._malloc(input.length);
      m.HEAP32.set([...values, cx, cy, ...view], settings >> 2);
      m.HEAPU8.set(input, src);
      // Two bands, as the page's worker renders them.
      const half = height >> 1;
      m._glimmora_web_render(settings, width, height, 0, half, src, dst);
      m._glimmora_web_render(settings, width, height, half, height, src, dst);
      const outPath = path.join(work, `case${k}-${name}.png`);
      writePng(outPath, width, height, Buffer.from(m.HEAPU8.subarray(dst, dst + input.length)));
      [settings, src, dst].forEach((p) => m._free(p));
      lines.push([inPath, outPath, ...values, cx, cy, ...view]);
    }
  });
  let failed = 0;
  verdicts(expect, lines).forEach((verdict, i) => {
    const ok = verdict === 'same';
    failed += ok ? 0 : 1;
    console.log(`${ok ? 'ok' : 'FAILED'}: ${path.basename(lines[i][1])} ${lines[i].slice(2).join(' ')}: ${verdict}`);
  });
  console.log(`${lines.length - failed} passed, ${failed} failed`);
  process.exitCode = failed ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
