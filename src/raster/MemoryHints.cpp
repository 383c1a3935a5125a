#include "raster/MemoryHints.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void PreferHugePages(void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
  if (!data || bytes < 4 * kHuge) return;
  // Only whole huge pages inside the buffer can be given.
  const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}
