#pragma once
// The libtiff glue that the TIFF reader and writer share: the client
// procedures of a file in memory (read) and of an open file descriptor
// (write), per-file error capture, and the quiet global handlers.
#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>

// The file as libtiff sees it: the caller's bytes, read through callbacks.
// Mapping is refused so that libtiff never holds a pointer into them.
struct TMemoryFile {
  const std::uint8_t* data = nullptr;
  toff_t size = 0;
  toff_t pos = 0;
  std::string error;  // the first error libtiff reported
};

// An open file being written: writes go straight to it, and the first
// failure's errno is kept.
struct TWriteFile {
  int fd = -1;
  int systemError = 0;
  std::string error;  // the first error libtiff reported
};

struct TTiffOptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TTiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TTiffOptions = std::unique_ptr<TIFFOpenOptions, TTiffOptionsDeleter>;
using TTiffHandle = std::unique_ptr<TIFF, TTiffCloser>;

// Open options whose handlers keep the first error of the file in `error`
// and drop its warnings; null when out of memory.
TTiffOptions NewTiffOptions(std::string& error);

// Opens file for reading ("rm": no memory mapping, every read goes through
// the procedures); null when libtiff refuses it.
TTiffHandle OpenMemoryTiff(TMemoryFile& file, TIFFOpenOptions* options);
// Opens file for writing, as BigTIFF when big; null when libtiff refuses.
TTiffHandle OpenWriteTiff(TWriteFile& file, bool big, TIFFOpenOptions* options);

// The few messages libtiff still sends to its global handlers (those raised
// without a file handle) are dropped while a TTiffQuietScope lives on this
// thread, and passed on as before otherwise. InstallTiffQuietHandlers puts
// the handlers in place once per process.
void InstallTiffQuietHandlers();
struct TTiffQuietScope {
  TTiffQuietScope();
  ~TTiffQuietScope();
  TTiffQuietScope(const TTiffQuietScope&) = delete;
  TTiffQuietScope& operator=(const TTiffQuietScope&) = delete;
};
