// SPDX-License-Identifier: MIT
// What Save Clip costs on the web page: each session replayed to its end
// in headless Chromium, then a clip of its last 10 s made twice: with the
// page held (the clip is the session's last 10 s, to compare with the
// desktop's clip of the same stretch) and with the page running on (how
// long the visitor waits, and the page's passes a second meanwhile). The
// held clip is measured against the exact pictures by tools/clip_psnr.py.
//   node tools/web/clip_bench.mjs BUILD_WEB_DIR RENDER OUT_DIR SESSION...
// Writes OUT_DIR/NAME.webm, the held clip of SESSION NAME.tambrel, the
// page's session once it was made, and the exact clip of the same stretch,
// NAME-exact.webp.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { launchChromium } from '../../tests/web/cdp.mjs';
import { serve } from './serve.mjs';

const [buildWeb, render, outDir, ...sessions] = process.argv.slice(2);
if (!outDir || !sessions.length) {
  console.error('usage: node tools/web/clip_bench.mjs BUILD_WEB_DIR RENDER OUT_DIR SESSION...');
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });
const server = await serve([['/', path.join(buildWeb, 'site')]]);
const browser = await launchChromium();
try {
  console.log('session            held: s     MB   |  running: s   passes/s  |  PSNR worst, mean (dB)');
  for (const file of sessions) {
    const name = path.basename(file, '.tambrel'), bytes = [...fs.readFileSync(file)];
    const run = async (held) => {
      await browser.goto(`http://127.0.0.1:${server.address().port}/index.html`);
      return browser.evaluate(`(async () => {
        await tambrel.ready;
        const done = tambrel.replay(new Uint8Array(${JSON.stringify(bytes)}), 'bench');
        while (!tambrel.replayInfo()) await new Promise((resolve) => setTimeout(resolve, 5));
        tambrel.speed(Infinity);
        await done;
        if (${held}) tambrel.pause();
        const passes = tambrel.passes(), t0 = performance.now();
        const clip = await tambrel.saveClip(10);
        if (!clip) throw new Error(document.getElementById('notice').textContent);
        const seconds = (performance.now() - t0) / 1000;
        window.clip = clip;
        return { seconds, rate: (tambrel.passes() - passes) / seconds, session: Array.from(await tambrel.session()), size: clip.size,
          span: tambrel.clipSpan() };
      })()`, 600000);
    };
    const held = await run(true);
    // The clip in pieces: the protocol's messages are best kept small.
    const pieces = [];
    for (let at = 0; at < held.size; at += 1 << 23) {
      pieces.push(Buffer.from(await browser.evaluate(`new Promise((resolve) => {
        const reader = new FileReader();
        reader.onload = () => resolve(reader.result.slice(reader.result.indexOf(',') + 1));
        reader.readAsDataURL(clip.slice(${at}, ${at + (1 << 23)}));
      })`), 'base64'));
    }
    const running = await run(false);
    const clip = path.join(outDir, `${name}.webm`), exact = path.join(outDir, `${name}-exact.webp`);
    fs.writeFileSync(clip, Buffer.concat(pieces));
    fs.writeFileSync(path.join(outDir, `${name}.tambrel`), Buffer.from(held.session));
    // The exact pictures of the clip's stretch (the held page's clock runs
    // on after the last pass: the stretch ends later than the replay).
    execFileSync(render, ['--replay', path.join(outDir, `${name}.tambrel`), '--video', exact,
      '--from', String(held.span.fromMs / 1000), '--to', String(held.span.toMs / 1000)], { stdio: 'ignore' });
    const psnr = execFileSync('/usr/bin/python3', [path.join(import.meta.dirname, '..', 'clip_psnr.py'), clip, exact],
      { encoding: 'utf8' }).match(/as encoded: worst (\S+) dB, mean (\S+) dB/);
    console.log(`${name.padEnd(18)} ${held.seconds.toFixed(1).padStart(8)} ${(held.size / 1e6).toFixed(1).padStart(6)}   | ` +
      `${running.seconds.toFixed(1).padStart(9)} ${running.rate.toFixed(1).padStart(10)}  |  ${psnr[1]}, ${psnr[2]}`);
  }
} finally {
  await browser.close();
  server.close();
}
