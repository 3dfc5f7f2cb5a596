// `make bench`: opens the web benchmark page (samples/web/bench.html) in headless Chromium and prints its figures; never fails.
import { chromium, chromiumPath, repo, startServer } from './harness.mjs';

const server = await startServer({ '/': repo });
const browser = await chromium.launch({ executablePath: chromiumPath, headless: true,
  args: ['--no-sandbox'] });
try {
  const page = await browser.newPage({ viewport: { width: 1100, height: 900 } });
  await page.goto(server.origin + '/samples/web/bench.html');
  const r = await page.evaluate(() => window.benchResult);
  if (r.error) {
    console.log(`web bench: ${r.error}`);
  } else {
    const f = (t) => t.toFixed(2).padStart(7);
    console.log(`web  load to first frame (1024x768, embed)  ${f(r.firstFrame)} ms`);
    console.log(`web  frame_moving/1024x768   mean ${f(r.moving.mean)} ms  median ` +
      `${f(r.moving.median)} ms  (core ${f(r.moving.core)} ms; ${r.moving.drawn}/` +
      `${r.moving.count} frames drawn)`);
    console.log(`web  frame_first_still/1024x768      ${f(r.firstStill.mean)} ms`);
    console.log(`web  frame_settled/1024x768  mean ${f(r.settled.mean)} ms  median ` +
      `${f(r.settled.median)} ms  (core ${f(r.settled.core)} ms; ${r.settled.drawn}/` +
      `${r.settled.count} frames drawn)`);
    console.log(`WEB_BENCH moving=${r.moving.median} settled=${r.settled.median} ` +
      `first=${r.firstFrame}`);
  }
} catch (error) {
  console.log(`web bench: the page did not run: ${error.message}`);
} finally {
  await browser.close();
  server.close();
}
