#include "play/upcoming_list.h"

namespace plinka::play {

size_t UpcomingList::size() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

ListRow UpcomingList::row(size_t index) const {
  std::lock_guard lock(mutex_);
  return index < rows_.size() ? rows_[index] : ListRow{};
}

std::string UpcomingList::text(size_t index, Column c) const {
  std::lock_guard lock(mutex_);
  return index < rows_.size() ? rows_[index].column[c] : std::string();
}

std::vector<ListRow> UpcomingList::rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

void UpcomingList::insert(size_t index, const ListRow& row) {
  std::lock_guard lock(mutex_);
  if (index > rows_.size())
    index = rows_.size();
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), row);
  changed(ListChange{ListChange::Insert, index, row});
}

bool UpcomingList::remove(size_t index) {
  std::lock_guard lock(mutex_);
  if (index >= rows_.size())
    return false;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  changed(ListChange{ListChange::Remove, index, {}});
  return true;
}

void UpcomingList::clear() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  changed(ListChange{ListChange::Clear, 0, {}});
}

void UpcomingList::setObserver(std::function<void(const ListChange&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

}  // namespace plinka::play

namespace plinka::play {

void UpcomingList::mirrorCountInto(std::atomic<int32_t>* count) {
  std::lock_guard lock(mutex_);
  count_ = count;
  if (count_)
    count_->store(static_cast<int32_t>(rows_.size()));
}

void UpcomingList::changed(const ListChange& change) {
  if (count_)
    count_->store(static_cast<int32_t>(rows_.size()));
  if (observer_)
    observer_(change);
}

}  // namespace plinka::play
