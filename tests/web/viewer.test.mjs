// Browser tests of the page script: legacy pages with <embed>/<object> panoramas in headless Chromium, pictures compared with `kvp render`.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
  SkipTest, assert, chromium, chromiumPath, comparePixels, kvp, renderNative, repo, runTests,
  startServer,
} from './harness.mjs';

const site = path.join(repo, 'samples/site');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kvp-web-'));
const report = process.env.KVP_WEB_REPORT || path.join(repo, 'build/web/test-results/web.xml');

// ---- Pages and helpers -------------------------------------------------------------------------

// A page of our own under /t/, with the script line and `body`.
function writePage(name, body) {
  fs.writeFileSync(path.join(work, name), `<!doctype html>
<html><head><meta charset="utf-8"><title>${name}</title>
<script src="/kv/kestrelvue.js"></script>
<style>body{margin:0;padding:8px;font:14px sans-serif}</style></head>
<body>${body}</body></html>`);
  return `/t/${name}`;
}

// Opens `url` in a fresh page that records uncaught exceptions and console errors.
async function open(ctx, url, options = {}) {
  const context = await ctx.browser.newContext({
    viewport: { width: 1000, height: 800 }, deviceScaleFactor: options.scale || 1,
  });
  const page = await context.newPage();
  page.problems = [];
  page.on('pageerror', (e) => page.problems.push(`pageerror: ${e.message}`));
  page.on('console', (m) => {
    if (m.type() !== 'error') return;
    // The network's own line for a missing file is the browser's, not a fault of the page.
    if (options.allowMissing && m.text().startsWith('Failed to load resource')) return;
    page.problems.push(`console: ${m.text()}`);
  });
  ctx.pages.push(context);
  await page.goto(ctx.server.origin + url);
  return page;
}

function noProblems(page) {
  assert(page.problems.length === 0, `the page reported:\n${page.problems.join('\n')}`);
}

// Waits until viewer `index` shows a panorama (and the full one, unless `thumbnail`).
async function viewerReady(page, index = 0, { thumbnail = false } = {}) {
  await page.waitForFunction(([i, thumb]) => {
    const v = window.Kestrelvue && window.Kestrelvue.viewers()[i];
    return v && v.hasController && (thumb || v.thumbnailMode === 0);
  }, [index, thumbnail], { timeout: 15000 });
}

// Resolves once the viewer's picture has stopped changing.
async function settle(page, index = 0) {
  await page.evaluate((i) => window.Kestrelvue.viewers()[i].whenIdle(), index);
}

async function viewOf(page, index = 0) {
  return page.evaluate((i) => {
    const v = window.Kestrelvue.viewers()[i];
    return v.core.getView(v.id);
  }, index);
}

async function setView(page, view, index = 0) {
  await page.evaluate(([v4, i]) => {
    const v = window.Kestrelvue.viewers()[i];
    v.core.setView(v.id, v4[0], v4[1], v4[2], v4[3], 0);
    v.requestFrames(1, 1);
  }, [view, index]);
  await settle(page, index);
}

// The canvas as RGB rows top-down, with its size.
async function canvasPixels(page, index = 0) {
  const { width, height, data } = await page.evaluate((i) => {
    const c = window.Kestrelvue.viewers()[i].canvas;
    const rgba = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let text = '';
    for (let p = 0; p < rgba.length; p += 4) {
      text += String.fromCharCode(rgba[p], rgba[p + 1], rgba[p + 2]);
    }
    return { width: c.width, height: c.height, data: btoa(text) };
  }, index);
  return { width, height, rgb: Buffer.from(data, 'base64') };
}

async function canvasBox(page, index = 0) {
  return page.evaluate((i) => {
    const r = window.Kestrelvue.viewers()[i].canvas.getBoundingClientRect();
    return { x: r.left, y: r.top, width: r.width, height: r.height };
  }, index);
}

// The canvas must show exactly what `kvp render` draws of `file` at the viewer's own view.
async function expectNativePicture(page, file, label, index = 0) {
  const shown = await canvasPixels(page, index);
  const view = await viewOf(page, index);
  const native = renderNative(file, { width: shown.width, height: shown.height, view,
    out: path.join(work, `${label}.png`) });
  assert(native.width === shown.width && native.height === shown.height,
    `sizes differ: native ${native.width}x${native.height}, canvas ${shown.width}x${shown.height}`);
  const { differ, first } = comparePixels(shown.rgb, native.rgb);
  if (differ > 0) {
    fs.writeFileSync(path.join(work, `${label}-canvas.rgb`), shown.rgb);
  }
  assert(differ === 0, `${label}: ${differ} pixels differ from kvp render at view ` +
    `${view.map((v) => v.toFixed(3))}; first at (${first % shown.width}, ` +
    `${Math.floor(first / shown.width)}) (see ${work})`);
}

// A point of the viewer's window over the hot spot whose link contains `wanted`, turning the
// view around until one shows. Window pixels, and the page point over it.
async function findHotspot(page, wanted, index = 0) {
  for (let heading = 0; heading < 360; heading += 30) {
    await setView(page, [heading, 0, 0, 60], index);
    // Of the points over the hot spot that nothing of the viewer covers (its buttons), the
    // one nearest their middle.
    const hit = await page.evaluate(([w, i]) => {
      const v = window.Kestrelvue.viewers()[i];
      const r = v.canvas.getBoundingClientRect();
      const scale = r.width / v.width;
      const points = [];
      for (let y = 4; y < v.height; y += 6) {
        for (let x = 4; x < v.width; x += 6) {
          const { index: spot } = v.core.pick(v.id, x, y);
          if (spot < 0 || !v.core.hotspotLink(v.id, spot).includes(w)) continue;
          const top = document.elementFromPoint(r.left + (x + 0.5) * scale, r.top + (y + 0.5) * scale);
          if (top === v.canvas) points.push({ x, y });
        }
      }
      if (points.length === 0) return null;
      const mx = points.reduce((sum, p) => sum + p.x, 0) / points.length;
      const my = points.reduce((sum, p) => sum + p.y, 0) / points.length;
      const distance = (p) => Math.hypot(p.x - mx, p.y - my);
      return points.reduce((best, p) => (distance(p) < distance(best) ? p : best));
    }, [wanted, index]);
    if (hit) {
      const box = await canvasBox(page, index);
      const scale = await page.evaluate((i) => window.Kestrelvue.viewers()[i].width, index) /
        box.width;
      return { ...hit, pageX: box.x + (hit.x + 0.5) / scale, pageY: box.y + (hit.y + 0.5) / scale };
    }
  }
  throw new Error(`no hot spot with "${wanted}" in any direction`);
}

function angleDelta(after, before) {
  return ((after - before + 540) % 360) - 180;
}

// ---- Tests -------------------------------------------------------------------------------------

const tests = [];
const test = (name, body) => tests.push([name, body]);

test("the window's arithmetic: steering speeds, the thumbnail's rectangle, the full panorama's URL", async (ctx) => {
  const page = await open(ctx, writePage('numbers.html', ''));
  const got = await page.evaluate(() => {
    const { steeringFor, thumbnailRectangle, fullPanoramaUrl } = window.Kestrelvue.internals;
    return {
      edge: steeringFor(0, 100, 300, 200), top: steeringFor(150, 0, 300, 200),
      // Truncation toward zero: 0.4 x -51 is -20.4, which becomes -20, not -21.
      lowerRight: steeringFor(201, 151, 300, 200), tiny: steeringFor(0, 0, 1, 1),
      small: thumbnailRectangle(300, 200), vga: thumbnailRectangle(640, 480),
      directory: fullPanoramaUrl('http://h/a/_b/c.pan'), twice: fullPanoramaUrl('http://h/_a/_b.pan'),
    };
  });
  const want = {
    edge: { a: 60, b: 0 }, top: { a: 0, b: 60 }, lowerRight: { a: -20, b: -30 }, tiny: { a: 0, b: 0 },
    small: [70, 36, 230, 164], vga: [144, 112, 496, 368],
    directory: 'http://h/a/b/c.pan', twice: 'http://h/a/_b.pan',
  };
  for (const key of Object.keys(want)) {
    assert(JSON.stringify(got[key]) === JSON.stringify(want[key]),
      `${key}: ${JSON.stringify(got[key])}, want ${JSON.stringify(want[key])}`);
  }
});

test('a legacy <embed> becomes a viewer of its size that draws what kvp render draws', async (ctx) => {
  const url = writePage('mars.html', '<p>Before.</p>' +
    '<embed src="/site/mars.pan" type="application/x-pan" width="640" height="400">' +
    '<p id="after">After.</p>');
  const page = await open(ctx, url);
  await viewerReady(page);
  await settle(page);
  assert(await page.locator('embed').count() === 0, 'the <embed> is still in the page');
  const box = await canvasBox(page);
  assert(box.width === 640 && box.height === 400, `viewer is ${box.width}x${box.height}`);
  // A fresh viewer shows a full panorama at heading, pitch and roll 0, field of view 60.
  const view = await viewOf(page);
  assert(view.every((v, i) => Math.abs(v - [0, 0, 0, 60][i]) < 1e-9), `start view ${view}`);
  await expectNativePicture(page, path.join(site, 'mars.pan'), 'mars-start');
  // A turned view is the same picture too.
  await setView(page, [137.5, -12.25, 0, 75]);
  await expectNativePicture(page, path.join(site, 'mars.pan'), 'mars-turned');
  noProblems(page);
});

test('a thumbnail shows first with its notice, then the full panorama at the same view', async (ctx) => {
  ctx.server.delays['/site/mars.pan'] = 3000;
  try {
    const page = await open(ctx, '/site/index.html');
    await viewerReady(page, 0, { thumbnail: true });
    await settle(page);
    const during = await page.evaluate(() => {
      const v = window.Kestrelvue.viewers()[0];
      return { mode: v.thumbnailMode, notice: v.notice && v.notice.textContent };
    });
    assert(during.mode === 1, 'the thumbnail is not shown as a thumbnail');
    assert(during.notice === 'Downloading full panorama.', `notice: ${during.notice}`);
    // Only the middle, a half-size rectangle in blocks of 32, is drawn: (144,88)-(496,312).
    const thumb = await canvasPixels(page);
    const at = (x, y) => [...thumb.rgb.subarray((y * thumb.width + x) * 3, (y * thumb.width + x) * 3 + 3)];
    assert(at(320, 200).some((c) => c > 0), 'nothing drawn in the middle');
    assert(at(20, 390).every((c) => c === 0) && at(630, 20).every((c) => c === 0),
      'the thumbnail is drawn outside its rectangle');
    // The menu greys Launch External Viewer while the thumbnail shows.
    const b = await canvasBox(page);
    await page.mouse.click(b.x + 320, b.y + 200, { button: 'right' });
    const grey = await page.locator('.kv-menu [data-command="32777"]').getAttribute('aria-disabled');
    assert(grey === 'true', 'Launch External Viewer is not grey over a thumbnail');
    await page.keyboard.press('Escape');
    // Turn the thumbnail; the full panorama keeps that view.
    await setView(page, [-40, 0, 0, 60]);
    await viewerReady(page);
    await settle(page);
    const after = await page.evaluate(() => {
      const v = window.Kestrelvue.viewers()[0];
      return { notice: !!v.notice, view: v.core.getView(v.id) };
    });
    assert(!after.notice, 'the notice stays over the full panorama');
    assert(Math.abs(angleDelta(after.view[0], -40)) < 1e-6, `heading became ${after.view[0]}`);
    const asked = ctx.server.log.filter((p) => p.endsWith('.pan'));
    assert(asked.indexOf('/site/_mars.pan') < asked.indexOf('/site/mars.pan'),
      `files asked for: ${asked}`);
    await expectNativePicture(page, path.join(site, 'mars.pan'), 'full-after-thumbnail');
    noProblems(page);
  } finally {
    delete ctx.server.delays['/site/mars.pan'];
  }
});

test('dragging steers: left turns left, up looks up, Shift above the centre zooms in', async (ctx) => {
  const url = writePage('drag.html',
    '<embed src="/site/mars.pan" type="application/x-pan" width="600" height="400">');
  const page = await open(ctx, url);
  await viewerReady(page);
  // Behind the start view: no hot spot there takes the press for a link.
  await setView(page, [180, 0, 0, 60]);
  const b = await canvasBox(page);
  const before = await viewOf(page);
  const picture = await canvasPixels(page);
  // Left of and above the centre: heading speed 3a > 0 and pitch speed 3b > 0.
  await page.mouse.move(b.x + 300, b.y + 200);
  await page.mouse.down();
  await page.mouse.move(b.x + 150, b.y + 120, { steps: 5 });
  await page.waitForTimeout(400);
  await page.mouse.up();
  await settle(page);
  const after = await viewOf(page);
  assert(angleDelta(after[0], before[0]) > 5, `heading ${before[0]} -> ${after[0]}`);
  assert(after[1] > before[1] + 2, `pitch ${before[1]} -> ${after[1]}`);
  assert(after[3] === before[3], 'a drag without Shift zoomed');
  const moved = await canvasPixels(page);
  assert(comparePixels(picture.rgb, moved.rgb).differ > 1000, 'the picture did not change');
  // Released, the view holds still.
  const held = await viewOf(page);
  await page.waitForTimeout(300);
  assert(JSON.stringify(await viewOf(page)) === JSON.stringify(held), 'the view moves after release');
  // Shift with the pointer above the centre: field-of-view speed -b < 0.
  await page.keyboard.down('Shift');
  await page.mouse.move(b.x + 300, b.y + 60);
  await page.mouse.down();
  await page.mouse.move(b.x + 300, b.y + 40, { steps: 3 });
  await page.waitForTimeout(300);
  await page.mouse.up();
  await page.keyboard.up('Shift');
  await settle(page);
  const zoomed = await viewOf(page);
  assert(zoomed[3] < after[3] - 2, `field of view ${after[3]} -> ${zoomed[3]}`);
  assert(Math.abs(zoomed[1] - after[1]) < 1e-9, 'Shift still tilted');
  noProblems(page);
});

test('keys steer a focused viewer: arrows turn and tilt, + and - zoom', async (ctx) => {
  const url = writePage('keys.html',
    '<embed src="/site/mars.pan" type="application/x-pan" width="400" height="300">');
  const page = await open(ctx, url);
  await viewerReady(page);
  await setView(page, [180, 0, 0, 60]);  // no hot spot behind the start view
  const b = await canvasBox(page);
  await page.mouse.click(b.x + 200, b.y + 150);  // the centre: focus without motion
  await settle(page);
  const before = await viewOf(page);
  await page.keyboard.down('ArrowLeft');
  await page.keyboard.down('ArrowUp');
  await page.waitForTimeout(400);
  await page.keyboard.up('ArrowLeft');
  await page.keyboard.up('ArrowUp');
  await page.keyboard.down('+');
  await page.waitForTimeout(300);
  await page.keyboard.up('+');
  await settle(page);
  const after = await viewOf(page);
  assert(angleDelta(after[0], before[0]) > 5, `heading ${before[0]} -> ${after[0]}`);
  assert(after[1] > before[1] + 5, `pitch ${before[1]} -> ${after[1]}`);
  assert(after[3] < before[3] - 2, `field of view ${before[3]} -> ${after[3]}`);
  noProblems(page);
});

test('a hot spot shows its link in the status line and a page link navigates', async (ctx) => {
  const page = await open(ctx, '/site/index.html');
  await viewerReady(page);
  const spot = await findHotspot(page, 'earth.html');
  await page.mouse.move(spot.pageX, spot.pageY);
  await page.waitForFunction(() => document.querySelector('.kv-status').textContent === 'earth.html');
  const cursor = await page.evaluate(() => window.Kestrelvue.viewers()[0].canvas.style.cursor);
  assert(cursor === 'pointer', `cursor over the hot spot: ${cursor}`);
  // Off the hot spot the line empties again.
  const b = await canvasBox(page);
  const away = await page.evaluate(() => {
    const v = window.Kestrelvue.viewers()[0];
    for (let x = 2; x < v.width; x += 8) if (v.core.pick(v.id, x, 2).index < 0) return x;
    return -1;
  });
  await page.mouse.move(b.x + away, b.y + 2);
  await page.waitForFunction(() => document.querySelector('.kv-status').textContent === '');
  noProblems(page);
  // A click follows the link in place of the page; the Earth page's <object> holds an
  // <embed> of the same panorama, and only one viewer takes their place.
  await Promise.all([page.waitForURL('**/site/earth.html'), page.mouse.click(spot.pageX, spot.pageY)]);
  await viewerReady(page);
  const count = await page.evaluate(() => window.Kestrelvue.viewers().length);
  assert(count === 1, `${count} viewers for the <object> with its <embed>`);
  assert(await page.locator('object, embed').count() === 0, 'an element is left over');
  await settle(page);
  await expectNativePicture(page, path.join(site, 'earth.pan'), 'earth');
  noProblems(page);
});

test('hot-spot files: a sound plays in <audio>, an undecodable clip says so with its link, a sprite appears', async (ctx) => {
  const page = await open(ctx, '/site/index.html');
  await viewerReady(page);
  const bell = await findHotspot(page, 'bell.wav');
  await page.mouse.click(bell.pageX, bell.pageY);
  await page.waitForFunction(() => {
    const a = document.querySelector('.kv-viewer audio');
    return a && a.src.endsWith('/site/bell.wav');
  });
  const clip = await findHotspot(page, 'clip.avi');
  await page.mouse.click(clip.pageX, clip.pageY);
  // Chromium decodes no AVI: the viewer says so and links the file instead.
  await page.waitForSelector('.kv-dialog a[href$="/site/clip.avi"]', { timeout: 5000 });
  assert(await page.locator('.kv-viewer audio').count() === 0, 'the sound was not closed');
  await page.locator('.kv-dialog button').click();
  const rover = await findHotspot(page, 'rover.avt');
  await settle(page);
  const before = await canvasPixels(page);
  await page.mouse.click(rover.pageX, rover.pageY);
  for (let i = 0; i < 100 && !ctx.server.log.includes('/site/rover.avt'); ++i) {
    await page.waitForTimeout(50);
  }
  await page.waitForTimeout(200);
  await settle(page);
  const after = await canvasPixels(page);
  // The sprite covers its hot spot's box: pixels change there and not far away.
  const { differ } = comparePixels(before.rgb, after.rgb);
  assert(differ > 50, `only ${differ} pixels changed after the sprite file arrived`);
  const i = (rover.y * after.width + rover.x) * 3;
  assert(before.rgb.compare(after.rgb, i, i + 3, i, i + 3) !== 0, 'the hot spot itself is unchanged');
  assert(ctx.server.log.includes('/site/rover.avt'), 'rover.avt was never fetched');
  noProblems(page);
});

test('Reset Panorama returns the view to heading, pitch and roll 0 at field of view 90', async (ctx) => {
  const url = writePage('reset.html',
    '<embed src="/site/mars.pan" type="application/x-pan" width="480" height="360">');
  const page = await open(ctx, url);
  await viewerReady(page);
  await setView(page, [170, -20, 0, 60]);
  const b = await canvasBox(page);
  await page.mouse.click(b.x + 100, b.y + 100, { button: 'right' });
  const items = await page.locator('.kv-menu [role=menuitem]').allTextContents();
  assert(JSON.stringify(items) === JSON.stringify(['Help', 'Save As', 'Reset Panorama', 'About',
    'Launch External Viewer']), `menu: ${items}`);
  const started = Date.now();
  await page.locator('.kv-menu [data-command="32774"]').click();
  await page.waitForFunction(() => !window.Kestrelvue.viewers()[0].busy, null, { timeout: 5000 });
  const seconds = (Date.now() - started) / 1000;
  const view = await viewOf(page);
  assert(Math.abs(angleDelta(view[0], 0)) < 0.5 && Math.abs(view[1]) < 0.5 &&
    Math.abs(view[2]) < 0.5 && Math.abs(view[3] - 90) < 0.5, `view after Reset: ${view}`);
  assert(seconds > 0.7 && seconds < 3, `the animation took ${seconds} s`);
  await settle(page);
  await expectNativePicture(page, path.join(site, 'mars.pan'), 'after-reset');
  noProblems(page);
});

test('the menu: Help and About boxes, Save As downloads the file, an external viewer over the page', async (ctx) => {
  const url = writePage('menu.html',
    '<embed src="/site/mars.pan" type="application/x-pan" width="400" height="300">');
  const page = await open(ctx, url);
  await viewerReady(page);
  const b = await canvasBox(page);
  const menu = async (command) => {
    await page.mouse.click(b.x + 50, b.y + 50, { button: 'right' });
    await page.locator(`.kv-menu [data-command="${command}"]`).click();
  };
  await menu(32775);
  const help = await page.locator('.kv-dialog').innerText();
  assert(help.includes('Kestrelvue Panorama Plugin Help') &&
    help.includes('Left Mouse Button + Shift: pan and zoom'), `help box: ${help}`);
  await page.locator('.kv-dialog button').click();
  await menu(32773);
  const about = await page.locator('.kv-dialog').innerText();
  assert(about.includes('Kestrelvue Panorama Plugin Version 3.0'), `about box: ${about}`);
  await page.locator('.kv-dialog button').click();
  const [download] = await Promise.all([page.waitForEvent('download'), menu(32771)]);
  assert(download.suggestedFilename() === 'mars.pan', `saved as ${download.suggestedFilename()}`);
  const saved = path.join(work, 'saved.pan');
  await download.saveAs(saved);
  assert(fs.readFileSync(saved).equals(fs.readFileSync(path.join(site, 'mars.pan'))),
    'the saved file is not the panorama');
  await menu(32777);
  await viewerReady(page, 1);
  await settle(page, 1);
  const ext = await canvasBox(page, 1);
  assert(ext.width > 600 && ext.height > 500, `external viewer is ${ext.width}x${ext.height}`);
  // A second launch from the page's viewer (the external one now covers it) replaces the first.
  await page.evaluate(() => window.Kestrelvue.viewers()[0].command(32777));
  await viewerReady(page, 1);
  assert(await page.locator('.kv-external').count() === 1, 'two external viewers');
  await page.locator('.kv-external .kv-caption button').click();
  assert(await page.evaluate(() => window.Kestrelvue.viewers().length) === 1, 'external viewer left');
  noProblems(page);
});

test('a broken file shows the message the plug-in showed, a missing one too, and nothing throws', async (ctx) => {
  const broken = path.join(work, 'broken.pan');
  const bytes = fs.readFileSync(path.join(site, 'mars.pan'));
  fs.writeFileSync(broken, Buffer.concat([bytes.subarray(0, 64), Buffer.alloc(4096, 0x5a)]));
  const native = spawnSync(kvp, ['render', broken, '-o', path.join(work, 'broken.png')],
    { encoding: 'utf8' });
  const nativeText = native.stderr.trim().split(': ').pop();
  assert(native.status !== 0 && nativeText, `kvp render of the broken file: ${native.stderr}`);
  const url = writePage('broken.html',
    '<embed src="/t/broken.pan" type="application/x-pan" width="320" height="240">' +
    '<embed src="/t/missing.pan" width="320" height="240">');
  const page = await open(ctx, url, { allowMissing: true });
  await page.waitForFunction(() => document.querySelectorAll('.kv-dialog').length === 2,
    null, { timeout: 15000 });
  const texts = await page.locator('.kv-dialog .kv-message').allTextContents();
  assert(texts[0] === nativeText, `broken file: "${texts[0]}", kvp render says "${nativeText}"`);
  // The plug-in asked the browser again for a panorama that did not come, without end; the
  // viewer asks once and shows what the controller says of a file it cannot open.
  assert(texts[1] === 'Invalid File', `missing file: "${texts[1]}"`);
  // (Chromium itself asks once for an <embed> without a type, to learn the type.)
  const asked = () => ctx.server.log.filter((p) => p === '/t/missing.pan').length;
  const before = asked();
  await page.waitForTimeout(500);
  assert(before <= 2 && asked() === before, `the missing file was asked for ${asked()} times`);
  // The viewers stay, without a panorama, and ignore the mouse.
  const b = await canvasBox(page);
  await page.mouse.click(b.x + 10, b.y + 10);
  await page.mouse.click(b.x + 10, b.y + 10, { button: 'right' });
  assert(await page.locator('.kv-menu').count() === 0, 'a menu over a viewer without panorama');
  noProblems(page);
});

test('an element added after the page loaded is replaced too, and freed when removed', async (ctx) => {
  const url = writePage('later.html', '<div id="slot"></div>');
  const page = await open(ctx, url);
  await page.evaluate(() => window.Kestrelvue.ready.then(() => true));  // not the core itself
  await page.waitForTimeout(200);
  await page.evaluate(() => {
    const e = document.createElement('embed');
    e.setAttribute('src', '/site/earth.pan');  // no type: the name alone says panorama
    e.setAttribute('width', '320');
    e.setAttribute('height', '200');
    document.getElementById('slot').append(e);
  });
  await viewerReady(page);
  await settle(page);
  assert(await page.locator('#slot embed').count() === 0, 'the added <embed> is still there');
  await expectNativePicture(page, path.join(site, 'earth.pan'), 'earth-later');
  await page.evaluate(() => document.getElementById('slot').replaceChildren());
  await page.waitForFunction(() => window.Kestrelvue.viewers().length === 0);
  noProblems(page);
});

test('a tour fetches its node files through the page and draws what kvp render draws', async (ctx) => {
  const page = await open(ctx, '/site/tour.html');
  await viewerReady(page);
  await settle(page);
  const nodes = ctx.server.log.filter((p) => p.startsWith('/site/tour/') && !p.endsWith('.ini'));
  assert(nodes.length > 0, 'no node file was fetched');
  await expectNativePicture(page, path.join(repo, 'samples/tour/tour.ini'), 'tour');
  noProblems(page);
});

test('Cinepak and Video 1 panoramas decode in the page to what kvp render draws', async (ctx) => {
  const fixtures = path.join(repo, 'tests/fixtures');
  const url = writePage('codecs.html',
    '<embed src="/fixtures/codec-mars-cvid.pan" type="application/x-pan" width="400" height="260">' +
    '<embed src="/fixtures/codec-mars-msvc.pan" type="application/x-pan" width="400" height="260">');
  const page = await open(ctx, url);
  for (const [index, name] of [[0, 'codec-mars-cvid'], [1, 'codec-mars-msvc']]) {
    // A build without the decoders shows the codec failure box instead of a panorama.
    await page.waitForFunction((i) => document.querySelector('.kv-dialog') ||
      window.Kestrelvue.viewers()[i]?.hasController, index, { timeout: 15000 });
    const boxes = await page.locator('.kv-dialog .kv-message').allTextContents();
    assert(boxes.length === 0, `${name}: a message box instead of the picture: "${boxes[0]}"`);
    await viewerReady(page, index);
    await settle(page, index);
    await expectNativePicture(page, path.join(fixtures, `${name}.pan`), name, index);
    await setView(page, [211, 17.5, 0, 50], index);
    await expectNativePicture(page, path.join(fixtures, `${name}.pan`), `${name}-turned`, index);
  }
  noProblems(page);
});

test('on a high-density screen the canvas has a pixel for each device pixel', async (ctx) => {
  const url = writePage('dense.html',
    '<embed src="/site/mars.pan" type="application/x-pan" width="320" height="200">');
  const page = await open(ctx, url, { scale: 2 });
  await viewerReady(page);
  await settle(page);
  const sizes = await page.evaluate(() => {
    const v = window.Kestrelvue.viewers()[0];
    const r = v.canvas.getBoundingClientRect();
    return [v.canvas.width, v.canvas.height, r.width, r.height];
  });
  assert(JSON.stringify(sizes) === '[640,400,320,200]', `canvas and box: ${sizes}`);
  await expectNativePicture(page, path.join(site, 'mars.pan'), 'mars-dense');
  noProblems(page);
});

// Unmodified pages served by `kvp serve`: the server adds the script line.
test('kvp serve: unmodified pages work, and a path out of the folder is refused', async (ctx) => {
  const help = spawnSync(kvp, ['serve', '--help'], { encoding: 'utf8' });
  if (help.status !== 0) throw new SkipTest('this build of kvp has no serve command');
  // The samples folder: the site's tour is a link to ../tour, inside it.
  const server = spawn(kvp, ['serve', path.join(repo, 'samples'), '--port', '0',
    '--web', path.join(repo, 'build/web')], { stdio: ['ignore', 'pipe', 'pipe'] });
  try {
    const origin = await new Promise((resolve, reject) => {
      let out = '';
      server.stdout.on('data', (d) => {
        out += d;
        const m = out.match(/http:\/\/(127\.0\.0\.1|localhost):\d+/);
        if (m) resolve(m[0]);
      });
      server.on('exit', () => reject(new Error(`kvp serve ended: ${out}`)));
      setTimeout(() => reject(new Error(`kvp serve printed no URL: ${out}`)), 10000);
    });
    const context = await ctx.browser.newContext({ viewport: { width: 1000, height: 800 } });
    ctx.pages.push(context);
    const page = await context.newPage();
    page.problems = [];
    page.on('pageerror', (e) => page.problems.push(`pageerror: ${e.message}`));
    // A missing file is told by its answer (the browser's own console line names none); the
    // icon the browser asks for by itself is no file of the pages.
    page.on('console', (m) => {
      if (m.type() === 'error' && !m.text().startsWith('Failed to load resource')) {
        page.problems.push(`console: ${m.text()}`);
      }
    });
    page.on('response', (r) => {
      if (r.status() >= 400 && !r.url().endsWith('/favicon.ico')) {
        page.problems.push(`${r.status()} for ${r.url()}`);
      }
    });
    // The page as it was written for the plug-in: no script line of its own.
    assert(!fs.readFileSync(path.join(site, 'index.html'), 'utf8').includes('kestrelvue.js'),
      'the sample page already has the script line');
    await page.goto(origin + '/site/index.html');
    await viewerReady(page);
    await settle(page);
    await expectNativePicture(page, path.join(site, 'mars.pan'), 'served-mars');
    await page.goto(origin + '/site/tour.html');
    await viewerReady(page);
    await settle(page);
    await expectNativePicture(page, path.join(repo, 'samples/tour/tour.ini'), 'served-tour');
    noProblems(page);
    for (const climb of ['/%2e%2e/CMakeLists.txt', '/site/%2e%2e/%2e%2e/CMakeLists.txt',
      '/..%2fCMakeLists.txt']) {
      const answer = await fetch(origin + climb);
      assert(answer.status >= 400, `${climb} answered ${answer.status}`);
    }
  } finally {
    server.kill();
  }
});

// ---- Run ---------------------------------------------------------------------------------------

const results = await runTests(tests, {
  report,
  filter: process.argv[2],
  async setup() {
    for (const needed of [path.join(repo, 'build/web/kestrelvue.js'), kvp]) {
      if (!fs.existsSync(needed)) throw new Error(`missing ${needed}: build it first`);
    }
    const server = await startServer({
      '/kv/': path.join(repo, 'build/web'), '/site/': site, '/t/': work,
      '/fixtures/': path.join(repo, 'tests/fixtures'),
    }, ['/site/']);
    const browser = await chromium.launch({ executablePath: chromiumPath, headless: true,
      args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'] });
    return { server, browser, pages: [] };
  },
  async teardown(ctx) {
    await ctx.browser.close();
    ctx.server.close();
  },
});
// Each test's pages close before the next starts; the contexts list is kept for that.
process.exitCode = results.some((r) => r.outcome === 'failed') ? 1 : 0;
