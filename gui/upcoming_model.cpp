#include "gui/upcoming_model.h"

#include "gui/qt_text.h"

namespace plinka::gui {

UpcomingModel::UpcomingModel(play::UpcomingList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {
  // The observer runs on worker threads under the list's lock; each change
  // travels to the GUI thread with its own copy of the row, and the hand-off
  // runs them in the order they were made.
  const std::vector<play::ListRow> start =
      list_.observe([this](const play::ListChange& change) { handOff_.post([this, change] { apply(change); }); });
  rows_.reserve(start.size());
  for (const play::ListRow& row : start)
    rows_.push_back(toRow(row));
}

UpcomingModel::~UpcomingModel() {
  // Once this returns no worker is inside the observer; changes not yet
  // applied are dropped with the hand-off.
  list_.setObserver({});
}

UpcomingModel::Row UpcomingModel::toRow(const play::ListRow& row) {
  Row out;
  out.id = row.id;
  for (int c = 0; c < play::ColumnCount; ++c)
    out.text[static_cast<size_t>(c)] = toQ(row.column[c]);
  return out;
}

int UpcomingModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int UpcomingModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : play::ColumnCount; }

QVariant UpcomingModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
      index.column() >= play::ColumnCount)
    return {};
  return rows_[static_cast<size_t>(index.row())].text[static_cast<size_t>(index.column())];
}

QVariant UpcomingModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kNames[play::ColumnCount] = {"Title", "Artist", "Album", "FileName", "Type"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= play::ColumnCount)
    return {};
  return QString(kNames[section]);
}

uint32_t UpcomingModel::rowId(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].id : play::kNoRowId;
}

void UpcomingModel::apply(const play::ListChange& change) {
  const int count = static_cast<int>(rows_.size());
  switch (change.kind) {
  case play::ListChange::Insert: {
    const int at = change.index > static_cast<size_t>(count) ? count : static_cast<int>(change.index);
    beginInsertRows(QModelIndex(), at, at);
    rows_.insert(rows_.begin() + at, toRow(change.row));
    endInsertRows();
    break;
  }
  case play::ListChange::Remove: {
    if (change.index >= static_cast<size_t>(count))
      break;
    const int at = static_cast<int>(change.index);
    beginRemoveRows(QModelIndex(), at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
    break;
  }
  case play::ListChange::Clear:
    beginResetModel();
    rows_.clear();
    endResetModel();
    break;
  }
}

}  // namespace plinka::gui
