// Screenshots of a deep-zoom page at three zoom levels, for the docs: the
// whole mosaic, a closer view, and the deepest level at the point (X, Y)
// with the mouse there, so that the label names the photo.
//   node page-screenshots.mjs PAGE_DIR X Y OUT_PREFIX
// writes OUT_PREFIX-1.png, -2.png and -3.png.
import path from "node:path";
import { pathToFileURL } from "node:url";
import { launchChromium } from "./chromium.mjs";

const [pageDir, x, y, prefix] = process.argv.slice(2);
const browser = await launchChromium();
try {
  const page = await browser.newPage(960, 640);
  await page.goto(pathToFileURL(path.resolve(pageDir, "index.html")).href);
  await page.waitFor(() => window.viewer && viewer.world.getItemCount() > 0);
  // Image pixels per screen pixel: the home view, then closer and closer.
  const zooms = [0, 0.12, 2];
  for (let i = 0; i < zooms.length; ++i) {
    await page.evaluate(([x, y, zoom]) => {
      const viewport = viewer.viewport;
      if (zoom === 0) return viewport.goHome(true);
      viewport.zoomTo(viewport.imageToViewportZoom(zoom), null, true);
      viewport.panTo(viewport.imageToViewportCoordinates(x, y), true);
    }, [Number(x), Number(y), zooms[i]]);
    await page.waitFor(() => viewer.world.getItemAt(0).getFullyLoaded());
    if (i === zooms.length - 1) {
      const at = await page.evaluate(([x, y]) =>
        viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(x, y)), [Number(x), Number(y)]);
      await page.mouseMove(at.x, at.y);
      await page.mouseMove(at.x + 1, at.y);
    }
    await new Promise((r) => setTimeout(r, 500));
    await page.screenshot(`${prefix}-${i + 1}.png`);
  }
} finally {
  await browser.close();
}
