// SPDX-License-Identifier: MIT
// The web page as a visitor meets it on any screen: the whole canvas on the
// screen and every control reachable at every common size and scaling;
// nothing moves that the visitor did not touch; the capture's wait can be
// cancelled; the menu opens from the keyboard and a held finger; and axe
// finds nothing on either layout with the menu or a question open.
//   node tests/web/layout_test.mjs SITE_DIR AXE_JS
import fs from 'node:fs';
import { launchChromium } from './cdp.mjs';
import { serve } from '../../tools/web/serve.mjs';

const [site, axePath] = process.argv.slice(2);
if (!site || !axePath) {
  console.error('usage: node layout_test.mjs SITE_DIR AXE_JS');
  process.exit(2);
}
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) ++passed;
  else ++failed;
  console.log(`${ok ? 'ok    ' : 'FAILED'} ${name}${ok || !detail ? '' : ': ' + detail}`);
}

const server = await serve([['/', site]]);
const base = `http://127.0.0.1:${server.address().port}/`;
const browser = await launchChromium({ args: ['--use-fake-ui-for-media-stream'] });
const ui = (expr) => browser.evaluate(`(async () => { await tambrel.ready; return ${expr}; })()`);
const settle = () => ui('new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)))');
const phoneLike = (w, h) => Math.min(w, h) < 600; // emulated as a touch screen
// Where everything a visitor can press is, in page coordinates.
const places = () => ui(`[...document.querySelectorAll('#surface, #dialog > button, #bar button')].map((e) => {
  const r = e.getBoundingClientRect();
  return [e.dataset.controlId ?? e.textContent, Math.round(r.left + scrollX), Math.round(r.top + scrollY), Math.round(r.width), Math.round(r.height)].join(' ');
})`);
// A new size, then frames until the layout holds still: on a busy machine
// the resize can come some frames late.
async function viewport(w, h, dpr) {
  await browser.viewport(w, h, dpr, phoneLike(w, h));
  await settle();
  for (let tries = 0, last = ''; tries < 100; ++tries) {
    const now = `${await ui('[innerWidth, innerHeight, devicePixelRatio].join()')} ${(await places()).join('|')}`;
    if (now === last) break;
    last = now;
    await ui('new Promise((r) => setTimeout(r, 50))');
    await settle();
  }
}

try {
  await browser.goto(`${base}?seed=3`);
  await ui('true');

  // Every size from a small phone to a 4K screen, either way up, at every
  // common scaling: the canvas whole on the screen without scrolling, every
  // control inside the page's width, a finger's targets where the layout is
  // the phone's.
  const sizes = [[360, 640], [390, 844], [412, 915], [768, 1024], [800, 1280], [900, 1440], [1080, 1920], [1440, 2560], [2160, 3840]];
  const misfits = [];
  for (const dpr of [1, 1.5, 2, 3]) {
    for (const [a, b] of sizes) {
      for (const [w, h] of [[a, b], [b, a]]) {
        await viewport(w, h, dpr);
        const g = await ui(`(() => {
          const s = document.getElementById('surface').getBoundingClientRect();
          const controls = [...document.querySelectorAll('#dialog > button, #bar button')].map((e) => e.getBoundingClientRect());
          const l = document.getElementById('line').getBoundingClientRect();
          return { canvas: [s.left, s.top, s.right, s.bottom], line: [l.left, l.top, l.right, l.bottom], vw: innerWidth, vh: innerHeight, scrolled: scrollY,
            wide: controls.every((r) => r.left >= 0 && r.right <= innerWidth + 0.5 && r.height > 0),
            phone: document.getElementById('dialog').classList.contains('phone'),
            smallest: Math.min(...controls.map((r) => r.height)) };
        })()`);
        const [l, t, r, bottom] = g.canvas;
        const bad = [];
        if (g.scrolled !== 0 || l < 0 || t < 0 || r > g.vw + 0.5 || bottom > g.vh + 0.5) bad.push(`canvas at ${g.canvas.map(Math.round)}`);
        if (g.line[0] < -0.5 || g.line[2] > g.vw + 0.5 || g.line[3] > g.vh + 0.5) bad.push(`the line under the window at ${g.line.map(Math.round)}`);
        if (!g.wide) bad.push('a control is outside the width');
        if (g.phone && g.smallest < 44) bad.push(`a ${g.smallest} px target`);
        if (bad.length) misfits.push(`${w} x ${h} at ${dpr}: ${bad.join(', ')}`);
      }
    }
  }
  check('at 72 screen sizes and scalings the whole canvas and the line under it show, and every control can be reached', misfits.length === 0, misfits.join('; '));

  // Nothing moves that the visitor did not touch: every mode on in turn,
  // messages long and short, on a desktop window and on a phone.
  for (const [w, h, dpr, what] of [[1280, 800, 1, 'a desktop window'], [390, 844, 3, 'a phone'], [844, 390, 3, 'a phone on its side']]) {
    await viewport(w, h, dpr);
    const before = await places();
    const moved = new Set();
    const compare = async (after) => {
      const now = await places();
      before.forEach((p, i) => { if (now[i] !== p) moved.add(`${now[i]} (was ${p}) after ${after}`); });
    };
    for (let id = 1002; id <= 1015; ++id) {
      if (id === 1013) continue; // the capture waits for the browser's question: below
      await ui(`tambrel.press(${id})`);
      await settle();
      await compare(`pressing ${id}`);
    }
    await ui(`(location.hash = '#session=' + '@'.repeat(40), true)`); // a broken link: a long message
    await ui('new Promise((r) => setTimeout(r, 100))');
    await compare('a long message');
    await ui(`[...document.querySelectorAll('#bar button')].find((b) => b.textContent === 'Save Picture').click()`);
    await ui('new Promise((r) => setTimeout(r, 300))');
    await compare('a save');
    await ui(`tambrel.press(1015)`);
    check(`on ${what} the canvas and every button stay where they were`, moved.size === 0, [...moved].slice(0, 3).join('; '));
  }
  const messages = await ui(`document.getElementById('notice').textContent`);
  check('a message replaces the one before it', messages.startsWith('Picture "Tambrel ') && !messages.includes('link'), messages);

  // On a phone a replay's bar sits right under the canvas, its timeline
  // and Take Over in sight while one watches; taken over, it goes.
  await viewport(390, 844, 3);
  const [canvasBottom, lineTop, takeBottom, screenHeight] = await ui(`tambrel.session().then(async (b) => {
    window.replayed = tambrel.replay(b, 'phone.tambrel');
    while (!tambrel.replayInfo()) await new Promise((r) => setTimeout(r, 10));
    await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    const at = (id) => document.getElementById(id).getBoundingClientRect();
    return [at('surface').bottom, at('replay-timeline').top, at('replay-take').bottom, innerHeight];
  })`);
  await ui(`(document.getElementById('replay-take').click(), window.replayed)`);
  check('on a phone the replay bar sits under the canvas, in sight', lineTop > canvasBottom && lineTop - canvasBottom < 120 &&
    takeBottom <= screenHeight && (await ui(`document.getElementById('replay').hidden`)),
    `canvas to ${canvasBottom}, timeline from ${lineTop}, Take Over to ${takeBottom} of ${screenHeight}`);

  // The capture: while the browser's question is open the page says so,
  // and Cancel switches the mode on black and lets presses through again.
  await viewport(1280, 800, 1);
  await ui(`(navigator.mediaDevices.getDisplayMedia = () => new Promise(() => {}), true)`);
  await ui('(tambrel.press(1013), true)'); // its promise waits for the answer
  await ui('new Promise((r) => setTimeout(r, 100))');
  const waiting = await ui(`[document.getElementById('notice').textContent, tambrel.title()]`);
  check('while the browser asks what to capture, the page says it waits for the visitor', waiting[0].startsWith('Waiting for your choice') &&
    !waiting[1].includes('Capture'), waiting.join(' | '));
  await ui(`[...document.querySelectorAll('#notice button')].find((b) => b.textContent === 'Cancel').click()`);
  await ui('new Promise((r) => setTimeout(r, 100))');
  const cancelled = await ui(`[tambrel.title(), tambrel.pixels().filter((v) => v !== 0).length, document.getElementById('notice').textContent]`);
  check('... and Cancel switches the capture on black, saying why', /capture/i.test(cancelled[0]) && cancelled[1] === 0 &&
    cancelled[2].startsWith('Capture shows black: the choice was cancelled.'),
    cancelled.join(' | '));
  await ui('tambrel.press(1013)');

  // The menu from the keyboard and from a held finger; Tab leaves it.
  const menuOpen = () => ui(`!document.getElementById('menu').hidden`);
  await ui(`document.querySelector('[data-control-id="1002"]').focus()`);
  await browser.command('Input.dispatchKeyEvent', { type: 'keyDown', key: 'F10', code: 'F10', windowsVirtualKeyCode: 121, modifiers: 8 });
  await browser.command('Input.dispatchKeyEvent', { type: 'keyUp', key: 'F10', code: 'F10', windowsVirtualKeyCode: 121, modifiers: 8 });
  const byShiftF10 = await menuOpen();
  await browser.key('Tab', 'Tab', 9);
  const afterTab = await menuOpen();
  await browser.key('ContextMenu', 'ContextMenu', 93);
  const byMenuKey = await menuOpen();
  await browser.key('Escape', 'Escape', 27);
  check('Shift+F10 and the menu key open the canvas\'s menu, Tab and Escape close it',
    byShiftF10 && !afterTab && byMenuKey && !(await menuOpen()), [byShiftF10, afterTab, byMenuKey].join(', '));
  // The desktop's shortcuts work on the page too.
  const chord = async (key, code, keyCode, modifiers) => {
    for (const type of ['keyDown', 'keyUp']) await browser.command('Input.dispatchKeyEvent', { type, key, code, windowsVirtualKeyCode: keyCode, modifiers });
    await ui('new Promise((r) => setTimeout(r, 300))');
  };
  await chord('s', 'KeyS', 83, 2);
  const bySaveKey = await ui(`document.getElementById('notice').textContent`);
  await chord('F1', 'F1', 112, 0);
  const byHelpKey = await ui(`document.getElementById('about').open`);
  check('Ctrl+S saves the picture and F1 shows what Tambrel is, as on the desktop', bySaveKey.startsWith('Picture "Tambrel ') && byHelpKey,
    `${bySaveKey} | ${byHelpKey}`);
  await ui(`document.querySelector('[data-control-id="1002"]').focus()`);
  await browser.key('Tab', 'Tab', 9);
  const ring = await ui(`(() => { const s = getComputedStyle(document.activeElement); return [document.activeElement.dataset.controlId, s.outlineStyle, s.outlineWidth]; })()`);
  check('a window button focused from the keyboard shows a solid ring', ring[1] === 'solid' && parseFloat(ring[2]) >= 2, ring.join(', '));

  await viewport(390, 844, 3);
  const [tx, ty] = await ui(`(() => { const r = document.getElementById('surface').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()`);
  // Clouds paints at a click: a hold must leave the picture as it was.
  await ui('tambrel.press(1012)');
  const picture = 'tambrel.pixels().reduce((h, v) => (h * 31 + v) >>> 0, 0)';
  const before = await ui(picture);
  await browser.command('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x: tx, y: ty }] });
  await ui('new Promise((r) => setTimeout(r, 800))');
  await browser.command('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  const held = await ui(picture);
  check('a finger held on the canvas opens its menu and clicks nothing', await menuOpen() && held === before);
  await browser.key('Escape', 'Escape', 27);
  await browser.touch([[tx, ty]]);
  check('a tap on the canvas is a click (a cloud)', await ui(`(async () => {
    for (let t = 0; t < 100 && ${picture} === ${held}; ++t) await new Promise((r) => setTimeout(r, 50));
    return ${picture} !== ${held};
  })()`));

  // axe on both layouts: as it is, with the menu open, and with each
  // question the page asks open.
  await ui(`(eval(${JSON.stringify(fs.readFileSync(axePath, 'utf8'))}), true)`);
  const audit = async (what) => {
    const found = await ui(`axe.run(document, { runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa', 'best-practice'] } })
      .then((r) => r.violations.map((v) => v.id + ' (' + v.impact + '): ' + v.nodes.slice(0, 2).map((n) => n.target.join(' ')).join(', ')))`);
    check(`axe finds nothing on ${what}`, found.length === 0, found.join('; '));
  };
  for (const [w, h, dpr, layout] of [[1280, 800, 1, 'the desktop layout'], [390, 844, 3, 'the phone layout']]) {
    await viewport(w, h, dpr);
    await audit(layout);
    await ui(`(() => { const r = document.getElementById('surface').getBoundingClientRect();
      document.getElementById('surface').dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, clientX: r.x + 20, clientY: r.y + 20 })); return true; })()`);
    await audit(`${layout} with the menu open`);
    await browser.key('Escape', 'Escape', 27);
    await ui(`([...document.querySelectorAll('#bar button')].find((b) => b.textContent === 'Save Clip…').click(), true)`);
    await settle();
    await ui('new Promise((r) => setTimeout(r, 100))');
    const asked = await ui(`(() => { const d = document.querySelector('dialog.box[open]'); const b = d?.querySelector('button');
      return d ? [getComputedStyle(b).fontFamily, b.getBoundingClientRect().height, d.contains(document.activeElement)] : null; })()`);
    check(`Save Clip asks in the page's own style on ${layout}`, asked && !/times/i.test(asked[0]) && asked[1] >= (dpr > 1 ? 44 : 32) && asked[2],
      JSON.stringify(asked) + ' ' + await ui(`document.getElementById('notice').textContent`));
    await audit(`${layout} with Save Clip's question open`);
    await browser.key('Escape', 'Escape', 27);
  }
  // A session that holds a picture of the screen asks before it is saved.
  await ui(`(navigator.mediaDevices.getDisplayMedia = async () => {
    const c = document.createElement('canvas');
    c.width = c.height = 64;
    const g = c.getContext('2d'), stream = c.captureStream();
    g.fillStyle = '#c00';
    g.fillRect(0, 0, 64, 64);
    return stream;
  }, true)`);
  await ui('tambrel.press(1013)');
  await ui(`([...document.querySelectorAll('#bar button')].find((b) => b.textContent === 'Save Session').click(), true)`);
  await ui('new Promise((r) => setTimeout(r, 200))');
  const question = await ui(`document.querySelector('dialog.box[open]')?.textContent ?? ''`);
  check('a session with a picture of the screen asks first, in the page\'s style', question.includes('Save the session with the picture?'), question);
  await audit('the phone layout with the screen picture\'s question open');
  await browser.key('Escape', 'Escape', 27);
  check('no errors in the console', browser.errors.length === 0, browser.errors.join('\n'));
} catch (e) {
  check('the layout checks ran to the end', false, e.stack);
} finally {
  await browser.close();
  server.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
