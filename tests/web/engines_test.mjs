// SPDX-License-Identifier: MIT
// The page in another engine than Chromium (firefox or webkit): the
// renderer's sessions replay to its pictures exactly, a real click presses
// a button, Save Picture says what it is, a link made on a page opened from
// disk opens that page, a refused capture says why, and a clip is true
// (every frame within 35 dB of the exact picture at its time) or, where the
// engine cannot make one, the page says so plainly.
//   node engines_test.mjs firefox|webkit SITE_DIR TAMBREL_RENDER OUT_DIR [NODE_MODULES]
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launchFirefox, launchWebKit, pngText } from './browsers.mjs';
import { serve } from '../../tools/web/serve.mjs';

const [engine, site, render, outDir, modules] = process.argv.slice(2);
if (!['firefox', 'webkit'].includes(engine) || !site || !render || !outDir) {
  console.error('usage: node engines_test.mjs firefox|webkit SITE_DIR TAMBREL_RENDER OUT_DIR [NODE_MODULES]');
  process.exit(2);
}
const fixtures = fs.mkdtempSync(path.join(os.tmpdir(), `tambrel-${engine}-`));
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) ++passed;
  else ++failed;
  console.log(`${ok ? 'ok    ' : 'FAILED'} ${name}${ok || !detail ? '' : ': ' + detail}`);
}

// Each mode with a seed, a resting pointer and clicks after K passes.
const cases = [
  ['follower', 31, 90, '420,300', [20]],
  ['fireworks', 32, 60, '200,150', [0, 20]],
  ['gravity', 33, 60, '320,250', [0]],
  ['snow', 34, 120, '300,380', [40]],
  ['shader', 35, 100, '250,200', [30]],
  ['clouds', 36, 5, '300,256', [1]],
  ['whirl', 37, 60, '500,100', [0]],
  ['psyche', 38, 80, '360,230', [0, 40]],
];
for (const [word, seed, frames, pointer, clicks] of cases) {
  execFileSync(render, ['--mode', word, '--seed', String(seed), '--frames', String(frames), '--pointer', pointer,
    ...clicks.flatMap((k) => ['--click', String(k)]), '--save-session', path.join(fixtures, `${word}.tambrel`),
    '--out', path.join(fixtures, `${word}.png`)]);
}

// How many of the page's pixels differ from a fixture's picture.
const differFrom = (png) => `(async () => {
  const mine = tambrel.pixels();
  const bitmap = await createImageBitmap(await (await fetch('/fixtures/${png}')).blob(), { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
  const c = document.createElement('canvas');
  c.width = bitmap.width, c.height = bitmap.height;
  const g = c.getContext('2d');
  g.drawImage(bitmap, 0, 0);
  const theirs = g.getImageData(0, 0, c.width, c.height).data;
  let differ = Math.abs(mine.length - c.width * c.height);
  for (let i = 0; i < mine.length; ++i) differ += (theirs[4 * i] | (theirs[4 * i + 1] << 8) | (theirs[4 * i + 2] << 16)) !== mine[i];
  return differ;
})()`;

const server = await serve([['/', site], ['/fixtures/', fixtures]]);
const base = `http://127.0.0.1:${server.address().port}/`;
const page = engine === 'firefox' ? await launchFirefox(modules) : await launchWebKit();
const ui = (expr, timeoutMs) => page.evaluate(`(async () => { await tambrel.ready; return ${expr}; })()`, timeoutMs);
const settle = (ms) => ui(`new Promise((r) => setTimeout(r, ${ms}))`);
// Whether a condition in the page comes true within 30 s.
const comes = (condition) => ui(`(async () => {
  for (let t = 0; t < 600 && !(${condition}); ++t) await new Promise((r) => setTimeout(r, 50));
  return ${condition};
})()`);
try {
  // The renderer's sessions, replayed with no live passes after them.
  for (const [word] of cases) {
    await page.goto(`${base}?seed=1`);
    const differ = await ui(`(async () => {
      tambrel.pause();
      await tambrel.replay(new Uint8Array(await (await fetch('/fixtures/${word}.tambrel')).arrayBuffer()), '${word}');
      return ${differFrom(`${word}.png`)};
    })()`);
    check(`${word}: the renderer's session replays to its picture`, differ === 0, `${differ} pixels differ`);
  }

  // A real click on a button, then Save Picture.
  await page.goto(`${base}?seed=7`);
  const [bx, by] = await ui(`(() => { const r = document.querySelector('[data-control-id="1005"]').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()`);
  await page.click(bx, by);
  check('a real click on "Turn Fireworks On" switches the mode on', await comes(`tambrel.title() === 'Tambrel: Fireworks animation'`));
  const picture = await page.bytes('tambrel.savePicture()');
  const said = pngText(picture);
  check('Save Picture makes a 596 x 508 PNG that says what it is', picture.readUInt32BE(16) === 596 && picture.readUInt32BE(20) === 508 &&
    /^Tambrel \d/.test(said.Software) && said.Mode === 'fireworks' && said.Seed === '7', JSON.stringify(said));

  // A refused capture (no screen to share here) switches on black and says why.
  await ui('tambrel.press(1013)');
  await comes(`document.getElementById('notice').textContent.startsWith('Capture shows black: ')`);
  const capture = await ui(`[tambrel.title(), document.getElementById('notice').textContent]`);
  check('a capture without a picture of the screen switches on and says why',
    capture[0] === 'Tambrel: Screen capture degrader' && capture[1].startsWith('Capture shows black: '), capture.join(' | '));

  // The link from a page opened from disk opens that page.
  await page.goto(`file://${path.resolve(site)}/tambrel.html?seed=3`);
  await ui('tambrel.press(1005)');
  const link = await ui(`(async () => {
    navigator.clipboard.writeText = async (text) => { globalThis.copied = text; };
    [...document.querySelectorAll('#bar button')].find((b) => b.textContent === 'Share Link').click();
    for (let t = 0; t < 100 && !globalThis.copied; ++t) await new Promise((r) => setTimeout(r, 50));
    return [globalThis.copied ?? '', document.getElementById('notice').textContent];
  })()`);
  check('Share Link on a page opened from disk makes a link to that page, and says it opens here only',
    link[0].startsWith(`file://${path.resolve(site)}/tambrel.html?seed=3#session=`) && /this computer only/.test(link[1]), link.join(' | '));
  check('no errors on the page', page.errors.length === 0, page.errors.join('; '));

  // A clip: true in every frame, or plainly not made.
  await page.goto(`${base}?seed=8`);
  await ui('tambrel.press(1015)');
  await ui('(tambrel.pointer(300, 200), tambrel.clickCanvas())');
  await settle(2300);
  const made = await ui(`(async () => {
    const session = tambrel.session();
    const clip = await tambrel.saveClip(2);
    globalThis.clipMade = { clip, session: await session, later: await tambrel.session() };
    return [clip?.type ?? null, tambrel.clipSpan(), document.getElementById('notice').textContent];
  })()`, 600000).catch((e) => [null, null, `the page died: ${e.message.split('\n')[0]}`]);
  if (made[0]) {
    const clip = path.join(outDir, `${engine}-clip.webm`);
    fs.writeFileSync(clip, await page.bytes('clipMade.clip'));
    fs.writeFileSync(path.join(fixtures, 'later.tambrel'), await page.bytes('clipMade.later'));
    execFileSync(render, ['--replay', path.join(fixtures, 'later.tambrel'), '--video', path.join(fixtures, 'exact.webp'),
      '--from', String(made[1].fromMs / 1000), '--to', String(made[1].toMs / 1000)]);
    const truth = execFileSync('/usr/bin/python3', [new URL('../../tools/clip_psnr.py', import.meta.url).pathname, clip,
      path.join(fixtures, 'exact.webp')]).toString().trim();
    const codec = spawnSync('ffprobe', ['-v', 'error', '-show_entries', 'stream=codec_name,width,height,pix_fmt', '-of', 'csv=p=0', clip],
      { encoding: 'utf8' }).stdout.trim();
    const worst = Number(/as encoded: worst ([\d.]+) dB/.exec(truth)?.[1] ?? 0);
    check(`a clip (${codec}, ${fs.statSync(clip).size >> 10} KB for 2 s) within 35 dB of the exact picture in every frame (worst ${worst} dB)`,
      worst >= 35, truth);
  } else {
    console.log(`note   ${page.name} made no clip here: ${made[2]}`);
    check('where no clip is made, the page says so plainly', page.crashed || /cannot make|could not make|no videos/.test(made[2]), made[2]);
  }
  // The engine's media framework may take the page down (WebKitGTK's did
  // here): the page's mark against trying again is checked in Chromium.
  if (page.crashed) console.log(`note   ${page.name}'s video encoder took its web process down`);
} catch (e) {
  check('the run', false, `${e.stack ?? e}${page.log ? '\n' + page.log().slice(-2000) : ''}`);
} finally {
  await page.close();
  server.close();
  fs.rmSync(fixtures, { recursive: true, force: true });
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
