// Screenshots of a deep-zoom page at three zoom levels, for the docs: the
// whole mosaic, a closer view, and the deepest level at the point (X, Y)
// with the mouse there, so that the label names the photo.
//   node page-screenshots.mjs PAGE_DIR X Y OUT_PREFIX
// writes OUT_PREFIX-1.png, -2.png and -3.png.
import { chromium } from "playwright-core";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [pageDir, x, y, prefix] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
try {
  const page = await browser.newPage({ viewport: { width: 960, height: 640 }, deviceScaleFactor: 1 });
  await page.goto(pathToFileURL(path.resolve(pageDir, "index.html")).href);
  await page.waitForFunction(() => window.viewer && viewer.world.getItemCount() > 0, null, { timeout: 20000 });
  // Image pixels per screen pixel: the home view, then closer and closer.
  const zooms = [0, 0.12, 2];
  for (let i = 0; i < zooms.length; ++i) {
    await page.evaluate(([x, y, zoom]) => {
      const viewport = viewer.viewport;
      if (zoom === 0) return viewport.goHome(true);
      viewport.zoomTo(viewport.imageToViewportZoom(zoom), null, true);
      viewport.panTo(viewport.imageToViewportCoordinates(x, y), true);
    }, [Number(x), Number(y), zooms[i]]);
    await page.waitForFunction(() => viewer.world.getItemAt(0).getFullyLoaded(), null, { timeout: 20000 });
    if (i === zooms.length - 1) {
      const at = await page.evaluate(([x, y]) =>
        viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(x, y)), [Number(x), Number(y)]);
      await page.mouse.move(at.x, at.y);
      await page.mouse.move(at.x + 1, at.y);
    }
    await page.waitForTimeout(500);
    await page.screenshot({ path: `${prefix}-${i + 1}.png` });
  }
} finally {
  await browser.close();
}
