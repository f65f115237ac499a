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

size_t UpcomingList::indexOfLocked(uint32_t id) const {
  if (id == kNoRowId)
    return kNoIndex;
  for (size_t k = 0; k < rows_.size(); ++k)
    if (rows_[k].id == id)
      return k;
  return kNoIndex;
}

size_t UpcomingList::indexOf(uint32_t id) const {
  std::lock_guard lock(mutex_);
  return indexOfLocked(id);
}

bool UpcomingList::find(uint32_t id, ListRow& out) const {
  std::lock_guard lock(mutex_);
  const size_t k = indexOfLocked(id);
  if (k == kNoIndex)
    return false;
  out = rows_[k];
  return true;
}

uint32_t UpcomingList::insert(size_t index, const ListRow& row) {
  std::lock_guard lock(mutex_);
  if (index > rows_.size())
    index = rows_.size();
  ListRow added = row;
  added.id = nextId_++;
  if (nextId_ == kNoRowId)
    nextId_ = 1;
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), added);
  changed(ListChange{ListChange::Insert, index, added});
  return added.id;
}

bool UpcomingList::remove(size_t index) {
  std::lock_guard lock(mutex_);
  if (index >= rows_.size())
    return false;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  changed(ListChange{ListChange::Remove, index, {}});
  return true;
}

bool UpcomingList::removeId(uint32_t id) {
  std::lock_guard lock(mutex_);
  const size_t k = indexOfLocked(id);
  if (k == kNoIndex)
    return false;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(k));
  changed(ListChange{ListChange::Remove, k, {}});
  return true;
}

size_t UpcomingList::removeAbove(uint32_t id) {
  std::lock_guard lock(mutex_);
  const size_t k = indexOfLocked(id);
  if (k == kNoIndex)
    return kNoIndex;
  for (size_t n = 0; n < k; ++n) {
    rows_.erase(rows_.begin());
    changed(ListChange{ListChange::Remove, 0, {}});
  }
  return k;
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

std::vector<ListRow> UpcomingList::observe(std::function<void(const ListChange&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
  return rows_;
}

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
