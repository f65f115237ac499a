// Plain file operations the engine needs, as result codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace plinka::platform {

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Size in bytes, or -1 when the file cannot be looked at.
int64_t fileSize(const std::string& path);

// What tells a file apart from any other and from itself before a change:
// a rename over its name gives another inode, a write through any handle a
// new change time. Compared whole.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = -1;
  int64_t changedSeconds = 0;
  int64_t changedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};
// The identity of the regular file at path; false (out unchanged) when it
// cannot be looked at or is no regular file.
bool fileIdentity(const std::string& path, FileIdentity& out);

// Flushes a folder's entries to disk, so a file renamed or made in it is
// still there after a power cut. File systems that cannot sync a folder
// count as done.
bool syncFolder(const std::string& folder);
// Syncs the folder that holds `path` (its parent; the working folder for a
// bare name), as syncFolder does. On failure errno says why.
bool syncFolderOf(const std::string& path);

// A fresh name beside `path` for a file made to replace it: `path` followed
// by ".", the process id, ".", a random part and `suffix`. Open it with
// O_EXCL, so two makers never share one.
std::string uniqueNameBeside(const std::string& path, const char* suffix);

// Called now and then while a long copy runs, to show that it still moves.
using CopyProgress = std::function<void()>;

// Copies a whole file, replacing `to` when `overwrite` is set. The copy is
// written under a temporary name beside `to` that no other copy uses (two
// copies to one destination never write into each other), flushed to disk
// and renamed, and the folder is flushed after the rename; a failed copy (or
// a crash) never leaves a half-written target behind. Without `overwrite`
// an existing `to` is kept and the copy fails.
bool copyFile(const std::string& from, const std::string& to, bool overwrite = true, const CopyProgress& progress = {});
// Writes bytes to a new file beside path (under a name of its own), flushes
// it to disk, renames it over path and flushes the folder, so the old file
// stays whole until the new one is complete.
bool replaceFile(const std::string& path, const char* bytes, size_t n);
bool removeFile(const std::string& path);
// Creates one folder level; an existing folder is no error.
bool makeFolder(const std::string& path);
// Reads a whole (small) file; false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& out);

// Reads / writes exactly n bytes at offset, going on after a short transfer
// or an interrupted call. False on an error or, reading, at the end of the
// file before n bytes.
bool preadAll(int fd, void* buf, size_t n, uint64_t offset);
bool pwriteAll(int fd, const void* buf, size_t n, uint64_t offset);

}  // namespace plinka::platform
