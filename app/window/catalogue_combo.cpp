#include "app/window/catalogue_combo.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QWheelEvent>

namespace talvenor::app::window {

CatalogueCombo::CatalogueCombo(QWidget* parent)
    : QComboBox(parent), rows_(new QStandardItemModel(this)), table_(new QTableView(this)) {
  setEditable(true);
  // Only closing the list selects: the edit box neither adds rows nor
  // completes what is typed into it.
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  setModel(rows_);
  setModelColumn(0);

  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setHighlightSections(false);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table_->setWordWrap(false);
  setView(table_);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

  // The list's frame: watching it hide catches the closings that bypass
  // hidePopup (a popup closes itself on Escape or when the application
  // loses focus).
  popup_ = table_->parentWidget();
  if (popup_ != nullptr) popup_->installEventFilter(this);
}

void CatalogueCombo::hidePopup() {
  // QComboBox also calls this when it is hidden or disabled; only a list
  // that was open closes up.
  const bool was_open = popup_ != nullptr && popup_->isVisible();
  hiding_ = true;
  QComboBox::hidePopup();
  hiding_ = false;
  if (was_open) EmitClosedUp();
}

bool CatalogueCombo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == popup_ && event->type() == QEvent::Hide && !hiding_) EmitClosedUp();
  return QComboBox::eventFilter(watched, event);
}

void CatalogueCombo::wheelEvent(QWheelEvent* event) {
  const int before = currentIndex();
  QComboBox::wheelEvent(event);
  if (currentIndex() != before) emit stepped();
}

void CatalogueCombo::keyPressEvent(QKeyEvent* event) {
  // The keys that open the list (Alt+Down, F4) leave the choice to its
  // closing; the others that move the current row choose it at once.
  const int before = currentIndex();
  QComboBox::keyPressEvent(event);
  if (currentIndex() != before && !(popup_ != nullptr && popup_->isVisible())) emit stepped();
}

void CatalogueCombo::EmitClosedUp() {
  // A click on a row closes the list before the row becomes current; queued,
  // the signal arrives after it has.
  QMetaObject::invokeMethod(this, &CatalogueCombo::closedUp, Qt::QueuedConnection);
}

}  // namespace talvenor::app::window
