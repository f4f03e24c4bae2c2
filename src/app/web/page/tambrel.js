// SPDX-License-Identifier: MIT
// Tambrel's web page: builds the window's controls from the program's layout,
// routes the user's input to the program, runs its frame loop on the page's
// one thread and shows the surface once per animation frame.
'use strict';

(() => {
  const CANVAS = 1001, CAPTURE = 1013, CAPTURE_MODE = 11; // control id, and its index in the mode table
  const CLICKED = 0, DOUBLE_CLICKED = 1;
  const BOLD = 2; // the program's ButtonFont: dialog, normal, bold
  const MAX_PASSES_PER_FRAME = 12; // a slow display still sees the desktop's pace, a stalled one does not race
  const MIN_SCALE = 1 / 16; // a page area too small for anything still maps the pointer

  let M, layout, dialog, sizer, surface, context, image;
  const controls = new Map(); // control id -> element
  let scale = 1, fittedRatio = 0, running = true, nextPass = 0, passes = 0, queue = Promise.resolve();

  // What the program changes in the window.
  const view = {
    setTitle: (title) => { document.title = title; },
    setCaption: (id, caption) => { const b = controls.get(id); if (b) b.textContent = caption; },
    setFont: (id, font) => controls.get(id)?.classList.toggle('bold', font === BOLD),
    setEnabled: (id, enabled) => { const b = controls.get(id); if (b) b.disabled = !enabled; },
    focusedControl: () => Number(document.activeElement?.dataset?.controlId ?? 0),
    setFocus: (id) => controls.get(id)?.focus(),
    setPointer: (id, hidden) => {
      const e = id === 0 ? dialog : controls.get(id);
      if (!e) return;
      e.classList.toggle('nopointer', hidden);
      e.classList.toggle('arrow', !hidden);
    },
  };

  function build() {
    layout = JSON.parse(M.UTF8ToString(M._tambrel_layout()));
    const [cw, ch] = layout.client, [cl, ct, cwidth, cheight] = layout.canvas, [sw, sh] = layout.surface;
    dialog = document.getElementById('dialog');
    dialog.style.width = cw + 'px';
    dialog.style.height = ch + 'px';
    dialog.dataset.controlId = 0;
    sizer = document.createElement('div');
    sizer.id = 'sizer';
    dialog.replaceWith(sizer);
    sizer.append(dialog);

    const frame = document.createElement('div');
    frame.id = 'frame';
    Object.assign(frame.style, { left: cl + 'px', top: ct + 'px', width: cwidth + 'px', height: cheight + 'px' });
    const edge = document.createElement('div');
    edge.id = 'edge';
    surface = document.createElement('canvas');
    surface.id = 'surface';
    surface.width = sw;
    surface.height = sh;
    surface.tabIndex = -1; // a press gives it the focus; it is no tab stop
    surface.dataset.controlId = CANVAS;
    surface.setAttribute('aria-label', 'Canvas');
    edge.append(surface);
    frame.append(edge);
    dialog.append(frame);
    controls.set(CANVAS, surface);
    context = surface.getContext('2d', { alpha: false });

    for (const { id, rect: [l, t, w, h] } of layout.buttons) {
      const b = document.createElement('button');
      b.type = 'button';
      b.dataset.controlId = id;
      Object.assign(b.style, { left: l + 'px', top: t + 'px', width: w + 'px', height: h + 'px' });
      b.addEventListener('click', () => press(id));
      dialog.append(b);
      controls.set(id, b);
    }
  }

  // Whole device pixels per client pixel where the window has room, so the
  // surface stays crisp; a smaller screen (a phone) gets the window shrunk to fit.
  // The same page area and screen scaling always give the same scale.
  function fit() {
    // The layout viewport: on a phone the visual one grows with anything too
    // wide. Measured without the window, whose old size could still bring
    // scroll bars that take from the area it is measured in.
    const [cw, ch] = layout.client, dpr = window.devicePixelRatio || 1;
    fittedRatio = dpr;
    sizer.style.display = 'none';
    const vw = document.documentElement.clientWidth, vh = document.documentElement.clientHeight;
    sizer.style.display = '';
    const whole = Math.floor(Math.min((vw * dpr) / cw, (vh * dpr) / ch));
    scale = whole >= 1 ? whole / dpr : Math.max(MIN_SCALE, Math.min(vw / cw, vh / ch, 1));
    dialog.style.transform = `scale(${scale})`;
    sizer.style.width = cw * scale + 'px';
    sizer.style.height = ch * scale + 'px';
  }

  // The pointer in the window's client pixels, as the desktop reads it.
  function track(e) {
    const r = dialog.getBoundingClientRect();
    M._tambrel_pointer(Math.floor((e.clientX - r.left) / scale), Math.floor((e.clientY - r.top) / scale));
  }

  // Commands reach the program one after another, in the order they came,
  // as the desktop's event queue hands them over.
  function enqueue(work) {
    queue = queue.then(work).catch((e) => console.error(e));
    return queue;
  }

  function delay() { // a pause the program asked for: no pass runs meanwhile
    const ms = M._tambrel_take_pause();
    if (ms > 0) nextPass = Math.max(nextPass, performance.now() + ms);
  }

  function command(id, code) {
    M._tambrel_command(id, code);
    if (nextPass === Infinity) nextPass = performance.now();
    delay();
    if (M._tambrel_take_redraw()) blit();
  }

  // A mode button, as a user's press. Switching the capture on first asks
  // the browser for a picture of the screen.
  function press(id) {
    const wantsPicture = id === CAPTURE && M._tambrel_mode_on() !== CAPTURE_MODE;
    const picture = wantsPicture ? screenPicture() : null; // asked at once, while the press still counts as the user's
    return enqueue(async () => {
      if (picture) handOver(await picture);
      command(id, CLICKED);
    });
  }

  function clickCanvas(double) {
    return enqueue(() => {
      command(CANVAS, CLICKED);
      if (double) command(CANVAS, DOUBLE_CLICKED);
    });
  }

  // One frame of the screen through screen sharing (the stream is closed at
  // once), or where the browser has none, the clipboard's image. Null when
  // refused or not offered: the mode then switches on black.
  async function screenPicture() {
    const media = navigator.mediaDevices;
    if (media && media.getDisplayMedia) {
      let stream = null;
      try {
        stream = await media.getDisplayMedia({ video: true, audio: false });
        const video = document.createElement('video');
        video.muted = true;
        video.srcObject = stream;
        await video.play();
        return pixelsOf(video, video.videoWidth, video.videoHeight);
      } catch (e) {
        return null;
      } finally {
        if (stream) for (const track of stream.getTracks()) track.stop();
      }
    }
    if (navigator.clipboard && navigator.clipboard.read) {
      try {
        for (const item of await navigator.clipboard.read()) {
          const type = item.types.find((t) => t.startsWith('image/'));
          if (!type) continue;
          const bitmap = await createImageBitmap(await item.getType(type));
          return pixelsOf(bitmap, bitmap.width, bitmap.height);
        }
      } catch (e) {
        return null;
      }
    }
    return null;
  }

  function pixelsOf(source, w, h) {
    if (!w || !h) return null;
    const c = document.createElement('canvas');
    c.width = w;
    c.height = h;
    const g = c.getContext('2d');
    g.drawImage(source, 0, 0);
    return g.getImageData(0, 0, w, h);
  }

  function handOver(picture) {
    const ptr = picture ? M._tambrel_screen_buffer(picture.width, picture.height) : 0;
    if (ptr) M.HEAPU8.set(picture.data, ptr);
    M._tambrel_screen_ready(ptr ? 1 : 0);
  }

  function blit() {
    const [w, h] = layout.surface;
    const ptr = M._tambrel_rgba();
    if (!image) image = new ImageData(w, h);
    image.data.set(M.HEAPU8.subarray(ptr, ptr + w * h * 4));
    context.putImageData(image, 0, 0);
  }

  // The desktop's pace: a pass, then its pause. Passes that fell due since
  // the last animation frame run now, up to a few; the surface shows once.
  function tick(now) {
    // The screen's scaling can change without a resize (a window moved to a
    // monitor with another scaling), and no event says so everywhere.
    if ((window.devicePixelRatio || 1) !== fittedRatio) fit();
    if (running && !document.hidden) {
      let n = 0;
      while (nextPass <= now && n++ < MAX_PASSES_PER_FRAME) {
        const t0 = performance.now();
        const stepped = M._tambrel_pass();
        ++passes;
        nextPass += performance.now() - t0 + M._tambrel_take_pause();
        if (!stepped) nextPass = Infinity; // nothing is on: no passes until a command
      }
      if (now - nextPass > 100) nextPass = now; // after a stall, go on from here
    }
    if (M._tambrel_take_redraw()) blit();
    requestAnimationFrame(tick);
  }

  function wire() {
    document.addEventListener('pointermove', track, { passive: true });
    surface.addEventListener('pointerdown', (e) => {
      track(e);
      surface.focus();
      if (e.pointerType !== 'mouse') { // a tap is a click
        e.preventDefault();
        clickCanvas(false);
      }
    });
    surface.addEventListener('mousedown', (e) => {
      if (e.button !== 0) return;
      track(e);
      // The second press of a double click is the double click itself.
      enqueue(() => command(CANVAS, e.detail >= 2 && e.detail % 2 === 0 ? DOUBLE_CLICKED : CLICKED));
    });
    surface.addEventListener('contextmenu', (e) => e.preventDefault());
    // Enter presses the focused button, as a dialog's keyboard handling does;
    // there is no default or cancel button, so elsewhere Enter and Escape do nothing.
    dialog.addEventListener('keydown', (e) => {
      if ((e.key === 'Enter' && !(e.target instanceof HTMLButtonElement)) || e.key === 'Escape') e.preventDefault();
    });
    for (const [id, e] of controls) e.addEventListener('pointerenter', () => M._tambrel_set_cursor(id));
    dialog.addEventListener('pointerenter', () => M._tambrel_set_cursor(0));
    window.addEventListener('blur', () => M._tambrel_activate(0));
    window.addEventListener('focus', () => M._tambrel_activate(1));
    window.addEventListener('resize', fit);
    document.addEventListener('visibilitychange', () => { nextPass = performance.now(); });
    window.addEventListener('pagehide', () => M._tambrel_close());
  }

  async function start() {
    try {
      M = await createTambrel({ view });
    } catch (e) {
      // Opened from disk, a browser refuses to fetch the WebAssembly beside the page.
      const note = document.createElement('p');
      note.id = 'problem';
      note.textContent = location.protocol === 'file:'
        ? 'This page cannot load its program from a file on disk. Open tambrel.html instead (the same page in one file), or serve this folder from a web server.'
        : `Tambrel could not start: ${e && e.message ? e.message : e}`;
      document.getElementById('stage').append(note);
      throw e;
    }
    build();
    const seed = new URLSearchParams(location.search).get('seed');
    const seeded = seed !== null && /^\d+$/.test(seed) && Number(seed) <= 0xffffffff;
    if (seed !== null && !seeded) console.warn('tambrel: ?seed takes a whole number 0..4294967295; using the clock');
    M._tambrel_start(seeded ? Number(seed) >>> 0 : 0, seeded ? 1 : 0);
    for (const id of controls.keys()) M._tambrel_set_cursor(id);
    M._tambrel_set_cursor(0);
    fit();
    wire();
    blit();
    nextPass = performance.now();
    requestAnimationFrame(tick);
  }

  const ready = start();

  // For tests and demos.
  window.tambrel = {
    ready,
    press,
    pointer: (x, y) => { // the pointer where getCanvasMouse reports (x, y)
      const client = (v) => Math.max(-2147483648, Math.min(2147483647, Math.trunc(v) + 5));
      M._tambrel_pointer(client(x), client(y));
    },
    clickCanvas: (double = false) => clickCanvas(!!double),
    pause: () => { running = false; },
    resume: () => { running = true; nextPass = performance.now(); },
    step: (n = 1) => { // n passes now, as the headless renderer runs them
      for (let i = 0; i < n; ++i) M._tambrel_pass();
      passes += n;
      M._tambrel_take_pause();
      if (M._tambrel_take_redraw()) blit();
    },
    pixels: () => {
      const [w, h] = layout.surface;
      return new Uint32Array(M.HEAPU8.buffer, M._tambrel_pixels(), w * h).slice();
    },
    title: () => document.title,
    passes: () => passes, // run so far, by the scheduler and by step
  };
})();
