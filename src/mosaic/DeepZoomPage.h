#pragma once
// The page that shows a mosaic's Deep Zoom pyramid in a browser: index.html
// and the viewer (bundled with the program), the pyramid's description as a
// script and as the .dzi file's twin, and the tile map as a script and as
// JSON. Scripts rather than files to fetch, because a browser refuses to
// fetch a file beside a page opened from the disk; tiles load as images,
// which it allows.
#include <QString>

struct TTileMap;

// The pyramid's name in the page's folder: mosaic.dzi and mosaic_files/.
inline constexpr const char* DeepZoomName = "mosaic";

// Writes the page into folder, beside the pyramid of a width x height
// mosaic; empty on success, else why it failed.
QString WriteDeepZoomPage(const QString& folder, int width, int height, const TTileMap& map);
