// The songs a search found, as an item model for the Search window's list:
// the upcoming list's five columns (Title, Artist, Album, FileName, Type),
// then "Rating" and "Index" (the song's slot in the song table). Rows only
// ever come in batches at the end, as the search finds them, or all go at
// once when a new search starts.
#pragma once

#include "play/song_search.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace plinka::gui {

// The two columns after the upcoming list's five.
constexpr int kRatingColumn = play::ColumnCount;
constexpr int kIndexColumn = play::ColumnCount + 1;
constexpr int kFoundSongColumns = play::ColumnCount + 2;

class FoundSongsModel : public QAbstractTableModel {
  Q_OBJECT

public:
  explicit FoundSongsModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // Adds a batch of found songs after the rows there are.
  void append(std::vector<play::FoundSong>&& songs);
  void clear();

  // A row's FileName and slot; an empty text and -1 outside the rows.
  QString fileName(int row) const;
  int64_t slot(int row) const;

private:
  struct Row {
    std::array<QString, play::ColumnCount> text;
    uint32_t rating = 0;
    uint32_t slot = 0;
  };
  // GUI thread only.
  std::vector<Row> rows_;
};

}  // namespace plinka::gui
