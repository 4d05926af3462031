#include "app/window/indexer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <utility>

#include "app/catalogue.h"
#include "app/do_path.h"
#include "app/saved_selection.h"
#include "app/window/catalogue_combo.h"
#include "app/window/logo.h"
#include "app/window/qt_seams.h"

namespace talvenor::app::window {

namespace {

// The layout is given in twips; the window is drawn at 15 twips a pixel,
// rounded to the nearest pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QColor kLightYellow(255, 255, 192);

// The listing's fields, in order, as the list's headings.
constexpr int kColumnCount = 5;
constexpr int kIdColumn = 0;
constexpr int kUncColumn = 1;
constexpr int kSyncUncColumn = 2;
constexpr int kDatabaseColumn = 3;
constexpr int kSyncPathColumn = 4;

void SetBase(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, colour);
  widget->setPalette(palette);
}

}  // namespace

Indexer::Indexer(IndexerOptions options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
  BuildControls();
}

Indexer::~Indexer() {
  // A window destroyed in the middle of a run (the program ending) gives the
  // pointer back.
  if (busy_) QApplication::restoreOverrideCursor();
}

void Indexer::BuildControls() {
  setObjectName(QStringLiteral("Indexer"));
  setWindowTitle(ToQt(kWindowTitle));
  setFixedSize(Px(5880), Px(4425));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);

  SSDBCombo1_ = new CatalogueCombo(this);
  SSDBCombo1_->setObjectName(QStringLiteral("SSDBCombo1"));
  SSDBCombo1_->setGeometry(Px(120), Px(120), Px(5595), Px(375));
  SetBase(SSDBCombo1_, kLightYellow);

  Text1_ = new QLineEdit(this);
  Text1_->setObjectName(QStringLiteral("Text1"));
  Text1_->setGeometry(Px(120), Px(600), Px(4155), Px(375));
  SetBase(Text1_, kLightYellow);

  Command3_ = new QPushButton(QStringLiteral("Browse"), this);
  Command3_->setObjectName(QStringLiteral("Command3"));
  Command3_->setGeometry(Px(4380), Px(600), Px(1335), Px(375));

  Command4_ = new QPushButton(ToQt(import::kIdleCaption), this);
  Command4_->setObjectName(QStringLiteral("Command4"));
  Command4_->setGeometry(Px(2820), Px(1080), Px(2895), Px(375));

  List1_ = new QListWidget(this);
  List1_->setObjectName(QStringLiteral("List1"));
  List1_->setGeometry(Px(120), Px(1560), Px(5595), Px(1425));
  SetBase(List1_, kLightYellow);

  Image1_ = new QLabel(this);
  Image1_->setObjectName(QStringLiteral("Image1"));
  Image1_->setGeometry(Px(120), Px(3060), Px(4770), Px(1290));
  Image1_->setPixmap(DrawLogo(Image1_->size()));

  Command1_ = new QPushButton(QStringLiteral("Close"), this);
  Command1_->setObjectName(QStringLiteral("Command1"));
  Command1_->setGeometry(Px(4500), Px(3900), Px(1215), Px(375));

  setTabOrder(Command3_, SSDBCombo1_);
  setTabOrder(SSDBCombo1_, List1_);
  setTabOrder(List1_, Command1_);
  setTabOrder(Command1_, Text1_);
  setTabOrder(Text1_, Command4_);

  connect(Command3_, &QPushButton::clicked, this, &Indexer::Command3_Click);
  connect(Command4_, &QPushButton::clicked, this, &Indexer::Command4_Click);
  connect(Command1_, &QPushButton::clicked, this, &Indexer::Command1_Click);
  connect(SSDBCombo1_, &CatalogueCombo::closedUp, this, &Indexer::SSDBCombo1_CloseUp);
}

bool Indexer::Form_Load() {
  CentreOnScreen();

  state_.AppFolder = options_.AppFolder;
  if (!state_.AppFolder.empty() &&
      (state_.AppFolder.back() == '/' || state_.AppFolder.back() == '\\')) {
    state_.AppFolder.pop_back();
  }

  // A missing or unreadable catalogue leaves the list empty; start-up goes on.
  auto rows = ListCatalogue(CataloguePath(state_.AppFolder));
  LoadCatalogue(rows.has_value() ? *rows : std::vector<CatalogueRow>{});

  Restore(state_);
  if (!LookUpCommandLine(state_, options_.command_line, op())) return false;
  ShowSelectedId();
  DoPath(state_, state_.TargetPath);

  loaded_ = true;
  Command3_->setFocus();
  return true;
}

void Indexer::CentreOnScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  // With its platform window made, the window knows the frame it will get
  // where the platform can tell before showing it.
  create();
  const QRect area = screen->geometry();
  const QRect frame = frameGeometry();
  move(area.x() + (area.width() - frame.width()) / 2,
       area.y() + (area.height() - frame.height()) / 2);
}

void Indexer::LoadCatalogue(const std::vector<CatalogueRow>& rows) {
  catalogue_ = rows;
  QStandardItemModel* model = SSDBCombo1_->rows();
  model->clear();
  model->setColumnCount(kColumnCount);
  model->setHorizontalHeaderLabels({QStringLiteral("Database Id"), QStringLiteral("Database UNC"),
                                    QStringLiteral("Syncronization UNC"),
                                    QStringLiteral("Database"), QStringLiteral("Sync Path")});
  SSDBCombo1_InitColumnProps();
  for (size_t i = 0; i < catalogue_.size(); ++i) {
    const CatalogueRow& entry = catalogue_[i];
    QList<QStandardItem*> items;
    for (const std::string* field : {&entry.database_id, &entry.database_unc, &entry.sync_unc,
                                     &entry.database, &entry.sync_path}) {
      auto* item = new QStandardItem(QString::fromStdString(*field));
      item->setEditable(false);
      items.push_back(item);
    }
    model->appendRow(items);
    SSDBCombo1_RowLoaded(static_cast<int>(i));
  }
  // Filling the model makes its first row current; nothing is chosen yet.
  SSDBCombo1_->setCurrentIndex(-1);
  SSDBCombo1_->setEditText(ToQt(kSelectPrompt));
}

void Indexer::SSDBCombo1_InitColumnProps() {
  QTableView* table = SSDBCombo1_->table();
  table->setColumnWidth(kDatabaseColumn, Px(4000));
  table->setColumnWidth(kSyncPathColumn, Px(4000));
  table->setColumnHidden(kUncColumn, true);
  table->setColumnHidden(kSyncUncColumn, true);
  // The list opens wide enough to show every visible column in full.
  int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < kColumnCount; ++column) {
    if (!table->isColumnHidden(column)) width += table->columnWidth(column);
  }
  table->setMinimumWidth(width);
}

void Indexer::SSDBCombo1_RowLoaded(int row) {
  // Connection texts may carry a logon: the list shows a mask in their place.
  // The hidden column keeps the real text, which a choice uses.
  QStandardItem* item = SSDBCombo1_->rows()->item(row, kDatabaseColumn);
  if (item == nullptr) return;
  item->setText(QString::fromStdString(DisplayedDatabase(item->text().toStdString())));
}

void Indexer::SSDBCombo1_CloseUp() {
  const int row = SSDBCombo1_->currentIndex();
  // Before any row has been current there is nothing to read: the selection
  // stays as it is.
  if (row < 0 || static_cast<size_t>(row) >= catalogue_.size()) return;
  ChooseEntry(state_, catalogue_[static_cast<size_t>(row)]);
  // Whatever was typed into the edit box, it shows the entry chosen.
  SSDBCombo1_->setEditText(SSDBCombo1_->rows()->item(row, kIdColumn)->text());
}

void Indexer::ShowSelectedId() {
  const records::Value& id = state_.SelectedDatabaseId;
  if (!id.HasValue()) return;
  const QString text = QString::fromStdString(id.ToText());
  if (text.isEmpty()) return;
  // The entry shown is the current row, so that closing the list without a
  // pick applies that entry again. An id the list lacks leaves no row current.
  SSDBCombo1_->setCurrentIndex(SSDBCombo1_->findText(text, Qt::MatchFixedString));
  SSDBCombo1_->setEditText(text);
}

void Indexer::Command3_Click() {
  const std::optional<std::string> chosen =
      file_dialog().ShowSave(this, kBrowseTitle, QtFileFilter(kBrowseFilter));
  // A cancelled dialog leaves Text1 as it was.
  if (!chosen.has_value()) return;
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  Text1_->setText(QString::fromStdString(*chosen));
}

void Indexer::Command1_Click() { close(); }

void Indexer::Command4_Click() {
  import::ImportRequest request;
  request.export_path = Text1_->text().toStdString();
  request.TargetPath = state_.TargetPath;
  request.TargetIsOdbc = state_.TargetIsOdbc == 1;
  import::ImportServices services{op(), clock(), state_.clock_cache, *this};
  import::RunImport(request, services);
}

void Indexer::Form_Unload() { Save(state_); }

void Indexer::closeEvent(QCloseEvent* event) {
  // A run pumps events with the window disabled; the close box must not end
  // the window under it.
  if (busy_) {
    event->ignore();
    return;
  }
  // A window whose start-up did not finish has no selection of its own to
  // save.
  if (loaded_) Form_Unload();
  event->accept();
}

void Indexer::ClearList() { List1_->clear(); }

void Indexer::AddLine(std::string_view text) {
  List1_->addItem(ToQt(text));
  List1_->setCurrentRow(List1_->count() - 1);
}

void Indexer::SetCaption(std::string_view caption) { Command4_->setText(ToQt(caption)); }

void Indexer::PumpEvents() { QCoreApplication::processEvents(); }

void Indexer::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  setEnabled(!busy);
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

records::Operator& Indexer::op() {
  if (options_.op != nullptr) return *options_.op;
  if (!own_op_) own_op_ = std::make_unique<MessageBoxOperator>(this, std::string(kWindowTitle));
  return *own_op_;
}

FileDialog& Indexer::file_dialog() {
  if (options_.file_dialog != nullptr) return *options_.file_dialog;
  if (!own_file_dialog_) own_file_dialog_ = std::make_unique<QtFileDialog>();
  return *own_file_dialog_;
}

records::Clock& Indexer::clock() {
  if (options_.clock != nullptr) return *options_.clock;
  if (!own_clock_) own_clock_ = std::make_unique<records::SystemClock>();
  return *own_clock_;
}

}  // namespace talvenor::app::window
