// The upcoming list as an item model for a view: five columns (Title, Artist,
// Album, FileName, Type), one row per upcoming song. It follows the engine's
// list through its ordered change notifications (insert at k, remove at k,
// clear), each applied on the GUI thread as a row insert or removal, so a
// view's current index and every persistent index follow their song when
// rows above them come or go. Each row keeps the list's row id, by which
// commands name the row.
#pragma once

#include "gui/gui_hand_off.h"
#include "play/upcoming_list.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace plinka::gui {

class UpcomingModel : public QAbstractTableModel {
  Q_OBJECT

public:
  // Starts from the list's rows and follows its changes until it is
  // destroyed. Made on the GUI thread.
  explicit UpcomingModel(play::UpcomingList& list, QObject* parent = nullptr);
  ~UpcomingModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The id of the list row shown at `row`; play::kNoRowId outside the rows.
  uint32_t rowId(int row) const;
  // One change of the engine's list, in the order the list made them.
  void apply(const play::ListChange& change);

private:
  struct Row {
    uint32_t id = play::kNoRowId;
    std::array<QString, play::ColumnCount> text;
  };
  static Row toRow(const play::ListRow& row);

  play::UpcomingList& list_;
  // Written and read on the GUI thread only.
  std::vector<Row> rows_;
  // Carries the list's changes to the GUI thread.
  GuiHandOff handOff_;
};

}  // namespace plinka::gui
