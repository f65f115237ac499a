#include "gui/song_columns.h"

#include "play/upcoming_list.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace plinka::gui {

namespace {

constexpr int kSpare = 4;

}  // namespace

void PathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  option->textElideMode = Qt::ElideMiddle;
}

int narrowestSongColumn(const QTreeView& list) {
  const QFontMetrics metrics(list.font());
  // A cell's text keeps a margin on either side, and a few pixels spare so
  // that no style's rounding cuts it.
  const int margins = 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1) + kSpare;
  const int types = std::max(metrics.horizontalAdvance("Audio"), metrics.horizontalAdvance("Video")) + margins;
  const QHeaderView* header = list.header();
  const int title = header->model() ? header->sectionSizeHint(play::Type) : 0;
  return std::max({types, title, header->minimumSectionSize()});
}

}  // namespace plinka::gui
