// Headless Chromium uses the served page as a person would, in one browser
// start: values through links (good and garbled), a test picture with
// transparency through the file input, values through the controls, a drag
// of the centre, Download, and a corrupt file.  The downloaded PNG must hold
// exactly what the plain reference (web_expect) makes of the picture, and no
// console error or uncaught exception may happen on the page or its worker.
import { readFileSync, rmSync, mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { parseArgs } from 'node:util';
import support from './support.js';
import { launch, serve, waitFor, whenReady } from '../../tools/browser.mjs';

const { web, expect, work, chromium } = parseArgs({ options: { web: { type: 'string' }, expect: { type: 'string' },
  work: { type: 'string' }, chromium: { type: 'string' } } }).values;
const results = [];
const check = (name, ok, detail = '') => {
  results.push(ok);
  console.log(`${ok ? 'ok' : 'FAILED'}: ${name}${detail ? ` (${detail})` : ''}`);
};

const downloads = join(work, 'downloads');
rmSync(downloads, { recursive: true, force: true });
mkdirSync(downloads, { recursive: true });
const picture = join(work, 'test.png');
const [width, height] = [1500, 1000];
support.writePng(picture, width, height, support.testPicture(width, height, 7));
const corrupt = join(work, 'corrupt.png');
writeFileSync(corrupt, Buffer.concat([readFileSync(picture).subarray(0, 200), Buffer.alloc(300, 0x5a)]));

const server = await serve(web);
const browser = await launch(chromium, { width: 1280, height: 900 });
try {
  await browser.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
  const page = await browser.newPage();
  const problems = [];
  const watch = (target) => {
    target.on(['Runtime.exceptionThrown'], (p) => problems.push(p.exceptionDetails.exception?.description));
    target.on(['Runtime.consoleAPICalled'], (p) => {
      if (p.type === 'error' || p.type === 'assert') problems.push(p.args.map((a) => a.value).join(' '));
    });
    target.on(['Log.entryAdded'], (p) => p.entry.level === 'error' && problems.push(`${p.entry.text} ${p.entry.url}`));
  };
  watch(page);
  page.on(['Target.attachedToTarget'], async ({ sessionId }) => {
    const worker = browser.session(sessionId);
    watch(worker);
    await worker.send('Runtime.enable');
    await worker.send('Runtime.runIfWaitingForDebugger');
  });
  await page.send('Log.enable');
  await page.send('Target.setAutoAttach', { autoAttach: true, waitForDebuggerOnStart: true, flatten: true });

  const show = (expression) => page.evaluate(expression);
  let address = '';
  const link = () => Object.fromEntries(new URLSearchParams(new URL(address).search));
  const navigate = async (query) => {
    const loaded = new Promise((resolve) => { const off = page.on(['Page.loadEventFired'], () => { off(); resolve(); }); });
    await page.send('Page.navigate', { url: server.url + query });
    await loaded;
    await whenReady(page);
    address = await show('location.href');
  };
  const value = (name) => show(`Number(document.getElementById('range-${name}').value)`);
  const message = () => show("document.getElementById('message').textContent");
  const key = async (name, code) => {
    for (const type of ['keyDown', 'keyUp']) {
      await page.send('Input.dispatchKeyEvent', { type, key: name, code: name, windowsVirtualKeyCode: code });
    }
  };
  const openFile = async (file) => {
    const { root } = await page.send('DOM.getDocument');
    const { nodeId } = await page.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#file' });
    await page.send('DOM.setFileInputFiles', { nodeId, files: [file] });
  };

  // Download, pressed like a person would, and the bytes it saves.
  const download = async (source, expectedName) => {
    const saved = new Promise((resolve) => {
      let name;
      const off = browser.on(['Browser.downloadWillBegin', 'Browser.downloadProgress'], (p, method) => {
        if (method === 'Browser.downloadWillBegin') name = p.suggestedFilename;
        else if (p.state !== 'inProgress') {
          off();
          resolve({ name, state: p.state });
        }
      });
    });
    const button = JSON.parse(await show("JSON.stringify(document.getElementById('download').getBoundingClientRect())"));
    const middle = { x: button.x + button.width / 2, y: button.y + button.height / 2, button: 'left', clickCount: 1 };
    await page.send('Input.dispatchMouseEvent', { type: 'mousePressed', ...middle });
    await page.send('Input.dispatchMouseEvent', { type: 'mouseReleased', ...middle });
    const got = await saved;
    check(`Download saves ${expectedName}`, got.name === expectedName && got.state === 'completed', JSON.stringify(got));
    const values = ['spokes', 'angle', 'thickness', 'intensity', 'radius', 'length'].map((name) => link()[name]);
    const [verdict] = support.verdicts(expect, [[source, join(downloads, expectedName), ...values, link().cx,
      link().cy, 311, 289]]);
    check(`${expectedName} holds the plug-in's result`, verdict === 'same', verdict);
  };

  // A link restores values and centre.
  const shared = '?spokes=12&angle=15&thickness=20&intensity=50&radius=50&length=50&cx=236&cy=62';
  await navigate(shared);
  check('a link restores the values', (await value('spokes')) === 12 && (await value('angle')) === 15);
  check('the link stays as given', new URL(address).search === shared, address);
  const labels = await show("[...document.querySelectorAll('#values label')].map((l) => l.textContent).join()");
  check('the dialog\'s six labels, in its order', labels === 'Radius,Length,# Spokes,Angle,Thickness,Intensity', labels);
  await download(join(web, 'samples', 'nightfall.png'), 'nightfall-glimmora.png');

  // Garbled and out-of-range values are ignored or clamped, with a note.
  await navigate('?spokes=999&angle=abc&cx=5000&cy=-4');
  const note = await message();
  check('out-of-range values are clamped', (await value('spokes')) === 50 && (await value('angle')) === 0);
  check('bad values get a note', /spokes=999/.test(note) && /angle=abc/.test(note) && /centre/i.test(note), note);
  await waitFor(page, "location.search.includes('spokes=50&angle=0') && location.search.endsWith('cx=319&cy=0')");

  // The test picture through the file input.
  await openFile(picture);
  await waitFor(page, "document.getElementById('picture').textContent.startsWith('test.png')");
  await whenReady(page);

  // Values through the controls: the spokes slider by keyboard, the angle by typing.
  await show("document.getElementById('range-spokes').focus()");
  for (let i = 0; i < 3; i++) await key('ArrowLeft', 37);
  await show("document.getElementById('number-angle').select()");
  await page.send('Input.insertText', { text: '33' });
  await key('Tab', 9);
  await whenReady(page);
  address = await show('location.href');
  check('the controls set the link', link().spokes === '47' && link().angle === '33', address);

  // Drag the centre from 30 %, 40 % to 70 %, 60 % of the picture.
  const box = JSON.parse(await show("JSON.stringify(document.getElementById('view').getBoundingClientRect())"));
  const at = (fx, fy) => ({ x: box.x + box.width * fx, y: box.y + box.height * fy, button: 'left', clickCount: 1 });
  await page.send('Input.dispatchMouseEvent', { type: 'mousePressed', ...at(0.3, 0.4), buttons: 1 });
  for (let step = 1; step <= 8; step++) {
    await page.send('Input.dispatchMouseEvent', { type: 'mouseMoved', ...at(0.3 + step * 0.05, 0.4 + step * 0.025),
      buttons: 1 });
  }
  await page.send('Input.dispatchMouseEvent', { type: 'mouseReleased', ...at(0.7, 0.6), buttons: 0 });
  await whenReady(page);
  address = await show('location.href');
  const { cx, cy } = link();
  check('the drag moves the centre', Math.abs(cx - 0.7 * width) <= 2 && Math.abs(cy - 0.6 * height) <= 2, `${cx}, ${cy}`);

  await download(picture, 'test-glimmora.png');

  // A corrupt file: a message, and the page keeps the picture.
  await openFile(corrupt);
  await waitFor(page, "document.getElementById('message').classList.contains('error')");
  await whenReady(page);
  check('a corrupt file gets a message', /corrupt\.png could not be read/.test(await message()), await message());
  check('the picture stays', (await show("document.getElementById('picture').textContent")).startsWith('test.png'));

  check('no console error or uncaught exception', problems.length === 0, problems.join('; '));
} finally {
  await browser.close();
  server.close();
}
const failed = results.filter((ok) => !ok).length;
console.log(`${results.length - failed} passed, ${failed} failed`);
process.exitCode = failed ? 1 : 0;
