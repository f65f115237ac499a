// The song table held open for a scope: for reading (the refreshed local
// copy in network mode) or for writing (pushed back to the share when it
// closes). The guard closes it on every path out.
#pragma once

namespace plinka {
struct DbContext;
}

namespace plinka::db {

class SongTableOpen {
public:
  enum class Mode { Reading, Writing };

  SongTableOpen(DbContext& app, Mode mode);
  ~SongTableOpen() { close(); }
  SongTableOpen(const SongTableOpen&) = delete;
  SongTableOpen& operator=(const SongTableOpen&) = delete;

  // True when the song table opened.
  bool isOpen() const { return open_; }
  explicit operator bool() const { return open_; }
  // Closes it now (after writing: and pushes the local copy back). False
  // when a change did not reach the song table's own file (see
  // closeSongTableAfterWriting); true after reading, or when already closed.
  bool close();

private:
  DbContext& app_;
  Mode mode_;
  bool open_ = false;
};

}  // namespace plinka::db
