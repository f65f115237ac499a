#include "filler/song_copy.h"

#include "platform/files.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plinka::filler {

namespace {

constexpr size_t kBlockSize = 1 << 16;

// Errors that mean the medium has no room left.
bool meansFull(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

CopyResult failed(CopyEnd end, int error) {
  CopyResult r;
  r.end = end;
  r.error = error;
  return r;
}

CopyResult targetFailure(int error) {
  return failed(meansFull(error) ? CopyEnd::MediumFull : CopyEnd::TargetFailed, error);
}

class Descriptor {
public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes it now; the error of the close (a write the medium refused late
  // shows here), or 0.
  int closeNow() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

private:
  int fd_;
};

// Writes all n bytes; 0 or the error.
int writeAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

CopyResult copyInto(int in, Descriptor& out, const std::atomic<uint32_t>* stop) {
  static thread_local char block[kBlockSize];
  for (;;) {
    if (stop && stop->load() != 0)
      return failed(CopyEnd::Stopped, 0);
    const ssize_t r = ::read(in, block, sizeof block);
    if (r < 0 && errno == EINTR)
      continue;
    if (r < 0)
      return failed(CopyEnd::SourceFailed, errno);
    if (r == 0)
      break;
    if (const int error = writeAll(out.get(), block, static_cast<size_t>(r)))
      return targetFailure(error);
  }
  // On the medium before the rename: the song's name must never stand for
  // bytes that are still only in memory.
  if (::fsync(out.get()) != 0)
    return targetFailure(errno);
  if (const int error = out.closeNow())
    return targetFailure(error);
  return {};
}

}  // namespace

CopyResult copySong(const std::string& source, const std::string& target, const std::string& temp,
                    const std::atomic<uint32_t>* stop) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0)
    return failed(CopyEnd::SourceFailed, errno);
  const Descriptor input(in);
  // Only a regular file is a song: a folder, pipe or device is refused
  // rather than read (a pipe could block the run for ever).
  struct stat st {};
  if (::fstat(in, &st) != 0)
    return failed(CopyEnd::SourceFailed, errno);
  if (!S_ISREG(st.st_mode))
    return failed(CopyEnd::SourceFailed, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

  // The temporary file of this copy: the stem, this process's id and a
  // random part.
  const std::string ownTemp = platform::uniqueNameBeside(temp, "");
  Descriptor output(::open(ownTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (output.get() < 0)
    return targetFailure(errno);
  CopyResult result = copyInto(in, output, stop);
  if (result.end == CopyEnd::Copied && std::rename(ownTemp.c_str(), target.c_str()) != 0)
    result = targetFailure(errno);
  if (result.end != CopyEnd::Copied) {
    ::unlink(ownTemp.c_str());
    return result;
  }
  if (!platform::syncFolderOf(target))
    return targetFailure(errno);
  return result;
}

void removeLeftTemporaryFiles(const std::string& folder) {
  const std::string stem = kCopyTempName;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr)
    return;
  std::vector<std::string> left;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == stem) {
      left.push_back(name);
      continue;
    }
    if (name.compare(0, stem.size() + 1, stem + ".") != 0)
      continue;
    // ".plinka-fill.part.<pid>.<random>": gone with its process only.
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + stem.size() + 1, &end, 10);
    if (pid > 0 && end && *end == '.' && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      left.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : left)
    ::unlink((folder + name).c_str());
}

}  // namespace plinka::filler
