// SPDX-License-Identifier: MIT
// The web edition's speed next to the desktop's, in one run: the psyche
// frame of the benchmark natively (Google Benchmark) and in headless
// Chromium (WebAssembly), and the page's blit of the surface (ImageData +
// putImageData).
//   node tools/web/bench.mjs [BUILD_WEB_DIR] [NATIVE_BENCH]
// defaults: build-web, build/bench/tambrel_bench
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchChromium } from '../../tests/web/cdp.mjs';
import { serve } from './serve.mjs';

const [buildWeb = 'build-web', nativeBench = 'build/bench/tambrel_bench'] = process.argv.slice(2);
const page = fs.mkdtempSync(path.join(os.tmpdir(), 'tambrel-bench-'));
fs.writeFileSync(path.join(page, 'index.html'), '<!DOCTYPE html><link rel="icon" href="data:,"><canvas width="596" height="508"></canvas><script src="/bench/tambrel-bench.js"></script>');

// The machine is shared and noisy: native and browser runs take turns, and
// each figure is the median of its turns.
const nativeRun = () => {
  const out = JSON.parse(execFileSync(nativeBench, ['--benchmark_filter=^BM_FramePsycheFourCornersWidth8$',
    '--benchmark_min_time=0.3', '--benchmark_format=json'], { encoding: 'utf8' }));
  return out.benchmarks[0].real_time / 1000;
};
const median = (a) => [...a].sort((x, y) => x - y)[a.length >> 1];

const server = await serve([['/', page], ['/bench/', path.join(buildWeb, 'bench')]]);
const browser = await launchChromium();
const turns = { native: [], frame: [], blit: [] };
try {
  await browser.goto(`http://127.0.0.1:${server.address().port}/`);
  await browser.evaluate(`(async () => {
    window.M = await createTambrel({});
    M._tambrel_bench_psyche(50); // warm up
    window.image = new ImageData(596, 508);
    window.g = document.querySelector('canvas').getContext('2d', { alpha: false });
  })()`);
  for (let turn = 0; turn < 5; ++turn) {
    turns.native.push(nativeRun());
    const web = await browser.evaluate(`(() => {
      const frame = M._tambrel_bench_psyche(300);
      const t0 = performance.now();
      for (let k = 0; k < 300; ++k) {
        const p = M._tambrel_bench_rgba();
        image.data.set(M.HEAPU8.subarray(p, p + 596 * 508 * 4));
        g.putImageData(image, 0, 0);
      }
      return { frame, blit: (performance.now() - t0) / 300 };
    })()`);
    turns.frame.push(web.frame);
    turns.blit.push(web.blit);
  }
} finally {
  await browser.close();
  server.close();
  fs.rmSync(page, { recursive: true, force: true });
}
const nativeMs = median(turns.native), web = { frame: median(turns.frame), blit: median(turns.blit) };
const f = (ms) => `${(ms * 1000).toFixed(0)} us`;
console.log(`psyche frame, native:            ${f(nativeMs)}`);
console.log(`psyche frame, WebAssembly:       ${f(web.frame)}  (${(web.frame / nativeMs).toFixed(2)} x native)`);
console.log(`blit (ImageData + putImageData): ${f(web.blit)}`);
console.log(`frame + blit:                    ${f(web.frame + web.blit)}  (${((web.frame + web.blit) / nativeMs).toFixed(2)} x the native frame)`);
