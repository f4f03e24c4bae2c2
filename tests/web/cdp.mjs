// SPDX-License-Identifier: MIT
// A small DevTools-protocol client: headless Chromium over a pipe (no
// network port), one page, evaluate, input events, screenshots.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { bytesThrough } from './browsers.mjs';

// The text a real keyboard's key types: Enter types a carriage return.
const typed = (key) => (key.length === 1 ? key : key === 'Enter' ? '\r' : undefined);

export async function launchChromium({ width = 1280, height = 800, args = [] } = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tambrel-chromium-'));
  const proc = spawn('chromium', [
    '--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--remote-debugging-pipe', `--user-data-dir=${profile}`, `--window-size=${width},${height}`, ...args,
  ], {
    stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'],
    // A home of its own: downloads, certificate stores and caches go into
    // the profile, which goes at close, never into the user's home.
    env: { ...process.env, HOME: profile, XDG_CONFIG_HOME: path.join(profile, '.config'),
      XDG_CACHE_HOME: path.join(profile, '.cache'), XDG_DATA_HOME: path.join(profile, '.local/share') },
  });
  let stderr = '';
  proc.stderr.setEncoding('utf8');
  proc.stderr.on('data', (d) => { stderr = (stderr + d).slice(-4000); });
  const toBrowser = proc.stdio[3], fromBrowser = proc.stdio[4];
  fromBrowser.setEncoding('utf8');

  let buffer = '', nextId = 1;
  const pending = new Map(), listeners = new Set();
  fromBrowser.on('data', (chunk) => {
    buffer += chunk;
    for (let end; (end = buffer.indexOf('\0')) >= 0;) {
      const message = JSON.parse(buffer.slice(0, end));
      buffer = buffer.slice(end + 1);
      const waiter = pending.get(message.id);
      if (waiter) {
        pending.delete(message.id);
        if (message.error) waiter.reject(new Error(`${waiter.method}: ${message.error.message}`));
        else waiter.resolve(message.result);
      } else {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const exited = new Promise((resolve) => proc.on('exit', resolve));
  exited.then(() => {
    for (const w of pending.values()) w.reject(new Error(`chromium exited\n${stderr}`));
    pending.clear();
  });

  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject, method });
    toBrowser.write(JSON.stringify({ id, method, params, sessionId }) + '\0');
  });

  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  const page = (method, params) => send(method, params, sessionId);
  await page('Page.enable');
  await page('Runtime.enable');
  await page('Log.enable');

  const errors = [];
  listeners.add((m) => {
    if (m.method === 'Runtime.exceptionThrown') errors.push(m.params.exceptionDetails.exception?.description ?? m.params.exceptionDetails.text);
    if (m.method === 'Runtime.consoleAPICalled' && m.params.type === 'error') errors.push(m.params.args.map((a) => a.value ?? a.description).join(' '));
    if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error') errors.push(m.params.entry.text);
  });
  const waitFor = (method, timeoutMs = 30000) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => { listeners.delete(on); reject(new Error(`no ${method} within ${timeoutMs} ms`)); }, timeoutMs);
    const on = (m) => {
      if (m.method !== method || m.sessionId !== sessionId) return;
      clearTimeout(timer);
      listeners.delete(on);
      resolve(m.params);
    };
    listeners.add(on);
  });

  return {
    errors,
    // Any DevTools command for the page.
    command: (method, params) => page(method, params),
    async goto(url) {
      const loaded = waitFor('Page.loadEventFired');
      await page('Page.navigate', { url });
      await loaded;
    },
    // The value of an expression in the page, promises awaited.
    async evaluate(expression, timeoutMs = 60000) {
      const result = page('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true, userGesture: true });
      let timer;
      const timeout = new Promise((_, reject) => { timer = setTimeout(() => reject(new Error(`timed out: ${expression.slice(0, 80)}`)), timeoutMs); });
      const r = await Promise.race([result, timeout]).finally(() => clearTimeout(timer));
      if (r.exceptionDetails) throw new Error(r.exceptionDetails.exception?.description ?? r.exceptionDetails.text);
      return r.result.value;
    },
    // The bytes an expression gives, base64 a megabyte at a time.
    bytes(expression, timeoutMs = 60000) {
      return bytesThrough((x, t) => this.evaluate(x, t), expression, timeoutMs);
    },
    // A real click of the left button at a point of the page.
    async click(x, y, clickCount = 1) {
      await page('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
      for (let n = 1; n <= clickCount; ++n) {
        await page('Input.dispatchMouseEvent', { type: 'mousePressed', x, y, button: 'left', clickCount: n });
        await page('Input.dispatchMouseEvent', { type: 'mouseReleased', x, y, button: 'left', clickCount: n });
      }
    },
    async move(x, y) {
      await page('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
    },
    // A touch screen's tap at a point, or a drag through points.
    async touch(points) {
      const at = ([x, y]) => [{ x, y }];
      await page('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: at(points[0]) });
      for (const p of points.slice(1)) await page('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: at(p) });
      await page('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
    },
    async viewport(width, height, deviceScaleFactor = 1, mobile = false) {
      await page('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor, mobile });
      await page('Emulation.setTouchEmulationEnabled', { enabled: mobile });
    },
    async key(key, code, keyCode) {
      for (const type of ['keyDown', 'keyUp'])
        await page('Input.dispatchKeyEvent', { type, key, code, windowsVirtualKeyCode: keyCode, text: type === 'keyDown' ? typed(key) : undefined });
    },
    async screenshot(file) {
      const { data } = await page('Page.captureScreenshot', { format: 'png' });
      fs.writeFileSync(file, Buffer.from(data, 'base64'));
    },
    async close() {
      const timer = setTimeout(() => proc.kill('SIGKILL'), 5000);
      await send('Browser.close').catch(() => proc.kill('SIGTERM'));
      await exited;
      clearTimeout(timer);
      // Its helper processes may still be writing to the profile for a moment.
      for (let i = 0; i < 20; ++i) {
        try {
          fs.rmSync(profile, { recursive: true, force: true });
          break;
        } catch {
          await new Promise((r) => setTimeout(r, 100));
        }
      }
    },
  };
}
