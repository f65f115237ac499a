#include "platform/mapping.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plinka::platform {

namespace {

// Opens path and keeps it only when it is a regular file that is not empty;
// its length in `size`. Without blocking: opening a FIFO for reading would
// wait for a writer, while a regular file reads and maps the same either way.
int openRegularFile(const std::string& path, int access, size_t& size) {
  const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    ::close(fd);
    return -1;
  }
  size = static_cast<size_t>(st.st_size);
  return fd;
}

}  // namespace

bool FileMapping::open(const std::string& path, bool writable, const Span& span) {
  close();
  size_t size = 0;
  const int fd = openRegularFile(path, writable ? O_RDWR : O_RDONLY, size);
  if (fd < 0)
    return false;
  if (span)
    size = std::min(size, span(fd, size));
  if (size == 0) {
    ::close(fd);
    return false;
  }
  // Every open walks the slots' status bytes, which touches every page. For
  // writing, mapping them all in one call costs far less than a fault per
  // page. For reading, a fault maps the pages around it as well, and that
  // comes out cheaper than mapping the whole file up front.
  const int prot = writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
  void* p = mmap(nullptr, size, prot, writable ? (MAP_SHARED | MAP_POPULATE) : MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  data_ = static_cast<uint8_t*>(p);
  size_ = size;
  return true;
}

bool FileMapping::load(const std::string& path) {
  close();
  size_t size = 0;
  const int fd = openRegularFile(path, O_RDONLY, size);
  if (fd < 0)
    return false;
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    ::close(fd);
    return false;
  }
  auto* bytes = static_cast<uint8_t*>(p);
  size_t got = 0;
  while (got < size) {
    const ssize_t r = pread(fd, bytes + got, size - got, static_cast<off_t>(got));
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      break;  // an error, or the file grew shorter meanwhile
    got += static_cast<size_t>(r);
  }
  ::close(fd);
  if (got < size || mprotect(p, size, PROT_READ) != 0) {
    munmap(p, size);
    return false;
  }
  data_ = bytes;
  size_ = size;
  return true;
}

bool FileMapping::sync() {
  if (!data_ || fd_ < 0)
    return false;
  const bool pages = msync(data_, size_, MS_SYNC) == 0;
  return fsync(fd_) == 0 && pages;
}

void FileMapping::close() {
  if (data_)
    munmap(data_, size_);
  if (fd_ >= 0)
    ::close(fd_);
  data_ = nullptr;
  size_ = 0;
  fd_ = -1;
}

}  // namespace plinka::platform
