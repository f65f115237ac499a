// The upcoming list: the songs to play next, as rows of five texts. Worker
// threads change it; a front end mirrors it through the ordered change
// notifications, which carry the row texts.
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

struct ListRow {
  std::string column[ColumnCount];
};

struct ListChange {
  enum Kind { Insert, Remove, Clear } kind;
  size_t index = 0;  // Insert: the new row's place; Remove: the row removed
  ListRow row;       // Insert: the row's texts
};

class UpcomingList {
public:
  size_t size() const;
  bool empty() const { return size() == 0; }
  ListRow row(size_t index) const;  // an empty row past the end
  std::string text(size_t index, Column c) const;
  std::vector<ListRow> rows() const;

  void insert(size_t index, const ListRow& row);  // index past the end appends
  void append(const ListRow& row) { insert(static_cast<size_t>(-1), row); }
  bool remove(size_t index);
  void clear();

  // Every change stores the new length into *count (the run state's
  // listCount), so threads that only need the count read one word. Set once
  // when the App is made.
  void mirrorCountInto(std::atomic<int32_t>* count);

  // Set once by a front end before threads start; called for every change.
  void setObserver(std::function<void(const ListChange&)> observer);

private:
  mutable std::mutex mutex_;
  std::vector<ListRow> rows_;
  std::function<void(const ListChange&)> observer_;
  std::atomic<int32_t>* count_ = nullptr;

  void changed(const ListChange& change);  // called with mutex_ held
};

}  // namespace plinka::play
