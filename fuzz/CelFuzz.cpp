// Feeds arbitrary bytes to the Autodesk Animator reader: any outcome but a clean picture
// or the load error is a fault.
#include <cstddef>
#include <cstdint>

#include "FuzzRead.h"
#include "imagefiles/CelImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TCelImage reader;
  FuzzRead(reader, TBytes(data, size));
  return 0;
}
