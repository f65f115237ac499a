// How the song lists (the upcoming list and the Search window's list) show
// their columns: a path is cut in its middle, where a long path differs
// least, so its start and the file's name stay in sight; and no column is so
// narrow that the Type column's "Audio" or "Video" would be cut.
#pragma once

#include <QStyledItemDelegate>

class QTreeView;

namespace plinka::gui {

// Draws a column's texts cut in the middle ("/home/me/…/song.mp3") when they
// do not fit.
class PathDelegate : public QStyledItemDelegate {
  Q_OBJECT

public:
  using QStyledItemDelegate::QStyledItemDelegate;
  // Public for checks: the option a cell is drawn with.
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The narrowest a column of `list` may be: wide enough for "Audio", "Video"
// and the title "Type" in the list's font.
int narrowestSongColumn(const QTreeView& list);

}  // namespace plinka::gui
