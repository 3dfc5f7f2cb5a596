// `make demo`: a headless-Chromium screenshot of the web demo page (samples/web/index.html) once its viewers have drawn.
import path from 'node:path';
import { chromium, chromiumPath, repo, startServer } from './harness.mjs';

const out = process.argv[2] || path.join(repo, 'build/demo/web.png');
const server = await startServer({ '/': repo });
const browser = await chromium.launch({ executablePath: chromiumPath, headless: true,
  args: ['--no-sandbox'] });
let status = 0;
try {
  const page = await browser.newPage({ viewport: { width: 900, height: 1200 } });
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  await page.goto(server.origin + '/samples/web/index.html');
  // Three viewers, the first past its thumbnail, each with a picture that has settled.
  await page.waitForFunction(() => {
    const v = window.Kestrelvue && window.Kestrelvue.viewers();
    return v && v.length === 3 && v.every((w) => w.hasController && w.firstFrameAt) &&
      v[0].thumbnailMode === 0;
  }, null, { timeout: 30000 });
  // A viewer that never comes to rest still gets its picture taken, a little later.
  await page.evaluate(() => Promise.race([
    Promise.all(window.Kestrelvue.viewers().map((v) => v.whenIdle())),
    new Promise((resolve) => setTimeout(resolve, 20000)),
  ]));
  await page.screenshot({ path: out, fullPage: true });
  console.log(`demo: web page screenshot: ${out}`);
  if (problems.length) {
    console.log(`demo: the page reported: ${problems.join('; ')}`);
    status = 1;
  }
} catch (error) {
  console.error(`demo: the web demo did not come up: ${error.message}`);
  status = 1;
} finally {
  await browser.close();
  server.close();
}
process.exitCode = status;
