#pragma once
// The native image file (".bki") of the maker's image editor: a header, a
// small thumbnail and the picture, all 24-bit. Never written by this program.
#include <cstdint>
#include <string>

#include "imagefiles/Graphic.h"

// The header's values as the reader keeps them.
struct TBKProperties {
  std::int32_t HeaderByte = 0;
  std::int32_t Width = 0;  // of the full picture
  std::int32_t Height = 0;
  double Number = 0;  // the stored value divided by 1000
  std::string Text;   // raw bytes, up to the first zero or 256 of them
  std::int32_t Value = 0;
};

class TBKImage : public TGraphic {
 public:
  const char* FormatName() const override { return "BKI"; }

  // Reads the header and the thumbnail only, as LoadFromBytes does with
  // Options.ThumbnailOnly (set by the load dispatch in quick mode): Bitmap()
  // becomes the thumbnail while FullWidth()/FullHeight() give the picture's
  // size from the header.
  void LoadThumbnailFromBytes(TBytes data);
  // After a thumbnail read: the full size from the header.
  bool PartialRead(int& fullWidth, int& fullHeight) const override;

  TBKProperties Properties;
  int FullWidth() const { return Properties.Width; }
  int FullHeight() const { return Properties.Height; }

 protected:
  // The full picture, or with ThumbnailOnly the stored thumbnail. Either way
  // the result is pf24bit; the full read also sets Transparent and the
  // transparent colour from the file.
  void ReadBytes(TBytes data) override;

 private:
  void ReadThumbnail(TBytes data);
  bool m_thumbnailRead = false;
};
