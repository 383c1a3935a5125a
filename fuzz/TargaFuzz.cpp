// Feeds arbitrary bytes to the Targa reader: any outcome but a clean picture or
// the load error is a fault.
#include <cstddef>
#include <cstdint>

#include "FuzzRead.h"
#include "imagefiles/TargaImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTargaImage reader;
  FuzzRead(reader, TBytes(data, size));
  return 0;
}
