// Feeds arbitrary bytes to the ImageMagick-backed readers: the first byte picks
// the format, the rest is the file. The reader's resource limits are in force
// as in the program; any outcome but a clean picture or the load error is a
// fault.
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "FuzzRead.h"
#include "imagefiles/MagickReader.h"

namespace {

constexpr TMagickFormat Formats[] = {TMagickFormat::Rla, TMagickFormat::Cut, TMagickFormat::Ico, TMagickFormat::Wmf,
                                     TMagickFormat::Emf, TMagickFormat::Pcx, TMagickFormat::Pcd, TMagickFormat::Psd,
                                     TMagickFormat::Pnm, TMagickFormat::Sgi};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // Below the fuzzer's own timeout, so that a slow decode shows as the load
  // error it would be in the program.
  SetMagickReadTimeLimit(std::chrono::seconds(5));
  TMagickImage image(Formats[data[0] % (sizeof(Formats) / sizeof(Formats[0]))]);
  FuzzRead(image, TBytes(data + 1, size - 1));
  return 0;
}
