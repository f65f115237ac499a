// Plain file operations the engine needs, as result codes.
#pragma once

#include <cstdint>
#include <string>

namespace plinka::platform {

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Size in bytes, or -1 when the file cannot be looked at.
int64_t fileSize(const std::string& path);
// Copies a whole file, replacing `to` when `overwrite` is set. The copy is
// written under a temporary name, flushed to disk and renamed, so a failed
// copy (or a crash) never leaves a half-written target behind.
bool copyFile(const std::string& from, const std::string& to, bool overwrite = true);
// Writes bytes to a new file beside path, flushes it to disk and renames it
// over path, so the old file stays whole until the new one is complete.
bool replaceFile(const std::string& path, const char* bytes, size_t n);
bool removeFile(const std::string& path);
// Creates one folder level; an existing folder is no error.
bool makeFolder(const std::string& path);
// Reads a whole (small) file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& out);

}  // namespace plinka::platform
