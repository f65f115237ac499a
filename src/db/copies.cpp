#include "db/copies.h"

#include "core/status_message.h"
#include "db/db_context.h"
#include "db/table.h"
#include "platform/files.h"
#include "platform/random_bytes.h"
#include "text/text.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace plinka::db {

namespace {

constexpr char kOkCaption[] = "OK";
constexpr char kViewReadMeCaption[] = "View ReadMe";
// Random bytes in a stamp (written as hex).
constexpr size_t kStampBytes = 16;

// The database file's size and change time, as the song count note keeps
// them; size -1 when the file cannot be seen.
void signatureOf(const DbContext& app, int64_t& size, int64_t& changed) {
  std::error_code ec;
  const std::filesystem::path path(app.settings.databasePath);
  const auto bytes = std::filesystem::file_size(path, ec);
  size = ec ? -1 : static_cast<int64_t>(bytes);
  const auto time = std::filesystem::last_write_time(path, ec);
  changed = ec ? 0 : static_cast<int64_t>(time.time_since_epoch().count());
}

void noteSongCount(DbContext& app, uint32_t inUse) {
  SongCountNote& note = app.copies.songCount;
  int64_t size = -1, changed = 0;
  signatureOf(app, size, changed);
  const std::lock_guard<std::mutex> hold(note.lock);
  note.known = true;
  note.inUse = inUse;
  note.fileSize = size;
  note.fileChanged = changed;
}

// Tells the user, once a run, that the folder holding `path` cannot lock
// (`more` says what follows from it).
void tellNoLocking(DbContext& app, const std::string& path, const char* more = "") {
  if (app.copies.noLockingTold.exchange(1) != 0)
    return;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? path : path.substr(0, slash + 1);
  setOneShotMessage(app, folder + ": " + platform::kNoLockingText + more);
  noticeStatusChanged(app);
}

// How a table is held open: mapped (and written to when so opened), or read
// whole into memory, for the network file itself, which may drop out.
enum class OpenAs { Reading, Writing, ReadingIntoMemory };

bool openAt(DbContext& app, const char* path, OpenAs as) {
  TableHandle& table = app.songTable;
  if (text::copy(table.path, path) >= sizeof table.path)
    return false;  // cut to fit, it would name some other file
  table.writable = as == OpenAs::Writing ? 1 : 0;
  table.readIntoMemory = as == OpenAs::ReadingIntoMemory ? 1 : 0;
  if (!openMapped(table))
    return false;
  // Opened without a lock: the folder's file system has none to give.
  if (table.unlockedFolder)
    tellNoLocking(app, path);
  noteSongCount(app, table.inUseCount);
  return true;
}

bool openAt(DbContext& app, const std::string& path, OpenAs as) { return openAt(app, path.c_str(), as); }

bool networkMode(const DbContext& app) { return app.settings.networkMode != 0; }

bool isOffline(uint32_t build) { return build >= kOfflineFirst && build <= kOfflineLocked; }

// Takes the database offline, unless it already is: a state counting towards
// its end, or one the user has locked, is kept.
void goOffline(DbContext& app) {
  uint32_t build = app.run.buildState.load();
  while (!isOffline(build) && !app.run.buildState.compare_exchange_weak(build, kOfflineFirst)) {
  }
}

// A copy over a slow share can take longer than the watchdog lets a busy
// code sit; like the import and the maintenance passes, the copy shows it
// is alive as it goes, so its busy code is not taken from under it.
void showAlive(DbContext& app) { app.run.watchdogCounter.store(0); }

bool copyWhole(DbContext& app, const std::string& from, const std::string& to) {
  showAlive(app);
  const bool copied = app.copies.copyFile ? app.copies.copyFile(from, to)
                                          : platform::copyFile(from, to, true, [&app] { showAlive(app); });
  showAlive(app);
  return copied;
}

// No pull or push is known to match the network file and the local copy any
// more: the next pull copies.
void forgetPulled(CopiesState& copies) {
  copies.pulledStamp.clear();
  copies.pulledCopy = platform::FileIdentity{};
}

// Notes the network file's stamp and the local copy as a pull or push left
// them; nothing is noted (the next pull copies) when either is not known.
void notePulled(CopiesState& copies, const std::string& stamp, const std::string& localCopy) {
  forgetPulled(copies);
  if (!stamp.empty() && platform::fileIdentity(localCopy, copies.pulledCopy))
    copies.pulledStamp = stamp;
  else
    copies.pulledCopy = platform::FileIdentity{};
}

// Whether the local copy is still the file the last pull or push left:
// neither replaced nor written to since.
bool localCopyUnchanged(const CopiesState& copies, const std::string& localCopy) {
  platform::FileIdentity now;
  return platform::fileIdentity(localCopy, now) && now == copies.pulledCopy;
}

uint32_t ask(DbContext& app, const char* message, const char* first, const char* second) {
  PromptRequest request;
  request.message = message;
  request.firstCaption = first;
  request.secondCaption = second;
  request.style = PromptStyle::SmallQuestion;
  return askPrompt(app, request);
}

// The network file's stamp; empty when it has none (a share no push of
// this program has reached yet) or it cannot be read.
std::string readStamp(const std::string& networkPath) {
  std::ifstream in(networkPath + kStampSuffix, std::ios::binary);
  char text[kStampBytes * 2 + 1];
  in.read(text, sizeof text);
  if (in.gcount() != static_cast<std::streamsize>(kStampBytes * 2))
    return std::string();
  return std::string(text, kStampBytes * 2);
}

// Gives the network file a new stamp after a push; the stamp written, or
// empty when none could be (the next pull then copies).
std::string writeNewStamp(const std::string& networkPath) {
  unsigned char bytes[kStampBytes];
  if (!platform::randomBytes(bytes, sizeof bytes))
    return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string stamp;
  for (unsigned char b : bytes) {
    stamp += kHex[b >> 4];
    stamp += kHex[b & 15];
  }
  if (!platform::replaceFile(networkPath + kStampSuffix, stamp.data(), stamp.size()))
    return std::string();
  return stamp;
}

// The size a copy learns of a file: -1 when it is not there to be opened.
int64_t sizeOf(const std::string& path) { return platform::fileSize(path); }

}  // namespace

void prepareCopies(DbContext& app) {
  app.copies.localCopyRefreshCounter.store(kRefreshCounterAtStart);
  app.copies.localPath = app.folders.data + kLocalCopyName;
}

uint64_t copyDatabaseFile(DbContext& app, const std::string& source, const std::string& destination,
                          CopyDirection direction, bool* failed) {
  bool failedHere = false;
  bool& copyFailed = failed ? *failed : failedHere;
  copyFailed = false;
  const bool pull = direction == CopyDirection::Pull;
  // The local copy is being pushed because it was written to: until the
  // push has gone through it no longer matches the stamp of the last pull.
  if (!pull)
    forgetPulled(app.copies);
  // The network file is shared with other instances. Unless this instance
  // already holds it locked for writing, a pull reads it under a shared lock
  // and a push replaces it under an exclusive one; a holder elsewhere makes
  // the copy fail as if the file could not be opened.
  platform::FileLock shareGuard;
  const bool guarded = !app.copies.networkLock.held();

  if (pull && guarded) {
    const platform::LockResult locked = shareGuard.acquire(source, platform::LockKind::Shared);
    if (locked == platform::LockResult::Unsupported)
      tellNoLocking(app, source, kStaysOfflineText);
    if (locked != platform::LockResult::Taken) {
      copyFailed = true;
      return 0;
    }
  }
  const int64_t sourceSize = sizeOf(source);
  if (sourceSize < 0) {
    copyFailed = true;
    return 0;
  }

  int64_t destinationSize = -1;
  if (sourceSize != 0) {
    // A share that cannot lock is never pushed to: another computer's push
    // could land at the same time.
    const platform::LockResult locked =
        !pull && guarded ? shareGuard.acquire(destination, platform::LockKind::Exclusive) : platform::LockResult::Taken;
    if (locked == platform::LockResult::HeldElsewhere || locked == platform::LockResult::Unsupported) {
      if (locked == platform::LockResult::Unsupported)
        tellNoLocking(app, destination, kStaysOfflineText);
      copyFailed = true;
      return 0;
    }
    destinationSize = sizeOf(destination);
  }

  // Read under the lock, so no push can land between the look and the copy.
  const std::string stamp = pull ? readStamp(source) : std::string();
  CopiesState& copies = app.copies;
  if (pull && copies.skipUnchangedPulls && !stamp.empty() && stamp == copies.pulledStamp &&
      destinationSize == sourceSize && localCopyUnchanged(copies, destination))
    return static_cast<uint64_t>(sourceSize);

  if (sourceSize == 0) {
    // An empty local copy is never pushed; the user may have it replaced by
    // the network file instead. An empty network file is never pulled.
    if (!pull && ask(app, kNetworkDamagedText, kReplaceWithLocalCaption, kDoNothingCaption) == kPromptFirst)
      copyWhole(app, destination, source);
    return 0;
  }

  // A destination that is not there yet (the first refresh makes the local
  // copy) has no size to compare, so nothing is asked.
  if (destinationSize >= 0 && destinationSize != sourceSize && app.settings.localDbFlag != 0 &&
      ask(app, kSizesDifferText, kUseNetworkCaption, kUseLocalCaption) == kPromptSecond)
    return 0;

  const std::string backup = destination + kBackupSuffix;
  bool backedUp = false;
  if (pull && destinationSize >= 0)
    backedUp = copyWhole(app, destination, backup);

  // A push stamps the network file before its new content takes the name:
  // the lock is held on the file the push replaces, so another instance can
  // lock the new file the moment it is renamed into place, and must then
  // already find a stamp that tells it to pull. (A push that fails after
  // this only costs the others a needless pull.)
  if (!pull)
    writeNewStamp(destination);
  int64_t copiedSize = 0;
  for (uint32_t attempt = 0; attempt < kCopyTries; ++attempt) {
    // A copy that failed leaves the old file in place, which may well have
    // the same size (a rating changes no length): only a copy reported
    // whole counts.
    const bool copied = copyWhole(app, source, destination);
    copiedSize = sizeOf(destination);
    if (copiedSize < 0)
      copiedSize = 0;
    if (!copied || copiedSize != sourceSize)
      continue;
    if (pull) {
      notePulled(copies, stamp, destination);
      return static_cast<uint64_t>(copiedSize);
    }
    // Stamped again now that the new content has the name: a reader that
    // somehow took the old content under the first stamp (a share whose
    // locks do not reach every computer) must not keep it for good. Without
    // a stamp after the push the push does not count as done, and the old
    // stamp goes, so every reader pulls.
    const std::string pushedStamp = writeNewStamp(destination);
    if (pushedStamp.empty()) {
      platform::removeFile(destination + kStampSuffix);
      copyFailed = true;
      return 0;
    }
    notePulled(copies, pushedStamp, source);
    return static_cast<uint64_t>(copiedSize);
  }
  copyFailed = true;
  forgetPulled(copies);
  // Only a backup made by this copy is put back; an older one would undo
  // more than this copy did.
  if (backedUp)
    copyWhole(app, backup, destination);
  return 0;
}

bool openSongTableForReading(DbContext& app) {
  if (!networkMode(app))
    return openAt(app, app.settings.databasePath, OpenAs::Reading);

  CopiesState& copies = app.copies;
  if (copies.localCopyRefreshCounter.load() < kRefreshThreshold || isOffline(app.run.buildState.load())) {
    copies.localCopyRefreshCounter.fetch_add(1);
  } else if (copyDatabaseFile(app, app.settings.databasePath, copies.localPath, CopyDirection::Pull) != 0) {
    copies.localCopyRefreshCounter.store(0);
  } else {
    goOffline(app);
  }

  // The network file itself is only read into memory: a share that drops
  // out while it is open must not take the process down with it.
  if (openAt(app, copies.localPath, OpenAs::Reading) ||
      openAt(app, app.settings.databasePath, OpenAs::ReadingIntoMemory))
    return true;

  PromptRequest request;
  request.message = kBothUnopenableText;
  request.firstCaption = kOkCaption;
  request.secondCaption = kViewReadMeCaption;
  request.style = PromptStyle::SmallQuestion;
  if (askPrompt(app, request) == kPromptSecond && app.ui)
    app.ui->openHelp();
  return false;
}

void openSongTableForWriting(DbContext& app, bool* shareBusy) {
  if (shareBusy)
    *shareBusy = false;
  if (!networkMode(app)) {
    openAt(app, app.settings.databasePath, OpenAs::Writing);
    return;
  }

  CopiesState& copies = app.copies;
  if (!isOffline(app.run.buildState.load())) {
    // The lock comes first and the refresh after it: between a refresh and
    // the lock another instance could push a change that the push of this
    // one would then overwrite.
    // A share that cannot lock keeps the database offline: without the lock
    // two computers' pushes could overwrite each other.
    const platform::LockResult locked =
        copies.networkLock.acquire(app.settings.databasePath, platform::LockKind::Exclusive);
    if (locked == platform::LockResult::Unsupported)
      tellNoLocking(app, app.settings.databasePath, kStaysOfflineText);
    if (shareBusy)
      *shareBusy = locked == platform::LockResult::HeldElsewhere;
    if (locked == platform::LockResult::Taken) {
      bool pullFailed = false;
      if (copyDatabaseFile(app, app.settings.databasePath, copies.localPath, CopyDirection::Pull, &pullFailed) != 0)
        copies.localCopyRefreshCounter.store(0);
      // A local copy the pull could not bring up to date must never be
      // pushed over the share: that would drop what other computers wrote.
      if (pullFailed || !openAt(app, copies.localPath, OpenAs::Writing))
        copies.networkLock.release();
    }
  }
  if (!copies.networkLock.held())
    goOffline(app);
}

bool closeSongTableAfterWriting(DbContext& app) {
  const bool wasOpen = app.songTable.isOpen();
  const uint32_t inUse = app.songTable.inUseCount;
  // A sync the disk refused is no change that reached the table.
  const bool synced = closeTable(app.songTable);
  CopiesState& copies = app.copies;
  bool reached = wasOpen && synced;
  if (copies.networkLock.held()) {
    // Pushed while still locked, so no other instance can refresh from, or
    // write over, the network file before the change has reached it.
    bool pushFailed = false;
    reached =
        copyDatabaseFile(app, copies.localPath, app.settings.databasePath, CopyDirection::Push, &pushFailed) != 0 &&
        !pushFailed && reached;
    copies.networkLock.release();
  }
  // Noted once the file is written (and pushed), so its change time is the
  // one a later look compares with.
  if (wasOpen)
    noteSongCount(app, inUse);
  return reached;
}

bool lastSongCount(DbContext& app, uint32_t& inUse) {
  SongCountNote& note = app.copies.songCount;
  int64_t size = -1, changed = 0;
  signatureOf(app, size, changed);
  const std::lock_guard<std::mutex> hold(note.lock);
  if (!note.known || size != note.fileSize || changed != note.fileChanged)
    return false;
  inUse = note.inUse;
  return true;
}

}  // namespace plinka::db
