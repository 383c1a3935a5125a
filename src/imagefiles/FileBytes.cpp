#include "imagefiles/FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

std::string SystemErrorReason(int error) {
  switch (error) {
    case ENOENT: return "no such file";
    case EACCES:
    case EPERM: return "permission denied";
    case EISDIR: return "is a folder";
    case ENOSPC: return "disk full";
    case ENOMEM: return "not enough memory";
    default: return std::strerror(error);
  }
}

TFileBytes::TFileBytes(const QString& fileName) {
  // Non-blocking, so that opening a named pipe does not wait for a writer.
  m_fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
