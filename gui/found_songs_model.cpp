#include "gui/found_songs_model.h"

#include "gui/qt_text.h"

namespace plinka::gui {

FoundSongsModel::FoundSongsModel(QObject* parent) : QAbstractTableModel(parent) {}

int FoundSongsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FoundSongsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kFoundSongColumns; }

QVariant FoundSongsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
    return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  const int column = index.column();
  if (role == Qt::TextAlignmentRole && column >= kRatingColumn)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole)
    return {};
  if (column < play::ColumnCount)
    return row.text[static_cast<size_t>(column)];
  if (column == kRatingColumn)
    return QString::number(row.rating);
  if (column == kIndexColumn)
    return QString::number(row.slot);
  return {};
}

QVariant FoundSongsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kNames[kFoundSongColumns] = {"Title", "Artist", "Album", "FileName",
                                                        "Type",  "Rating", "Index"};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kFoundSongColumns)
    return {};
  return QString(kNames[section]);
}

void FoundSongsModel::append(std::vector<play::FoundSong>&& songs) {
  if (songs.empty())
    return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(songs.size()) - 1);
  rows_.reserve(rows_.size() + songs.size());
  for (play::FoundSong& song : songs) {
    Row row;
    for (int c = 0; c < play::ColumnCount; ++c)
      row.text[static_cast<size_t>(c)] = toQ(song.column[c]);
    row.rating = song.rating;
    row.slot = song.slot;
    rows_.push_back(std::move(row));
  }
  endInsertRows();
}

void FoundSongsModel::clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

QString FoundSongsModel::fileName(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].text[play::FileName]
                                                          : QString();
}

int64_t FoundSongsModel::slot(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)].slot : -1;
}

}  // namespace plinka::gui
