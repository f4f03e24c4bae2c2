// SPDX-License-Identifier: MIT
// The web page as an installed app, in headless Chromium: its manifest
// passes Chromium's installability check, its service worker keeps the
// page on the first visit, and with the network cut (DevTools' offline
// emulation, and the server gone) the page loads again and runs.
//   node tests/web/offline_test.mjs SITE_DIR
import { launchChromium } from './cdp.mjs';
import { serve } from '../../tools/web/serve.mjs';

const [site] = process.argv.slice(2);
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) ++passed;
  else ++failed;
  console.log(`${ok ? 'ok    ' : 'FAILED'} ${name}${ok || !detail ? '' : ': ' + detail}`);
}

const server = await serve([['/', site]]);
const base = `http://127.0.0.1:${server.address().port}/`;
const browser = await launchChromium();
try {
  await browser.goto(base);
  const kept = await browser.evaluate(`(async () => {
    await tambrel.ready;
    const worker = await navigator.serviceWorker.ready;
    for (let t = 0; t < 200 && !navigator.serviceWorker.controller; ++t) await new Promise((r) => setTimeout(r, 25));
    const names = await caches.keys();
    const files = names.length ? (await (await caches.open(names[0])).keys()).length : 0;
    return [worker.active?.state, !!navigator.serviceWorker.controller, names.join(' '), files];
  })()`);
  check('the page registers its service worker, which keeps its files', kept[0] === 'activated' && kept[1] && kept[3] >= 10,
    kept.join(', '));
  const { installabilityErrors } = await browser.command('Page.getInstallabilityErrors');
  check('the manifest passes Chromium\'s installability check', installabilityErrors.length === 0,
    JSON.stringify(installabilityErrors));
  const manifest = await browser.evaluate(`fetch('tambrel.webmanifest').then((r) => r.json())`);
  check('... standalone, with icons of 192 and 512 pixels and a file handler for sessions',
    manifest.display === 'standalone' && manifest.icons.map((i) => i.sizes).join(' ') === '192x192 512x512' &&
      manifest.file_handlers[0].accept['application/x-tambrel-session'][0] === '.tambrel', JSON.stringify(manifest));

  const linked = await browser.evaluate(`Promise.all(['README.md', 'docs/web.md', 'docs/gallery/psyche.png'].map((f) => fetch(f).then((r) => r.ok)))`);
  check('the README and what it links to are served beside the page', linked.every(Boolean), linked.join(', '));
  await browser.command('Network.enable');
  await browser.command('Network.emulateNetworkConditions', { offline: true, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
  server.closeAllConnections?.();
  await new Promise((resolve) => server.close(resolve));
  await browser.goto(base);
  const offline = await browser.evaluate(`(async () => {
    await tambrel.ready;
    tambrel.press(1015);
    for (let t = 0; t < 100 && tambrel.title() === 'Tambrel'; ++t) await new Promise((r) => setTimeout(r, 25));
    return [tambrel.title(), navigator.onLine];
  })()`);
  check('with the network cut the page loads again and runs', offline[0] === 'Tambrel: Psychedelic animation', offline.join(', '));
  check('no console errors', browser.errors.length === 0, browser.errors.join(' | '));
  // Last: the file not kept fails to load, which the console reports.
  const readme = await browser.evaluate(`Promise.all(['README.md', 'docs/linux.md'].map((f) => fetch(f).then((r) => r.text(), () => 'not there')))`);
  check('... its README is the README, and what was never kept is not there (not the page in its place)',
    readme[0].startsWith('# Tambrel') && readme[1] === 'not there', readme.map((t) => t.slice(0, 40)).join(' | '));
} catch (e) {
  check('the run', false, e.stack);
} finally {
  await browser.close();
  server.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
