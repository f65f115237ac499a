// The list commands: the user's interventions on the upcoming list and the
// current song. The window posts a command code; a list command processor
// runs it on its own thread with the busy code set to that code, so the
// command owns the list and the song table while it works. Each command
// gives exclusive access back as soon as it no longer needs them.
//
// Commands on one row of the list take the row's id (see UpcomingList) as
// their argument, given when the user chose the row; the row is looked up
// when the command runs, so rows added or removed in between cannot shift
// it, and a row that has gone meanwhile is left alone.
#pragma once

#include <cstdint>

namespace plinka {
struct PlayContext;
}

namespace plinka::play {

// Command codes: what the command slot and then the busy code hold while
// the command waits and runs, and the index of its handler.
enum class ListCommand : uint32_t {
  Details = 1,
  Rate = 2,
  PlayFromRow = 3,
  ClearList = 4,
  Remove = 10,
  SaveAsPlaylist = 11,
  PlayNow = 12,
  ImportNow = 13,
  PlayNext = 14,
};

// The number a command is posted and held under.
constexpr uint32_t codeValue(ListCommand command) { return static_cast<uint32_t>(command); }

// The question before a song is deleted.
constexpr const char* kDeleteQuestion = "This will delete the song and it cannot be undone.";
constexpr const char* kDeleteYes = "Sure, delete please";
constexpr const char* kDeleteNo = "No, don't delete";

// The local copy of the song table is refreshed at its next read-open.
constexpr uint32_t kRefreshLocalCopySoon = 100;
// "Clear List" posts this count: the whole list.
constexpr uint32_t kClearWholeList = 0xFFFFFFFF;
// "Import music now" waits this long before the Database window opens.
constexpr uint32_t kImportNowDelayMs = 1000;
// The file name the save dialog starts from.
constexpr const char* kSaveListStartName = "PL1.m3u";

// Details: posts the main window's WindowCommand::SongDetailsOf with the record
// of the row `rowId` (-1 when there is none), which opens the Song details
// window on it.
void commandDetails(PlayContext& app, uint32_t rowId);
// Rate: rates or deletes the current song by the rating keypad's answer: the
// argument when it is a keypad answer (1200 + rating, or 1213 for "D"),
// else the last prompt result, where the keypad leaves its answer.
void commandRate(PlayContext& app, uint32_t argument);
// PlayFromRow: removes the rows above the double-clicked row `rowId`, so that
// it is the next to play, and moves on to it.
void commandPlayFromRow(PlayContext& app, uint32_t rowId);
// ClearList: removes `argument` rows from the top (kClearWholeList: all of
// them).
void commandClearList(PlayContext& app, uint32_t argument);
// Remove: removes the row `rowId`.
void commandRemove(PlayContext& app, uint32_t rowId);
// SaveAsPlaylist: saves the list as a playlist file the user chooses.
void commandSaveAsPlaylist(PlayContext& app, uint32_t argument);
// PlayNow: plays the song of the row `rowId` at once; its row stays in the
// list.
void commandPlayNow(PlayContext& app, uint32_t rowId);
// ImportNow: after a moment, opens the Database window for an import.
void commandImportNow(PlayContext& app, uint32_t argument);
// PlayNext: moves the song of the row `rowId` to the top.
void commandPlayNext(PlayContext& app, uint32_t rowId);

}  // namespace plinka::play
