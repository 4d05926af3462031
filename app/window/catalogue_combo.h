#pragma once

#include <QComboBox>

class QStandardItemModel;
class QTableView;

namespace talvenor::app::window {

// A drop-down whose list is a table of several columns (headings shown, rows
// selected whole) over its own model. The edit box shows column 0 and may be
// typed into; typing neither adds rows nor completes them.
//
// `closedUp` is emitted each time the list closes, whatever closed it (a
// pick, Escape, a click outside), and only once per closing. It is queued:
// when it arrives, a pick has already become the current row.
//
// `stepped` is emitted, at once, when the wheel or a key (arrows, page keys)
// made another row current while the list was closed: the edit box then
// shows that row, and the owner must choose it as a pick would.
class CatalogueCombo final : public QComboBox {
  Q_OBJECT

 public:
  explicit CatalogueCombo(QWidget* parent = nullptr);

  QStandardItemModel* rows() const { return rows_; }
  QTableView* table() const { return table_; }

  void hidePopup() override;

 signals:
  void closedUp();
  void stepped();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void EmitClosedUp();

  QStandardItemModel* rows_;
  QTableView* table_;
  QWidget* popup_ = nullptr;
  bool hiding_ = false;
};

}  // namespace talvenor::app::window
