#include "platform/files.h"

#include "platform/random_bytes.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace plinka::platform {

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t fileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return -1;
  return static_cast<int64_t>(st.st_size);
}

namespace {

// Tries at a temporary name before a copy gives up: a name is only taken
// again by a leftover of a killed copy with the same process number and
// random part.
constexpr int kTempNameTries = 8;

bool writeAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// The folder holding path ("." for a bare name).
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

// A part of a temporary name that no other process or thread picks at the
// same moment: random bytes, or (should the kernel give none) a count and
// the clock.
std::string uniquePart() {
  static std::atomic<uint32_t> taken{0};
  uint32_t bits[2] = {};
  if (!randomBytes(bits, sizeof bits)) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    bits[0] = taken.fetch_add(1) ^ static_cast<uint32_t>(now.tv_nsec);
    bits[1] = static_cast<uint32_t>(now.tv_sec);
  }
  char text[24];
  std::snprintf(text, sizeof text, "%08x%08x", bits[0], bits[1]);
  return text;
}

// Makes a new, empty file beside `target` under a name of its own (the
// target's name, the process number and a random part); the open file, or
// -1 when none could be made. Made with O_EXCL: a name in use by another
// copy is never opened again.
int openTempBeside(const std::string& target, std::string& temp) {
  for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
    temp = uniqueNameBeside(target, ".part");
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

// Renames a finished temporary over (or, without `overwrite`, beside no
// existing) target and flushes the folder, so the new name survives a power
// cut.
bool putInPlace(const std::string& temp, const std::string& target, bool overwrite) {
  if (overwrite) {
    if (std::rename(temp.c_str(), target.c_str()) != 0)
      return false;
  } else if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    // A file system that cannot refuse to replace: look first, then rename.
    if ((errno != EINVAL && errno != ENOSYS) || fileExists(target) || std::rename(temp.c_str(), target.c_str()) != 0)
      return false;
  }
  return syncFolder(folderOf(target));
}

}  // namespace

bool fileIdentity(const std::string& path, FileIdentity& out) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  out.device = static_cast<uint64_t>(st.st_dev);
  out.inode = static_cast<uint64_t>(st.st_ino);
  out.size = static_cast<int64_t>(st.st_size);
  out.changedSeconds = static_cast<int64_t>(st.st_ctim.tv_sec);
  out.changedNanoseconds = static_cast<int64_t>(st.st_ctim.tv_nsec);
  return true;
}

bool syncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  int rc;
  do {
    rc = fsync(fd);
  } while (rc != 0 && errno == EINTR);
  const int error = rc == 0 ? 0 : errno;
  close(fd);
  // Some file systems (certain shares among them) do not sync folders at
  // all; there is nothing more to be had there.
  if (error == 0 || error == EINVAL || error == ENOTSUP || error == EROFS)
    return true;
  errno = error;
  return false;
}

bool syncFolderOf(const std::string& path) { return syncFolder(folderOf(path)); }

std::string uniqueNameBeside(const std::string& path, const char* suffix) {
  return path + "." + std::to_string(getpid()) + "." + uniquePart() + suffix;
}

bool copyFile(const std::string& from, const std::string& to, bool overwrite, const CopyProgress& progress) {
  if (!overwrite && fileExists(to))
    return false;
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return false;
  std::string temp;
  const int out = openTempBeside(to, temp);
  if (out < 0) {
    close(in);
    return false;
  }
  // A file replaced keeps its owner, group and permissions (a shared song
  // table stays writable by everyone it was writable by). The owner can only
  // be given by a privileged user; the group and mode by any owner.
  struct stat replaced {};
  if (stat(to.c_str(), &replaced) == 0) {
    if (fchown(out, replaced.st_uid, replaced.st_gid) != 0 &&
        fchown(out, static_cast<uid_t>(-1), replaced.st_gid) != 0) {
      // Left as this user made it: the copy itself still counts.
    }
    fchmod(out, replaced.st_mode & 07777);
  }
  bool ok = true;
  char buf[1 << 16];
  for (;;) {
    const ssize_t r = read(in, buf, sizeof buf);
    if (r < 0 && errno == EINTR)
      continue;
    if (r < 0) {
      ok = false;
      break;
    }
    if (r == 0)
      break;
    if (!writeAll(out, buf, static_cast<size_t>(r))) {
      ok = false;
      break;
    }
    if (progress)
      progress();
  }
  close(in);
  // On disk before the rename: a crash must not leave the target renamed
  // over the old file while its bytes are still only in memory.
  if (ok && fsync(out) != 0)
    ok = false;
  if (close(out) != 0)
    ok = false;
  if (ok && !putInPlace(temp, to, overwrite))
    ok = false;
  if (!ok)
    unlink(temp.c_str());
  return ok;
}

bool replaceFile(const std::string& path, const char* bytes, size_t n) {
  std::string temp;
  const int fd = openTempBeside(path, temp);
  if (fd < 0)
    return false;
  bool ok = writeAll(fd, bytes, n) && fsync(fd) == 0;
  if (close(fd) != 0)
    ok = false;
  if (ok && !putInPlace(temp, path, true))
    ok = false;
  if (!ok)
    unlink(temp.c_str());
  return ok;
}

bool removeFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool makeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST; }

bool readWholeFile(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    return false;
  out.clear();
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
    out.append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool preadAll(int fd, void* buf, size_t n, uint64_t offset) {
  auto* p = static_cast<uint8_t*>(buf);
  while (n > 0) {
    const ssize_t r = pread(fd, p, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR)
      continue;
    if (r <= 0)
      return false;
    p += r;
    n -= static_cast<size_t>(r);
    offset += static_cast<uint64_t>(r);
  }
  return true;
}

bool pwriteAll(int fd, const void* buf, size_t n, uint64_t offset) {
  const auto* p = static_cast<const uint8_t*>(buf);
  while (n > 0) {
    const ssize_t w = pwrite(fd, p, n, static_cast<off_t>(offset));
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      return false;
    p += w;
    n -= static_cast<size_t>(w);
    offset += static_cast<uint64_t>(w);
  }
  return true;
}

}  // namespace plinka::platform
