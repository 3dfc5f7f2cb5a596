// The browser tests' scaffolding: a loopback static server, Chromium through playwright-core, a PNG reader, and a small runner that writes a JUnit report.
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import zlib from 'node:zlib';

// playwright-core lives in a cache outside the clone (scripts/run-web-tests.sh installs it);
// KVP_WEB_NODE_MODULES names that folder.
const modules = process.env.KVP_WEB_NODE_MODULES;
const require = createRequire(modules ? path.join(modules, 'x.js') : import.meta.url);
export const { chromium } = require('playwright-core');

export const repo = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
export const kvp = path.join(repo, 'build/native/bin/kvp');
export const chromiumPath = process.env.KVP_CHROMIUM || '/usr/bin/chromium';

// ---- Server ------------------------------------------------------------------------------------

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.pan': 'application/x-pan', '.pa_': 'application/octet-stream',
  '.ini': 'text/plain', '.wav': 'audio/wav', '.avi': 'video/x-msvideo', '.bmp': 'image/bmp',
  '.png': 'image/png', '.avt': 'application/octet-stream',
};

// Serves mounts on 127.0.0.1: {'/kv/': build/web, '/site/': samples/site, ...}. HTML under a
// mount listed in `inject` gets the page script's line, the way a page author would add it.
// `delays` holds milliseconds to wait before answering a path (the thumbnail test's slow
// network); `log` records every path asked for.
export async function startServer(mounts, inject = []) {
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    const pathname = decodeURIComponent(url.pathname);
    server.log.push(pathname);
    // The browser asks for the site's icon on its own; none is not a fault of the page.
    if (pathname === '/favicon.ico') {
      res.writeHead(204).end();
      return;
    }
    const mount = Object.keys(mounts).find((m) => pathname.startsWith(m));
    const relative = mount ? path.posix.normalize(pathname.slice(mount.length)) : null;
    if (relative === null || relative.startsWith('..') || path.isAbsolute(relative)) {
      res.writeHead(404).end('not found');
      return;
    }
    const file = path.join(mounts[mount], relative);
    const answer = () => fs.readFile(file, (error, data) => {
      if (error) {
        res.writeHead(404, { 'content-type': 'text/plain' }).end('not found');
        return;
      }
      const type = kTypes[path.extname(file).toLowerCase()] || 'application/octet-stream';
      if (inject.includes(mount) && type.startsWith('text/html')) {
        data = Buffer.from(data.toString('utf8').replace(/<head>/i,
          '<head><script src="/kv/kestrelvue.js"></script>'));
      }
      res.writeHead(200, { 'content-type': type, 'cache-control': 'no-store' }).end(data);
    });
    const delay = server.delays[pathname];
    if (delay) setTimeout(answer, delay); else answer();
  });
  server.delays = {};
  server.log = [];
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  server.origin = `http://127.0.0.1:${server.address().port}`;
  return server;
}

// ---- Pictures ----------------------------------------------------------------------------------

// The RGB pixels of an 8-bit RGB or RGBA PNG (what `kvp render` writes), rows top-down.
export function readPng(file) {
  const data = fs.readFileSync(file);
  if (data.readUInt32BE(0) !== 0x89504e47) throw new Error(`${file}: not a PNG`);
  let offset = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (offset < data.length) {
    const length = data.readUInt32BE(offset);
    const type = data.toString('latin1', offset + 4, offset + 8);
    const body = data.subarray(offset + 8, offset + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0) throw new Error(`${file}: not 8-bit, not progressive`);
      channels = { 2: 3, 6: 4 }[body[9]];
      if (!channels) throw new Error(`${file}: colour type ${body[9]} not read here`);
    } else if (type === 'IDAT') {
      idat.push(body);
    }
    offset += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rgb = Buffer.alloc(width * height * 3);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; ++i) {
      const left = i >= channels ? line[i - channels] : 0;
      const up = previous[i];
      const upLeft = i >= channels ? previous[i - channels] : 0;
      let add = 0;
      if (filter === 1) add = left;
      else if (filter === 2) add = up;
      else if (filter === 3) add = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - upLeft;
        const pa = Math.abs(p - left), pb = Math.abs(p - up), pc = Math.abs(p - upLeft);
        add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      }
      line[i] = (line[i] + add) & 0xff;
    }
    for (let x = 0; x < width; ++x) {
      line.copy(rgb, (y * width + x) * 3, x * channels, x * channels + 3);
    }
    previous = line;
  }
  return { width, height, rgb };
}

// `kvp render` of `file` at the view and size, as RGB rows top-down.
export function renderNative(file, { width, height, view, out }) {
  const [h, p, r, f] = view;
  execFileSync(kvp, ['render', file, '-o', out, '--size', `${width}x${height}`, '--depth', '24',
    `--heading=${h}`, `--pitch=${p}`, `--roll=${r}`, `--fov=${f}`], { stdio: 'pipe' });
  return readPng(out);
}

// How many pixels of two RGB pictures differ, and the first one that does.
export function comparePixels(a, b) {
  let differ = 0, first = -1;
  for (let i = 0; i < a.length; i += 3) {
    if (a[i] !== b[i] || a[i + 1] !== b[i + 1] || a[i + 2] !== b[i + 2]) {
      if (first < 0) first = i / 3;
      ++differ;
    }
  }
  return { differ, first };
}

// ---- Runner ------------------------------------------------------------------------------------

export class SkipTest extends Error {}

const kTestSeconds = 90;

export function assert(condition, message) {
  if (!condition) throw new Error(message);
}

// Runs the tests in order; each gets a fresh page. Returns the results and writes JUnit XML.
export async function runTests(tests, { setup, teardown, report, filter }) {
  const results = [];
  const context = await setup();
  for (const [name, body] of tests) {
    if (filter && !name.includes(filter)) continue;
    if (context.server) context.server.log.length = 0;
    const started = Date.now();
    let outcome = 'passed', detail = '';
    let timer;
    try {
      // A test that hangs fails alone instead of holding up the run.
      await Promise.race([body(context), new Promise((resolve, reject) => {
        timer = setTimeout(() => reject(new Error(`no end after ${kTestSeconds} s`)),
          kTestSeconds * 1000);
      })]);
    } catch (error) {
      if (error instanceof SkipTest) {
        outcome = 'skipped';
        detail = error.message;
      } else {
        outcome = 'failed';
        detail = error && error.stack ? error.stack : String(error);
      }
    }
    clearTimeout(timer);
    for (const opened of (context.pages || []).splice(0)) await opened.close().catch(() => {});
    const seconds = (Date.now() - started) / 1000;
    results.push({ name, outcome, detail, seconds });
    const mark = { passed: 'ok  ', failed: 'FAIL', skipped: 'skip' }[outcome];
    console.log(`[${mark}] ${name} (${seconds.toFixed(1)} s)${detail ? '\n       ' +
      detail.split('\n').slice(0, 6).join('\n       ') : ''}`);
  }
  await teardown(context);
  writeJUnit(report, results);
  return results;
}

function xml(text) {
  return String(text).replace(/[<>&"]/g, (c) => ({ '<': '&lt;', '>': '&gt;', '&': '&amp;',
    '"': '&quot;' })[c]);
}

function writeJUnit(file, results) {
  const count = (o) => results.filter((r) => r.outcome === o).length;
  const totals = `tests="${results.length}" failures="${count('failed')}" errors="0" ` +
    `disabled="0" skipped="${count('skipped')}"`;
  const cases = results.map((r) => {
    const inner = r.outcome === 'failed' ? `<failure message="failed">${xml(r.detail)}</failure>`
      : r.outcome === 'skipped' ? `<skipped message="${xml(r.detail)}"/>` : '';
    return `    <testcase classname="web" name="${xml(r.name)}" time="${r.seconds}">${inner}</testcase>`;
  });
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, `<?xml version="1.0" encoding="UTF-8"?>\n<testsuites ${totals} ` +
    `name="kestrelvue-web">\n  <testsuite name="web" ${totals}>\n${cases.join('\n')}\n` +
    '  </testsuite>\n</testsuites>\n');
}
