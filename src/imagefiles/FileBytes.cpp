#include "imagefiles/FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "app/FileNames.h"

std::string SystemErrorReason(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "is a folder";
    case ENOSPC: return "disk full";
    case ENOMEM: return "not enough memory";
    case ENOTDIR: return "not a folder";
    case EROFS: return "read-only file system";
    case EFBIG: return "file too large";
    case EDQUOT: return "disk quota exceeded";
    case ENAMETOOLONG: return "file name too long";
    default: return std::strerror(error);
  }
}

TFileBytes::TFileBytes(const QString& fileName) {
  // Non-blocking, so that opening a named pipe does not wait for a writer.
  m_fd = ::open(EncodeFileName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) throw EImageError(SystemErrorReason(errno));
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    const int error = errno;
    ::close(m_fd);
    throw EImageError(SystemErrorReason(error));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(m_fd);
    throw EImageError(S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file");
  }
  const auto size = std::size_t(st.st_size);
  if (size == 0) return;
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, m_fd, 0);
  if (mapped != MAP_FAILED) {
    m_mapped = mapped;
    m_mappedSize = size;
    m_bytes = TBytes(static_cast<const std::uint8_t*>(mapped), size);
    return;
  }
  try {
    m_copy.resize(size);
  } catch (...) {
    ::close(m_fd);
    throw;
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(m_fd, m_copy.data() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(m_fd);
      throw EImageError(SystemErrorReason(error));
    }
    if (n == 0) break;  // the file shrank: the readers see what is left
    done += std::size_t(n);
  }
  m_bytes = TBytes(m_copy.data(), done);
}

TFileBytes::~TFileBytes() {
  if (m_mapped) ::munmap(m_mapped, m_mappedSize);
  if (m_fd >= 0) ::close(m_fd);
}

namespace {

// The folder part of a file name in bytes ("." for a bare name).
QByteArray FolderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Creating a file fails with ENOENT only when a folder on its way is missing.
std::string CreateReason(int error) { return error == ENOENT ? "no such folder" : SystemErrorReason(error); }

}  // namespace

TAtomicFile::TAtomicFile(const QString& fileName) {
  QByteArray target = EncodeFileName(fileName);
  struct stat st {};
  if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode))
    if (char* resolved = ::realpath(target.constData(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  const bool exists = ::stat(target.constData(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw EImageError("is a folder");
  m_target = target;

  // A fresh name beside the target; 0666 lets the umask decide, as for any new file.
  std::random_device seed;
  std::minstd_rand random(seed());
  for (int attempt = 0; m_fd < 0; ++attempt) {
    m_temporary = target + '.' + QByteArray::number(quint32(random()) & 0xFFFFFF, 16);
    m_fd = ::open(m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0 && (errno != EEXIST || attempt == 100)) throw EImageError(CreateReason(errno));
  }
  if (exists && ::fchmod(m_fd, st.st_mode & 0777) != 0) Fail(errno);
}

TAtomicFile::~TAtomicFile() { Discard(); }

void TAtomicFile::Fail(int error) {
  Discard();
  throw EImageError(SystemErrorReason(error));
}

void TAtomicFile::Write(const std::uint8_t* data, std::size_t size) {
  if (m_fd < 0) throw EImageError("the file is closed");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(m_fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    done += std::size_t(n);
  }
}

void TAtomicFile::Commit() {
  if (m_fd < 0) throw EImageError("the file is closed");
  // Some file systems report a full disk only when the data reach it; one
  // that cannot sync at all is no reason to fail.
  if (::fsync(m_fd) != 0 && errno != EINVAL && errno != ENOTSUP) Fail(errno);
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0 || ::rename(m_temporary.constData(), m_target.constData()) != 0) {
    const int error = errno;
    ::unlink(m_temporary.constData());
    m_temporary.clear();
    throw EImageError(SystemErrorReason(error));
  }
  m_temporary.clear();
}

void TAtomicFile::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_temporary.isEmpty()) ::unlink(m_temporary.constData());
  m_temporary.clear();
}

void WriteFileAtomically(const QString& fileName, TBytes bytes) {
  TAtomicFile file(fileName);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
}

std::string SaveTargetProblem(const QString& fileName) {
  const QByteArray target = EncodeFileName(fileName);
  struct stat st {};
  if (::stat(target.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return "is a folder";
  const QByteArray folder = FolderOf(target);
  if (::stat(folder.constData(), &st) != 0) return CreateReason(errno);
  if (!S_ISDIR(st.st_mode)) return "not a folder";
  if (::access(folder.constData(), W_OK | X_OK) != 0) return SystemErrorReason(errno);
  return {};
}

std::string FolderTargetProblem(const QString& folder) {
  QByteArray path = EncodeFileName(folder);
  if (path.isEmpty()) return CreateReason(ENOENT);
  struct stat st {};
  while (::stat(path.constData(), &st) != 0) {
    if (errno != ENOENT) return SystemErrorReason(errno);
    const QByteArray parent = FolderOf(path);
    if (parent == path) return CreateReason(ENOENT);
    path = parent;
  }
  if (!S_ISDIR(st.st_mode)) return "not a folder";
  if (::access(path.constData(), W_OK | X_OK) != 0) return SystemErrorReason(errno);
  return {};
}
