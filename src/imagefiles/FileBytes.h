#pragma once
// The bytes of one picture file, as the readers see them.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>

#include "imagefiles/Graphic.h"

// Opens a regular file and holds its whole content, mapped when possible so
// that a large file costs no copy. Anything else (a folder, a named pipe, a
// device, a link to one) is refused without blocking, and no more bytes are
// read than the size the file system reported when the file was opened, so
// a file that grows meanwhile cannot make a read endless. Throws EImageError
// with the reason ("no such file", "permission denied", "not a regular
// file", ...); std::bad_alloc when the copy cannot be made.
class TFileBytes {
 public:
  explicit TFileBytes(const QString& fileName);
  ~TFileBytes();
  TFileBytes(const TFileBytes&) = delete;
  TFileBytes& operator=(const TFileBytes&) = delete;

  TBytes Bytes() const { return m_bytes; }

 private:
  int m_fd = -1;
  void* m_mapped = nullptr;
  std::size_t m_mappedSize = 0;
  TByteBuffer m_copy;
  TBytes m_bytes;
};

// The reason a system call failed with errno, in the words of the load
// error's second line.
std::string SystemErrorReason(int error);

// Writes bytes as the file fileName, all or nothing: they go to a new file
// beside it, which replaces the old one (keeping its permissions) only once
// written and synced, so a failed write leaves the old file as it was and no
// other file behind. A symbolic link is written through. Throws EImageError
// with the reason ("no such folder", "permission denied", "disk full", ...).
void WriteFileAtomically(const QString& fileName, TBytes bytes);

// The same written piece by piece, for a file too large to hold: a new file
// beside the target takes the pieces, and replaces the target (keeping its
// permissions) at Commit; until then, and whenever anything fails, the
// target is as it was and the new file is removed. Every failure throws
// EImageError with the reason.
class TAtomicFile {
 public:
  explicit TAtomicFile(const QString& fileName);
  ~TAtomicFile();  // discards unless committed
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t size);
  // Synced, closed and renamed to the target.
  void Commit();
  // Closed and removed; harmless when called again.
  void Discard();
  // The open file (-1 once committed or discarded), for a library that
  // seeks; the new file's name.
  int Descriptor() const { return m_fd; }
  const QByteArray& TemporaryName() const { return m_temporary; }

 private:
  [[noreturn]] void Fail(int error);
  QByteArray m_target, m_temporary;
  int m_fd = -1;
};

// Why fileName cannot be written, found without writing anything: its
// folder is missing, is not a folder or cannot be written, or the name is a
// folder; empty when nothing stands in the way.
std::string SaveTargetProblem(const QString& fileName);
// Why files cannot be written into folder, found without making or writing
// anything: the folder, or the nearest of its parents that is there (where
// the missing ones would be made), is not a folder or cannot be written;
// empty when nothing stands in the way.
std::string FolderTargetProblem(const QString& folder);
