// Opens a mosaic's deep-zoom page in the system's Chromium, headless, from
// file://: zooms so that one pixel of the mosaic covers SCALE screen pixels
// with the image point (X, Y) in the middle of the view, waits until every
// tile in view is loaded, saves a screenshot, then moves the mouse onto
// (X, Y) and reads the label naming the photo there.
//   node deep-zoom-page.mjs PAGE_DIR X Y SCALE SCREENSHOT.png
// Prints one line of JSON: where image point (0, 0) is on the screenshot,
// the deepest pyramid level drawn and the label's text.
import { chromium } from "playwright-core";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [pageDir, x, y, scale, screenshot] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
try {
  const page = await browser.newPage({ viewport: { width: 800, height: 600 }, deviceScaleFactor: 1 });
  const errors = [];
  page.on("pageerror", (e) => errors.push(String(e)));
  await page.goto(pathToFileURL(path.resolve(pageDir, "index.html")).href);
  await page.waitForFunction(() => window.viewer && window.viewer.world.getItemCount() > 0, null, { timeout: 20000 });
  await page.evaluate(([x, y, scale]) => {
    window.deepestLevel = -1;
    viewer.addHandler("tile-drawn", (e) => { window.deepestLevel = Math.max(window.deepestLevel, e.tile.level); });
    const viewport = viewer.viewport;
    viewport.zoomTo(viewport.imageToViewportZoom(scale), null, true);
    viewport.panTo(viewport.imageToViewportCoordinates(x, y), true);
  }, [Number(x), Number(y), Number(scale)]);
  await page.waitForFunction(() => viewer.world.getItemAt(0).getFullyLoaded() && window.deepestLevel >= 0, null,
                             { timeout: 20000 });
  await page.waitForTimeout(300);  // the last draw after the last tile
  const view = await page.evaluate(([x, y]) => {
    const origin = viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(0, 0));
    const at = viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(x, y));
    const box = viewer.element.getBoundingClientRect();
    return { originX: origin.x + box.left, originY: origin.y + box.top, pointX: at.x + box.left,
             pointY: at.y + box.top, deepestLevel: window.deepestLevel };
  }, [Number(x), Number(y)]);
  await page.screenshot({ path: screenshot });
  await page.mouse.move(view.pointX, view.pointY);
  await page.mouse.move(view.pointX + 1, view.pointY);
  await page.waitForTimeout(100);
  const label = await page.evaluate(() => {
    const l = document.getElementById("photo");
    return l.style.display === "none" ? "" : l.textContent;
  });
  console.log(JSON.stringify({ ...view, label, errors }));
} finally {
  await browser.close();
}
