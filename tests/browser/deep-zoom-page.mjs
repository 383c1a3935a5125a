// Opens a mosaic's deep-zoom page in the system's Chromium, headless, from
// file://: zooms so that one pixel of the mosaic covers SCALE screen pixels
// with the image point (X, Y) in the middle of the view, waits until every
// tile in view is loaded, saves a screenshot, then moves the mouse onto
// (X, Y) and reads the label naming the photo there.
//   node deep-zoom-page.mjs PAGE_DIR X Y SCALE SCREENSHOT.png
// Prints one line of JSON: where image point (0, 0) is on the screenshot,
// the deepest pyramid level drawn and the label's text.
import path from "node:path";
import { pathToFileURL } from "node:url";
import { launchChromium } from "./chromium.mjs";

const [pageDir, x, y, scale, screenshot] = process.argv.slice(2);
const browser = await launchChromium();
try {
  const page = await browser.newPage(800, 600);
  await page.goto(pathToFileURL(path.resolve(pageDir, "index.html")).href);
  await page.waitFor(() => window.viewer && window.viewer.world.getItemCount() > 0);
  await page.evaluate(([x, y, scale]) => {
    window.deepestLevel = -1;
    viewer.addHandler("tile-drawn", (e) => { window.deepestLevel = Math.max(window.deepestLevel, e.tile.level); });
    const viewport = viewer.viewport;
    viewport.zoomTo(viewport.imageToViewportZoom(scale), null, true);
    viewport.panTo(viewport.imageToViewportCoordinates(x, y), true);
  }, [Number(x), Number(y), Number(scale)]);
  await page.waitFor(() => viewer.world.getItemAt(0).getFullyLoaded() && window.deepestLevel >= 0);
  await new Promise((r) => setTimeout(r, 300));  // the last draw after the last tile
  const view = await page.evaluate(([x, y]) => {
    const origin = viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(0, 0));
    const at = viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(x, y));
    const box = viewer.element.getBoundingClientRect();
    return { originX: origin.x + box.left, originY: origin.y + box.top, pointX: at.x + box.left,
             pointY: at.y + box.top, deepestLevel: window.deepestLevel };
  }, [Number(x), Number(y)]);
  await page.screenshot(screenshot);
  await page.mouseMove(view.pointX, view.pointY);
  await page.mouseMove(view.pointX + 1, view.pointY);
  await new Promise((r) => setTimeout(r, 100));
  const label = await page.evaluate(() => {
    const l = document.getElementById("photo");
    return l.style.display === "none" ? "" : l.textContent;
  });
  console.log(JSON.stringify({ ...view, label, errors: page.errors }));
} finally {
  await browser.close();
}
