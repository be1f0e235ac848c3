// The page: the six controls built from the engine's table of values, the
// picture on a canvas with the centre dragged on it, and the link in the
// address bar kept in step with both.
//
// The picture itself lives in worker.js, which decodes it, shades it at full
// resolution and writes the PNG for Download.  This thread keeps a copy of the
// picture at the size it is shown (the picture itself when it fits) and
// shades that with its own instance of the engine on every frame, so a drag
// follows the pointer even on a big picture.  When the copy is smaller than
// the picture, the frame is a likeness (the plan shrunk to the copy) until the
// worker sends the shrunk full-resolution result.
//
// <body data-state> is "ready" when the canvas shows the final result for the
// current picture, values and centre, and the link says so; "busy" otherwise.
'use strict';

// A module whose one function copies no bytes with memory.copy and returns a
// v128 constant: valid only where the browser runs WebAssembly SIMD and bulk
// memory, which the SIMD build uses.
const SIMD_PROBE = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 5, 3, 1, 0, 0,
  10, 32, 1, 30, 0, 65, 0, 65, 0, 65, 0, 252, 10, 0, 0, 253, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 11]);
const ENGINE = WebAssembly.validate(SIMD_PROBE) ? 'glimmora-simd' : 'glimmora';
// The copy drawn on this thread has at most this many pixels, which keeps a
// frame of a drag short.
const MAX_COPY_PIXELS = 4e6;
// Milliseconds between two updates of the link while values keep changing.
const LINK_INTERVAL = 100;

const $ = (id) => document.getElementById(id);
const view = $('view');
const outline = $('outline');

let eng = null;        // the engine on this thread
let worker = null;
let settingsAt = 0;    // glimmora_web_settings in eng's memory
let ringAt = 0;
let table = [];        // the value table: name, label, minimum, maximum, initial, and the two inputs
const values = {};     // name -> value
let image = null;      // name, width, height of the open picture
let centre = { x: 0, y: 0 };
let linkCentre = null; // the centre the link gave, until a picture takes it
let copy = null;       // width, height, src, dst (in eng's memory), their ImageData
let generation = 0;    // counts changes of picture, values and centre
let drawn = -1;        // the generation whose result copy.dst holds
let drawnFinal = false; // and whether that is the final result, not a likeness
let requested = -1;    // the generation last asked of the worker
let opening = 0, downloading = false;
let before = false, dragging = false, frameQueued = false, outlineShown = false;
let linkTimer = 0, linkTime = 0;
let startNotes = [];   // what was wrong with the link, shown with the first picture

const clamp = (v, lo, hi) => Math.min(hi, Math.max(lo, v));
const wholeNumber = (text) => (/^\s*[+-]?\d{1,9}\s*$/.test(text) ? parseInt(text, 10) : null);

function showMessage(text, error = false) {
  const box = $('message');
  box.textContent = text;
  box.classList.toggle('error', error);
}

function settle() {
  const ready = opening === 0 && !linkTimer && !frameQueued && (!image || (drawn === generation && drawnFinal));
  document.body.dataset.state = ready ? 'ready' : 'busy';
}

// --- the engine and its table ---------------------------------------------------

function loadScript(src) {
  return new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = src;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`${src} did not load`));
    document.head.append(script);
  });
}

function readTable() {
  const rows = [];
  for (let i = 0; i < eng._glimmora_web_value_count(); i++) {
    rows.push({
      name: eng.UTF8ToString(eng._glimmora_web_value_name(i)),
      label: eng.UTF8ToString(eng._glimmora_web_value_label(i)),
      minimum: eng._glimmora_web_value_minimum(i),
      maximum: eng._glimmora_web_value_maximum(i),
      initial: eng._glimmora_web_value_default(i),
    });
  }
  return rows;
}

function settings() {
  return { values: table.map((v) => values[v.name]), cx: centre.x, cy: centre.y };
}

// The dialog's view size is always the default one.
function writeSettings(s) {
  const viewSize = [eng._glimmora_web_view_width(), eng._glimmora_web_view_height()];
  eng.HEAP32.set([...s.values, s.cx, s.cy, ...viewSize], settingsAt >> 2);
}

// --- controls ---------------------------------------------------------------------

function buildControls() {
  const box = $('values');
  // In the dialog's order, top to bottom.
  for (let place = 0; place < table.length; place++) {
    const v = table[eng._glimmora_web_value_shown(place)];
    const row = document.createElement('div');
    row.className = 'value';
    const label = document.createElement('label');
    label.id = `label-${v.name}`;
    label.htmlFor = `range-${v.name}`;
    label.textContent = v.label;
    const range = document.createElement('input');
    const number = document.createElement('input');
    for (const [input, type] of [[range, 'range'], [number, 'number']]) {
      Object.assign(input, { type, id: `${type}-${v.name}`, min: v.minimum, max: v.maximum, step: 1, value: v.initial });
      input.setAttribute('aria-labelledby', label.id);
    }
    range.addEventListener('input', () => setValue(v, Number(range.value), range));
    // Typing: each whole number in range takes effect; leaving the field
    // puts anything else back in range.
    number.addEventListener('input', () => {
      const n = wholeNumber(number.value);
      if (n !== null && n >= v.minimum && n <= v.maximum) setValue(v, n, number);
    });
    number.addEventListener('change', () => {
      const n = wholeNumber(number.value);
      setValue(v, n === null ? values[v.name] : clamp(n, v.minimum, v.maximum));
    });
    v.range = range;
    v.number = number;
    values[v.name] = v.initial;
    row.append(label, range, number);
    box.append(row);
  }
}

// Sets a value and the inputs that show it (but the one being typed in).
function setValue(v, n, from = null, quiet = false) {
  if (from !== v.range) v.range.value = n;
  if (from !== v.number) v.number.value = n;
  if (values[v.name] === n) return;
  values[v.name] = n;
  if (!quiet) changed();
}

function setCentre(x, y) {
  if (!image) return;
  x = clamp(x, 0, image.width - 1);
  y = clamp(y, 0, image.height - 1);
  if (x === centre.x && y === centre.y) return;
  centre = { x, y };
  changed();
}

function showCentre() {
  $('centre').textContent = image ? `Centre: ${centre.x}, ${centre.y}` : '';
}

function changed() {
  generation++;
  showCentre();
  queueFrame();
  queueLink();
}

// --- the link ---------------------------------------------------------------------

function linkQuery() {
  const params = new URLSearchParams();
  for (const v of table) params.set(v.name, values[v.name]);
  if (image) {
    params.set('cx', centre.x);
    params.set('cy', centre.y);
  }
  return `?${params}`;
}

// The link follows every change, at most once per LINK_INTERVAL.
function queueLink() {
  if (!linkTimer) {
    const wait = Math.max(0, linkTime + LINK_INTERVAL - performance.now());
    linkTimer = setTimeout(() => {
      linkTimer = 0;
      linkTime = performance.now();
      history.replaceState(null, '', linkQuery());
      settle();
    }, wait);
  }
  settle();
}

// Values from the link, clamped into range; what was wrong with them, as notes.
function readLink() {
  const params = new URLSearchParams(location.search);
  const notes = [];
  const number = (name) => {
    if (!params.has(name)) return null;
    const text = params.get(name);
    const n = wholeNumber(text);
    if (n === null) notes.push(`${name}=${text} is not a whole number: ignored.`);
    return n;
  };
  for (const v of table) {
    const n = number(v.name);
    if (n === null) continue;
    const used = clamp(n, v.minimum, v.maximum);
    if (used !== n) notes.push(`${v.name}=${n} is outside ${v.minimum} to ${v.maximum}: ${used} used.`);
    setValue(v, used, null, true);
  }
  const cx = number('cx'), cy = number('cy');
  if (cx !== null || cy !== null) linkCentre = { x: cx, y: cy };
  return notes;
}

// The centre for a newly opened picture: the link's for the first one,
// clamped into it; its middle for the ones after, unless the link's centre
// did not fit the first picture and fits this one (a link made on a picture
// of one's own, opened again).
function centreFor(width, height, notes) {
  const given = linkCentre;
  const first = !image;
  linkCentre = null;
  if (given) {
    const x = given.x === null ? Math.floor(width / 2) : clamp(given.x, 0, width - 1);
    const y = given.y === null ? Math.floor(height / 2) : clamp(given.y, 0, height - 1);
    const fits = (given.x === null || x === given.x) && (given.y === null || y === given.y);
    if (fits) return { x, y };
    if (first) {
      notes.push(`The centre ${given.x ?? 'middle'}, ${given.y ?? 'middle'} lies outside the ${width} x ${height} picture: ${x}, ${y} ` +
        'used; the next picture you open gets it if it fits there.');
      linkCentre = given;
      return { x, y };
    }
  }
  return { x: Math.floor(width / 2), y: Math.floor(height / 2) };
}

// --- the picture on the canvas -------------------------------------------------

// The largest copy worth drawing: the stage in device pixels.
function copyBox() {
  const stage = $('stage');
  const ratio = window.devicePixelRatio || 1;
  return {
    width: Math.max(1, Math.round((stage.clientWidth - 24) * ratio)),
    height: Math.max(1, Math.round((stage.clientHeight - 24) * ratio)),
    area: MAX_COPY_PIXELS,
  };
}

// The canvas fills the stage, keeping the picture's aspect.
function layout() {
  if (!image) return;
  const stage = $('stage');
  const scale = Math.min((stage.clientWidth - 24) / image.width, (stage.clientHeight - 24) / image.height);
  const width = Math.max(1, Math.floor(image.width * scale));
  const height = Math.max(1, Math.floor(image.height * scale));
  for (const canvas of [view, outline]) {
    canvas.style.width = `${width}px`;
    canvas.style.height = `${height}px`;
  }
  const ratio = window.devicePixelRatio || 1;
  outline.width = Math.round(width * ratio);  // which also clears it
  outline.height = Math.round(height * ratio);
  outlineShown = false;
}

function setCopy(width, height, pixels) {
  const bytes = width * height * 4;
  if (!copy || copy.width * copy.height < width * height) {
    if (copy) {
      eng._free(copy.src);
      eng._free(copy.dst);
    }
    copy = { src: eng._malloc(bytes), dst: eng._malloc(bytes) };
    if (!copy.src || !copy.dst) throw new Error('no memory left for the picture on screen');
  }
  Object.assign(copy, { width, height, heap: null });
  eng.HEAPU8.set(new Uint8Array(pixels), copy.src);
  view.width = width;
  view.height = height;
  drawn = -1;
}

// One ImageData over each buffer, made again only when the engine's memory
// has grown (which replaces its buffer) or the copy changed.
function imageData(which) {
  if (copy.heap !== eng.HEAPU8.buffer) {
    const wrap = (at) => new ImageData(new Uint8ClampedArray(eng.HEAPU8.buffer, at, copy.width * copy.height * 4),
      copy.width, copy.height);
    Object.assign(copy, { heap: eng.HEAPU8.buffer, srcData: wrap(copy.src), dstData: wrap(copy.dst) });
  }
  return which === 'src' ? copy.srcData : copy.dstData;
}

function queueFrame() {
  if (!frameQueued) {
    frameQueued = true;
    requestAnimationFrame(frame);
  }
  settle();
}

function frame() {
  frameQueued = false;
  if (image && copy) {
    const start = performance.now();
    const exact = copy.width === image.width && copy.height === image.height;
    if (drawn !== generation) {
      writeSettings(settings());
      eng._glimmora_web_render_copy(settingsAt, image.width, image.height, copy.width, copy.height, copy.src,
        copy.dst);
      drawn = generation;
      drawnFinal = exact;
    }
    view.getContext('2d').putImageData(imageData(before ? 'src' : 'dst'), 0, 0);
    performance.measure('glimmora-frame', { start });
    drawOutline();
    if (!exact && !dragging && requested < generation) {
      requested = generation;
      worker.postMessage({ type: 'render', generation, settings: settings(), copyWidth: copy.width,
        copyHeight: copy.height });
    }
  }
  settle();
}

// While dragging: the ring's edges, the spokes' centre lines and the centre.
function drawOutline() {
  // A canvas's first drawing allocates its pixels: leave it alone until a
  // drag needs it.
  if (!outlineShown && (!dragging || before)) return;
  const ctx = outline.getContext('2d');
  ctx.clearRect(0, 0, outline.width, outline.height);
  outlineShown = dragging && !before;
  if (!outlineShown) return;
  writeSettings(settings());
  if (!eng._glimmora_web_ring(settingsAt, image.width, image.height, ringAt)) return;
  const k = outline.width / image.width;
  const [inner, outer] = [eng.HEAP32[ringAt >> 2] * k, eng.HEAP32[(ringAt >> 2) + 1] * k];
  const x = (centre.x + 0.5) * k, y = (centre.y + 0.5) * k;
  const spokes = values.spokes;
  const path = new Path2D();
  for (const r of [inner, outer]) {
    path.moveTo(x + r, y);
    path.arc(x, y, r, 0, 2 * Math.PI);
  }
  // Centre lines turn from +x toward +y (down the picture), less the angle.
  for (let i = 0; i < spokes; i++) {
    const phi = ((i * 360) / spokes - values.angle) * (Math.PI / 180);
    path.moveTo(x + Math.cos(phi) * inner, y + Math.sin(phi) * inner);
    path.lineTo(x + Math.cos(phi) * outer, y + Math.sin(phi) * outer);
  }
  const mark = 6 * (window.devicePixelRatio || 1);
  path.moveTo(x - mark, y);
  path.lineTo(x + mark, y);
  path.moveTo(x, y - mark);
  path.lineTo(x, y + mark);
  ctx.lineWidth = 3;
  ctx.strokeStyle = 'rgba(0, 0, 0, 0.6)';
  ctx.stroke(path);
  ctx.lineWidth = 1;
  ctx.strokeStyle = 'rgba(255, 255, 255, 0.9)';
  ctx.stroke(path);
}

// The centre under the pointer, in whole picture pixels.
function moveTo(e) {
  const r = view.getBoundingClientRect();
  setCentre(Math.floor(((e.clientX - r.left) * image.width) / r.width),
    Math.floor(((e.clientY - r.top) * image.height) / r.height));
}

// --- opening, the worker's answers, Download ------------------------------------

function open(file, name) {
  opening++;
  settle();
  showMessage(`Opening ${name}…`);
  worker.postMessage({ type: 'open', file, name, box: copyBox() });
}

function opened(m) {
  const notes = m.note ? [m.note] : [];
  centre = centreFor(m.width, m.height, notes);
  image = { name: m.name, width: m.width, height: m.height };
  setCopy(m.copyWidth, m.copyHeight, m.pixels);
  layout();
  $('picture').textContent = `${m.name} — ${m.width} × ${m.height}`;
  $('download').disabled = false;
  if (startNotes.length) notes.unshift(...startNotes.splice(0));
  showMessage(notes.join('\n'));
  changed();
}

function onWorkerMessage({ data: m }) {
  switch (m.type) {
    case 'opened':
      opening--;
      try {
        opened(m);
      } catch (error) {
        showMessage(`${m.name} could not be shown (${error.message}).`, true);
      }
      break;
    case 'copy':
      if (image && m.width === image.width && m.height === image.height) {
        setCopy(m.copyWidth, m.copyHeight, m.pixels);
        requested = -1;
        queueFrame();
      }
      break;
    case 'rendered':
      // Only the latest result counts, and only for the copy on screen.
      if (m.generation === generation && copy && m.copyWidth === copy.width && m.copyHeight === copy.height) {
        eng.HEAPU8.set(new Uint8Array(m.pixels), copy.dst);
        drawn = generation;
        drawnFinal = true;
        queueFrame();
      }
      break;
    case 'png': {
      downloading = false;
      $('download').disabled = false;
      const link = document.createElement('a');
      link.href = URL.createObjectURL(m.blob);
      link.download = m.name;
      document.body.append(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 60000);
      showMessage(`Saved ${m.name} (${m.width} × ${m.height}).`);
      break;
    }
    case 'failed':
      if (m.task === 'open') opening--;
      if (m.task === 'download') {
        downloading = false;
        $('download').disabled = !image;
      }
      showMessage(m.message, true);
      break;
  }
  settle();
}

function download() {
  if (!image || downloading) return;
  downloading = true;
  $('download').disabled = true;
  const name = `${image.name.replace(/\.[^.]*$/, '') || 'picture'}-glimmora.png`;
  showMessage(`Preparing ${name}…`);
  worker.postMessage({ type: 'download', name, settings: settings() });
}

// V8 runs WebAssembly with its baseline compiler first and optimises the
// functions that run often, and a canvas sets up its drawing on first use.
// Shading a small tile a few dozen times with values across the table, and
// one stroke on the outline canvas, in short tasks while the first picture
// loads, keep those costs out of the first frames of a picture and a drag.
function warmUp() {
  const side = 64, bytes = side * side * 4, rounds = 60;
  const tile = eng._malloc(2 * bytes);
  if (!tile) return;
  const ctx = outline.getContext('2d');
  ctx.strokeRect(0, 0, 1, 1);
  ctx.clearRect(0, 0, 2, 2);
  let round = 0;
  const step = () => {
    const start = performance.now();
    for (; round < rounds && performance.now() - start < 8; round++) {
      const pick = (v, k) => [v.initial, v.minimum, v.maximum][(round + k) % 3];
      writeSettings({ values: table.map(pick), cx: round % side, cy: (round * 7) % side });
      eng._glimmora_web_render_copy(settingsAt, side, side, side, side, tile, tile + bytes);
    }
    if (round < rounds) setTimeout(step, 0);
    else eng._free(tile);
  };
  setTimeout(step, 0);
}

// --- wiring -------------------------------------------------------------------------

function wire() {
  view.addEventListener('pointerdown', (e) => {
    if (!image || e.button !== 0) return;
    e.preventDefault();
    view.setPointerCapture(e.pointerId);
    dragging = true;
    moveTo(e);
  });
  view.addEventListener('pointermove', (e) => {
    if (dragging) moveTo(e);
  });
  const end = () => {
    if (!dragging) return;
    dragging = false;
    queueFrame();
  };
  view.addEventListener('pointerup', end);
  view.addEventListener('pointercancel', end);
  view.addEventListener('keydown', (e) => {
    const steps = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] }[e.key];
    if (!steps || !image) return;
    e.preventDefault();
    // One pixel of the copy on screen, ten with Shift.
    const step = Math.max(1, Math.round(image.width / copy.width)) * (e.shiftKey ? 10 : 1);
    setCentre(centre.x + steps[0] * step, centre.y + steps[1] * step);
  });

  $('file').addEventListener('change', (e) => {
    const file = e.target.files[0];
    if (file) open(file, file.name);
    e.target.value = '';
  });
  let depth = 0;
  const carriesFiles = (e) => e.dataTransfer && [...e.dataTransfer.types].includes('Files');
  document.addEventListener('dragenter', (e) => {
    if (!carriesFiles(e)) return;
    depth++;
    document.body.classList.add('dropping');
  });
  document.addEventListener('dragleave', () => {
    if (--depth <= 0) {
      depth = 0;
      document.body.classList.remove('dropping');
    }
  });
  document.addEventListener('dragover', (e) => {
    if (carriesFiles(e)) e.preventDefault();
  });
  document.addEventListener('drop', (e) => {
    if (!carriesFiles(e)) return;
    e.preventDefault();
    depth = 0;
    document.body.classList.remove('dropping');
    const file = e.dataTransfer.files[0];
    if (file) open(file, file.name);
  });

  const toggleBefore = () => {
    before = !before;
    $('before').setAttribute('aria-pressed', String(before));
    queueFrame();
  };
  $('before').addEventListener('click', toggleBefore);
  document.addEventListener('keydown', (e) => {
    if ((e.key === 'b' || e.key === 'B') && !e.ctrlKey && !e.metaKey && !e.altKey && e.target.tagName !== 'INPUT') {
      toggleBefore();
    }
  });
  $('revert').addEventListener('click', () => {
    for (const v of table) setValue(v, v.initial, null, true);
    if (image) centre = { x: Math.floor(image.width / 2), y: Math.floor(image.height / 2) };
    changed();
  });
  $('download').addEventListener('click', download);
  $('controls').addEventListener('submit', (e) => e.preventDefault());

  let resizeTimer = 0;
  window.addEventListener('resize', () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => {
      layout();
      if (image) worker.postMessage({ type: 'copy', box: copyBox() });
      queueFrame();
    }, 150);
  });
}

async function start() {
  try {
    await loadScript(`${ENGINE}.js`);
    eng = await GlimmoraEngine();
  } catch (error) {
    showMessage(`The engine could not be loaded (${error.message}).`, true);
    document.body.dataset.state = 'ready';
    return;
  }
  settingsAt = eng._malloc(40);
  ringAt = eng._malloc(8);
  $('engine').textContent = `Engine: WebAssembly${ENGINE.endsWith('simd') ? ' with SIMD' : ''}.`;
  table = readTable();
  buildControls();
  startNotes = readLink();
  worker = new Worker('worker.js');
  worker.onmessage = onWorkerMessage;
  worker.onerror = (e) => {
    e.preventDefault();
    showMessage(`The page's worker stopped (${e.message}). Reload the page.`, true);
  };
  worker.postMessage({ type: 'init', engine: ENGINE });
  wire();
  warmUp();
  try {
    const response = await fetch('samples/nightfall.png');
    if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
    open(await response.blob(), 'nightfall.png');
  } catch (error) {
    showMessage(`The sample picture could not be loaded (${error.message}); open one of your own.`, true);
    queueLink();
  }
}

start();
