// SPDX-License-Identifier: MIT
// The page's other engines, driven alike: Firefox through puppeteer-core
// (WebDriver BiDi) and WebKitGTK's MiniBrowser through WebKitWebDriver
// (classic WebDriver, on a display). Each gives goto, evaluate (promises
// awaited), bytes, a real click and close; what Chromium's client in cdp.mjs
// gives too.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

// The bytes an expression gives (a Uint8Array, an ArrayBuffer or a Blob),
// moved as base64 a megabyte at a time: as a JSON array of numbers a
// clip's megabytes take minutes.
export async function bytesThrough(evaluate, expression, timeoutMs = 60000) {
  const length = await evaluate(`(async () => {
    let v = await (${expression});
    if (v instanceof Blob) v = await v.arrayBuffer();
    globalThis.movedBytes = v instanceof Uint8Array ? v : new Uint8Array(v ?? []);
    return movedBytes.length;
  })()`, timeoutMs);
  const pieces = [];
  for (let at = 0; at < length; at += 1 << 20) {
    pieces.push(Buffer.from(await evaluate(`(() => {
      const piece = movedBytes.subarray(${at}, ${at + (1 << 20)});
      let text = '';
      for (let i = 0; i < piece.length; i += 4096) text += String.fromCharCode(...piece.subarray(i, i + 4096));
      return btoa(text);
    })()`, timeoutMs), 'base64'));
  }
  await evaluate('delete globalThis.movedBytes');
  return Buffer.concat(pieces);
}

// A PNG's text chunks, as { key: value }.
export function pngText(png) {
  const text = {};
  for (let at = 8; at + 12 <= png.length; at += 12 + png.readUInt32BE(at)) {
    if (png.toString('latin1', at + 4, at + 8) !== 'tEXt') continue;
    const [key, value] = png.toString('latin1', at + 8, at + 8 + png.readUInt32BE(at)).split('\0');
    text[key] = value;
  }
  return text;
}

const withTimeout = (promise, ms, what) => {
  let timer;
  const late = new Promise((_, reject) => { timer = setTimeout(() => reject(new Error(`timed out: ${what.slice(0, 80)}`)), ms); });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
};

// A home of the browser's own: nothing is written into the user's.
function ownHome(profile) {
  return { ...process.env, HOME: profile, XDG_CONFIG_HOME: path.join(profile, '.config'),
    XDG_CACHE_HOME: path.join(profile, '.cache'), XDG_DATA_HOME: path.join(profile, '.local/share') };
}

export async function launchFirefox(modules) {
  const { default: puppeteer } = await import(path.join(modules, 'puppeteer-core/lib/esm/puppeteer/puppeteer-core.js'));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tambrel-firefox-'));
  const browser = await puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
    userDataDir: path.join(profile, 'profile'), env: ownHome(profile), defaultViewport: { width: 1280, height: 800 } });
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  const evaluate = (expression, timeoutMs = 60000) => withTimeout(page.evaluate(expression), timeoutMs, expression);
  return {
    name: 'Firefox', errors, evaluate,
    goto: (url) => page.goto(url, { waitUntil: 'load' }),
    bytes: (expression, timeoutMs) => bytesThrough(evaluate, expression, timeoutMs),
    click: (x, y) => page.mouse.click(x, y),
    async close() {
      await browser.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

const freePort = () => new Promise((resolve) => {
  const s = net.createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); });
});

// WebKitGTK on the display in DISPLAY. `crashed` is set once its web
// process has died: every later call fails.
export async function launchWebKit() {
  const port = await freePort();
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tambrel-webkit-'));
  const driver = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: ['ignore', 'ignore', 'pipe'], env: ownHome(profile) });
  let log = '';
  driver.stderr.setEncoding('utf8');
  driver.stderr.on('data', (d) => { log = (log + d).slice(-8000); });
  const call = async (method, where, body) => {
    const r = await fetch(`http://127.0.0.1:${port}${where}`, { method, headers: { 'content-type': 'application/json' },
      body: body && JSON.stringify(body) });
    const { value } = await r.json();
    if (value?.error) throw new Error(`${value.error}: ${value.message}`);
    return value;
  };
  let session = null;
  for (let tries = 0; !session; ++tries) { // the driver takes a moment to listen
    try {
      session = await call('POST', '/session', { capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': {
        binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation'] } } } });
    } catch (e) {
      if (tries > 100) throw new Error(`no WebKit session: ${e.message}\n${log}`);
      await new Promise((r) => setTimeout(r, 100));
    }
  }
  const id = session.sessionId;
  const page = {
    name: 'WebKitGTK', errors: [], crashed: false,
    log: () => log,
    async evaluate(expression, timeoutMs = 60000) {
      const script = `const done = arguments[arguments.length - 1];
        Promise.resolve().then(() => (${expression})).then((v) => done({ v }), (e) => done({ e: String(e && e.stack || e) }));`;
      await call('POST', `/session/${id}/timeouts`, { script: timeoutMs });
      try {
        const r = await call('POST', `/session/${id}/execute/async`, { script, args: [] });
        if (r && 'e' in r) throw new Error(r.e);
        return r?.v;
      } catch (e) {
        if (/crash/.test(e.message) || /WebProcess CRASHED/.test(log)) page.crashed = true;
        throw e;
      }
    },
    goto: (url) => call('POST', `/session/${id}/url`, { url }),
    bytes: (expression, timeoutMs) => bytesThrough((x, t) => page.evaluate(x, t), expression, timeoutMs),
    click: (x, y) => call('POST', `/session/${id}/actions`, { actions: [{ type: 'pointer', id: 'mouse',
      parameters: { pointerType: 'mouse' }, actions: [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y), origin: 'viewport' },
        { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }] }] }),
    async close() {
      await call('DELETE', `/session/${id}`).catch(() => {});
      driver.kill();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
  return page;
}
