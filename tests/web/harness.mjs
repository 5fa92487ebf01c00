// What the browser tests and the page's benchmark share: the page served by scripts/serve-web.py on a free port,
// headless Chromium from the system with a profile of its own, and the picture read back from the canvas.
// puppeteer-core comes from the folder NODE_PATH names (npm ci into the build tree), never from the sources.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { delimiter, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

export const SKIP = 77;
export const sourceDir = join(dirname(fileURLToPath(import.meta.url)), '../..');

export class Skipped extends Error {}

function onPath(name) {
  return (process.env.PATH || '').split(delimiter).map((dir) => join(dir, name)).find((path) => existsSync(path));
}

export function findChromium() {
  const path = process.env.CHROMIUM || onPath('chromium') || onPath('chromium-browser');
  if (!path) throw new Skipped('chromium is not installed (Debian: apt-get install chromium)');
  return path;
}

// Serves FOLDER on a free port and resolves with the address the server prints once it listens.
function serve(folder) {
  const server = spawn('python3', [join(sourceDir, 'scripts/serve-web.py'), '--port', '0', folder],
    { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let printed = '';
    server.stdout.on('data', (chunk) => {
      printed += chunk;
      const address = printed.match(/^Serving .* at (http:\S+)\n/);
      if (address) resolve({ server, address: address[1] });
    });
    server.on('exit', (code) => reject(new Error(`scripts/serve-web.py ended (${code}) before serving ${folder}`)));
  });
}

// Opens the page at VIEWPORT ({ width, height, deviceScaleFactor }) and hands { page, problems } to USE, where
// problems collects every console message, uncaught error and failed request of the page. Everything started
// here ends, and the profile is removed, however USE ends.
export async function withPage(folder, viewport, use) {
  const puppeteer = createRequire(import.meta.url)('puppeteer-core');
  const { server, address } = await serve(folder);
  const profile = mkdtempSync(join(tmpdir(), 'coppertrowel-chromium-'));
  let browser;
  try {
    browser = await puppeteer.launch({
      executablePath: findChromium(),
      headless: true,
      userDataDir: profile,
      defaultViewport: viewport,
      // Root needs --no-sandbox; the rest keep Chromium off the network, which is closed here and not its business.
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
    });
    const page = await browser.newPage();
    const problems = [];
    // The page writes nothing to the console when all is well.
    page.on('console', (message) => problems.push(`console ${message.type()}: ${message.text()}`));
    page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
    page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
    await page.goto(address, { waitUntil: 'load' });
    return await use({ page, problems });
  } finally {
    await browser?.close();
    server.kill();
    rmSync(profile, { recursive: true, force: true });
  }
}

export async function pageState(page) {
  return page.evaluate(() => {
    const ct = window.coppertrowel;
    return ct ? { state: ct.state, frames: ct.frames, message: ct.message } : { state: 'absent' };
  });
}

// Waits until the program's state is STATE and PREDICATE(state) holds; fails with the last state seen.
export async function waitForState(page, state, predicate = () => true, seconds = 30) {
  let seen;
  for (const end = Date.now() + seconds * 1000; Date.now() < end; await sleep(100)) {
    seen = await pageState(page);
    if (seen.state === state && predicate(seen)) return seen;
    if (seen.state === 'refused') break;
  }
  throw new Error(`the page did not reach "${state}" in ${seconds} s: ${JSON.stringify(seen)}`);
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The canvas's picture, summed up in the page (a 4K picture is too much to ship out whole): its size, the share
// of background pixels, the red regions (8-connected) with their sizes, extents and centres, the white and dark
// pixels in each number's box, and a hash of every pixel.
export async function picture(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const width = canvas.width, height = canvas.height;
    const copy = new OffscreenCanvas(width, height).getContext('2d', { willReadFrequently: true });
    copy.drawImage(canvas, 0, 0);
    const rgba = copy.getImageData(0, 0, width, height).data;
    const red = new Uint8Array(width * height);
    let background = 0, hash = 0x811c9dc5;
    for (let i = 0, p = 0; p < red.length; i += 4, p++) {
      const r = rgba[i], g = rgba[i + 1], b = rgba[i + 2];
      if (r === 2 && g === 151 && b === 57) background++;
      red[p] = r > 60 && r > 2 * g && r > 2 * b ? 1 : 0;
      hash = Math.imul(hash ^ (r | (g << 8) | (b << 16)), 16777619);
    }
    const regions = [];
    const stack = [];
    for (let start = 0; start < red.length; start++) {
      if (red[start] !== 1) continue;
      const region = { pixels: 0, left: width, right: 0, top: height, bottom: 0, x: 0, y: 0 };
      red[start] = 2;
      stack.push(start);
      while (stack.length) {
        const p = stack.pop(), x = p % width, y = (p - x) / width;
        region.pixels++; region.x += x; region.y += y;
        region.left = Math.min(region.left, x); region.right = Math.max(region.right, x);
        region.top = Math.min(region.top, y); region.bottom = Math.max(region.bottom, y);
        for (let dy = -1; dy <= 1; dy++) {
          for (let dx = -1; dx <= 1; dx++) {
            const nx = x + dx, ny = y + dy, n = ny * width + nx;
            if (nx >= 0 && nx < width && ny >= 0 && ny < height && red[n] === 1) { red[n] = 2; stack.push(n); }
          }
        }
      }
      region.x /= region.pixels; region.y /= region.pixels;
      regions.push(region);
    }
    const box = (top) => {
      let white = 0, dark = 0;
      for (let y = top; y < top + 12; y++) {
        for (let x = 10; x < 40; x++) {
          const i = (y * width + x) * 4, r = rgba[i], g = rgba[i + 1], b = rgba[i + 2];
          if (r === 255 && g === 255 && b === 255) white++;
          if (Math.max(r, g, b) < 64 && Math.max(r, g, b) - Math.min(r, g, b) < 24) dark++;
        }
      }
      return { white, dark };
    };
    return {
      width, height, background: background / (width * height), regions,
      boxes: [box(10), box(30)], hash: hash >>> 0,
    };
  });
}

// What is wrong with a picture of WIDTH x HEIGHT device pixels, or [] when it is right: mostly background, two
// red balls each about 24/640 of the width across, and the two numbers' boxes, white with dark digits.
export function pictureFaults(shot, width, height) {
  const faults = [];
  if (shot.width !== width || shot.height !== height) {
    faults.push(`the canvas is ${shot.width}x${shot.height}, not ${width}x${height}`);
  }
  if (shot.background < 0.9) faults.push(`only ${(100 * shot.background).toFixed(1)}% of it is the background`);
  const diameter = (24 / 640) * width;
  const balls = shot.regions.filter((region) => region.pixels > diameter * diameter * 0.3);
  if (balls.length !== 2) {
    faults.push(`${balls.length} red regions the size of a ball, not 2 (all: ${shot.regions.length})`);
  }
  for (const ball of balls) {
    const across = Math.max(ball.right - ball.left, ball.bottom - ball.top) + 1;
    if (across < diameter * 0.75 || across > diameter * 1.25) {
      faults.push(`a ball is ${across} pixels across, not about ${diameter.toFixed(0)}`);
    }
  }
  shot.boxes.forEach(({ white, dark }, i) => {
    if (white < 100 || dark < 5) faults.push(`the box at y ${[10, 30][i]}: ${white} white and ${dark} dark pixels`);
  });
  return faults;
}

// Takes pictures until one is right (the two balls may overlap for a moment), for up to SECONDS; returns it, or
// throws with what was wrong with the last one.
export async function rightPicture(page, width, height, seconds = 5) {
  let faults;
  for (const end = Date.now() + seconds * 1000; ; await sleep(200)) {
    const shot = await picture(page);
    faults = pictureFaults(shot, width, height);
    if (faults.length === 0) return shot;
    if (Date.now() > end) break;
  }
  throw new Error(`the picture at ${width}x${height} is wrong: ${faults.join('; ')}`);
}
