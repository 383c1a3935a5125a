// The libtiff glue: client procedures, error capture and quiet handlers.
#include "imagefiles/TiffGlue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t n) {
  auto* file = static_cast<TMemoryFile*>(handle);
  if (n <= 0 || file->pos >= file->size) return 0;
  const toff_t count = std::min<toff_t>(toff_t(n), file->size - file->pos);
  std::memcpy(buffer, file->data + file->pos, size_t(count));
  file->pos += count;
  return tmsize_t(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<TMemoryFile*>(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR)
    base = file->pos;
  else if (whence == SEEK_END)
    base = file->size;
  else if (whence != SEEK_SET)
    return toff_t(-1);
  // A relative seek backwards arrives as a wrapped unsigned offset; going
  // past the end is allowed, the next read simply finds nothing.
  const toff_t target = base + offset;
  if (whence != SEEK_SET && std::int64_t(offset) < 0 && target > base) return toff_t(-1);
  file->pos = target;
  return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<TMemoryFile*>(handle)->size; }
int MapProc(thandle_t, tdata_t*, toff_t*) { return 0; }
void UnmapProc(thandle_t, tdata_t, toff_t) {}

tmsize_t FileRead(thandle_t handle, void* buffer, tmsize_t n) {
  const ssize_t done = ::read(static_cast<TWriteFile*>(handle)->fd, buffer, size_t(n));
  return done < 0 ? 0 : tmsize_t(done);
}

tmsize_t FileWrite(thandle_t handle, void* buffer, tmsize_t n) {
  auto* file = static_cast<TWriteFile*>(handle);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  tmsize_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(file->fd, bytes + done, size_t(n - done));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) {
      if (file->systemError == 0) file->systemError = errno;
      return -1;
    }
    done += w;
  }
  return done;
}

toff_t FileSeek(thandle_t handle, toff_t offset, int whence) {
  const off_t at = ::lseek(static_cast<TWriteFile*>(handle)->fd, off_t(offset), whence);
  return at < 0 ? toff_t(-1) : toff_t(at);
}

toff_t FileSize(thandle_t handle) {
  struct stat st {};
  return ::fstat(static_cast<TWriteFile*>(handle)->fd, &st) == 0 ? toff_t(st.st_size) : 0;
}

int OnTiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* error = static_cast<std::string*>(user);
  if (error->empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    *error = module ? std::string(module) + ": " + text : std::string(text);
  }
  return 1;  // handled: nothing reaches the global handlers
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

thread_local int t_quietReads = 0;
TIFFErrorHandler g_previousError = nullptr;
TIFFErrorHandler g_previousWarning = nullptr;

void QuietError(const char* module, const char* fmt, va_list ap) {
  if (t_quietReads == 0 && g_previousError) g_previousError(module, fmt, ap);
}
void QuietWarning(const char* module, const char* fmt, va_list ap) {
  if (t_quietReads == 0 && g_previousWarning) g_previousWarning(module, fmt, ap);
}

}  // namespace

TTiffOptions NewTiffOptions(std::string& error) {
  TTiffOptions options(TIFFOpenOptionsAlloc());
  if (!options) return options;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnTiffError, &error);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnTiffWarning, &error);
  return options;
}

TTiffHandle OpenMemoryTiff(TMemoryFile& file, TIFFOpenOptions* options) {
  return TTiffHandle(TIFFClientOpenExt("memory", "rm", &file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                       MapProc, UnmapProc, options));
}

TTiffHandle OpenWriteTiff(TWriteFile& file, bool big, TIFFOpenOptions* options) {
  return TTiffHandle(TIFFClientOpenExt("output", big ? "w8" : "w", &file, FileRead, FileWrite, FileSeek, CloseProc,
                                       FileSize, MapProc, UnmapProc, options));
}

void InstallTiffQuietHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_previousError = TIFFSetErrorHandler(QuietError);
    g_previousWarning = TIFFSetWarningHandler(QuietWarning);
  });
}

TTiffQuietScope::TTiffQuietScope() { ++t_quietReads; }
TTiffQuietScope::~TTiffQuietScope() { --t_quietReads; }
