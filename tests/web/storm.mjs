// SPDX-License-Identifier: MIT
// The web edition's single-threaded scheduler under a storm of input while
// it runs: random presses, canvas clicks and double clicks, "Clear Screen",
// pointers far off and at the int range's ends, waits of a few frames, many
// commands queued without waiting. After each event the window must agree
// with itself: at most one caption in bold, that mode's title, every other
// caption the "On" one, and a surface of 24-bit colours. Then the page is
// left at awkward moments (in every mode, right after a click's rebuild
// pause, while a screen capture is asked for): the next page must always
// start.
//   node tests/web/storm.mjs SITE_DIR [EVENTS] [CLOSES]
// TAMBREL_SOAK_SECONDS keeps both going that long after the given counts.
import { launchChromium } from './cdp.mjs';
import { serve } from '../../tools/web/serve.mjs';

const [site, events = '600', closes = '30'] = process.argv.slice(2);
if (!site) {
  console.error('usage: node storm.mjs SITE_DIR [EVENTS] [CLOSES]');
  process.exit(2);
}
const soakMs = 1000 * Number(process.env.TAMBREL_SOAK_SECONDS ?? 0);
const server = await serve([['/', site]]);
const base = `http://127.0.0.1:${server.address().port}/`;
const browser = await launchChromium({ args: ['--use-fake-ui-for-media-stream'] });
let failure = null;
try {
  // The storm runs inside the page, in rounds of 200 events, so that the
  // page's own timers and animation frames run in between as they would.
  await browser.goto(`${base}?seed=5`);
  const storm = await browser.evaluate(`(async () => {
    await tambrel.ready;
    const buttons = [...document.querySelectorAll('#dialog > button')];
    const caption = (id) => document.querySelector('[data-control-id="' + id + '"]').textContent;
    // Each mode's title, learnt by switching it on and off once.
    const titles = new Map();
    for (let id = 1002; id <= 1015; ++id) {
      await tambrel.press(id);
      titles.set(id, tambrel.title());
      await tambrel.press(id);
    }
    window.stormTitles = titles;
    return titles.size;
  })()`);
  if (storm !== 14) throw new Error(`learnt ${storm} titles`);

  const stormRound = (seed) => browser.evaluate(`(async () => {
    let s = ${seed} >>> 0;
    const random = (n) => { s = (Math.imul(s, 1664525) + 1013904223) >>> 0; return s % n; };
    const pointer = () => [0, 1, 2].includes(random(8)) ? [-5, 2147483647, -2147483648, 100000][random(4)] : random(700) - 50;
    const invariant = () => {
      const bold = [...document.querySelectorAll('button.bold')];
      if (bold.length > 1) return 'two captions in bold';
      const on = bold.length ? Number(bold[0].dataset.controlId) : 0;
      for (let id = 1002; id <= 1015; ++id) {
        const c = document.querySelector('[data-control-id="' + id + '"]').textContent;
        if ((id === on) !== c.endsWith(' Off')) return 'caption "' + c + '" while ' + (on || 'nothing') + ' is on';
      }
      const want = on ? window.stormTitles.get(on) : 'Tambrel';
      if (tambrel.title() !== want) return 'title "' + tambrel.title() + '", expected "' + want + '"';
      const px = tambrel.pixels();
      for (let i = 0; i < px.length; ++i) if (px[i] > 0xFFFFFF) return 'pixel ' + i + ' is ' + px[i];
      return null;
    };
    let queued = [];
    for (let e = 0; e < 200; ++e) {
      tambrel.pointer(pointer(), pointer());
      const kind = random(10);
      let done;
      if (kind < 4) done = tambrel.press(1002 + random(14));
      else if (kind < 7) done = tambrel.clickCanvas(random(3) === 0);
      else if (kind === 7) done = tambrel.press(1017);
      else done = new Promise((r) => setTimeout(r, random(40))); // a few frames run
      queued.push(done);
      if (random(4) !== 0) { // now and then several commands queue up before a look
        await Promise.all(queued);
        queued = [];
        const bad = invariant();
        if (bad) return { events: e + 1, bad };
      }
    }
    await Promise.all(queued);
    return { events: 200, bad: invariant() };
  })()`, 120000);

  let stormed = 0;
  const t0 = Date.now();
  for (let round = 0; !failure && (stormed < Number(events) || Date.now() - t0 < soakMs); ++round) {
    const r = await stormRound(round * 7919 + 1);
    stormed += r.events;
    if (r.bad) failure = `storm round ${round}: ${r.bad}`;
  }
  if (!failure) console.log(`ok web storm: ${stormed} events, the window consistent after each`);

  // Leaving the page at awkward moments.
  let closed = 0;
  const t1 = Date.now();
  for (let n = 0; !failure && (n < Number(closes) || Date.now() - t1 < soakMs); ++n) {
    await browser.goto(`${base}?seed=${n}`);
    const state = await browser.evaluate(`(async () => {
      await tambrel.ready;
      tambrel.pointer(300, 250);
      const id = 1002 + ${n} % 14;
      tambrel.press(id);
      if (${n} % 3 === 0) tambrel.clickCanvas();      // maybe a rebuild's pause
      if (${n} % 3 === 1) tambrel.press(1013);        // a screen capture asked for
      await new Promise((r) => setTimeout(r, ${n * 37} % 120));
      return tambrel.title();
    })()`);
    if (!state.startsWith('Tambrel')) failure = `close ${n}: title '${state}'`;
    ++closed; // the next goto leaves this page mid-run
  }
  if (!failure) {
    await browser.goto(`${base}?seed=1`);
    const fresh = await browser.evaluate(`(async () => { await tambrel.ready; await tambrel.press(1015); return tambrel.title(); })()`, 20000);
    if (fresh !== 'Tambrel: Psychedelic animation') failure = `after the closes: title '${fresh}'`;
    else console.log(`ok web closes: left the page ${closed} times at awkward moments; it always started again`);
  }
  if (!failure && browser.errors.length) failure = `console errors: ${browser.errors.slice(0, 3).join(' | ')}`;
} catch (e) {
  failure = e.stack;
} finally {
  await browser.close();
  server.close();
}
if (failure) console.log(`FAILED ${failure}`);
process.exit(failure ? 1 : 0);
