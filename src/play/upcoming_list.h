// The upcoming list: the songs to play next, as rows of five texts. Worker
// threads change it; a front end mirrors it through the ordered change
// notifications, which carry the row texts.
//
// Every row gets a row id when it is inserted, unique for the list's life.
// A front end names a row by its id, not by its place: places shift when a
// song starts (row 0 goes) or a worker adds rows, an id stays with its row,
// and a command that finds its id gone does nothing.
//
// Threads: every thread that holds the busy code (or the player) reads and
// writes it through these calls; the mutex keeps each call whole, and the
// observer is called under it so that notifications arrive in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace plinka::play {

enum Column { Title = 0, Artist = 1, Album = 2, FileName = 3, Type = 4, ColumnCount = 5 };

// No row has this id.
constexpr uint32_t kNoRowId = 0;
// indexOf's answer for an id no row has.
constexpr size_t kNoIndex = static_cast<size_t>(-1);

struct ListRow {
  std::string column[ColumnCount];
  // Given by the list at insert (what a caller puts here is replaced).
  uint32_t id = kNoRowId;
};

struct ListChange {
  enum Kind { Insert, Remove, Clear } kind;
  size_t index = 0;  // Insert: the new row's place; Remove: the row removed
  ListRow row;       // Insert: the row's texts and id
};

class UpcomingList {
public:
  size_t size() const;
  bool empty() const { return size() == 0; }
  ListRow row(size_t index) const;  // an empty row past the end
  std::string text(size_t index, Column c) const;
  std::vector<ListRow> rows() const;

  // The place of the row with this id, kNoIndex when no row has it.
  size_t indexOf(uint32_t id) const;
  // The row with this id into `out`; false when no row has it.
  bool find(uint32_t id, ListRow& out) const;

  // Inserts a copy of `row` under a new id and returns that id. An index
  // past the end appends.
  uint32_t insert(size_t index, const ListRow& row);
  uint32_t append(const ListRow& row) { return insert(kNoIndex, row); }
  bool remove(size_t index);
  // Removes the row with this id; false when no row has it.
  bool removeId(uint32_t id);
  // Removes every row above the one with this id, top row first, so that it
  // becomes the top row: the number removed, or kNoIndex (nothing removed)
  // when no row has the id.
  size_t removeAbove(uint32_t id);
  void clear();

  // Every change stores the new length into *count (the run state's
  // listCount), so threads that only need the count read one word. Set once
  // when the App is made.
  void mirrorCountInto(std::atomic<int32_t>* count);

  // Set by a front end; called for every change, under the list's lock.
  void setObserver(std::function<void(const ListChange&)> observer);
  // Sets the observer and returns the rows it starts from, in one step, so
  // that no change falls between the copy and the first notification.
  std::vector<ListRow> observe(std::function<void(const ListChange&)> observer);

private:
  mutable std::mutex mutex_;
  std::vector<ListRow> rows_;
  std::function<void(const ListChange&)> observer_;
  std::atomic<int32_t>* count_ = nullptr;
  uint32_t nextId_ = 1;  // the next row's id; never kNoRowId

  size_t indexOfLocked(uint32_t id) const;
  void changed(const ListChange& change);  // called with mutex_ held
};

}  // namespace plinka::play
