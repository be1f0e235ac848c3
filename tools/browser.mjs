// The web page in headless Chromium, for its test, its benchmark and its
// screenshot: a static server for build/web/ on a free port of 127.0.0.1, and
// Chromium driven over the DevTools protocol through the pipe that
// --remote-debugging-pipe opens (messages are JSON texts ending in a NUL
// byte: commands on fd 3, answers and events on fd 4).  Needs nothing but
// node and Debian's chromium.
//
//   const server = await serve('build/web');   // server.url: http://127.0.0.1:PORT/
//   const browser = await launch('/usr/bin/chromium', {width: 1280, height: 900});
//   const page = await browser.newPage();
//   await page.send('Page.navigate', {url});
//   const title = await page.evaluate('document.title');
//   await browser.close();
import { spawn } from 'node:child_process';
import { mkdtempSync, readFile } from 'node:fs';
import { rm } from 'node:fs/promises';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.png': 'image/png' };

export function serve(folder) {
  const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const file = join(folder, path.endsWith('/') ? `${path}index.html` : path);
    readFile(file, (error, data) => {
      response.writeHead(error ? 404 : 200, { 'Content-Type': TYPES[extname(file)] || 'application/octet-stream' });
      response.end(error ? 'not found' : data);
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      server.url = `http://127.0.0.1:${server.address().port}/`;
      resolve(server);
    });
  });
}

export async function launch(chromium, { width = 1280, height = 900 } = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'glimmora-chromium-'));
  // As root Chromium needs --no-sandbox; the network flags keep it from
  // calling out (this machine's network refuses such connections).
  const flags = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-default-apps', '--disable-extensions', '--mute-audio', `--user-data-dir=${profile}`,
    '--remote-debugging-pipe', `--window-size=${width},${height}`, 'about:blank',
  ];
  // A process group of its own, so that closing ends its helpers too; its
  // temporary files go into the profile, which close() removes.
  const child = spawn(chromium, flags, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'], detached: true,
    env: { ...process.env, TMPDIR: profile } });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr = (stderr + d).slice(-4000); });

  let nextId = 1;
  const waiting = new Map();
  const listeners = new Set();
  let buffered = '';
  child.stdio[4].on('data', (data) => {
    buffered += data.toString('utf8');
    let end;
    while ((end = buffered.indexOf('\0')) >= 0) {
      const message = JSON.parse(buffered.slice(0, end));
      buffered = buffered.slice(end + 1);
      if (message.id !== undefined) {
        const { resolve, reject, method } = waiting.get(message.id);
        waiting.delete(message.id);
        if (message.error) reject(new Error(`${method}: ${message.error.message}`));
        else resolve(message.result);
      } else {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  exited.then(() => {
    for (const { reject, method } of waiting.values()) reject(new Error(`${method}: chromium exited\n${stderr}`));
    waiting.clear();
  });

  const send = (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
    const id = nextId++;
    waiting.set(id, { resolve, reject, method });
    child.stdio[3].write(`${JSON.stringify({ id, method, params, sessionId })}\0`);
  });
  // Calls handler(params, method) for every event of the session (undefined:
  // the browser's own) whose method is in `methods`.
  const on = (sessionId, methods, handler) => {
    const listener = (m) => {
      if (m.sessionId === sessionId && methods.includes(m.method)) handler(m.params, m.method);
    };
    listeners.add(listener);
    return () => listeners.delete(listener);
  };

  // A target's session: commands, events and evaluation in it.
  const session = (sessionId) => {
    const target = {
      send: (method, params) => send(method, params, sessionId),
      on: (methods, handler) => on(sessionId, methods, handler),
      // The value of an expression (awaited when it is a promise).
      async evaluate(expression) {
        const { result, exceptionDetails } = await target.send('Runtime.evaluate',
          { expression, awaitPromise: true, returnByValue: true });
        if (exceptionDetails) {
          throw new Error(`${expression}: ${exceptionDetails.exception?.description || exceptionDetails.text}`);
        }
        return result.value;
      },
    };
    return target;
  };

  await send('Browser.getVersion');
  return {
    send,
    on: (methods, handler) => on(undefined, methods, handler),
    session,
    async newPage() {
      const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
      const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
      const page = session(sessionId);
      await page.send('Page.enable');
      await page.send('Runtime.enable');
      return page;
    },
    async close() {
      try {
        await Promise.race([send('Browser.close'), exited]);
      } catch {
        // already gone
      }
      try {
        process.kill(-child.pid, 'SIGKILL');
      } catch {
        // the group has ended
      }
      await exited;
      await rm(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
    },
  };
}

// Waits until the expression is true in the page, up to `seconds`.
export function waitFor(page, expression, seconds = 30) {
  return page.evaluate(`new Promise((resolve, reject) => {
    const start = performance.now();
    const look = () => {
      if (${expression}) resolve(true);
      else if (performance.now() - start > ${seconds * 1000}) reject(new Error('still not so after ${seconds} s'));
      else setTimeout(look, 20);
    };
    look();
  })`);
}

// Waits for <body data-state="ready">: the canvas shows the final result.
export const whenReady = (page, seconds = 30) =>
  waitFor(page, "document.body && document.body.dataset.state === 'ready'", seconds);
