// A whole-file memory mapping, shared with the file: read-only or read-write;
// or a private read-only copy of the file's bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace plinka::platform {

class FileMapping {
public:
  FileMapping() = default;
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  ~FileMapping() { close(); }

  // How many bytes from the start of the open file to map, given its
  // descriptor and length; at most the length.
  using Span = std::function<size_t(int fd, size_t length)>;

  // Opens and maps the existing file at path: the whole file, or the part
  // `span` names. False (nothing held) when the file cannot be opened or
  // mapped; an empty file cannot be mapped, nor anything but a regular file
  // (a FIFO or a device is refused at once, never waited on).
  bool open(const std::string& path, bool writable, const Span& span = {});
  // Reads the existing file at path whole into private memory, read-only,
  // and holds that instead of a mapping of the file: for a file on a share
  // that may drop out, where a mapped page read later would kill the
  // process; here a share that is gone fails the read at once. False
  // (nothing held) when the file cannot be opened or read whole.
  bool load(const std::string& path);
  void close();
  // Writes the mapped pages and the file to disk; true when both went (false
  // for a loaded copy, which has no file behind it).
  bool sync();

  bool isOpen() const { return data_ != nullptr; }
  uint8_t* data() const { return data_; }
  // The mapped length.
  size_t size() const { return size_; }
  int fd() const { return fd_; }

private:
  int fd_ = -1;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace plinka::platform
