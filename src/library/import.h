// Import: bringing new songs into the song table, from every media file of a
// folder tree or from every line of a playlist. Each new record gets the
// file's path, the details of its tag (or of the folders holding it), a
// starting score and target for each user and the file's checksum as its ID.
// Files already in the table are skipped.
#pragma once

#include "core/front_end.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace plinka {
struct LibraryContext;
}

namespace plinka::library {

// The busy code an import holds, and the patience it asks with.
constexpr uint32_t kImportPatience = 10;

// The longest path a song record keeps. A longer path is refused rather than
// cut: a cut path would name another file.
constexpr size_t kImportPathMax = 599;

// The texts the import leaves in the Database window's status line.
constexpr const char kImportComplete[] = "Import Complete";
constexpr const char kImportError[] = "Error Importing";
// The detail line under "Error Importing" when the song table could not
// take every song.
constexpr const char kImportTableNotWritten[] = "The song table could not be written (is the disk full?)";
constexpr const char kImportFolderNotFound[] = "Folder not found";

enum class ImportOutcome {
  NotStarted,  // offline, or exclusive access was not granted: nothing shown
  Complete,    // "Import Complete" (also when the song table could not be opened)
  Error,       // "Error Importing": the playlist could not be opened, or the
               // song table could not take every song (see refused, notWritten),
               // or the songs added did not reach the song table (a push to the
               // share that failed)
  NotFound,    // "Folder not found": the source names nothing to import
};

// What an import reads for a source.
enum class SourceKind {
  Folder,    // a folder tree, walked
  Playlist,  // the lines of a playlist
  Nothing,   // the source names nothing there: refused
};

struct ImportTarget {
  SourceKind kind = SourceKind::Nothing;
  std::string path;  // a folder ends in '/'
};

// What a source typed or chosen stands for. An existing folder is that
// folder, with or without a final '/'. A source ending in "txt", "m3u" or
// "m3u8" (any letter case) is a playlist, even when it is missing (its
// reading then fails). A path naming any other existing file stands for the
// folder holding it. Anything else (nothing there, a pipe or a device, an
// empty text) names nothing.
ImportTarget importTarget(const std::string& source);

struct ImportResult {
  ImportOutcome outcome = ImportOutcome::NotStarted;
  bool tableOpened = false;  // the song table could be opened for writing
  bool shareBusy = false;    // on a share: another computer held the song table
  bool saved = false;        // the table opened was closed with its changes in place
                             // (on a share: pushed back)
  uint32_t added = 0;        // new records
  uint32_t skipped = 0;      // files or lines looked at but not added
  uint32_t refused = 0;      // of those: files no slot could be had for (the table
                             // could not grow, as on a full disk)
  bool notWritten = false;   // the records written could not be synced to the disk
};

// The counts as the Database window shows them: files looked at, added and
// skipped (the end of an import's walk is not known in advance).
WorkProgress importProgress(const ImportResult& result, bool finished);

// How loadTagDetails treats a file whose tag cannot be read (the file cannot
// be opened, or another reading holds the tag reader).
enum class UnreadableTag {
  Clear,  // empty texts: a new record must not keep a reused slot's old texts
  Keep,   // the record is left as it was: its details are not lost to a file
          // that is away for the moment
};

// Loads the details of the file at path into record `slot` of the song table
// (open for writing, busy code held by the caller): Album, Artist, Name and
// Comment from the tag (or the folders holding the file), and the StartPoint
// the LAME scan gives. True when the tag could be read.
bool loadTagDetails(LibraryContext& app, uint32_t slot, const char* path, UnreadableTag unreadable);

// The import reports its counts to the Database window after this many
// files, and once at its end.
constexpr uint32_t kImportProgressEvery = 16;

// Adds a record for the file at path and gives it its starting values.
// Returns the new slot, -1 when the path is longer than kImportPathMax or
// already in the table (letter case ignored), or kImportNoSlot when no slot
// can be had. Expects app.songTable open for writing and the busy code held
// by the caller.
constexpr int32_t kImportNoSlot = -2;
int32_t addOneFile(LibraryContext& app, const char* path);

// Imports every media file of the folder (a path ending in '/') and, depth
// first, of its sub-folders, in the order the file system lists them. Links
// to folders are not followed. Stops early on stopRequest or once the busy
// code is no longer the import's. Counts into `counts` when given.
void walkFolder(LibraryContext& app, const std::string& folder, ImportResult* counts = nullptr);

// The whole import of one source, synchronously: takes exclusive access under
// BusyCode::Import, opens the song table for writing (on a share: the local
// copy, under the network lock), reads the playlist or walks the folder, closes
// the table (on a share: pushes it back), writes the outcome into the Database
// window's progress lines and gives the access back. The source is read as
// importTarget says; one that names nothing is refused with "Folder not found"
// and nothing is opened.
ImportResult runImport(LibraryContext& app, const std::string& source);

// The import worker's thread body: runImport on the settings' importSource.
void importWorker(LibraryContext& app);

}  // namespace plinka::library
