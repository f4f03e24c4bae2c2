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
  const SMALL_SCREEN = 600; // CSS px: a screen this narrow or low, shrinking the window, gets the phone's layout
  const EDGE = 8; // CSS px kept free around the window
  const SIDE_ROOM = 240; // CSS px beside the window that hold the line under it where the height is short
  const LONG_PRESS_MS = 500; // a finger held this long on the canvas opens its menu
  const MAX_RECORDS = 256 * 1024 * 1024; // a session's records inflate to no more than this
  const MAX_FILE = MAX_RECORDS + MAX_RECORDS / 256 + 4096; // and deflate's worst case: no session file is larger
  const LONGEST_HEADER = 8 + 2 + 1 + 32 + 4 + 4 + 1 + 4; // magic, version, program version, seed, size, flags, check
  const INFLATE_PIECE = 4096; // compressed bytes fed at a time (see inflate)
  const BREATH_MS = 8; // long work yields to the page this often, so that it keeps its pace
  const MOST_STEPS = 100000; // tambrel.step(n): up to 1,000 s of passes a call
  const LINK_LIMIT = 32 * 1024; // the largest session a share link holds (about 44,000 characters)
  const MOST_STEPS_PER_FRAME = 200; // a replay that stalled catches up without freezing the page
  const CLIP_SLICE_MS = 4; // a clip is made in slices this long between the page's own passes
  const CLIP_QUANTIZER = 52; // VP9's, 0 to 63: see encodeWithWebCodecs
  const PLAY_SECONDS_PER_MODE = 30; // Play by Itself: each mode's turn
  const MOVE_THAT_TAKES_OVER = 8; // CSS px the mouse moves over the canvas to take over from the hand
  const CLIP_FALLBACK_BITRATE = 40e6; // where a browser's encoder takes no quantizer, for each canvas-sized picture
  const COPY_MS = 4; // a replay's copies for seeking are made this long per frame
  let SPEEDS = []; // [speed, name] as the program has them; 0: as fast as it goes

  let M, layout, dialog, sizer, surface, context, image;
  const controls = new Map(); // control id -> element
  let scale = 1, fittedRatio = 0, running = true, nextPass = 0, passes = 0, queue = Promise.resolve();
  let replaying = null; // { name, resolve, reject, shown } while a session replays
  let described = ''; // the title (and whether its mode waits for a click) the line under the window was written for
  let clipping = null; // { cancelled, stopped } while a clip is being made
  let broken = false; // the program stopped: the page says so and does nothing more
  let playing = null; // { from, moved } while the program plays by itself
  let wakeLock = null; // the screen kept on while it plays, where the browser can

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
    document.getElementById('version').textContent = `Tambrel ${M.UTF8ToString(M._tambrel_version())}`;
    document.getElementById('about-text').textContent = M.UTF8ToString(M._tambrel_about());
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
      b.title = M.UTF8ToString(M._tambrel_button_hint(id)); // what the mode shows, and what a click does
      controls.set(id, b);
    }
  }

  // Whole device pixels per client pixel where the window has room, so the
  // surface stays crisp; the heading goes below the window when it would
  // cost the window a step. A small screen that would shrink the window (a
  // phone, either way up) gets a layout of its own: the canvas as large as
  // the screen allows, the buttons below it as large touch targets in the
  // same order. The same page area and screen scaling always give the same
  // result, and the whole canvas is always on the screen.
  function fit() {
    const [cw, ch] = layout.client, dpr = window.devicePixelRatio || 1;
    fittedRatio = dpr;
    // The layout viewport: on a phone the visual one grows with anything too
    // wide. Measured without the window, whose old size could still bring
    // scroll bars that take from the area it is measured in.
    sizer.style.display = 'none';
    document.body.classList.remove('low');
    const vw = document.documentElement.clientWidth, vh = document.documentElement.clientHeight;
    const above = document.getElementById('intro').offsetHeight;
    sizer.style.display = '';
    const units = (height) => Math.floor(Math.min((vw * dpr) / cw, (Math.max(0, height - EDGE) * dpr) / ch));
    const low = units(vh - above) < Math.max(1, units(vh));
    let whole = units(low ? vh : vh - above);
    const coarse = window.matchMedia?.('(pointer: coarse)').matches;
    const phone = whole < dpr && (Math.min(vw, vh) < SMALL_SCREEN || coarse);
    document.body.classList.toggle('low', phone ? vw > vh : low);
    document.body.classList.remove('beside');
    dialog.classList.toggle('phone', phone);
    // The line under the window (what to do, or the replay's bar) is seen
    // wherever the canvas is: on a phone right under the canvas; elsewhere
    // under the window's bar, or beside the window where the height is short.
    const line = document.getElementById('line');
    if (phone) {
      dialog.style.width = vw + 'px';
      dialog.querySelector('#frame').after(line);
      reserveLine();
      fitPhone(vw, vh - (vw > vh ? 0 : above) - line.offsetHeight - EDGE, dpr);
    } else {
      if (line.parentElement !== document.getElementById('under')) document.getElementById('bar').after(line);
      reserveLine();
      // The most whole steps at which the line still shows: under the window
      // with the heading above it, else below it; else beside the window.
      const under = document.getElementById('bar').offsetHeight + line.offsetHeight + 18; // with their margins
      const fits = (w, top) => top + 4 + (ch * w) / dpr + under + EDGE <= vh;
      for (let w = units(vh); w >= 1; --w) {
        const beside = !fits(w, 0) && vw - (cw * w) / dpr - 3 * EDGE >= SIDE_ROOM;
        if (fits(w, above) || fits(w, 0) || beside || w === 1) {
          whole = w;
          document.body.classList.toggle('low', beside ? units(vh - above) < w : !fits(w, above));
          document.body.classList.toggle('beside', beside);
          break;
        }
      }
      surface.style.width = surface.style.height = '';
      dialog.style.width = cw + 'px';
      dialog.style.height = ch + 'px';
      scale = whole >= 1 ? whole / dpr : Math.max(MIN_SCALE, Math.min(vw / cw, (vh - EDGE) / ch, 1));
      dialog.style.transform = `scale(${scale})`;
      sizer.style.width = cw * scale + 'px';
      sizer.style.height = ch * scale + 'px';
    }
    reserveLine();
    fitFullScreen();
  }

  // The canvas at whole device pixels per surface pixel where that fills
  // most of the room, else exactly in it.
  function fitPhone(vw, room, dpr) {
    const [, , fw, fh] = layout.canvas, [sw, sh] = layout.surface, frame = layout.frame;
    const most = Math.max(MIN_SCALE, Math.min((vw - 2 * EDGE) / fw, (room - 2 * EDGE) / fh)) * dpr;
    const whole = Math.floor(most);
    scale = (whole >= 1 && whole / most >= 0.75 ? whole : most) / dpr;
    dialog.style.transform = 'none';
    dialog.style.width = vw + 'px';
    dialog.style.height = 'auto';
    surface.style.width = sw * scale + 'px';
    surface.style.height = sh * scale + 'px';
    const box = dialog.querySelector('#frame');
    box.style.setProperty('--phone-width', (sw * scale + 2 * frame) + 'px');
    box.style.setProperty('--phone-height', (sh * scale + 2 * frame) + 'px');
    sizer.style.width = vw + 'px';
    sizer.style.height = dialog.offsetHeight + 'px';
  }

  // The line under the window keeps the height of the longest mode's
  // description at this width, or of the replay bar that takes its place,
  // so that nothing below it moves as modes switch and replays come and go.
  function reserveLine() {
    const box = document.getElementById('line'), bar = document.getElementById('replay');
    const probe = document.createElement('p');
    probe.style.cssText = 'position: absolute; left: 0; right: 0; top: 0; visibility: hidden; margin: 0';
    box.style.minHeight = '';
    box.append(probe);
    let tallest = 0;
    for (let mode = -1; mode < M._tambrel_mode_count(); ++mode) {
      for (const waiting of [0, 1]) {
        probe.textContent = M.UTF8ToString(M._tambrel_mode_description(mode, waiting));
        tallest = Math.max(tallest, probe.getBoundingClientRect().height);
      }
    }
    probe.remove();
    if (box.contains(bar)) {
      const hidden = bar.hidden;
      bar.hidden = false;
      bar.style.visibility = 'hidden';
      tallest = Math.max(tallest, bar.getBoundingClientRect().height);
      bar.hidden = hidden;
      bar.style.visibility = '';
    }
    box.style.minHeight = Math.ceil(tallest) + 'px';
  }

  // The pointer in the window's client pixels, as the desktop reads it:
  // mapped through the surface, wherever the layout puts it.
  function track(e) {
    if (playing) { // the hand has the pointer until the visitor moves over the canvas
      if (e.target !== surface) return;
      playing.moved ??= [e.clientX, e.clientY];
      if (Math.hypot(e.clientX - playing.moved[0], e.clientY - playing.moved[1]) <= MOVE_THAT_TAKES_OVER) return;
      stopPlaying();
    }
    const r = surface.getBoundingClientRect(), [sw, sh] = layout.surface;
    const [cl, ct] = layout.canvas, frame = layout.frame;
    M._tambrel_pointer(cl + frame + Math.floor(((e.clientX - r.left) * sw) / r.width),
      ct + frame + Math.floor(((e.clientY - r.top) * sh) / r.height));
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
    takeOver();
    const wantsPicture = id === CAPTURE && M._tambrel_mode_on() !== CAPTURE_MODE;
    const picture = wantsPicture ? screenPicture() : null; // asked at once, while the press still counts as the user's
    const waiting = picture && waitForChoice(picture);
    return enqueue(async () => {
      if (waiting) {
        const { picture: shown, why } = await waiting;
        handOver(shown);
        if (!shown) say(`Capture shows black: ${why}. Switch it off and on again to be asked again.`);
      }
      command(id, CLICKED);
    });
  }

  function clickCanvas(double) {
    takeOver();
    return enqueue(() => {
      command(CANVAS, CLICKED);
      if (double) command(CANVAS, DOUBLE_CLICKED);
    });
  }

  // One frame of the screen through screen sharing (the stream is closed at
  // once), or where the browser has none, the clipboard's image. Resolves
  // to { picture } or, refused or not offered, to { why }: the mode then
  // switches on black, and the page says why.
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
        const picture = pixelsOf(video, video.videoWidth, video.videoHeight);
        return picture ? { picture } : { why: 'the shared screen gave no picture' };
      } catch (e) {
        return { why: e.name === 'NotAllowedError' ? 'the screen was not shared (the browser, or you, said no)'
          : `the browser could not share the screen (${e.name}: ${e.message})` };
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
          const picture = pixelsOf(bitmap, bitmap.width, bitmap.height);
          if (picture) return { picture };
        }
        return { why: 'this browser cannot share the screen, and the clipboard holds no picture to show instead' };
      } catch (e) {
        return { why: `this browser cannot share the screen, and the clipboard could not be read (${e.message})` };
      }
    }
    return { why: 'this browser can neither share the screen nor read a picture from the clipboard' };
  }

  // While the browser asks the visitor what to share, every press and click
  // waits behind it: the page says so, and a cancel switches the mode on
  // black, as a refusal does.
  function waitForChoice(picture) {
    let cancel;
    const cancelled = new Promise((resolve) => { cancel = () => resolve({ why: 'the choice was cancelled' }); });
    const message = say('Waiting for your choice: pick a screen, a window or a tab in the browser\'s request to capture it. ' +
      'Presses and clicks wait until then.', [['Cancel', cancel]]);
    return Promise.race([picture, cancelled]).finally(() => unsay(message));
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
    if (broken) return;
    try {
      frame(now);
    } catch (e) {
      stopped(e);
      return;
    }
    requestAnimationFrame(tick);
  }

  // The program can stop (out of memory, a fault): the page says so at
  // once, with a way back, instead of looking alive and answering nothing.
  function stopped(what) {
    if (broken) return;
    broken = true;
    say(`Tambrel stopped working (${what && what.message ? what.message : what}). Reload the page to start again.`,
      [['Reload', () => location.reload()]]);
  }

  function frame(now) {
    // The screen's scaling can change without a resize (a window moved to a
    // monitor with another scaling), and no event says so everywhere.
    if ((window.devicePixelRatio || 1) !== fittedRatio) fit();
    if (replaying) {
      M._tambrel_take_pause(); // the session's own times pace it
      const r = M._tambrel_replay_step(performance.now(), COPY_MS);
      if (r) endReplay(r === 1 ? null : M.UTF8ToString(M._tambrel_error()));
      else showReplay(now, replaying.landings.length > 0);
      if (replaying && replaying.landings.length && !replayState().seeking) {
        for (const landed of replaying.landings.splice(0)) landed();
      }
    } else if (running && !document.hidden) {
      if (playing && nextPass === Infinity) playStep(); // nothing on yet: the hand presses a button
      let n = 0;
      while (nextPass <= now && n++ < MAX_PASSES_PER_FRAME) {
        if (playing) playStep();
        const t0 = performance.now();
        const stepped = M._tambrel_pass();
        ++passes;
        nextPass += performance.now() - t0 + M._tambrel_take_pause();
        if (!stepped) nextPass = Infinity; // nothing is on: no passes until a command
      }
      if (now - nextPass > 100) nextPass = now; // after a stall, go on from here
    }
    if (M._tambrel_take_redraw()) blit();
    if (`${document.title}|${M._tambrel_waiting_for_click()}` !== described) describe();
  }

  function wire() {
    document.addEventListener('pointermove', track, { passive: true });
    surface.addEventListener('pointerdown', (e) => {
      stopPlaying();
      track(e);
      surface.focus();
      if (e.pointerType !== 'mouse') { // a tap is a click; held, it opens the menu and clicks nothing
        e.preventDefault();
        holdForMenu(e, () => clickCanvas(false));
      }
    });
    surface.addEventListener('mousedown', (e) => {
      if (e.button !== 0) return;
      takeOver();
      track(e);
      // The second press of a double click is the double click itself.
      enqueue(() => command(CANVAS, e.detail >= 2 && e.detail % 2 === 0 ? DOUBLE_CLICKED : CLICKED));
    });
    surface.addEventListener('contextmenu', (e) => {
      e.preventDefault();
      openMenu(e.clientX, e.clientY);
    });
    // The keyboard's ways to the menu, from anywhere in the window.
    dialog.addEventListener('keydown', (e) => {
      if (e.key !== 'ContextMenu' && !(e.shiftKey && e.key === 'F10')) return;
      e.preventDefault();
      const r = surface.getBoundingClientRect();
      openMenu(r.left + r.width / 2, r.top + r.height / 2);
    });
    // A session file dropped anywhere on the page replays.
    document.addEventListener('dragover', (e) => {
      if ([...(e.dataTransfer?.types ?? [])].includes('Files')) e.preventDefault();
    });
    document.addEventListener('drop', (e) => {
      const file = e.dataTransfer?.files?.[0];
      if (!file) return;
      e.preventDefault();
      openFile(file);
    });
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
    // A touch screen switched on or off (a laptop folded into a tablet)
    // changes the layout without a resize.
    window.matchMedia?.('(pointer: coarse)').addEventListener?.('change', fit);
    document.addEventListener('visibilitychange', () => {
      nextPass = performance.now();
      if (playing && !document.hidden) keepAwake(); // the browser lets the lock go with the page
    });
    // Any key takes over from the hand, but the one for the full screen.
    document.addEventListener('keydown', (e) => {
      if (!['f', 'F', 'F11', 'Shift', 'Control', 'Alt', 'Meta'].includes(e.key)) stopPlaying();
    }, true);
    document.addEventListener('fullscreenchange', fitFullScreen);
    window.addEventListener('pagehide', () => {
      M._tambrel_close();
      if (clipping) markEncoding(false); // closed while a clip was made: not the encoder's fault
    });
  }

  async function start() {
    try {
      M = await createTambrel({ view, onAbort: stopped });
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
    buildKeeping();
    buildReplayBar();
    const seed = new URLSearchParams(location.search).get('seed');
    const seeded = seed !== null && /^\d+$/.test(seed) && Number(seed) <= 0xffffffff;
    if (seed !== null && !seeded) console.warn('tambrel: ?seed takes a whole number 0..4294967295; using the clock');
    M._tambrel_start(seeded ? Number(seed) >>> 0 : 0, seeded ? 1 : 0);
    for (const id of controls.keys()) M._tambrel_set_cursor(id);
    M._tambrel_set_cursor(0);
    fit();
    wire();
    blit();
    describe();
    nextPass = performance.now();
    requestAnimationFrame(tick);
    // A share link replays its session, then the page is the visitor's; so
    // does one opened in a tab that already shows the page.
    openLink();
    window.addEventListener('hashchange', openLink);
    // ?play starts the show (?play&seed=N repeats one); a shared session replays instead.
    if (new URLSearchParams(location.search).has('play') && !location.hash) play(seeded ? Number(seed) >>> 0 : undefined);
    if (encoderCrashed()) say(`The page stopped while it made a clip: ${ENCODER_CRASHED}.`);
    // Installed, the page opens session files the system hands it.
    if ('launchQueue' in window) {
      window.launchQueue.setConsumer(async (launch) => {
        if (launch.files?.length) openFile(await launch.files[0].getFile());
      });
    }
    // Kept for visits with no network; from disk there is nothing to keep.
    if ('serviceWorker' in navigator && location.protocol.startsWith('http')) {
      navigator.serviceWorker.register('sw.js').catch((e) => console.warn(`tambrel: works online only: ${e.message}`));
    }
  }

  function openLink() {
    let bytes = null;
    try {
      bytes = linkSession(location.hash);
    } catch (e) {
      say(`This link's session cannot be replayed: ${e.message}. The page is yours as it is.`);
    }
    if (bytes) replay(bytes, 'shared link').catch((e) => say(`This link's session cannot be replayed: ${e.message}. The page is yours as it is.`));
  }

  // The session in a link's fragment: "session=" and base64url, where chat
  // programs and link rewriters may have escaped characters, broken the
  // line or added parameters of their own ("&utm_source=...").
  function linkSession(hash) {
    let text = hash.replace(/^#/, '');
    try {
      text = decodeURIComponent(text);
    } catch (e) { /* a stray % stays as it is, and is refused below */ }
    const found = /(?:^|[&?])session=([^&]*)/.exec(text);
    if (!found) return null;
    const value = found[1].replace(/\s+/g, '').replace(/=+$/, '');
    const bad = value.search(/[^A-Za-z0-9_-]/);
    if (bad >= 0) throw new Error(`the session in it has "${value[bad]}" at character ${bad + 1}, which no session holds`);
    if (value.length % 4 === 1) throw new Error('the session in it is cut short');
    return fromBase64Url(value);
  }

  // The line under the window: the mode that is on, what it shows and what
  // a click does (the canvas's description for screen readers too).
  function describe() {
    if (!M || !surface) return;
    const waiting = M._tambrel_waiting_for_click();
    described = `${document.title}|${waiting}`;
    const words = M.UTF8ToString(M._tambrel_mode_description(M._tambrel_mode_on(), waiting));
    const line = document.getElementById('now');
    if (line) line.textContent = words;
    surface.setAttribute('aria-description', words);
  }

  // Sessions. The file is the header the program writes, then its records as
  // one zlib stream (what the browser's streams call "deflate").
  async function deflate(bytes) {
    const compressed = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate'));
    return new Uint8Array(await new Response(compressed).arrayBuffer());
  }

  function concat(...parts) {
    const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
    let at = 0;
    for (const p of parts) out.set(p, at), at += p.length;
    return out;
  }

  async function session() {
    const at = M._tambrel_session(), size = M._tambrel_session_size(), head = M._tambrel_session_header_size();
    const raw = M.HEAPU8.slice(at, at + size);
    return concat(raw.subarray(0, head), await deflate(raw.subarray(head)));
  }

  // Plays a session at its recorded pace. Resolves once it has ended (or
  // was taken over) and the page is the visitor's; rejects with the
  // reader's reason, the running session left as it was. `file` is a Blob
  // (a dropped or picked file) or bytes.
  async function replay(file, name = 'session', atMs = 0) {
    const blob = file instanceof Blob ? file : new Blob([file]);
    if (blob.size > MAX_FILE) throw new Error('it is larger than any session can be');
    const first = new Uint8Array(await blob.slice(0, LONGEST_HEADER).arrayBuffer());
    M.HEAPU8.set(first, M._tambrel_session_in(first.length)); // no memory grows between the view and the copy
    const head = M._tambrel_session_header_length();
    if (head < 0) throw new Error(M.UTF8ToString(M._tambrel_error()));
    // Inflated twice: counted first, stopping past the limit, then into the
    // program's buffer of exactly that size; nothing of a bomb is kept.
    const records = () => blob.slice(head).stream();
    const size = await inflate(records(), MAX_RECORDS, null);
    await queue; // after the commands already on their way
    const at = M._tambrel_session_in(head + size);
    M.HEAPU8.set(first.subarray(0, head), at);
    const filled = await inflate(records(), size, (chunk, offset) => M.HEAPU8.set(chunk, at + head + offset));
    if (filled !== size) throw new Error('the file changed while it was read');
    const earlier = replaying;
    if (M._tambrel_replay(head, atMs, performance.now()) < 0) throw new Error(M.UTF8ToString(M._tambrel_error()));
    if (earlier) { // it ended where it was
      for (const landed of earlier.landings) landed();
      earlier.resolve();
    }
    if (clipping) clipping.stopped = 'a session was opened while it was made'; // it would show the wrong run
    return new Promise((resolve, reject) => {
      replaying = { name, resolve, reject, shown: 0, landings: [] };
      showReplay(performance.now(), true);
    });
  }

  // The replay as the program has it: { positionMs (a seek's target while
  // it goes there), durationMs, reachMs, speed, paused, seeking, seekReachMs,
  // switches }, or null when none plays.
  function replayState() {
    const at = M._tambrel_replay_info();
    if (!at) return null;
    const v = M.HEAPF64.subarray(at / 8, at / 8 + 8);
    const switches = [...M.HEAPF64.subarray(at / 8 + 8, at / 8 + 8 + v[7])];
    return { positionMs: v[0], durationMs: v[1], reachMs: v[2], speed: v[3], paused: v[4] !== 0, seeking: v[5] !== 0,
      seekReachMs: v[6], switches };
  }

  // "1:05" or "1:02:03"; with tenths "1:05.3".
  const clock = (ms, tenths = false) => {
    const s = Math.floor(ms / 1000), two = (n) => String(n).padStart(2, '0');
    const whole = s >= 3600 ? `${Math.floor(s / 3600)}:${two(Math.floor(s / 60) % 60)}:${two(s % 60)}` : `${Math.floor(s / 60)}:${two(s % 60)}`;
    return tenths ? `${whole}.${Math.floor(ms / 100) % 10}` : whole;
  };

  // The replay bar, in the line under the window (which keeps its height):
  // shown while a session plays, brought up to date a few times a second.
  function showReplay(now, at = false) {
    const bar = document.getElementById('replay'), line = document.getElementById('now');
    const r = replaying && replayState();
    const came = bar.hidden !== !r;
    bar.hidden = !r;
    line.hidden = !!r;
    if (!r || (!at && now - replaying.shown < 100)) return;
    replaying.shown = now;
    const timeline = document.getElementById('replay-timeline');
    document.getElementById('replay-name').textContent = `Replaying ${replaying.name}`;
    document.getElementById('replay-time').textContent = r.seeking ? `Going to ${clock(r.positionMs, r.paused)} (at ${clock(r.seekReachMs)})`
      : `${clock(r.positionMs, r.paused)} / ${clock(r.durationMs)}`;
    document.getElementById('replay-play').textContent = r.paused ? 'Play' : 'Pause';
    const speed = document.getElementById('replay-speed');
    if (Number(speed.value) !== r.speed) speed.value = String(r.speed);
    timeline.max = String(r.durationMs);
    if (document.activeElement !== timeline || !timeline.matches(':active')) timeline.value = String(r.positionMs);
    timeline.setAttribute('aria-valuetext', `${clock(r.positionMs)} of ${clock(r.durationMs)}`);
    const reach = (100 * r.reachMs) / Math.max(1, r.durationMs), played = (100 * r.positionMs) / Math.max(1, r.durationMs);
    const ticks = r.switches.map((t) => `linear-gradient(#222, #222) ${(100 * t) / Math.max(1, r.durationMs)}% 0 / 2px 5px no-repeat`);
    timeline.style.background = [...ticks, `linear-gradient(to right, #0b57d0 ${played}%, #888 ${played}% ${reach}%, #eee ${reach}%)`].join(', ');
  }

  function buildReplayBar() {
    const bar = document.getElementById('replay');
    bar.innerHTML = '<button type="button" id="replay-play" aria-keyshortcuts="Control+P" title="Pause or play (Ctrl+P)">Pause</button>' +
      '<span id="replay-name"></span> <span id="replay-time"></span>' +
      '<input type="range" id="replay-timeline" min="0" max="1" step="1000" value="0" aria-label="Replay position" ' +
      'title="Click or drag to go anywhere; the grey shows how far going there is quick">' +
      '<select id="replay-speed" aria-label="Speed" title="Speed (Ctrl+Minus slower, Ctrl+Plus faster)"></select>' +
      '<button type="button" id="replay-take" aria-keyshortcuts="Control+Enter" title="The page is yours from this picture on, ' +
      'as with any press or click (Ctrl+Enter)">Take Over</button>' +
      '<button type="button" id="replay-close" aria-label="Close the replay" title="End the replay here: the picture stays ' +
      'as it is, and the page is yours">×</button>';
    SPEEDS = Array.from({ length: M._tambrel_replay_speed_count() },
      (_, i) => [M._tambrel_replay_speed_at(i), M.UTF8ToString(M._tambrel_replay_speed_label(i))]);
    const speed = document.getElementById('replay-speed');
    for (const [value, label] of SPEEDS) speed.append(new Option(label, String(value)));
    document.getElementById('replay-play').addEventListener('click', () => replayPause());
    speed.addEventListener('change', () => replaySpeed(Number(speed.value)));
    document.getElementById('replay-timeline').addEventListener('input', (e) => replaySeek(Number(e.target.value)));
    document.getElementById('replay-take').addEventListener('click', () => takeOver());
    document.getElementById('replay-close').addEventListener('click', () => takeOver());
  }

  function replayPause(paused) {
    const r = replayState();
    if (!r) return;
    M._tambrel_replay_pause(paused ?? !r.paused, performance.now());
    showReplay(performance.now(), true);
  }

  function replaySpeed(speed) {
    if (!replayState()) return;
    M._tambrel_replay_speed(speed, performance.now());
    showReplay(performance.now(), true);
  }

  function stepSpeed(by) {
    M._tambrel_replay_step_speed(by, performance.now());
    showReplay(performance.now(), true);
  }

  function replaySeek(ms) {
    if (!replayState()) return;
    M._tambrel_replay_seek(Math.max(0, ms), performance.now());
    showReplay(performance.now(), true);
  }

  // The replay's keys, none of them a dialog key: false when `keys` is not one.
  function replayKey(keys) {
    const r = replayState();
    if (!r) return false;
    const act = {
      'Ctrl+P': () => replayPause(),
      'Ctrl+ArrowLeft': () => replaySeek(r.positionMs - 5000),
      'Ctrl+ArrowRight': () => replaySeek(r.positionMs + 5000),
      'Ctrl+Home': () => replaySeek(0),
      'Ctrl+End': () => replaySeek(r.durationMs),
      'Ctrl+-': () => stepSpeed(-1),
      'Ctrl+=': () => stepSpeed(1),
      'Ctrl+Shift++': () => stepSpeed(1),
      'Ctrl+Enter': () => takeOver(),
    }[keys];
    if (act) act();
    return !!act;
  }

  // The records of a compressed stream: their size, each handed to `put`
  // with its place as it comes. Refused past `limit`; the page breathes
  // between pieces.
  async function inflate(stream, limit, put) {
    // Fed a few kilobytes at a time: one piece inflates to at most a few
    // megabytes (deflate's ratio is at most about 1,000), so no one step
    // of a bomb holds the page up or takes its memory.
    const pieces = new TransformStream({
      transform(chunk, out) { for (let i = 0; i < chunk.length; i += INFLATE_PIECE) out.enqueue(chunk.subarray(i, i + INFLATE_PIECE)); },
    });
    const reader = stream.pipeThrough(pieces).pipeThrough(new DecompressionStream('deflate')).getReader();
    let size = 0, breath = performance.now();
    try {
      for (;;) {
        let piece;
        try {
          piece = await reader.read();
        } catch (e) {
          throw new Error('the compressed records are corrupt or cut short');
        }
        if (piece.done) return size;
        if (size + piece.value.length > limit) {
          throw new Error(put ? 'the file changed while it was read'
            : `the records take more than ${limit / 1024 / 1024} MiB (the most a session may hold)`);
        }
        if (put) put(piece.value, size);
        size += piece.value.length;
        if (performance.now() - breath > BREATH_MS) {
          await new Promise((resolve) => setTimeout(resolve));
          breath = performance.now();
        }
      }
    } finally {
      reader.cancel().catch(() => {});
    }
  }

  function endReplay(problem) {
    const r = replaying;
    replaying = null;
    for (const landed of r.landings) landed(); // no further to go
    showReplay(performance.now(), true);
    nextPass = performance.now(); // the program's own passes again
    if (problem) {
      say(`The replay stopped: ${problem}. The page is yours from where it stopped.`);
      r.reject(new Error(problem));
    } else {
      r.resolve();
    }
  }

  // A press or click of the visitor's own: the hand stops, and a replay
  // ends where it is.
  function takeOver() {
    stopPlaying();
    if (!replaying) return;
    M._tambrel_take_over();
    endReplay(null);
  }

  function toBase64Url(bytes) {
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  }

  function fromBase64Url(text) {
    const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    return Uint8Array.from(binary, (c) => c.charCodeAt(0));
  }

  // Keeping what the visitor sees: downloads, a file picker, a link.
  function timeStamped(extension) {
    const d = new Date(), two = (v) => String(v).padStart(2, '0');
    return `Tambrel ${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ` +
      `${two(d.getHours())}.${two(d.getMinutes())}.${two(d.getSeconds())}${extension}`;
  }

  // Into the browser's downloads, where its own settings put them; the page
  // says which file it handed over (whether the browser could write it, the
  // browser says: the page is not told).
  function download(blob, name) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }

  // A PNG's text chunks (tEXt, Latin-1 keys and values), after its header.
  const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
    return n >>> 0;
  });
  function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }
  function withText(png, entries) {
    const chunks = entries.map(([key, value]) => {
      const data = Uint8Array.from(`tEXt${key}\0${value}`, (ch) => ch.charCodeAt(0) & 0xff);
      const chunk = new Uint8Array(data.length + 8);
      const view = new DataView(chunk.buffer);
      view.setUint32(0, data.length - 4);
      chunk.set(data, 4);
      view.setUint32(data.length + 4, crc32(data));
      return chunk;
    });
    const afterHeader = 8 + 25; // the signature, then IHDR: length, type, 13 bytes, CRC
    return concat(png.subarray(0, afterHeader), ...chunks, png.subarray(afterHeader));
  }

  // The surface's exact pixels: the canvas element holds them one to one,
  // with what the picture is (the program, the mode, the seed) as text.
  // Resolves to the picture's Blob, or null where none was made.
  async function savePicture() {
    blit();
    const text = M.UTF8ToString(M._tambrel_picture_text()).split('\n').filter(Boolean).map((line) => line.split('\t'));
    const made = await new Promise((resolve) => surface.toBlob(resolve, 'image/png'));
    if (!made) {
      say('The picture could not be saved: the browser could not make it.');
      return null;
    }
    const blob = new Blob([withText(new Uint8Array(await made.arrayBuffer()), text)], { type: 'image/png' });
    const name = timeStamped('.png');
    download(blob, name);
    say(`Picture "${name}" handed to your browser's downloads.`);
    return blob;
  }

  async function screenPictureAllowed(what, yes) {
    return !M._tambrel_session_has_screen() ||
      await ask(`${M.UTF8ToString(M._tambrel_screen_notice())}\n\n${what}`, [[yes, true], ['Cancel', false]]);
  }

  async function saveSession() {
    if (!await screenPictureAllowed('Save the session with the picture?', 'Save')) return;
    const name = timeStamped('.tambrel');
    download(new Blob([await session()], { type: 'application/octet-stream' }), name);
    say(`Session "${name}" handed to your browser's downloads. Open it here, or in Tambrel on a desktop, to watch it again.`);
  }

  function openFile(file) {
    say('');
    replay(file, file.name).catch((e) => say(`Tambrel cannot replay ${file.name}: ${e.message}. The running session is as it was.`));
  }

  async function shareLink() {
    const bytes = await session();
    if (bytes.length > LINK_LIMIT) {
      say(`This session is ${Math.ceil(bytes.length / 1024)} KB, too long for a link (a link holds up to ${LINK_LIMIT / 1024} KB). Save it as a file instead.`,
        [['Save Session', saveSession]]);
      return;
    }
    if (!await screenPictureAllowed('The picture goes with the link: whoever opens it sees it. Make the link with the picture?',
      'Make Link')) return;
    // From the page's own address: a page opened from a file has no origin
    // ("null"), but its address still opens it.
    const address = new URL(location.href);
    address.hash = `session=${toBase64Url(bytes)}`;
    const link = address.href;
    const onlyHere = address.protocol === 'file:';
    try {
      await navigator.clipboard.writeText(link);
      say(onlyHere ? 'Link copied. The page was opened from a file, so the link opens it on this computer only.'
        : 'Link copied. Whoever opens it sees this session replayed, then the page is theirs.');
    } catch (e) {
      say('Copy this link:', [], link);
    }
  }

  // Save Clip: the last seconds rendered again from the session in the
  // page, a picture at a time between its own passes, and encoded by the
  // browser: WebCodecs through the bundled WebM muxer, else a MediaRecorder.
  let clipSeconds = 10; // as the last clip asked for, for the run
  let lastClipSpan = null; // the session's stretch the last clip holds, in milliseconds
  async function askClipSeconds() {
    const seconds = await ask('Save Clip', [['Save', true], ['Cancel', null]],
      { before: 'The last ', min: 1, max: M._tambrel_longest_clip_seconds(), value: clipSeconds, after: ' seconds, as a video' });
    if (seconds) clipSeconds = seconds;
    return seconds;
  }

  async function saveClip(seconds) {
    if (clipping) {
      say('A clip is being made already.');
      return null;
    }
    const job = clipping = { cancelled: false, stopped: '' }; // at once: a second call meanwhile waits for none
    let ms = -1;
    try {
      seconds = seconds ?? await askClipSeconds();
      if (!seconds) return null;
      await queue; // the commands already on their way belong in it
      ms = M._tambrel_clip_begin(seconds);
    } finally {
      if (ms < 0) clipping = null;
    }
    if (ms < 0) {
      say(`Tambrel cannot make a clip: ${M.UTF8ToString(M._tambrel_error())}.`);
      return null;
    }
    const to = M._tambrel_clip_to() >>> 0; // unsigned
    job.message = say('Making the clip…', [['Cancel', () => { job.cancelled = true; }]]);
    job.pictures = 0; // made so far, of about one every 20 ms of the clip
    job.expected = Math.max(1, Math.round(ms / 20));
    try {
      if (encoderCrashed()) throw new Error(ENCODER_CRASHED);
      markEncoding(true);
      const clip = await (async () => {
        try {
          return await encodeWithWebCodecs(clipFrames(job)) ?? await encodeWithRecorder(clipFrames(job));
        } finally {
          markEncoding(false);
        }
      })();
      const name = timeStamped(clip.type.startsWith('video/mp4') ? '.mp4' : '.webm');
      download(clip, name);
      lastClipSpan = { fromMs: to - ms, toMs: to };
      say(`Clip "${name}" handed to your browser's downloads (${Math.round(ms / 100) / 10} s, ${Math.ceil(clip.size / 1024)} KB).`);
      return clip;
    } catch (e) {
      say(job.cancelled ? 'The clip was cancelled.'
        : job.stopped ? `The clip was stopped: ${job.stopped}.` : `Tambrel could not make the clip: ${e.message}.`);
    } finally {
      M._tambrel_clip_cancel();
      clipping = null;
    }
    return null;
  }

  // The clip's pictures as the program hands them over, each with its time
  // on screen; the pixels are the program's and valid until the next one.
  async function* clipFrames(job) {
    const [w, h] = layout.surface;
    let slice = performance.now();
    for (;;) {
      if (job.cancelled || job.stopped) throw new Error('cancelled');
      if (performance.now() - slice > CLIP_SLICE_MS) {
        await new Promise((resolve) => setTimeout(resolve));
        slice = performance.now();
        showClipProgress(job);
      }
      const next = M._tambrel_clip_next();
      if (next === 2) {
        job.pictures = job.expected; // the encoder finishes the file
        showClipProgress(job);
        return;
      }
      if (next < 0) throw new Error(M.UTF8ToString(M._tambrel_error()));
      if (next === 1) {
        job.started ??= performance.now();
        ++job.pictures;
      }
      if (next === 1 || next === 3) {
        yield { pixels: M.HEAPU8.subarray(M._tambrel_clip_pixels(), M._tambrel_clip_pixels() + w * h * 4), w, h,
          from: M._tambrel_clip_from(), until: M._tambrel_clip_until(), seen: next === 1 };
      }
    }
  }

  // How far the clip is, and about how long the rest takes, from the
  // pictures made so far: the replay up to the clip's start is quick, the
  // pictures are the work, and the pace of all of them is steadier than
  // that of the last few.
  function showClipProgress(job) {
    const words = document.querySelector('#notice .words');
    if (job.message !== messages || !words) return;
    const done = Math.min(1, job.pictures / job.expected);
    if (done >= 1) {
      words.textContent = 'Making the clip… 100 %, finishing the file';
      return;
    }
    const spent = job.started === undefined ? 0 : (performance.now() - job.started) / 1000;
    const left = job.pictures >= 10 ? Math.max(1, Math.round((spent / job.pictures) * (job.expected - job.pictures))) : null;
    words.textContent = `Making the clip… ${Math.floor(done * 100)} %` + (left === null ? '' : `, about ${left} s left`);
  }

  // The clip's encoders, best first. VP9's profile 1 keeps every pixel's
  // own colour (4:4:4: at the canvas's size, 4:2:0 would blur the colour of
  // every edge of the rings); where an engine lacks it, 4:2:0 at twice the
  // size in blocks keeps it as well (as the desktop's MP4 does); VP8 before
  // AV1, which one engine makes ten times slower and with no colours
  // declared. All at a
  // constant quantizer chosen by measurement (tools/web/clip_bench.mjs): 10 s
  // of the densest rings come to 38 dB in RGB and about 110 MB, clouds to
  // 35 dB and 27 MB.
  const CLIP_CODECS = [
    { codec: 'vp9', fullCodecString: 'vp09.01.31.08.03.01.01.01.00', scale: 1 },
    { codec: 'vp9', fullCodecString: 'vp09.00.40.08', scale: 2 },
    { codec: 'vp8', fullCodecString: 'vp8', scale: 2 },
    { codec: 'av1', fullCodecString: 'av01.0.08M.08', scale: 2 },
  ];
  // A browser whose page died while it made a clip (an engine's media
  // framework can take the whole page down) is not asked again: a mark that
  // only a clip's end, or the page's own closing, takes away. A newer
  // browser (another user agent) is asked again.
  const ENCODING_KEY = 'tambrel-encoding';
  const ENCODER_CRASHED = 'this browser\'s video encoder stopped the page the last time it was used, so Tambrel makes no clips in it';
  const encoderCrashed = () => { try { return localStorage.getItem(ENCODING_KEY) === navigator.userAgent; } catch { return false; } };
  const markEncoding = (on) => { try { on ? localStorage.setItem(ENCODING_KEY, navigator.userAgent) : localStorage.removeItem(ENCODING_KEY); } catch {} };

  // How close a picture came back, in dB over R, G and B.
  function psnr(a, b) {
    let se = 0, n = 0;
    for (let i = 0; i < a.length; i += 4) for (let k = 0; k < 3; ++k, ++n) se += (a[i + k] - b[i + k]) ** 2;
    return se === 0 ? Infinity : 10 * Math.log10((255 * 255 * n) / se);
  }

  // Whether an engine's encoder makes what it says it makes, read back
  // through its own decoder: engines may take a configuration and encode
  // another (4:2:0 for 4:4:4) or shift the colours. A small picture with
  // one-pixel detail in the modes' saturated colours, in blocks of the
  // encoder's scale, must come back within 35 dB.
  async function encodesTrue({ fullCodecString: codec, scale }) {
    const n = 32, w = n * scale, rgba = new Uint8Array(w * w * 4);
    const colours = [[75, 241, 6], [255, 0, 0], [0, 0, 255], [255, 255, 255], [20, 20, 20], [255, 160, 0]];
    for (let y = 0; y < w; ++y) {
      for (let x = 0; x < w; ++x) rgba.set([...colours[(Math.floor(x / scale) * 7 + Math.floor(y / scale) * 3) % colours.length], 255], (y * w + x) * 4);
    }
    const config = { codec, width: w, height: w, bitrate: 8e6 };
    if (!(await VideoEncoder.isConfigSupported(config).catch(() => ({}))).supported) return false;
    let chunk = null, decoderConfig = null, back = null;
    const encoder = new VideoEncoder({ output: (c, meta) => { chunk ??= c; decoderConfig ??= meta?.decoderConfig; }, error: () => {} });
    const decoder = new VideoDecoder({ output: (f) => { back ??= f; }, error: () => {} });
    try {
      encoder.configure(config);
      const frame = new VideoFrame(rgba, { format: 'RGBX', codedWidth: w, codedHeight: w, timestamp: 0 });
      encoder.encode(frame, { keyFrame: true });
      frame.close();
      await encoder.flush();
      if (!chunk) return false;
      decoder.configure(decoderConfig ?? { codec });
      decoder.decode(chunk);
      await decoder.flush();
      if (!back) return false;
      const c = new OffscreenCanvas(w, w), g = c.getContext('2d');
      g.drawImage(back, 0, 0);
      return psnr(rgba, g.getImageData(0, 0, w, w).data) >= 35;
    } catch {
      return false;
    } finally {
      back?.close();
      if (encoder.state !== 'closed') encoder.close();
      if (decoder.state !== 'closed') decoder.close();
    }
  }

  let clipCodec; // the first of CLIP_CODECS this browser makes true (null: none), once asked
  async function trueCodec() {
    if (clipCodec !== undefined) return clipCodec;
    clipCodec = null;
    if (!window.VideoEncoder || !window.VideoDecoder || !window.OffscreenCanvas) return null;
    for (const c of CLIP_CODECS) if (await encodesTrue(c)) return (clipCodec = c);
    return null;
  }

  // WebM, every picture on the clip's 20 ms grid (as the program hands them
  // over) at its own time and duration, through the first encoder this
  // browser makes true; null where it has none.
  async function encodeWithWebCodecs(frames) {
    const V = window.TambrelVideo;
    const choice = V && await trueCodec();
    if (!choice) return null;
    const { codec, fullCodecString, scale } = choice;
    const quality = new V.Quality({ quantizer: CLIP_QUANTIZER, bitrate: CLIP_FALLBACK_BITRATE * scale * scale });
    const output = new V.Output({ format: new V.WebMOutputFormat(), target: new V.BufferTarget() });
    const source = new V.VideoSampleSource({ codec, fullCodecString, quality });
    output.addVideoTrack(source);
    await output.start();
    const add = async (pixels, w, h, fromMs, untilMs) => {
      // 0x00BBGGRR words are R, G, B, X bytes
      const sample = new V.VideoSample(blocks(pixels, w, h, scale), { format: 'RGBX', codedWidth: w * scale, codedHeight: h * scale,
        timestamp: fromMs / 1000, duration: (untilMs - fromMs) / 1000 });
      await source.add(sample);
      sample.close();
    };
    try {
      let last = null, newest = null;
      for await (const f of frames) {
        newest = { pixels: f.pixels.slice(), w: f.w, h: f.h };
        if (!f.seen) continue;
        last = { from: f.from, until: f.until };
        await add(newest.pixels, f.w, f.h, f.from, f.until);
      }
      // The file lasts as long as its blocks' times reach, not their
      // durations: the newest picture once more at the clip's end, so that
      // the last shows until then instead of vanishing as soon as it came,
      // and the clip ends on what the screen showed last.
      if (last && last.until - last.from > 1) await add(newest.pixels, newest.w, newest.h, last.until - 1, last.until);
      await output.finalize();
    } catch (e) {
      await output.cancel().catch(() => {});
      throw e;
    }
    return new Blob([output.target.buffer], { type: 'video/webm' });
  }

  // Each pixel as a scale x scale block (a copy at scale 1).
  function blocks(pixels, w, h, scale) {
    if (scale === 1) return pixels.slice();
    const from = new Uint32Array(pixels.buffer, pixels.byteOffset, w * h), to = new Uint32Array(w * h * scale * scale);
    for (let y = 0, at = 0; y < h; ++y) {
      const row = at;
      for (let x = 0; x < w; ++x) to.fill(from[y * w + x], at, at += scale);
      for (let k = 1; k < scale; ++k) to.copyWithin(at, row, row + w * scale), at += w * scale;
    }
    return new Uint8Array(to.buffer);
  }

  // A canvas of its own, filmed by a MediaRecorder as the pictures are put
  // on it at their times: it takes as long as the clip lasts. Twice the
  // size in blocks, so that a recorder's 4:2:0 keeps each pixel's colour.
  async function encodeWithRecorder(frames) {
    const [w, h] = layout.surface;
    const type = ['video/webm;codecs=vp9', 'video/webm', 'video/mp4'].find((t) => window.MediaRecorder?.isTypeSupported(t));
    if (!type) throw new Error('this browser can make no videos');
    const film = document.createElement('canvas'), scratch = document.createElement('canvas');
    film.width = 2 * w, film.height = 2 * h, scratch.width = w, scratch.height = h;
    const ctx = film.getContext('2d'), picture = new ImageData(w, h), words = new Uint32Array(picture.data.buffer);
    ctx.imageSmoothingEnabled = false;
    const stream = film.captureStream(0), track = stream.getVideoTracks()[0];
    const recorder = new MediaRecorder(stream, { mimeType: type, videoBitsPerSecond: 8e6 });
    const parts = [], stopped = new Promise((resolve) => { recorder.onstop = resolve; });
    recorder.ondataavailable = (e) => parts.push(e.data);
    recorder.start();
    const start = performance.now(), until = (ms) => new Promise((resolve) => setTimeout(resolve, start + ms - performance.now()));
    let end = 0;
    try {
      for await (const f of frames) {
        if (!f.seen) continue;
        words.set(new Uint32Array(f.pixels.buffer, f.pixels.byteOffset, w * h));
        for (let i = 0; i < words.length; ++i) words[i] |= 0xFF000000;
        await until(f.from);
        scratch.getContext('2d').putImageData(picture, 0, 0);
        ctx.drawImage(scratch, 0, 0, 2 * w, 2 * h);
        track.requestFrame();
        end = f.until;
      }
      await until(end);
    } finally {
      recorder.stop();
      await stopped;
      track.stop();
    }
    return new Blob(parts, { type: type.split(';')[0] });
  }

  // A short message under the window, with buttons for what can be done
  // next and, for a link the browser would not copy, the link to select.
  // Each replaces the last; the returned mark takes this one away, unless
  // another came since.
  let messages = 0;
  function say(text, actions = [], link = '') {
    const box = document.getElementById('notice');
    const words = document.createElement('span');
    words.className = 'words';
    words.textContent = text;
    box.replaceChildren(...(text ? [words] : []));
    for (const [label, act] of actions) {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = label;
      b.addEventListener('click', act);
      box.append(' ', b);
    }
    if (link) {
      const field = document.createElement('input');
      field.readOnly = true;
      field.value = link;
      field.setAttribute('aria-label', 'Share link');
      box.append(' ', field);
      field.select();
    }
    return ++messages;
  }

  function unsay(mark) {
    if (mark === messages) say('');
  }

  // A question in the page's own style: the text, an optional number to
  // enter, and a button per answer; resolves to the chosen answer's value
  // (the number's, for one that takes it), or null for Escape.
  let questions = 0;
  function ask(text, answers, number = null) {
    const box = document.createElement('dialog');
    box.className = 'box';
    const form = document.createElement('form');
    form.method = 'dialog';
    const words = document.createElement('p');
    words.id = `ask-${++questions}`;
    words.textContent = text;
    box.setAttribute('aria-labelledby', words.id);
    form.append(words);
    let field = null;
    if (number) {
      const label = document.createElement('label');
      field = document.createElement('input');
      Object.assign(field, { type: 'number', min: number.min, max: number.max, value: number.value, required: true });
      label.append(number.before, field, number.after);
      form.append(label);
    }
    const actions = document.createElement('p');
    actions.className = 'actions';
    answers.forEach(([label, value], i) => {
      const b = document.createElement('button');
      b.value = i;
      b.textContent = label;
      if (value === null) b.formNoValidate = true;
      if (i === 0) b.className = 'default';
      actions.append(b);
    });
    form.append(actions);
    box.append(form);
    document.getElementById('stage').append(box);
    return new Promise((resolve) => {
      box.addEventListener('close', () => {
        const answer = box.returnValue === '' ? null : answers[Number(box.returnValue)]; // '': Escape
        box.remove();
        resolve(!answer || answer[1] === null ? null : field && answer[1] === true ? Number(field.value) : answer[1]);
      });
      box.showModal();
      (field ?? actions.firstElementChild).focus();
    });
  }

  const ENTRIES = [ // label, action, the desktop's shortcut
    ['Save Picture', savePicture, 'Ctrl+S'],
    ['Save Clip…', () => saveClip(), 'Ctrl+E'],
    ['Save Session', saveSession, 'Ctrl+Shift+S'],
    ['Open Session…', () => document.getElementById('open').click(), 'Ctrl+O'],
    ['Share Link', shareLink, ''],
    ['Play by Itself', () => (playing ? stopPlaying() : play()), 'Ctrl+Shift+P'],
    ['Full Screen', fullScreen, 'F'],
    ['About Tambrel', showAbout, 'F1'],
  ];

  // Play by Itself: a hand of the program's own moves, clicks and goes from
  // mode to mode, as in a shop window, until the visitor presses, clicks,
  // taps, types or moves over the canvas. What it plays is the session, as
  // a visitor's play is.
  function play(seed = crypto.getRandomValues(new Uint32Array(1))[0]) {
    takeOver(); // a replay ends where it is
    return enqueue(() => {
      M._tambrel_play(seed >>> 0, PLAY_SECONDS_PER_MODE);
      playing = { from: performance.now(), moved: null };
      if (nextPass === Infinity) nextPass = performance.now();
      showPlaying();
      keepAwake();
    });
  }

  function stopPlaying() {
    if (!playing) return;
    M._tambrel_stop_playing();
    playing = null;
    wakeLock?.release().catch(() => {});
    wakeLock = null;
    showPlaying();
  }

  function playStep() {
    if (!M._tambrel_play_step(performance.now() - playing.from)) return;
    if (nextPass === Infinity) nextPass = performance.now();
    delay();
  }

  function showPlaying() {
    for (const b of document.querySelectorAll('#bar button, #menu button')) {
      if (b.textContent.startsWith('Play by Itself')) b.setAttribute('aria-pressed', playing ? 'true' : 'false');
    }
  }

  async function keepAwake() {
    if (wakeLock || !navigator.wakeLock) return;
    try {
      wakeLock = await navigator.wakeLock.request('screen');
    } catch {
      wakeLock = null; // refused (a hidden page, a policy): the screen may dim, nothing else changes
    }
  }

  // The canvas alone on the whole screen, in whole device pixels on black.
  async function fullScreen() {
    const frame = dialog.querySelector('#frame');
    try {
      if (document.fullscreenElement) await document.exitFullscreen();
      else await frame.requestFullscreen({ navigationUI: 'hide' });
    } catch (e) {
      say(`Full screen is not available here: ${e && e.message ? e.message : e}`);
    }
  }

  function fitFullScreen() {
    const frame = dialog.querySelector('#frame'), [sw, sh] = layout.surface, dpr = window.devicePixelRatio || 1;
    if (document.fullscreenElement !== frame) return;
    const most = Math.min((window.innerWidth * dpr) / sw, (window.innerHeight * dpr) / sh);
    const k = most >= 1 ? Math.floor(most) : most; // a screen smaller than the canvas gets all of it
    frame.style.setProperty('--full-width', (sw * k) / dpr + 'px');
    frame.style.setProperty('--full-height', (sh * k) / dpr + 'px');
  }

  function showAbout() {
    const about = document.getElementById('about');
    about.open = true;
    about.querySelector('summary').focus();
    about.scrollIntoView({ block: 'nearest' });
  }

  // The desktop's shortcuts, anywhere on the page but in a question.
  function shortcut(e) {
    if (document.querySelector('dialog[open]')) return;
    const keys = (e.ctrlKey || e.metaKey ? 'Ctrl+' : '') + (e.shiftKey ? 'Shift+' : '') +
      (e.key.length === 1 ? e.key.toUpperCase() : e.key);
    if (replayKey(keys)) {
      e.preventDefault();
      return;
    }
    const entry = ENTRIES.find(([, , k]) => k === keys);
    if (!entry) return;
    e.preventDefault();
    closeMenu();
    entry[1]();
  }

  // The entries twice: in the canvas's context menu, and in a bar under the
  // window for touch screens and keyboards (never inside the window).
  function buildKeeping() {
    const open = document.createElement('input');
    open.type = 'file';
    open.id = 'open';
    open.accept = '.tambrel';
    open.hidden = true;
    open.addEventListener('change', () => {
      if (open.files[0]) openFile(open.files[0]);
      open.value = '';
    });
    const bar = document.getElementById('bar');
    const menu = document.createElement('div');
    menu.id = 'menu';
    menu.setAttribute('role', 'menu');
    menu.hidden = true;
    for (const [label, act, keys] of ENTRIES) {
      const b = document.createElement('button');
      b.type = 'button';
      b.textContent = label;
      if (keys) {
        b.setAttribute('aria-keyshortcuts', keys);
        b.title = keys;
      }
      b.addEventListener('click', () => act());
      bar.append(b);
      const item = document.createElement('button');
      item.type = 'button';
      item.setAttribute('role', 'menuitem');
      const name = document.createElement('span'), hint = document.createElement('span');
      name.textContent = label;
      hint.textContent = keys;
      hint.className = 'keys';
      hint.setAttribute('aria-hidden', 'true');
      item.append(name, hint);
      if (keys) item.setAttribute('aria-keyshortcuts', keys);
      item.addEventListener('click', () => { closeMenu(); act(); });
      menu.append(item);
    }
    document.getElementById('stage').append(open, menu);
    menu.addEventListener('contextmenu', (e) => e.preventDefault());
    document.addEventListener('keydown', shortcut);
    document.addEventListener('pointerdown', (e) => { if (!menu.contains(e.target)) closeMenu(); });
    menu.addEventListener('keydown', (e) => {
      const items = [...menu.children], at = items.indexOf(document.activeElement);
      if (e.key === 'Escape' || e.key === 'Tab') closeMenu();
      else if (e.key === 'ArrowDown') items[(at + 1) % items.length].focus();
      else if (e.key === 'ArrowUp') items[(at + items.length - 1) % items.length].focus();
      else return;
      e.preventDefault();
    });
    window.addEventListener('blur', closeMenu);
  }

  // A finger on the canvas: held still, it opens the menu; lifted sooner,
  // or moved away (a stroke), it is a click, which a held finger must not
  // be: in Clouds a click paints over the picture the visitor meant to keep.
  function holdForMenu(down, click) {
    const timer = setTimeout(() => { done(); openMenu(down.clientX, down.clientY); }, LONG_PRESS_MS);
    const clicked = () => { done(); click(); };
    const moved = (e) => { if (Math.hypot(e.clientX - down.clientX, e.clientY - down.clientY) > 10) clicked(); };
    const done = () => {
      clearTimeout(timer);
      surface.removeEventListener('pointermove', moved);
      surface.removeEventListener('pointerup', clicked);
      surface.removeEventListener('pointercancel', done);
    };
    surface.addEventListener('pointermove', moved);
    surface.addEventListener('pointerup', clicked);
    surface.addEventListener('pointercancel', done);
  }

  let menuOpener = null; // what had the focus before the menu, and gets it back
  function openMenu(x, y) {
    const menu = document.getElementById('menu');
    if (menu.hidden) menuOpener = document.activeElement;
    menu.hidden = false;
    const w = menu.offsetWidth, h = menu.offsetHeight;
    menu.style.left = Math.max(0, Math.min(x, innerWidth - w)) + scrollX + 'px';
    menu.style.top = Math.max(0, Math.min(y, innerHeight - h)) + scrollY + 'px';
    menu.firstElementChild.focus();
  }

  function closeMenu() {
    const menu = document.getElementById('menu');
    if (!menu || menu.hidden) return;
    menu.hidden = true;
    (menuOpener && menuOpener !== document.body ? menuOpener : surface).focus();
    menuOpener = null;
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
      if (!Number.isInteger(n) || n < 0 || n > MOST_STEPS) {
        throw new RangeError(`step takes a whole number of passes from 0 to ${MOST_STEPS}, not ${String(n)}`);
      }
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
    session, // the session so far, as the file's bytes (a promise of a Uint8Array)
    replay: (bytes, name) => replay(bytes, name ?? 'session'), // plays it; resolves once the page is the visitor's
    // A replay steered as its bar steers it. seek resolves once the page
    // shows the session's state at that time (or the replay ended on the
    // way: a newer seek, a take-over); speeds are 0.25 to 8, or Infinity
    // for as fast as it goes.
    seek: (ms) => {
      if (typeof ms !== 'number' || !(ms >= 0)) throw new RangeError(`seek takes a time in milliseconds, not ${String(ms)}`);
      if (!replayState()) return Promise.reject(new Error('no session is replaying'));
      replaySeek(Math.min(ms, 4294967295));
      return new Promise((resolve) => replaying.landings.push(resolve));
    },
    speed: (x) => {
      const speed = x === Infinity ? 0 : x;
      if (!SPEEDS.some(([s]) => s === speed) || speed === 0 && x !== Infinity) {
        throw new RangeError(`speed takes ${SPEEDS.map(([s]) => s || 'Infinity').join(', ')}, not ${String(x)}`);
      }
      if (!replayState()) throw new Error('no session is replaying');
      replaySpeed(speed);
    },
    replayInfo: () => {
      const r = replayState();
      return r && { durationMs: r.durationMs, positionMs: r.positionMs, speed: r.speed || Infinity, paused: r.paused, name: replaying.name,
        seeking: r.seeking };
    },
    savePicture, // downloads the canvas's picture; resolves to its Blob (null: none)
    play: (seed) => play(seed), // Play by Itself (from a seed, to repeat a show)
    playing: () => playing !== null,
    saveClip: (seconds) => saveClip(seconds), // the last seconds, downloaded; resolves to the video's Blob (null: none)
    clipSpan: () => lastClipSpan, // { fromMs, toMs } of the session the last clip made holds
    passes: () => passes, // run so far, by the scheduler and by step
  };
})();
