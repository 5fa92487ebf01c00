// The browser build in headless Chromium, one scenario per run:
//   NODE_PATH=<node_modules with puppeteer-core> node scenarios.mjs SCENARIO PAGE_FOLDER
// Exit status 0 when it passed, 1 when it failed, 77 with one line "Skipped: <reason>" when Chromium is missing.
// Every scenario also fails on anything the page writes to the console, an uncaught error or a failed request.
import { Skipped, SKIP, findChromium, picture, rightPicture, sleep, waitForState, withPage } from './harness.mjs';

const desktop = { width: 1280, height: 720, deviceScaleFactor: 1 };

function check(condition, fault) {
  if (!condition) throw new Error(fault);
}

// How far the ball that moved most went between two pictures: each red region of AFTER against the nearest of
// BEFORE. (The red pixels' centroid would not do: the balls pull each other along, so their centre of mass may
// stand almost still.)
function moved(before, after) {
  const balls = (shot) => shot.regions.filter((region) => region.pixels > 20);
  if (!balls(before).length || !balls(after).length) return 0;
  return Math.max(...balls(after).map((a) => Math.min(...balls(before).map((b) => Math.hypot(a.x - b.x, a.y - b.y)))));
}

// Two pictures half a second apart: how far a ball moved, and the frames counted between them.
async function motion(page) {
  const before = await picture(page);
  const framesBefore = (await waitForState(page, 'running')).frames;
  await sleep(500);
  const after = await picture(page);
  const frames = (await waitForState(page, 'running')).frames - framesBefore;
  return { moved: moved(before, after), frames };
}

const scenarios = {
  // Catches a page that draws nothing, the wrong colours, one ball or none, or numbers without their boxes.
  async web_picture({ page }) {
    await waitForState(page, 'running', (state) => state.frames > 2);
    await rightPicture(page, desktop.width, desktop.height);
  },

  // Catches a picture that stands still while frames are counted, and a page that is not paced by animation
  // frames at all (about 30 of them in half a second at the display's 60 a second).
  async web_motion({ page }) {
    await waitForState(page, 'running', (state) => state.frames > 2);
    const { moved, frames } = await motion(page);
    check(moved > 1, `the balls moved ${moved.toFixed(2)} pixels in half a second`);
    check(frames >= 10, `${frames} frames in half a second`);
  },

  // Catches a click that does not end the program, motion that goes on after it, and a start again that does not
  // restart it from frame 0.
  async web_click_ends_and_starts_again({ page }) {
    const before = await waitForState(page, 'running', (state) => state.frames > 40);
    await page.mouse.click(desktop.width / 2, desktop.height * 0.75);
    await waitForState(page, 'ended', () => true, 5);
    check(await page.$eval('#ended', (ended) => ended.checkVisibility()), '#ended is not visible after the click');
    const ended = await picture(page);
    await sleep(500);
    check((await picture(page)).hash === ended.hash, 'the picture still changes after the click');
    await page.click('#start-again');
    const restarted = await waitForState(page, 'running', () => true, 5);
    check(restarted.frames < before.frames, `frames did not start from 0 again: ${restarted.frames} already`);
    check(!(await page.$eval('#ended', (ended) => ended.checkVisibility())), '#ended is still visible');
    await waitForState(page, 'running', (state) => state.frames > restarted.frames + 5, 5);
    await rightPicture(page, desktop.width, desktop.height);
    check((await motion(page)).moved > 1, 'the balls do not move after starting again');
  },

  // Catches a canvas that keeps its first size, and a picture not rebuilt for the new one.
  async web_resize_followed({ page }) {
    await waitForState(page, 'running', (state) => state.frames > 2);
    for (const [width, height] of [[1000, 700], [1600, 900]]) {
      await page.setViewport({ width, height, deviceScaleFactor: 1 });
      await rightPicture(page, width, height);
      check((await motion(page)).moved > 1, `the balls do not move at ${width}x${height}`);
    }
  },

  // Catches a canvas at CSS pixels, stretched to the screen: at a devicePixelRatio of 2 the canvas has twice the
  // pixels each way, and the balls are drawn at that resolution (24/640 of 1600 pixels across, not of 800).
  async web_device_pixel_ratio_2({ page }) {
    await waitForState(page, 'running', (state) => state.frames > 2);
    await rightPicture(page, 1600, 1200);
  },
};

const viewports = { web_device_pixel_ratio_2: { width: 800, height: 600, deviceScaleFactor: 2 } };

const [name, folder] = process.argv.slice(2);
if (!scenarios[name] || !folder) {
  console.error(`usage: scenarios.mjs {${Object.keys(scenarios).join('|')}} PAGE_FOLDER`);
  process.exit(2);
}
try {
  findChromium();
  await withPage(folder, viewports[name] || desktop, async ({ page, problems }) => {
    const fault = await scenarios[name]({ page }).then(() => null, (error) => error);
    if (problems.length) {
      throw new Error(`${fault ? `${fault.message}; ` : ''}the page reported:\n  ${problems.join('\n  ')}`);
    }
    if (fault) throw fault;
  });
  console.log(`ok: ${name}`);
} catch (error) {
  if (error instanceof Skipped) {
    console.log(`Skipped: ${error.message}`);
    process.exit(SKIP);
  }
  console.log(`FAIL: ${name}: ${error.message}`);
  process.exit(1);
}
