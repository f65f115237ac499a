// A whole-file memory mapping, shared with the file: read-only or read-write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plinka::platform {

class FileMapping {
public:
  FileMapping() = default;
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;
  ~FileMapping() { close(); }

  // Opens and maps the existing file at path. False (nothing held) when the
  // file cannot be opened or mapped; an empty file cannot be mapped.
  bool open(const std::string& path, bool writable);
  void close();
  // Writes the mapped pages and the file to disk; true when both went.
  bool sync();

  bool isOpen() const { return data_ != nullptr; }
  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  int fd() const { return fd_; }

private:
  int fd_ = -1;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace plinka::platform
