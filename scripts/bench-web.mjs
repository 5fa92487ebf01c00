// The page's benchmark: in headless Chromium at 1920x1080 and 3840x2160, after 2 s to settle, the frames a second
// over 10 s and the median and 99th percentile of the main thread's time per frame (steps, composition,
// conversion, canvas copy) as the page measures it; then the page's download, each file compressed with gzip -9
// as a server would send it. Prints a table against the targets, and writes the figures as JSON with --out.
//   NODE_PATH=<node_modules with puppeteer-core> node scripts/bench-web.mjs [--out FILE] [PAGE_FOLDER]
// PAGE_FOLDER defaults to build/web/page. scripts/run-benchmarks.sh installs puppeteer-core and runs it.
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { sleep, waitForState, withPage } from '../tests/web/harness.mjs';

const args = process.argv.slice(2);
const outAt = args.indexOf('--out');
const out = outAt >= 0 ? args.splice(outAt, 2)[1] : null;
const folder = args[0] || 'build/web/page';
const sizes = [{ width: 1920, height: 1080, target: 2 }, { width: 3840, height: 2160, target: 4 }];
const downloadTarget = 200_000;

const quantile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];

async function measure({ width, height }) {
  return withPage(folder, { width, height, deviceScaleFactor: 1 }, async ({ page, problems }) => {
    await waitForState(page, 'running');
    await sleep(2000);
    const start = await page.evaluate(() => ({ frames: window.coppertrowel.frames, at: performance.now() }));
    await sleep(10000);
    const end = await page.evaluate(() => ({
      frames: window.coppertrowel.frames, at: performance.now(), times: window.coppertrowel.frameTimes.slice(),
    }));
    const frames = end.frames - start.frames;
    // Only the frames of the measured seconds: the first ones also built the tables.
    const times = end.times.slice(-Math.min(frames, end.times.length)).sort((a, b) => a - b);
    if (problems.length) console.error(`The page at ${width}x${height} reported:\n  ${problems.join('\n  ')}`);
    return { fps: (frames * 1000) / (end.at - start.at), median: quantile(times, 0.5), p99: quantile(times, 0.99) };
  });
}

const results = { frames: [], download: [] };
console.log('Screen       frames/s   median ms   99th % ms   target ms');
for (const size of sizes) {
  const r = await measure(size);
  results.frames.push({ ...size, ...r });
  console.log(`${`${size.width}x${size.height}`.padEnd(11)} ${r.fps.toFixed(1).padStart(9)} ` +
    `${r.median.toFixed(2).padStart(11)} ${r.p99.toFixed(2).padStart(11)} ${String(size.target).padStart(11)}`);
}

console.log('\nFile                   bytes   gzip -9');
for (const file of ['index.html', 'coppertrowel.js', 'coppertrowel.wasm']) {
  const bytes = readFileSync(join(folder, file));
  results.download.push({ file, bytes: bytes.length, gzipped: gzipSync(bytes, { level: 9 }).length });
}
for (const { file, bytes, gzipped } of results.download) {
  console.log(`${file.padEnd(18)} ${String(bytes).padStart(9)} ${String(gzipped).padStart(9)}`);
}
const total = results.download.reduce((sum, file) => sum + file.gzipped, 0);
console.log(`${'together'.padEnd(28)} ${String(total).padStart(9)}  (target under ${downloadTarget / 1000} kB)`);
if (out) writeFileSync(out, `${JSON.stringify({ ...results, downloadTarget }, null, 2)}\n`);
