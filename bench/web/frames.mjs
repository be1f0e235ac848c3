// The page in headless Chromium: the time of each frame while the centre is
// dragged over a 1200 x 800 picture shown at full size (the page's own
// 'glimmora-frame' measures: shading the shown copy and putting it on the
// canvas), and the longest task of the page's main thread while a 4000 x 3000
// picture is opened, changed and dragged.
//   node frames.mjs WEB_DIR CHROMIUM WORK_DIR
import { join } from 'node:path';
import support from '../../tests/web/support.js';
import { launch, serve, waitFor, whenReady } from '../../tools/browser.mjs';

const [web, chromium, work] = process.argv.slice(2);
const server = await serve(web);
// Room for 1200 x 800 at one device pixel per picture pixel beside the controls.
const browser = await launch(chromium, { width: 1600, height: 1000 });
const page = await browser.newPage();
const loaded = new Promise((resolve) => { const off = page.on(['Page.loadEventFired'], () => { off(); resolve(); }); });
await page.send('Page.navigate', { url: server.url });
await loaded;
await whenReady(page);
await page.evaluate(`window.longest = 0;
  new PerformanceObserver((list) => { for (const e of list.getEntries()) longest = Math.max(longest, e.duration); })
    .observe({ type: 'longtask' }); 1`);

const { root } = await page.send('DOM.getDocument');
const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#file' });
async function open(name, width, height) {
  const file = join(work, name);
  support.writePng(file, width, height, support.testPicture(width, height, 11));
  await page.send('DOM.setFileInputFiles', { nodeId, files: [file] });
  await waitFor(page, `document.getElementById('picture').textContent.startsWith('${name}')`, 120);
  await whenReady(page, 120);
}
async function drag(moves) {
  const box = JSON.parse(await page.evaluate("JSON.stringify(document.getElementById('view').getBoundingClientRect())"));
  const at = (t) => ({ x: box.x + box.width * (0.2 + 0.6 * t), y: box.y + box.height * (0.5 + 0.3 * Math.sin(6 * t)),
    button: 'left', buttons: 1, clickCount: 1 });
  await page.send('Input.dispatchMouseEvent', { type: 'mousePressed', ...at(0) });
  for (let i = 1; i <= moves; i++) {
    await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', ...at(i / moves) });
    await page.evaluate('new Promise((resolve) => requestAnimationFrame(() => resolve(1)))');
  }
  await page.send('Input.dispatchMouseEvent', { type: 'mouseReleased', ...at(1), buttons: 0 });
  await whenReady(page, 120);
}

await open('drag-1200x800.png', 1200, 800);
const shown = await page.evaluate("(() => { const v = document.getElementById('view'); return `${v.width} x ${v.height}`; })()");
await page.evaluate("performance.clearMeasures('glimmora-frame'); 1");
await drag(200);
const frames = (await page.evaluate("performance.getEntriesByName('glimmora-frame').map((e) => e.duration)"))
  .sort((a, b) => a - b);
const pick = (q) => frames[Math.min(frames.length - 1, Math.floor(q * frames.length))].toFixed(2);
console.log(`drag over 1200 x 800 (canvas ${shown}), ${frames.length} frames: median ${pick(0.5)} ms, ` +
  `95th percentile ${pick(0.95)} ms, slowest ${pick(1)} ms (target: under 8 ms)`);

await page.evaluate('longest = 0; 1');
await open('big-4000x3000.png', 4000, 3000);
await page.evaluate(`{ const r = document.getElementById('range-spokes'); r.value = 30;
  r.dispatchEvent(new Event('input')); } 1`);
await whenReady(page, 120);
await drag(60);
console.log(`4000 x 3000: opened, changed and dragged; longest main-thread task ${
  (await page.evaluate('longest')).toFixed(0)} ms (0: none over 50 ms; target: at most 100 ms)`);
await browser.close();
server.close();
