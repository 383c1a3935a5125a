#include "mosaic/DeepZoomPage.h"

#include <filesystem>
#include <system_error>

#include "app/FileNames.h"
#include "app/PathAndTextHelpers.h"
#include "imagefiles/DeepZoom.h"
#include "imagefiles/FileBytes.h"
#include "mosaic/TileMap.h"

namespace fs = std::filesystem;

namespace {

fs::path SystemPath(const QString& name) { return fs::path(EncodeFileName(name).toStdString()); }

void WriteText(const QString& name, const QByteArray& text) {
  WriteFileAtomically(name, TBytes(reinterpret_cast<const std::uint8_t*>(text.constData()), size_t(text.size())));
}

}  // namespace

QString WriteDeepZoomPage(const QString& folder, int width, int height, const TTileMap& map) {
  const QString bundled = BundledPath(QStringLiteral("web"));
  std::error_code ec;
  if (!fs::is_regular_file(SystemPath(bundled + QStringLiteral("/index.html")), ec) ||
      !fs::is_directory(SystemPath(bundled + QStringLiteral("/openseadragon")), ec))
    return QStringLiteral("the page's files are missing from \"%1\"").arg(bundled);
  fs::copy(SystemPath(bundled), SystemPath(folder), fs::copy_options::recursive | fs::copy_options::overwrite_existing,
           ec);
  if (ec) return QStringLiteral("cannot copy \"%1\": %2").arg(bundled, QString::fromStdString(ec.message()));
  const QByteArray name(DeepZoomName);
  const QByteArray description =
      "window.mosaicImage = {\"Image\": {\"xmlns\": \"http://schemas.microsoft.com/deepzoom/2008\", \"Url\": \"" +
      name + "_files/\", \"Format\": \"jpg\", \"Overlap\": \"" + QByteArray::number(TDeepZoomWriter::Overlap) +
      "\", \"TileSize\": \"" + QByteArray::number(TDeepZoomWriter::TileSize) + "\", \"Size\": {\"Width\": \"" +
      QByteArray::number(width) + "\", \"Height\": \"" + QByteArray::number(height) + "\"}}};\n";
  try {
    WriteText(folder + QStringLiteral("/mosaic.js"), description);
    WriteText(folder + QStringLiteral("/tilemap.js"), TileMapScript(map));
    WriteText(folder + QStringLiteral("/tilemap.json"), TileMapJson(map));
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  }
  return {};
}
