#pragma once
// Readers of the less common formats that ImageMagick decodes for us. This is
// the only code that talks to ImageMagick: it picks the coder from our own
// format registry (never from ImageMagick's guess), checks the file's
// signature and picture size itself before the library sees the data, keeps
// the library inside resource limits, and turns the decoded picture into a
// TBitmap in the depth the file was stored in. Alias/Wavefront RLA files are
// decoded here without the library, whose RLA coder cannot read them.
#include <chrono>
#include <optional>
#include <string_view>

#include "imagefiles/Graphic.h"

enum class TMagickFormat {
  Rla,  // Alias/Wavefront: rla, rpf
  Cut,  // Dr. Halo: cut
  Ico,  // icons: ico
  Wmf,  // Windows metafile: wmf
  Emf,  // enhanced metafile: emf (cannot be rendered here, always fails)
  Pcx,  // Paintbrush: pcx, pcc, scr
  Pcd,  // Photo-CD: pcd
  Psd,  // Photoshop: psd, pdd
  Pnm,  // portable bitmap/greymap/pixmap: pbm, pgm, ppm
  Sgi,  // SGI image: bw, rgb, rgba, sgi
};

// The format our registry gives an extension (without its dot, any case), or
// nothing when the extension is not one of these formats.
std::optional<TMagickFormat> MagickFormatForExtension(std::string_view extension);

class TMagickImage : public TGraphic {
 public:
  explicit TMagickImage(TMagickFormat format) : m_format(format) {}

  TMagickFormat Format() const { return m_format; }
  const char* FormatName() const override;

 protected:
  // Decodes the file with the coder of Format() only. The bitmap comes out as
  // pf1bit/pf4bit/pf8bit with the file's colour table for palette and grey
  // pictures, pf32bit when the picture has alpha, pf24bit otherwise. A file
  // that is not of this format, is damaged, too large, or takes longer than
  // the read time limit raises EImageError.
  void ReadBytes(TBytes data) override;

 private:
  TMagickFormat m_format;
};

// Wall-clock budget of one ImageMagick decode (30 seconds unless changed);
// a decode that runs over is stopped and fails with EImageError.
void SetMagickReadTimeLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds MagickReadTimeLimit();
