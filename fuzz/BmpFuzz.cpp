// Feeds arbitrary bytes to the BMP reader: any outcome but a clean picture or
// the load error is a fault.
#include <cstddef>
#include <cstdint>

#include "FuzzRead.h"
#include "imagefiles/BmpImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TBmpImage reader;
  FuzzRead(reader, TBytes(data, size));
  return 0;
}
