#include "library/file_access.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plinka::library {

int openForReading(const char* path, uint64_t* size) {
  // O_NONBLOCK keeps the open of a named pipe from waiting for a writer; it
  // has no effect on the regular files that are accepted.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return -1;
  }
  if (size)
    *size = static_cast<uint64_t>(st.st_size);
  return fd;
}

size_t readAt(int fd, void* dst, size_t n, uint64_t offset) {
  auto* out = static_cast<char*>(dst);
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    if (got == 0)
      break;
    done += static_cast<size_t>(got);
  }
  return done;
}

FileCloser::~FileCloser() {
  if (fd_ >= 0)
    close(fd_);
}

}  // namespace plinka::library
