// kestrelvue.js: plays the browser's and the plug-in's part for pages that embed application/x-pan panoramas, on the core built to WebAssembly.
//
// A page adds one line, <script src=".../kestrelvue.js"></script>, anywhere. Every <embed> or
// <object> of type application/x-pan, or whose src/data names a ".pan" file, now or added later,
// becomes a viewer of the same size in the same place. The core (kestrelvue-core.mjs and
// kestrelvue-core.wasm, beside this file) does everything the plug-in's controller did; this script
// does what the browser and the viewer window did around it: fetching files, the thumbnail rule,
// mouse steering, hot spots, the context menu and its commands, clips and sprites, messages.
//
// window.Kestrelvue: ready (a promise of the core), viewers() (the live viewer windows),
// scan(root) (replace the panorama elements under root now), createViewer(element, url).
(function () {
  'use strict';
  if (window.Kestrelvue) return;

  const kPanType = 'application/x-pan';
  const kScriptUrl = document.currentScript ? document.currentScript.src : document.baseURI;
  const kBase = new URL('.', kScriptUrl).href;

  // What the plug-in's message boxes are titled: its module name.
  const kCaption = 'Qorvane';
  const kDownloading = 'Downloading full panorama.';
  const kUnknownMedia = 'CKVPWin::PlayMultiMedia(): Unknown multimedia type.';
  const kWindowTitle = 'KVP Window';
  const kMenu = [
    { id: 32775, text: 'Help' },
    { id: 32771, text: 'Save As' },
    { id: 32774, text: 'Reset Panorama' },
    { id: 32773, text: 'About' },
    { id: 32777, text: 'Launch External Viewer' },
  ];
  const kHelp = {
    caption: 'Kestrelvue Panorama Plugin Help',
    title: 'Navigating in Kestrelvue Panorama',
    lines: ['Left Mouse Button: pan and tilt', 'Left Mouse Button + Shift: pan and zoom',
      'Right Mouse Button: menu'],
  };
  const kAbout = {
    caption: 'About Kestrelvue Panorama Plugin',
    maker: 'Tarnwick',
    version: 'Kestrelvue Panorama Plugin Version 3.0',
    notes: ['Drag to look around.', 'Right-click for the menu.'],
    legal: ['This plug-in is distributed under the licence that comes with it.',
      'It is provided as is, without warranty of any kind.',
      'Picture: Mars from Husband Hill, NASA/JPL-Caltech/Cornell (public domain).'],
  };
  // Beyond the plug-in: keyboard speeds in degrees per second, the edge speeds of a mouse press.
  const kKeyTurn = 60;
  const kKeyZoom = 30;
  const kUnlimited = -1;
  // Frames asked for to smooth a view that stopped, before the viewer gives up on it.
  const kSettleRounds = 3;
  const kStopped = 0;
  const kKindSprite = 2;
  const kKindHotspot = 4;
  const kLinkLimit = 511;

  // ---- The core --------------------------------------------------------------------------------

  // One core module serves every viewer on the page; its functions take the viewer's id.
  class Core {
    constructor(module) {
      this.module = module;
      const w = (name, ret, args) => module.cwrap(name, ret, args);
      this.create = w('kv_create', 'number', ['number', 'number']);
      this.destroy = w('kv_destroy', null, ['number']);
      this.resize = w('kv_resize', 'number', ['number', 'number', 'number']);
      this.frame = w('kv_frame', 'number', ['number', 'number']);
      this.pixels = w('kv_pixels', 'number', ['number']);
      this.fileBegin = w('kv_file_begin', 'number', ['string']);
      this.fileWriteRaw = w('kv_file_write', 'number', ['number', 'number', 'number']);
      this.fileEnd = w('kv_file_end', 'number', ['number', 'number']);
      this.malloc = w('kv_malloc', 'number', ['number']);
      this.free = w('kv_free', null, ['number']);
      this.open = w('kv_open', 'number', ['number', 'string', 'number']);
      this.requestFrames = w('kv_request_frames', 'number', ['number', 'number', 'number']);
      this.getFrameRateRaw = w('kv_get_frame_rate', 'number', ['number']);
      this.setView = w('kv_set_view', 'number',
        ['number', 'number', 'number', 'number', 'number', 'number']);
      this.getViewRaw = w('kv_get_view', 'number', ['number', 'number']);
      const motion = (name) => w(name, 'number', ['number', 'number', 'number', 'number']);
      this.setHeadingMotion = motion('kv_set_heading_motion');
      this.setPitchMotion = motion('kv_set_pitch_motion');
      this.setRollMotion = motion('kv_set_roll_motion');
      this.setZoomMotion = motion('kv_set_zoom_motion');
      this.setForwardMotion = motion('kv_set_forward_motion');
      this.setTravelDirection = w('kv_set_travel_direction', 'number',
        ['number', 'number', 'number', 'number']);
      this.setViewLimitsRaw = w('kv_set_view_limits', 'number', ['number', 'number', 'number']);
      this.pickRaw = w('kv_pick', 'number', ['number', 'number', 'number', 'number']);
      this.hotspotLink = w('kv_hotspot_link', 'string', ['number', 'number']);
      this.placeSprite = w('kv_place_sprite', 'number', ['number', 'string', 'number']);
      this.pollRaw = w('kv_poll', 'number', ['number']);
      this.isSettled = w('kv_is_settled', 'number', ['number']);
      // Room for the calls that answer through pointers: four doubles, or eight integers.
      this.scratch = this.malloc(64);
    }

    heap() { return this.module.HEAPU8; }  // afresh each time: memory may have grown

    fileWrite(handle, bytes) {
      const at = this.malloc(bytes.length);
      if (!at) return -1;
      this.heap().set(bytes, at);
      const result = this.fileWriteRaw(handle, at, bytes.length);
      this.free(at);
      return result;
    }

    getView(id) {
      this.getViewRaw(id, this.scratch);
      return Array.from(new Float64Array(this.heap().buffer, this.scratch, 4));
    }

    getFrameRate(id) {
      const rate = this.getFrameRateRaw(id);
      return rate > 0 ? rate : 0;
    }

    setViewLimits(id, kind, values) {
      new Int32Array(this.heap().buffer, this.scratch, values.length).set(values);
      return this.setViewLimitsRaw(id, kind, this.scratch);
    }

    pick(id, x, y) {
      new Int32Array(this.heap().buffer, this.scratch, 1)[0] = 0;
      const index = this.pickRaw(id, x, y, this.scratch);
      const kind = new Int32Array(this.heap().buffer, this.scratch, 1)[0];
      return { index, kind };
    }

    poll(id) {
      const at = this.pollRaw(id);
      if (!at) return null;
      try {
        return JSON.parse(this.module.UTF8ToString(at));
      } catch (e) {
        return null;
      }
    }

    imageData(id, width, height) {
      const at = this.pixels(id);
      if (!at) return null;
      const bytes = new Uint8ClampedArray(this.heap().buffer, at, width * height * 4);
      return new ImageData(bytes, width, height);
    }
  }

  let corePromise = null;
  function loadCore() {
    if (!corePromise) {
      corePromise = import(kBase + 'kestrelvue-core.mjs')
        .then((m) => m.default({ locateFile: (f) => kBase + f }))
        .then((module) => new Core(module));
    }
    return corePromise;
  }

  // The browser's part of a stream: fetches `url` and hands it to the core in the chunks the
  // network delivers. Resolves to true when the whole file is stored under the URL; a failed
  // fetch ends the file as aborted, so the core's own open reports what the plug-in reported.
  async function fetchIntoCore(core, url) {
    const handle = core.fileBegin(url);
    if (handle <= 0) return false;
    try {
      const response = await fetch(url);
      if (!response.ok) {
        core.fileEnd(handle, 0);
        return false;
      }
      const reader = response.body.getReader();
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        if (core.fileWrite(handle, value) < 0) {
          core.fileEnd(handle, 0);
          return false;
        }
      }
      return core.fileEnd(handle, 1) === 0;
    } catch (e) {
      core.fileEnd(handle, 0);
      return false;
    }
  }

  // ---- The frame loop --------------------------------------------------------------------------

  // The plug-in's timer and render thread become one step per animation frame for all viewers.
  const live = new Set();
  let looping = false;

  function startLoop() {
    if (looping) return;
    looping = true;
    requestAnimationFrame(loop);
  }

  function loop(now) {
    for (const viewer of live) viewer.step(now);
    if (live.size > 0) {
      requestAnimationFrame(loop);
    } else {
      looping = false;
    }
  }

  // ---- Geometry --------------------------------------------------------------------------------

  // The speeds of the viewer window: degrees per second from the pointer's offset from the
  // centre, 60 at the edges, truncated toward zero as the window's integer arithmetic did.
  function steeringFor(x, y, width, height) {
    const cx = Math.trunc(width / 2);
    const cy = Math.trunc(height / 2);
    return {
      a: cx !== 0 ? Math.trunc((60.0 / cx) * (cx - x)) : 0,
      b: cy !== 0 ? Math.trunc((60.0 / cy) * (cy - y)) : 0,
    };
  }

  // Where a thumbnail is drawn: half the window, rounded up to whole blocks of 32, centred.
  function thumbnailRectangle(width, height) {
    const hw = Math.trunc(width / 2);
    const hh = Math.trunc(height / 2);
    const w = hw - (hw % 32) + 32;
    const h = hh - (hh % 32) + 32;
    const left = Math.trunc((width - w) / 2);
    const top = Math.trunc((height - h) / 2);
    return [left, top, left + w, top + h];
  }

  // The thumbnail's full panorama: the URL without the underscore of its first "/_".
  function fullPanoramaUrl(url) {
    const p = url.indexOf('/_');
    return url.slice(0, p + 1) + url.slice(p + 2);
  }

  function fileNameOf(url) {
    try {
      const path = new URL(url).pathname;
      return decodeURIComponent(path.slice(path.lastIndexOf('/') + 1)) || 'panorama.pan';
    } catch (e) {
      return 'panorama.pan';
    }
  }

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = 'kv-' + className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // ---- Looks -----------------------------------------------------------------------------------

  const kStyle = `
.kv-viewer{display:inline-block;position:relative;overflow:hidden;background:#000;
  vertical-align:baseline;outline:none;touch-action:none;user-select:none;-webkit-user-select:none;
  font:12px/1.3 system-ui,sans-serif;color:#000}
.kv-viewer:focus-visible{box-shadow:0 0 0 2px #48f}
.kv-canvas{position:absolute;left:0;top:0;width:100%;height:100%;cursor:move}
.kv-notice{position:absolute;left:10px;top:10px;background:#fff;color:#000;padding:0;
  font:13px system-ui,sans-serif;pointer-events:none}
.kv-status{position:absolute;left:0;right:0;bottom:0;padding:2px 6px;background:rgba(0,0,0,.6);
  color:#fff;white-space:nowrap;overflow:hidden;text-overflow:ellipsis;pointer-events:none}
.kv-status:empty{display:none}
.kv-full{position:absolute;right:4px;top:4px;width:24px;height:24px;padding:0;border:0;
  border-radius:3px;background:rgba(0,0,0,.45);color:#fff;font-size:16px;line-height:24px;
  cursor:pointer;opacity:.6}
.kv-full:hover,.kv-full:focus-visible{opacity:1}
.kv-menu{position:fixed;z-index:2147483647;background:#f0f0f0;border:1px solid #888;
  box-shadow:2px 2px 4px rgba(0,0,0,.35);padding:2px 0;min-width:170px;font:12px system-ui,sans-serif}
.kv-menu div{padding:3px 20px;cursor:default}
.kv-menu div:hover{background:#0a246a;color:#fff}
.kv-menu div.kv-grey{color:#999;background:none}
.kv-dialog{position:absolute;left:50%;top:50%;transform:translate(-50%,-50%);z-index:3;
  background:#f0f0f0;border:1px solid #666;box-shadow:2px 2px 6px rgba(0,0,0,.5);
  min-width:200px;max-width:calc(100% - 16px);max-height:calc(100% - 16px);overflow:auto;color:#000}
.kv-caption{background:#0a246a;color:#fff;padding:2px 6px;font-weight:bold}
.kv-body{padding:10px 12px}
.kv-body p{margin:4px 0}
.kv-body img{float:left;max-width:45%;margin:0 10px 6px 0}
.kv-buttons{text-align:center;padding:0 0 8px}
.kv-buttons button{min-width:70px}
.kv-clip{position:absolute;left:0;top:0;width:100%;height:100%;background:#000;z-index:2}
.kv-external{position:fixed;z-index:2147483646;left:5vw;top:5vh;width:90vw;height:90vh;
  display:flex;flex-direction:column;background:#f0f0f0;border:1px solid #444;
  box-shadow:0 4px 24px rgba(0,0,0,.5)}
.kv-external>.kv-caption{display:flex;justify-content:space-between;align-items:center}
.kv-external>.kv-caption button{border:0;background:none;color:#fff;font-size:16px;cursor:pointer}
.kv-external>.kv-viewer{flex:1;display:block}
`;

  function addStyle() {
    if (document.getElementById('kv-style')) return;
    const style = el('style');
    style.id = 'kv-style';
    style.textContent = kStyle;
    (document.head || document.documentElement).appendChild(style);
  }

  // ---- The viewer window -----------------------------------------------------------------------

  // One window in the page (or the external viewer): a canvas showing the core's offscreen
  // window, the mouse and keyboard steering, the menu, the player and the messages.
  class ViewerWindow {
    constructor(core, instance, box, external) {
      this.core = core;
      this.instance = instance;   // the embedded element's record: files arrive there
      this.box = box;
      this.external = external;
      this.id = 0;
      this.hasController = false;
      this.thumbnailMode = 0;
      this.pendingHotspot = -1;
      this.externalViewer = null;
      this.device = null;         // the playing <audio> or <video>: the plug-in's MCI device
      this.busy = false;          // Reset Panorama's second of animation: input waits
      this.keys = new Set();
      this.touches = new Map();
      this.pinch = null;
      this.running = false;       // the core's frame timer runs (until its "idle" request)
      this.continuous = false;    // ... asked for without end
      this.settleRounds = 0;      // frames asked for since the view stopped, to smooth it
      this.idleWaiters = [];
      this.stopCallbacks = [];    // run once when the frames asked for have all been drawn
      this.width = 0;
      this.height = 0;
      this.firstFrameAt = 0;      // page time of the first picture, for the benchmark

      box.classList.add('kv-viewer');
      box.tabIndex = 0;
      this.canvas = el('canvas', 'canvas');
      this.context = this.canvas.getContext('2d', { alpha: false });
      this.status = el('div', 'status');
      this.notice = null;
      box.append(this.canvas, this.status);
      if (document.fullscreenEnabled && !external) {
        // Four corners drawn rather than a character: not every system font has one.
        const full = el('button', 'full');
        full.innerHTML = '<svg viewBox="0 0 16 16" width="16" height="16" fill="none" ' +
          'stroke="currentColor" stroke-width="2" style="vertical-align:middle">' +
          '<path d="M1 6V1h5M10 1h5v5M15 10v5h-5M6 15H1v-5"/></svg>';
        full.type = 'button';
        full.title = 'Fullscreen';
        full.addEventListener('click', () => this.toggleFullscreen());
        full.addEventListener('pointerdown', (e) => e.stopPropagation());
        box.append(full);
      }
      this.listen();
    }

    // Pixel size of the drawing: the box's size in device pixels, so a high-density screen
    // gets a picture of its own resolution rather than a stretched one.
    pixelSize() {
      const ratio = Math.min(window.devicePixelRatio || 1, 2);
      const w = Math.max(1, Math.round(this.box.clientWidth * ratio));
      const h = Math.max(1, Math.round(this.box.clientHeight * ratio));
      return [w, h];
    }

    create() {
      [this.width, this.height] = this.pixelSize();
      this.id = this.core.create(this.width, this.height);
      if (this.id <= 0) {
        this.showMessage('Mem Fault', kCaption);
        return false;
      }
      this.canvas.width = this.width;
      this.canvas.height = this.height;
      live.add(this);
      startLoop();
      this.resizeObserver = new ResizeObserver(() => this.fitSize());
      this.resizeObserver.observe(this.box);
      return true;
    }

    fitSize() {
      if (!this.id) return;
      const [w, h] = this.pixelSize();
      if (w === this.width && h === this.height) return;
      if (this.core.resize(this.id, w, h) !== 0) return;
      this.running = this.running || this.hasController;  // the core redraws at the new size
      this.width = w;
      this.height = h;
      this.canvas.width = w;
      this.canvas.height = h;
      if (!this.hasController) return;
      if (this.thumbnailMode === 1) {
        this.core.setViewLimits(this.id, 1, thumbnailRectangle(w, h));
      }
      this.requestFrames(1, 1);
    }

    // Frees the viewer and everything it owns; called when its element leaves the page.
    destroy() {
      if (!this.id) return;
      this.closeMenu();
      if (this.externalViewer) this.externalViewer.close();
      this.closeDevice();
      if (this.resizeObserver) this.resizeObserver.disconnect();
      live.delete(this);
      this.core.destroy(this.id);
      this.id = 0;
      this.hasController = false;
      this.running = false;
      this.stopCallbacks = [];
      for (const resolve of this.idleWaiters) resolve();
      this.idleWaiters = [];
    }

    // The controller's RequestFrames, keeping track of whether the core's timer runs.
    requestFrames(count, mode) {
      const result = this.core.requestFrames(this.id, count, mode);
      if (result === 0) {
        this.running = true;
        this.settleRounds = 0;
        if (count < 0) this.continuous = true;
        else if (count === 0) this.continuous = false;
      }
      return result;
    }

    // One animation frame: the core's timers and render step, its requests, the picture.
    step(now) {
      if (!this.id) return;
      const changed = this.core.frame(this.id, now);
      let request;
      while (this.id && (request = this.core.poll(this.id)) !== null) this.handleRequest(request);
      if (!this.id) return;
      if (changed) {
        const image = this.core.imageData(this.id, this.width, this.height);
        if (image) this.context.putImageData(image, 0, 0);
        if (!this.firstFrameAt && this.hasController) this.firstFrameAt = performance.now();
      }
      if (this.idleWaiters.length > 0 && this.isStill()) {
        const waiters = this.idleWaiters;
        this.idleWaiters = [];
        for (const resolve of waiters) resolve();
      }
    }

    // The picture stands still: no frames are coming (or only copies of the cached one, in
    // a run without end), and the view has been smoothed, unless it could not be.
    isStill() {
      if (!this.hasController) return true;
      if (this.running && !this.continuous) return false;
      return this.settleRounds >= kSettleRounds || this.core.isSettled(this.id) === 1;
    }

    // Resolves once the picture stands still in its smoothed frame, as `kvp render` draws it.
    whenIdle() {
      if (this.isStill()) return Promise.resolve();
      if (!this.running) this.settle();
      return new Promise((resolve) => this.idleWaiters.push(resolve));
    }

    // A window on the screen is painted again now and then, and the plug-in's paint asked
    // for a frame: a view that stands still got its smoothed frame that way. A canvas is not
    // painted by anyone, so the frame is asked for once the frames have run out.
    settle() {
      if (!this.hasController || this.settleRounds >= kSettleRounds) return;
      if (this.core.isSettled(this.id) === 1) return;
      if (this.core.requestFrames(this.id, 1, 1) !== 0) return;
      ++this.settleRounds;
      this.running = true;
    }

    handleRequest(request) {
      if (request.type === 'notify' && request.what === 'idle') {
        this.running = false;
        this.continuous = false;
        const callbacks = this.stopCallbacks;
        this.stopCallbacks = [];
        for (const callback of callbacks) callback();
        this.settle();
      } else if (request.type === 'fetch') {
        // A tour's next node: the loader takes it whenever it has arrived.
        fetchIntoCore(this.core, request.url);
      } else if (request.type === 'open' && this.pendingOpen) {
        const { thumbnail, view } = this.pendingOpen;
        this.pendingOpen = null;
        if (request.code === 0) this.configure(thumbnail, view);
        else this.canvas.style.cursor = '';
      } else if (request.type === 'message') {
        this.showMessage(request.text, request.caption || kCaption);
      }
    }

    // ---- Panorama hand-over ----

    // Shows the stored file `url`: the thumbnail (flag 1), drawn at half size with its notice
    // and only panned sideways, or the full panorama (flag 0), which keeps the view shown.
    resisterPanorama(url, thumbnail) {
      if (!this.id) return 1;
      let view = [0, 0, 0, 60.0];
      if (this.hasController) view = this.core.getView(this.id);
      this.hasController = false;
      this.canvas.style.cursor = 'wait';
      const opened = this.core.open(this.id, url, 0);
      if (opened === -1) {
        // A tour waits for its node files; the core reports the open when they are in.
        this.pendingOpen = { url, thumbnail, view };
        return 1;
      }
      if (opened !== 0) {
        this.canvas.style.cursor = '';
        return 0;
      }
      return this.configure(thumbnail, view);
    }

    configure(thumbnail, view) {
      this.hasController = true;
      this.canvas.style.cursor = 'move';
      if (thumbnail) {
        this.thumbnailMode = 1;
        if (!this.notice) {
          this.notice = el('div', 'notice', kDownloading);
          this.box.append(this.notice);
        }
        this.core.setViewLimits(this.id, 1, thumbnailRectangle(this.width, this.height));
        this.core.setViewLimits(this.id, 2, [-360, 360, 0, 0, 0, 0, 60, 60]);
      } else {
        this.thumbnailMode = 0;
        if (this.notice) {
          this.notice.remove();
          this.notice = null;
        }
        this.core.setView(this.id, view[0], view[1], view[2], view[3], 0);
        this.core.setViewLimits(this.id, 2, [-360, 360, -360, 360, -360, 360, 30, 120]);
      }
      this.requestFrames(1, 1);
      return 1;
    }

    // ---- Input ----

    listen() {
      const c = this.canvas;
      c.addEventListener('pointerdown', (e) => this.onPointerDown(e));
      c.addEventListener('pointermove', (e) => this.onPointerMove(e));
      c.addEventListener('pointerup', (e) => this.onPointerUp(e));
      c.addEventListener('pointercancel', (e) => this.onPointerUp(e));
      c.addEventListener('pointerleave', () => {
        if (!this.thumbnailMode) this.setStatus('');
      });
      c.addEventListener('contextmenu', (e) => {
        e.preventDefault();
        this.openMenu(e.clientX, e.clientY);
      });
      this.box.addEventListener('keydown', (e) => this.onKey(e, true));
      this.box.addEventListener('keyup', (e) => this.onKey(e, false));
      this.box.addEventListener('blur', () => this.releaseKeys());
    }

    // Client coordinates of the window in its own pixels.
    pointOf(e) {
      const r = this.canvas.getBoundingClientRect();
      const sx = r.width > 0 ? this.width / r.width : 1;
      const sy = r.height > 0 ? this.height / r.height : 1;
      return [Math.floor((e.clientX - r.left) * sx), Math.floor((e.clientY - r.top) * sy)];
    }

    steer(s, shift, headingFactor) {
      const k = this.core;
      if (shift) {
        k.setHeadingMotion(this.id, 3.0 * s.a, kUnlimited, 0);
        k.setPitchMotion(this.id, 0.0, kStopped, 0);
        k.setZoomMotion(this.id, -s.b, kUnlimited, 0);
      } else {
        k.setHeadingMotion(this.id, headingFactor * s.a, kUnlimited, 0);
        k.setPitchMotion(this.id, 3.0 * s.b, kUnlimited, 0);
        k.setZoomMotion(this.id, 0.0, kStopped, 0);
      }
    }

    stopMotion() {
      const k = this.core;
      k.setHeadingMotion(this.id, 0.0, kStopped, 0);
      k.setPitchMotion(this.id, 0.0, kStopped, 0);
      k.setZoomMotion(this.id, 0.0, kStopped, 0);
    }

    onPointerDown(e) {
      if (e.button !== 0) return;
      this.box.focus({ preventScroll: true });
      this.closeMenu();
      if (!this.hasController || this.busy) return;
      e.preventDefault();
      if (e.pointerType === 'touch') {
        this.touches.set(e.pointerId, [e.clientX, e.clientY]);
        if (this.touches.size === 2) {
          this.startPinch();
          return;
        }
        if (this.touches.size > 2) return;
      }
      const [x, y] = this.pointOf(e);
      if (this.activateHotspot(x, y)) return;
      this.canvas.setPointerCapture(e.pointerId);
      // The press turns at a third of the rate of a drag.
      this.steer(steeringFor(x, y, this.width, this.height), e.shiftKey, 1.0);
      this.requestFrames(-1, 1);
    }

    onPointerMove(e) {
      if (!this.hasController || this.busy) return;
      if (e.pointerType === 'touch' && this.touches.has(e.pointerId)) {
        this.touches.set(e.pointerId, [e.clientX, e.clientY]);
        if (this.pinch) {
          this.movePinch();
          return;
        }
      }
      const [x, y] = this.pointOf(e);
      const s = steeringFor(x, y, this.width, this.height);
      const { index } = this.core.pick(this.id, x, y);
      if (index >= 0) {
        this.canvas.style.cursor = 'pointer';
        this.setStatus(this.core.hotspotLink(this.id, index).slice(0, kLinkLimit));
      } else if (this.thumbnailMode !== 1) {
        this.canvas.style.cursor = 'move';
        this.setStatus('');
      }
      if (e.buttons & 1) {
        this.steer(s, e.shiftKey, 3.0);
      } else if (this.keys.size === 0) {
        this.stopMotion();
      }
    }

    onPointerUp(e) {
      if (e.pointerType === 'touch') {
        this.touches.delete(e.pointerId);
        if (this.pinch) {
          if (this.touches.size < 2) this.pinch = null;
          return;
        }
      }
      if (!this.hasController || this.busy) return;
      if (this.canvas.hasPointerCapture(e.pointerId)) this.canvas.releasePointerCapture(e.pointerId);
      this.stopMotion();
      this.requestFrames(1, 1);  // one more frame ends the continuous run
    }

    // Two fingers: the field of view follows the spread of the fingers, the view holds still.
    startPinch() {
      this.stopMotion();
      const [a, b] = [...this.touches.values()];
      this.pinch = { distance: Math.hypot(a[0] - b[0], a[1] - b[1]) || 1,
        fov: this.core.getView(this.id)[3] };
      this.requestFrames(1, 1);
    }

    movePinch() {
      const [a, b] = [...this.touches.values()];
      const distance = Math.hypot(a[0] - b[0], a[1] - b[1]) || 1;
      const [h, p, r] = this.core.getView(this.id);
      const fov = this.pinch.fov * this.pinch.distance / distance;
      this.core.setView(this.id, h, p, r, fov, 0);
      this.requestFrames(1, 1);
    }

    onKey(e, down) {
      if (e.target !== this.box || !this.hasController || this.busy) return;
      const axes = { ArrowLeft: 'h+', ArrowRight: 'h-', ArrowUp: 'p+', ArrowDown: 'p-',
        '+': 'z-', '=': 'z-', '-': 'z+', '_': 'z+', Add: 'z-', Subtract: 'z+' };
      const axis = axes[e.key];
      if (!axis) return;
      e.preventDefault();
      if (down) {
        if (this.keys.has(axis)) return;
        this.keys.add(axis);
      } else {
        this.keys.delete(axis);
      }
      this.applyKeys();
    }

    applyKeys() {
      const k = this.core;
      const speed = (plus, minus, rate) =>
        (this.keys.has(plus) ? rate : 0) - (this.keys.has(minus) ? rate : 0);
      const h = speed('h+', 'h-', kKeyTurn);
      const p = speed('p+', 'p-', kKeyTurn);
      const z = speed('z+', 'z-', kKeyZoom);
      k.setHeadingMotion(this.id, h, h ? kUnlimited : kStopped, 0);
      k.setPitchMotion(this.id, p, p ? kUnlimited : kStopped, 0);
      k.setZoomMotion(this.id, z, z ? kUnlimited : kStopped, 0);
      this.requestFrames(this.keys.size > 0 ? -1 : 1, 1);
    }

    releaseKeys() {
      if (this.keys.size === 0 || !this.hasController) return;
      this.keys.clear();
      this.applyKeys();
    }

    setStatus(text) {
      if (this.status.textContent !== text) this.status.textContent = text;
    }

    toggleFullscreen() {
      if (document.fullscreenElement === this.box) {
        document.exitFullscreen().catch(() => {});
      } else {
        this.box.requestFullscreen().catch(() => {});
      }
    }

    // ---- Hot spots ----

    // A press on a hot spot follows its link instead of steering: clips and sprite pictures
    // are fetched for the instance, anything else replaces the page.
    activateHotspot(x, y) {
      const { index, kind } = this.core.pick(this.id, x, y);
      if (index < 0) {
        this.pendingHotspot = -1;
        return false;
      }
      if (kind === kKindHotspot) {
        const link = this.core.hotspotLink(this.id, index).slice(0, kLinkLimit);
        this.pendingHotspot = -1;
        if (link.includes('.avi') || link.includes('.wav')) {
          this.instance.getURL(link, null);
        } else if (link.includes('.avt')) {
          this.pendingHotspot = index;
          this.instance.getURL(link, null);
        } else {
          this.instance.getURL(link, '_self');
        }
        return true;
      }
      if (kind === kKindSprite) this.pendingHotspot = index;
      return true;
    }

    // A clip that has arrived: sound plays in an <audio> element, a video over the viewer when
    // the browser decodes it; anything else is refused as the plug-in refused it.
    playMultiMedia(url) {
      if (url.includes('.wav') || url.includes('.WAV')) {
        this.closeDevice();
        const audio = el('audio', 'sound');
        audio.src = url;
        this.device = audio;
        this.box.append(audio);
        // A sound the browser will not play stays silent, as a failed MCI command did.
        audio.play().catch(() => {});
        return 1;
      }
      if (url.includes('.avi') || url.includes('.AVI')) {
        this.closeDevice();
        this.playVideo(url);
        return 1;
      }
      this.showMessage(kUnknownMedia, kCaption);
      return 0;
    }

    playVideo(url) {
      const video = el('video', 'clip');
      const cannot = () => {
        if (this.device !== video) return;
        this.closeDevice();
        this.showMessage(null, kCaption, (body) => {
          body.append(el('p', '', 'This browser cannot play the video clip.'));
          const p = el('p');
          const a = el('a', '', fileNameOf(url));
          a.href = url;
          a.target = '_blank';
          a.rel = 'noopener';
          p.append('Open it with a player of your own: ', a);
          body.append(p);
        });
      };
      const types = ['video/x-msvideo', 'video/avi', 'video/msvideo'];
      if (!types.some((t) => video.canPlayType(t))) {
        this.device = video;
        cannot();
        return;
      }
      video.src = url;
      video.addEventListener('error', cannot);
      video.addEventListener('ended', () => {
        if (this.device === video) this.closeDevice();
      });
      this.device = video;
      this.box.append(video);
      video.play().catch(cannot);
    }

    // The plug-in closed its device on every new clip, on Reset and on release.
    closeDevice() {
      const device = this.device;
      this.device = null;
      if (!device) return;
      device.pause();
      device.removeAttribute('src');
      device.remove();
    }

    // A sprite picture that has arrived goes into sprite 0 at the box of the hot spot whose
    // link fetched it; the pending index stays for a later file of the same click. One frame
    // shows it now rather than at the next movement.
    placeSprite(url) {
      if (!this.hasController) return 0;
      // Every sprite picture goes into sprite 0.
      if (this.core.placeSprite(this.id, url, this.pendingHotspot) !== 1) return 0;
      this.requestFrames(1, 1);
      return 1;
    }

    // ---- Menu and commands ----

    openMenu(clientX, clientY) {
      this.closeMenu();
      if (!this.hasController || this.busy) return;
      const menu = el('div', 'menu');
      menu.setAttribute('role', 'menu');
      for (const item of kMenu) {
        const entry = el('div', '', item.text);
        entry.setAttribute('role', 'menuitem');
        entry.dataset.command = String(item.id);
        const grey = item.id === 32777 && this.thumbnailMode === 1;
        if (grey) {
          entry.className = 'kv-grey';
          entry.setAttribute('aria-disabled', 'true');
        }
        entry.addEventListener('pointerdown', (e) => e.stopPropagation());
        entry.addEventListener('click', () => {
          if (grey) return;
          this.closeMenu();
          this.command(item.id);
        });
        menu.append(entry);
      }
      menu.style.left = clientX + 'px';
      menu.style.top = clientY + 'px';
      document.body.append(menu);
      // Keep it on the screen, as the system's menus are.
      const r = menu.getBoundingClientRect();
      if (r.right > window.innerWidth) menu.style.left = Math.max(0, clientX - r.width) + 'px';
      if (r.bottom > window.innerHeight) menu.style.top = Math.max(0, clientY - r.height) + 'px';
      this.menu = menu;
      this.menuCloser = (e) => {
        if (e.type === 'keydown' && e.key !== 'Escape') return;
        if (e.type === 'pointerdown' && menu.contains(e.target)) return;
        this.closeMenu();
      };
      setTimeout(() => {
        document.addEventListener('pointerdown', this.menuCloser, true);
        document.addEventListener('keydown', this.menuCloser, true);
      }, 0);
    }

    closeMenu() {
      if (!this.menu) return;
      this.menu.remove();
      this.menu = null;
      document.removeEventListener('pointerdown', this.menuCloser, true);
      document.removeEventListener('keydown', this.menuCloser, true);
    }

    command(id) {
      switch (id) {
        case 32775: return this.help();
        case 32771: return this.saveAs();
        case 32774: return this.resetPanorama();
        case 32773: return this.about();
        case 32777: return this.launchExternalViewer();
        default: return undefined;
      }
    }

    help() {
      this.showMessage(null, kHelp.caption, (body) => {
        body.append(el('p', '', kHelp.title));
        for (const line of kHelp.lines) body.append(el('p', '', line));
      });
    }

    about() {
      this.showMessage(null, kAbout.caption, (body) => {
        const picture = el('img');
        picture.src = kBase + 'qorvane.bmp';
        picture.alt = '';
        picture.onerror = () => picture.remove();
        body.append(picture, el('p', '', kAbout.maker), el('p', '', kAbout.version));
        for (const line of kAbout.notes) body.append(el('p', '', line));
        const legal = el('div');
        legal.style.clear = 'both';
        for (const line of kAbout.legal) legal.append(el('p', '', line));
        body.append(legal);
      });
    }

    // The browser's download stands for the file-save dialog and the copy of the saved file.
    saveAs() {
      const url = this.thumbnailMode === 1 ? this.instance.thumbnailUrl : this.instance.panoramaUrl;
      if (!url) return;
      const a = el('a');
      a.href = url;
      a.download = fileNameOf(url);
      document.body.append(a);
      a.click();
      a.remove();
    }

    // The view returns to heading, pitch and roll 0 at field of view 90 in one second: the
    // speeds are per second and the frames asked for are one second's worth.
    resetPanorama() {
      if (!this.hasController || this.busy) return;
      const k = this.core;
      const id = this.id;
      this.closeDevice();
      this.requestFrames(0, 1);
      const [h, p, r, f] = k.getView(id);
      k.setHeadingMotion(id, -h, -1, 0);
      k.setPitchMotion(id, -p, -1, 0);
      k.setRollMotion(id, -r, -1, 0);
      k.setZoomMotion(id, 90.0 - f, -1, 0);
      k.setForwardMotion(id, 0.0, -1, 0);
      const frames = k.getFrameRate(id);
      // The plug-in's window waited here for the animation's end; a page cannot block, so
      // the rest runs when the core says its frames are done, before any other frame.
      const finish = () => {
        this.busy = false;
        k.setHeadingMotion(id, 0.0, -1, 0);
        k.setPitchMotion(id, 0.0, -1, 0);
        k.setRollMotion(id, 0.0, -1, 0);
        k.setZoomMotion(id, 0.0, -1, 0);
        const view = k.getView(id);
        k.setTravelDirection(id, view[0], view[1], 0);
      };
      if (this.requestFrames(frames, 2) !== 0) {
        finish();  // refused: nothing waits, as the window's call returned at once
        return;
      }
      this.busy = true;
      this.stopCallbacks.push(finish);
    }

    // A larger viewer over the page on the same panorama file, rendering continuously.
    launchExternalViewer() {
      if (this.externalViewer) this.externalViewer.close();
      const frame = el('div', 'external');
      const caption = el('div', 'caption');
      const title = el('span', '', kWindowTitle);
      const close = el('button', '', '\u2715');
      close.type = 'button';
      close.title = 'Close';
      caption.append(title, close);
      const box = el('div');
      frame.append(caption, box);
      document.body.append(frame);
      const viewer = new ViewerWindow(this.core, this.instance, box, true);
      const owner = this;
      this.externalViewer = {
        viewer,
        close() {
          viewer.destroy();
          frame.remove();
          if (owner.externalViewer === this) owner.externalViewer = null;
        },
      };
      close.addEventListener('click', () => this.externalViewer && this.externalViewer.close());
      if (!viewer.create()) return;
      viewer.canvas.style.cursor = 'wait';
      if (viewer.core.open(viewer.id, this.instance.panoramaUrl || '', 0) === 0) {
        viewer.hasController = true;
        viewer.canvas.style.cursor = 'move';
        viewer.requestFrames(-1, 1);
      } else {
        viewer.canvas.style.cursor = '';
      }
      viewer.pendingHotspot = -1;
      box.focus({ preventScroll: true });
    }

    // ---- Messages ----

    // The plug-in's message boxes, drawn inside the viewer: the caption, the text (or what
    // `fill` puts in the body) and an OK button. A later box stacks over an earlier one.
    showMessage(text, caption, fill) {
      const box = el('div', 'dialog');
      box.setAttribute('role', 'alertdialog');
      const head = el('div', 'caption', caption);
      const body = el('div', 'body');
      if (fill) {
        fill(body);
      } else {
        body.append(el('p', 'message', text));
      }
      const buttons = el('div', 'buttons');
      const ok = el('button', '', 'OK');
      ok.type = 'button';
      ok.addEventListener('click', () => box.remove());
      buttons.append(ok);
      box.append(head, body, buttons);
      box.addEventListener('pointerdown', (e) => e.stopPropagation());
      box.addEventListener('contextmenu', (e) => e.stopPropagation());
      box.addEventListener('keydown', (e) => e.stopPropagation());
      this.box.append(box);
      return box;
    }
  }

  // ---- The embedded instance -------------------------------------------------------------------

  // What the browser kept for one embedded panorama: whether the full panorama has come, the
  // URLs it came from, and the window. Every file for it arrives through getURL.
  class Instance {
    constructor(core, box) {
      this.core = core;
      this.state = 0;  // 2 once the full panorama has arrived
      this.thumbnailUrl = null;
      this.panoramaUrl = null;
      this.window = new ViewerWindow(core, this, box, false);
    }

    // The browser's fetch for a link: `target` "_self" replaces the page; otherwise the file
    // comes back to this instance. Clips go to the media elements, which stream them
    // themselves; panoramas and sprite pictures are stored in the core first.
    getURL(link, target) {
      let url;
      try {
        url = new URL(link, document.baseURI).href;
      } catch (e) {
        return;
      }
      if (target === '_self') {
        window.location.assign(url);
        return;
      }
      if (this.state === 2 && !url.includes('.avt')) {
        this.streamAsFile(url, true);
        return;
      }
      fetchIntoCore(this.core, url).then((ok) => this.streamAsFile(url, ok));
    }

    // A file has arrived (or failed to): the thumbnail, the full panorama or a hot-spot target.
    streamAsFile(url, ok) {
      if (!this.window.id) return;  // the element has left the page meanwhile
      if (this.state === 2) {
        if (!ok) return;
        if (url.includes('.avt')) {
          this.window.placeSprite(url);
        } else {
          this.window.playMultiMedia(url);
        }
      } else if (!url.includes('/_')) {
        this.panoramaUrl = url;
        this.state = 2;
        this.window.resisterPanorama(url, 0);
      } else {
        this.thumbnailUrl = url;
        this.window.resisterPanorama(url, 1);
        this.getURL(fullPanoramaUrl(url), null);
      }
    }
  }

  // ---- Finding the panorama elements -----------------------------------------------------------

  const replaced = new WeakMap();  // box -> Instance

  function sourceOf(node) {
    const tag = node.tagName;
    if (tag === 'EMBED') return node.getAttribute('src');
    if (tag === 'OBJECT') {
      const data = node.getAttribute('data');
      if (data) return data;
      for (const param of node.querySelectorAll(':scope > param')) {
        const name = (param.getAttribute('name') || '').toLowerCase();
        if (name === 'src' || name === 'data' || name === 'filename') return param.getAttribute('value');
      }
    }
    return null;
  }

  function namesPanorama(source) {
    if (!source) return false;
    try {
      return new URL(source, document.baseURI).pathname.toLowerCase().endsWith('.pan');
    } catch (e) {
      return false;
    }
  }

  function isPanoramaElement(node) {
    if (node.nodeType !== 1 || (node.tagName !== 'EMBED' && node.tagName !== 'OBJECT')) return false;
    if (node.closest('.kv-viewer')) return false;
    const type = (node.getAttribute('type') || '').trim().toLowerCase();
    if (type === kPanType) return true;
    const source = sourceOf(node);
    return (node.tagName === 'EMBED' || node.hasAttribute('data') || !type) && namesPanorama(source);
  }

  // A length attribute as CSS: plain numbers are pixels, anything else ("50%") stays.
  function cssLength(value) {
    if (value === null || value.trim() === '') return null;
    return /^\s*\d+(\.\d+)?\s*$/.test(value) ? value.trim() + 'px' : value.trim();
  }

  function replaceElement(node) {
    // An <embed> inside an <object> that is itself replaced goes with it.
    const outer = node.parentElement && node.parentElement.closest('object');
    if (outer && isPanoramaElement(outer)) return;
    const source = sourceOf(node);
    if (!source) return;
    const rect = node.getBoundingClientRect();
    const box = document.createElement('div');
    for (const name of ['id', 'class', 'style', 'title', 'name']) {
      const value = node.getAttribute(name);
      if (value !== null) box.setAttribute(name, value);
    }
    const width = cssLength(node.getAttribute('width'));
    const height = cssLength(node.getAttribute('height'));
    box.style.width = width || (rect.width ? rect.width + 'px' : '300px');
    box.style.height = height || (rect.height ? rect.height + 'px' : '150px');
    const align = (node.getAttribute('align') || '').toLowerCase();
    if (align === 'left' || align === 'right') box.style.float = align;
    box.dataset.kvSrc = source;
    box.className = (box.className ? box.className + ' ' : '') + 'kv-viewer';
    node.replaceWith(box);
    // The box holds the element's place at once; the viewer moves in when the core is there.
    ready.then((core) => {
      if (!box.isConnected) return;
      const instance = new Instance(core, box);
      replaced.set(box, instance);
      if (instance.window.create()) instance.getURL(source, null);
    }, (error) => {
      box.style.background = '#fff';
      box.style.border = '1px solid #888';
      box.textContent = 'Kestrelvue: the panorama viewer could not be loaded (' +
        (error && error.message ? error.message : String(error)) + ').';
    });
  }

  function scan(root) {
    const found = [];
    if (isPanoramaElement(root)) found.push(root);
    if (root.querySelectorAll) {
      for (const node of root.querySelectorAll('embed, object')) {
        if (isPanoramaElement(node)) found.push(node);
      }
    }
    for (const node of found) {
      if (node.isConnected) replaceElement(node);
    }
  }

  // Viewers whose box has left the page are freed with everything they hold.
  function forget(node) {
    if (node.nodeType !== 1) return;
    const boxes = node.classList.contains('kv-viewer') ? [node] : node.querySelectorAll('.kv-viewer');
    for (const box of boxes) {
      const instance = replaced.get(box);
      if (instance && !box.isConnected) {
        instance.window.destroy();
        replaced.delete(box);
      }
    }
  }

  function watch() {
    scan(document.documentElement);
    const observer = new MutationObserver((records) => {
      for (const record of records) {
        for (const node of record.addedNodes) scan(node);
        for (const node of record.removedNodes) forget(node);
        if (record.type === 'attributes' && isPanoramaElement(record.target)) {
          scan(record.target);
        }
      }
    });
    observer.observe(document.documentElement, { childList: true, subtree: true,
      attributes: true, attributeFilter: ['src', 'data', 'type'] });
  }

  // An element that names a panorama must not flash a broken-plug-in box while the core loads.
  function hideUntilReplaced() {
    const style = el('style');
    style.textContent = 'embed[type="application/x-pan" i],object[type="application/x-pan" i]' +
      '{visibility:hidden}';
    (document.head || document.documentElement).appendChild(style);
  }

  function whenDocument(callback) {
    if (document.readyState === 'loading') {
      document.addEventListener('DOMContentLoaded', callback, { once: true });
    } else {
      callback();
    }
  }

  hideUntilReplaced();
  const ready = loadCore();
  const api = {
    ready,
    viewers() {
      return [...live];
    },
    scan(root) {
      scan(root || document.documentElement);
    },
    // A viewer in `element` showing `url` as the page would through an <embed>.
    createViewer(element, url) {
      return ready.then((core) => {
        const instance = new Instance(core, element);
        replaced.set(element, instance);
        if (instance.window.create()) instance.getURL(url, null);
        return instance.window;
      });
    },
    internals: { steeringFor, thumbnailRectangle, fullPanoramaUrl },
  };
  Object.defineProperty(window, 'Kestrelvue', { value: api });
  whenDocument(() => {
    addStyle();
    watch();
  });
})();
