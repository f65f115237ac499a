#include "platform/files.h"

#include <cerrno>
#include <cstdio>
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

}  // namespace

bool copyFile(const std::string& from, const std::string& to, bool overwrite) {
  if (!overwrite && fileExists(to))
    return false;
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return false;
  const std::string temp = to + ".part";
  const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
  }
  close(in);
  // On disk before the rename: a crash must not leave the target renamed
  // over the old file while its bytes are still only in memory.
  if (ok && fsync(out) != 0)
    ok = false;
  if (close(out) != 0)
    ok = false;
  if (ok && std::rename(temp.c_str(), to.c_str()) != 0)
    ok = false;
  if (!ok)
    unlink(temp.c_str());
  return ok;
}

bool replaceFile(const std::string& path, const char* bytes, size_t n) {
  const std::string temp = path + "." + std::to_string(getpid()) + ".tmp";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  bool ok = writeAll(fd, bytes, n) && fsync(fd) == 0;
  if (close(fd) != 0)
    ok = false;
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0)
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

}  // namespace plinka::platform
