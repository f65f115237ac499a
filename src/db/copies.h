// Opening the song table. Outside network mode this is the song handle on
// databasePath. In network mode the song table lives on a share: reads come
// from a local copy that is refreshed now and then, and changes are made in
// the local copy under an exclusive lock on the network file and pushed back
// when done; when the share cannot be reached the database goes offline.
#pragma once

#include "platform/file_lock.h"
#include "platform/files.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace plinka {
struct DbContext;
}

namespace plinka::db {

// The local copy's file name in the data folder, and what its backup adds.
constexpr char kLocalCopyName[] = "Local.cvf";
constexpr char kBackupSuffix[] = ".bak";
// Beside the network file: a token every push replaces, so a pull can tell
// that the file has not changed since it was last pulled (an edit never
// changes the file's size, and shares keep coarse times).
constexpr char kStampSuffix[] = ".stamp";
// The refresh counter at start: above the threshold, so the first read-open
// refreshes the local copy.
constexpr uint32_t kRefreshCounterAtStart = 200;
// A read-open refreshes the local copy once the counter has reached this.
constexpr uint32_t kRefreshThreshold = 51;
// Tries of one copy before it counts as failed.
constexpr uint32_t kCopyTries = 3;

// The user-visible texts of the copies.
constexpr char kBothUnopenableText[] = "The local and remote databases cannot be opened";
constexpr char kNetworkDamagedText[] = "The network Database is damaged";
constexpr char kReplaceWithLocalCaption[] = "Replace with local";
constexpr char kDoNothingCaption[] = "Don't do anything";
constexpr char kSizesDifferText[] = "The Local and Network databases are not the same size";
constexpr char kUseNetworkCaption[] = "Use the Network database";
constexpr char kUseLocalCaption[] = "Use the Local database";
// Added to the folder's words when the share cannot lock.
constexpr char kStaysOfflineText[] = "; the database stays offline";

// Pull: the network file over the local copy. Push: the local copy over the
// network file.
enum class CopyDirection { Pull, Push };

// The songs in use the song table held when it was last opened or closed
// after writing, and the database file's size and change time then. Written
// by the holder of the busy code (through the opens and closes below); read
// by the list builder, which learns from it that the table holds too few
// songs without asking for exclusive access. Guarded by `lock`.
struct SongCountNote {
  std::mutex lock;
  bool known = false;
  uint32_t inUse = 0;
  int64_t fileSize = -1;
  int64_t fileChanged = 0;
};

// Run-time state of the copies. Used only by the holder of the busy code
// (and by start-up before any thread runs), except the refresh counter.
struct CopiesState {
  // Read-opens since the local copy was last refreshed. Counted and reset by
  // the holder of the busy code; also set by the window command that asks
  // for a refresh soon (GUI thread) and by the import.
  std::atomic<uint32_t> localCopyRefreshCounter{kRefreshCounterAtStart};
  // data folder + "Local.cvf"
  std::string localPath;
  // Held from a successful open for writing until the matching close after
  // writing; while held, no other instance can read or replace the network
  // file.
  platform::FileLock networkLock;
  // Copies a whole file over another (platform::copyFile when empty). Tests
  // put a stand-in here to play a share that fails part-way.
  std::function<bool(const std::string& from, const std::string& to)> copyFile;
  // The song count of the last open (see SongCountNote).
  SongCountNote songCount;
  // The network file's stamp as this instance's last pull or push left it;
  // empty when none is known, so the next pull copies. Holder of the busy
  // code only.
  std::string pulledStamp;
  // 1 once the user was told that a database folder cannot lock (said once
  // a run). Set by the holder of the busy code; read by plinkactl at start.
  std::atomic<uint32_t> noLockingTold{0};
  // The local copy as that pull or push left it (inode, size, change time).
  // A pull is skipped only while the local copy is still exactly that file:
  // another program's copy over it, or any write into it, makes the next
  // pull copy. Holder of the busy code only, with pulledStamp.
  platform::FileIdentity pulledCopy;
  // Whether a pull of a network file whose stamp has not changed is skipped.
  // Set at start; the pull benchmark switches it off to measure the copies
  // it saves.
  bool skipUnchangedPulls = true;
};

// Sets the refresh counter to its start value and the local copy's path from
// the data folder. Called when the settings are loaded.
void prepareCopies(DbContext& app);

// Opens the song handle read-only; true when it is open.
bool openSongTableForReading(DbContext& app);
// Opens the song handle for writing; the caller tests app.songTable.isOpen().
// In network mode `shareBusy` (when given) tells whether the network file
// was held by another computer.
void openSongTableForWriting(DbContext& app, bool* shareBusy = nullptr);
// Closes the song handle after writing (and, in network mode, pushes the
// local copy back to the share). False when the change did not reach the
// song table's own file: the push could not be made or its stamp could not
// be written.
bool closeSongTableAfterWriting(DbContext& app);

// The songs in use at the song table's last open (or close after writing),
// when the database file has not changed since; false when no open was seen
// yet or the file changed (another program may have added songs).
bool lastSongCount(DbContext& app, uint32_t& inUse);

// Copies one database file over another, asking the user where the sizes
// say something is wrong. In a pull the destination is first kept as a
// backup, which comes back when every try fails. A pull of a network file
// whose stamp is the one this instance last pulled or pushed, onto the very
// local copy that pull or push left (same inode, size and change time),
// copies nothing. A push gives the network file a new stamp, before and
// again after its new content takes the name; a push whose last stamp
// cannot be written counts as failed. The copy keeps telling the watchdog
// that it is alive. The destination's new size (never 0) on success, 0 when nothing was
// copied; `failed` (when given) tells a copy that could not be made (the
// source gone, every try broken off) from one declined (an empty file, the
// user's choice).
uint64_t copyDatabaseFile(DbContext& app, const std::string& source, const std::string& destination,
                          CopyDirection direction, bool* failed = nullptr);

}  // namespace plinka::db
