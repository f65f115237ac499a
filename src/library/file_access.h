// Reading media files for the library's scanners: opening only regular files
// (never blocking on a pipe or device) and reading at an offset in whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plinka::library {

// Opens path for reading. Only regular files are accepted: a folder, pipe or
// device counts as "cannot open". Returns the descriptor, or -1. The size of
// the file is put in *size when size is given.
int openForReading(const char* path, uint64_t* size = nullptr);

// Reads up to n bytes at offset, retrying short reads and interruptions.
// Returns the number of bytes read (fewer at the end of the file or on error).
size_t readAt(int fd, void* dst, size_t n, uint64_t offset);

// Closes a descriptor from openForReading when it goes out of scope.
class FileCloser {
public:
  explicit FileCloser(int fd) : fd_(fd) {}
  ~FileCloser();
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

private:
  int fd_;
};

}  // namespace plinka::library
