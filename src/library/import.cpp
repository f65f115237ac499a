#include "library/import.h"

#include "core/exclusive_access.h"
#include "core/run_state.h"
#include "core/status_message.h"
#include "db/copies.h"
#include "db/search.h"
#include "db/table.h"
#include "library/file_checksum.h"
#include "library/folder_names.h"
#include "library/lame_scan.h"
#include "library/library_context.h"
#include "library/media_types.h"
#include "library/playlist_file.h"
#include "library/tag_reader.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace plinka::library {

namespace {

// The progress lines of the Database window.
constexpr uint32_t kStatusLine = 0;
constexpr uint32_t kDetailLine = 1;

// The refresh counter value that makes the next read-open in network mode
// take a fresh local copy.
constexpr uint32_t kRefreshLocalCopySoon = 100;

void showProgress(LibraryContext& app, uint32_t line, const std::string& text) {
  if (app.ui)
    app.ui->progressLine(WindowKind::Database, line, text);
}

// One more file counted: every kImportProgressEvery files the counts go to
// the Database window.
void countedOne(LibraryContext& app, const ImportResult& counts) {
  if (app.ui && (counts.added + counts.skipped) % kImportProgressEvery == 0)
    app.ui->workProgress(WindowKind::Database, importProgress(counts, false));
}

void writeNumber(db::TableHandle& table, uint32_t slot, uint32_t field, uint32_t value) {
  table.value = value;
  db::writeField(table, slot, field);
}

// Writes a text into a text field, cut to what the field holds without
// splitting a UTF-8 character.
void writeText(db::TableHandle& table, uint32_t slot, uint32_t field, const char* text) {
  size_t cap = sizeof table.text;
  if (field >= 1 && field <= table.fields.size())
    cap = std::min<size_t>(cap, table.fields[field - 1].width);
  keepText(table.text, cap, text, std::strlen(text));
  db::writeField(table, slot, field);
}

// True once the walk or the reading must end: a stop was asked for, or the
// import no longer holds the song table.
bool importMustStop(const LibraryContext& app) {
  return app.run.stopRequest.load() != 0 || app.run.busyCode.load() != codeValue(BusyCode::Import);
}

enum class EntryKind { Folder, File, Other };

// What a folder entry is. Links count as what they point to, except that a
// link to a folder is never walked: a link back up the tree would make the
// walk endless. Pipes, devices and sockets are no media files.
EntryKind kindOf(const std::string& path, unsigned char type) {
  if (type == DT_DIR)
    return EntryKind::Folder;
  if (type == DT_REG)
    return EntryKind::File;
  struct stat st {};
  if (type == DT_UNKNOWN) {
    if (lstat(path.c_str(), &st) != 0)
      return EntryKind::Other;
    if (S_ISDIR(st.st_mode))
      return EntryKind::Folder;
    if (S_ISREG(st.st_mode))
      return EntryKind::File;
    if (!S_ISLNK(st.st_mode))
      return EntryKind::Other;
  } else if (type != DT_LNK) {
    return EntryKind::Other;
  }
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
}

void importPlaylist(LibraryContext& app, const std::string& source, ImportResult& result) {
  const int32_t refused = readPlaylistLines(app, source.c_str(), [&](const char* line) {
    if (importMustStop(app))
      return false;
    // Only media the player handles: a list naming other files (a text file
    // handed over as a playlist) adds nothing.
    const int32_t slot = mediaType(app.settings, line) != kMediaNone ? addOneFile(app, line) : -1;
    if (slot >= 0)
      ++result.added;
    else
      ++result.skipped;
    if (slot == kImportNoSlot)
      ++result.refused;
    countedOne(app, result);
    return true;
  });
  if (refused < 0)
    app.status.messagePending.store(1);
  else
    result.skipped += static_cast<uint32_t>(refused);
}

}  // namespace

bool loadTagDetails(LibraryContext& app, uint32_t slot, const char* path, UnreadableTag unreadable) {
  db::TableHandle& table = app.songTable;
  RecordTexts texts{};
  const bool read = readTag(app.tagReader, path) == 1;
  if (read) {
    // The result is shared: take a copy at once.
    const TagResult tag = app.tagReader.result;
    applyRecordRules(app.settings, path, tag, texts);
  } else if (unreadable == UnreadableTag::Keep) {
    return false;
  }
  if (app.settings.lameCheck != 0 && lameMarkerFound(path)) {
    const uint32_t current = db::readField(table, slot, db::StartPoint) >= 0 ? table.value : 0;
    const uint32_t start = startPointAfterLameScan(true, current);
    if (start != current)
      writeNumber(table, slot, db::StartPoint, start);
  }
  writeText(table, slot, db::Album, texts.album);
  writeText(table, slot, db::Artist, texts.artist);
  writeText(table, slot, db::Name, texts.name);
  writeText(table, slot, db::Comment, texts.comment);
  return read;
}

ImportTarget importTarget(const std::string& source) {
  ImportTarget target;
  struct stat st {};
  if (source.empty() || stat(source.c_str(), &st) != 0) {
    // A playlist that is not there is still read as one, so that its
    // failure shows as the playlist's.
    if (!source.empty() && source.back() != '/' && isPlaylistSource(source)) {
      target.kind = SourceKind::Playlist;
      target.path = source;
    }
    return target;
  }
  if (S_ISDIR(st.st_mode)) {
    target.kind = SourceKind::Folder;
    target.path = source.back() == '/' ? source : source + '/';
  } else if (S_ISREG(st.st_mode) && isPlaylistSource(source)) {
    target.kind = SourceKind::Playlist;
    target.path = source;
  } else if (S_ISREG(st.st_mode)) {
    // A file stands for the folder it lies in.
    const size_t slash = source.rfind('/');
    if (slash != std::string::npos) {
      target.kind = SourceKind::Folder;
      target.path = source.substr(0, slash + 1);
    }
  }
  return target;
}

WorkProgress importProgress(const ImportResult& result, bool finished) {
  WorkProgress progress;
  progress.looked = result.added + result.skipped;
  progress.added = result.added;
  progress.skipped = result.skipped;
  progress.done = progress.looked;
  progress.finished = finished;
  return progress;
}

int32_t addOneFile(LibraryContext& app, const char* path) {
  const size_t length = strnlen(path, kImportPathMax + 1);
  if (length == 0 || length > kImportPathMax)
    return -1;
  db::TableHandle& table = app.songTable;
  // A song already in the table is not added again. Paths that differ only
  // in letter case are different files here, so the test is exact.
  const db::FileNameIndex& index = app.importIndex;
  if ((index.built() ? index.find(table, path, db::LetterCase::Exact)
                     : db::findFileName(table, path, db::LetterCase::Exact)) >= 0)
    return -1;
  const int32_t found = db::allocate(table);
  if (found < 0)
    return kImportNoSlot;
  const auto slot = static_cast<uint32_t>(found);

  // The record only counts as a song once its path is whole: killed half-way
  // through the write, the import leaves a free slot, never a song named by
  // half a path.
  db::setStatus(table, slot, db::kStatusFree);
  writeText(table, slot, db::FileName, path);
  db::setStatus(table, slot, db::kStatusInUse);
  app.importIndex.add(table, slot);
  for (uint32_t field :
       {uint32_t{db::Flags}, uint32_t{db::StartPoint}, uint32_t{db::EndPoint}, uint32_t{db::PlayCount}, uint32_t{10}})
    writeNumber(table, slot, field, 0);
  loadTagDetails(app, slot, path, UnreadableTag::Clear);
  for (uint32_t u = 0; u < kUserCount; ++u) {
    writeNumber(table, slot, db::scoreField(u), app.settings.defaultImportValue);
    writeNumber(table, slot, db::targetField(u), app.settings.targetValue);
  }
  // Reading a whole large file takes a while: keep the watchdog from taking
  // the busy code away meanwhile.
  app.run.watchdogCounter.store(0);
  const uint32_t id = fileChecksum(path);
  app.run.watchdogCounter.store(0);
  writeNumber(table, slot, db::ID, id);
  return found;
}

void walkFolder(LibraryContext& app, const std::string& folder, ImportResult* counts) {
  if (importMustStop(app) || folder.size() > kImportPathMax)
    return;
  noticeStatusChanged(app);
  showProgress(app, kStatusLine, folder);
  DIR* listing = opendir(folder.c_str());
  if (!listing)
    return;
  while (!importMustStop(app)) {
    const dirent* entry = readdir(listing);
    if (!entry)
      break;
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
      continue;
    const std::string path = folder + name;
    const EntryKind kind = kindOf(path, entry->d_type);
    if (kind == EntryKind::Folder) {
      walkFolder(app, path + "/", counts);
      continue;
    }
    if (kind != EntryKind::File || mediaType(app.settings, name) == kMediaNone)
      continue;
    const int32_t slot = addOneFile(app, path.c_str());
    if (slot >= 0) {
      if (counts)
        ++counts->added;
      showProgress(app, kDetailLine, path);
    } else if (counts) {
      ++counts->skipped;
      if (slot == kImportNoSlot)
        ++counts->refused;
    }
    if (counts)
      countedOne(app, *counts);
  }
  closedir(listing);
}

ImportResult runImport(LibraryContext& app, const std::string& source) {
  ImportResult result;
  RunState& run = app.run;
  if (run.buildState.load() >= kOfflineFirst)
    return result;
  const ExclusiveAccess access(app, BusyCode::Import, kImportPatience);
  if (!access.held())
    return result;
  const ImportTarget target = importTarget(source);
  if (target.kind == SourceKind::Nothing) {
    result.outcome = ImportOutcome::NotFound;
    showProgress(app, kStatusLine, kImportFolderNotFound);
    showProgress(app, kDetailLine, source);
    return result;
  }
  app.status.messagePending.store(0);
  run.stopRequest.store(0);
  const uint32_t build = run.buildState.load();
  if (build != kBuildIdle && build < kOfflineFirst)
    run.buildState.store(kBuildWanted);  // the list is built again from the changed table

  // The song table opened for writing as every writer opens it. On a share
  // that is the local copy, refreshed under the network lock, which stays
  // held for the whole import and is let go only once the copy with the new
  // songs has been pushed back: the share's file is never mapped, so a share
  // that drops out mid-import fails the push instead of killing the process.
  const std::string databasePath(app.settings.databasePath, strnlen(app.settings.databasePath, kPathSize));
  db::TableHandle& table = app.songTable;
  db::openSongTableForWriting(app, &result.shareBusy);
  result.tableOpened = table.isOpen();
  if (result.tableOpened) {
    // One read pass, so that each file's duplicate test is a lookup rather
    // than a walk over the whole table.
    app.importIndex.build(table);
    if (target.kind == SourceKind::Playlist)
      importPlaylist(app, target.path, result);
    else
      walkFolder(app, target.path, &result);
    app.songsInUse.store(db::countInUse(table));
    app.importIndex.clear();
    // What was written reaches the disk before the end is shown: records
    // the disk did not take are no "Import Complete".
    result.notWritten = table.isMapped() && !table.map.sync();
    result.saved = db::closeSongTableAfterWriting(app);
  }

  const bool tableFailed = result.refused > 0 || result.notWritten;
  // Songs that never reached the song table are no complete import: on a
  // share, the next refresh of the local copy would drop them unseen.
  const bool lost = result.tableOpened && !result.saved;
  if (app.status.messagePending.exchange(0) != 0 || tableFailed || lost) {
    result.outcome = ImportOutcome::Error;
    showProgress(app, kStatusLine, kImportError);
    if (tableFailed) {
      // Songs may have been added before the failure: the next read-open
      // takes them in.
      app.copies.localCopyRefreshCounter.store(kRefreshLocalCopySoon);
      showProgress(app, kDetailLine, kImportTableNotWritten);
    }
  } else {
    result.outcome = ImportOutcome::Complete;
    app.copies.localCopyRefreshCounter.store(kRefreshLocalCopySoon);
    showProgress(app, kStatusLine, kImportComplete);
    showProgress(app, kDetailLine, databasePath);
  }
  if (app.ui)
    app.ui->workProgress(WindowKind::Database, importProgress(result, true));
  return result;
}

void importWorker(LibraryContext& app) {
  const std::string source(app.settings.importSource, strnlen(app.settings.importSource, kPathSize));
  runImport(app, source);
}

}  // namespace plinka::library
