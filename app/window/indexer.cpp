#include "app/window/indexer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <algorithm>
#include <charconv>
#include <utility>

#include "app/catalogue.h"
#include "app/do_path.h"
#include "app/init_advice.h"
#include "app/saved_selection.h"
#include "app/window/catalogue_combo.h"
#include "app/window/logo.h"
#include "app/window/qt_seams.h"
#include "app/window/run_report.h"
#include "app/window/window_layout.h"
#include "text/string_utils.h"

namespace talvenor::app::window {

namespace {

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

// The widest caption the import button shows during a run.
constexpr std::string_view kWidestRowCaption = "Importing Row (9999999)";
// The list must show at least this many of its lines at once.
constexpr int kListRows = 4;
// The widest of the list's fixed texts, and a counts line with large counts.
constexpr std::string_view kWidestListTexts[] = {"Step2: Begin Transferring Companies/Names",
                                                 "Contact persons: 99999 created, 99999 matched"};
// The progress bar counts in tenths of a per cent.
constexpr int kProgressSteps = 1000;

// The row number of an "Importing Row (N)" caption; 0 for any other.
long RowOfCaption(std::string_view caption) {
  constexpr std::string_view kPrefix = "Importing Row (";
  if (!caption.starts_with(kPrefix)) return 0;
  long row = 0;
  const char* first = caption.data() + kPrefix.size();
  const auto [end, error] = std::from_chars(first, caption.data() + caption.size(), row);
  return error == std::errc() && end != first ? row : 0;
}

// The room a text needs around it: the control's size less its text room.
QSize Chrome(const QWidget& widget, const QRect& room) { return widget.size() - room.size(); }

}  // namespace

Indexer::Indexer(IndexerOptions options, QWidget* parent)
    : QWidget(parent), options_(std::move(options)) {
  BuildControls();
}

Indexer::~Indexer() {
  // The children outlive this part of the window: a focus leaving the edit box
  // as they go must not reach the handlers.
  SSDBCombo1_->lineEdit()->disconnect(this);
  SSDBCombo1_->disconnect(this);
  // A window destroyed in the middle of a run (the program ending) gives the
  // pointer back.
  if (busy_) QApplication::restoreOverrideCursor();
}

void Indexer::BuildControls() {
  setObjectName(QStringLiteral("Indexer"));
  setWindowTitle(ToQt(kWindowTitle));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);

  SSDBCombo1_ = new CatalogueCombo(this);
  SSDBCombo1_->setObjectName(QStringLiteral("SSDBCombo1"));
  SetBase(SSDBCombo1_, kLightYellow);

  Text1_ = new QLineEdit(this);
  Text1_->setObjectName(QStringLiteral("Text1"));
  SetBase(Text1_, kLightYellow);

  Command3_ = new QPushButton(QStringLiteral("Browse"), this);
  Command3_->setObjectName(QStringLiteral("Command3"));

  Command4_ = new QPushButton(ToQt(import::kIdleCaption), this);
  Command4_->setObjectName(QStringLiteral("Command4"));

  List1_ = new QListWidget(this);
  List1_->setObjectName(QStringLiteral("List1"));
  SetBase(List1_, kLightYellow);

  Image1_ = new QLabel(this);
  Image1_->setObjectName(QStringLiteral("Image1"));

  Command1_ = new QPushButton(QStringLiteral("Close"), this);
  Command1_->setObjectName(QStringLiteral("Command1"));

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setRange(0, kProgressSteps);
  progress_->hide();

  setTabOrder(Command3_, SSDBCombo1_);
  setTabOrder(SSDBCombo1_, List1_);
  setTabOrder(List1_, Command1_);
  setTabOrder(Command1_, Text1_);
  setTabOrder(Text1_, Command4_);

  connect(Command3_, &QPushButton::clicked, this, &Indexer::Command3_Click);
  connect(Command4_, &QPushButton::clicked, this, &Indexer::Command4_Click);
  connect(Command1_, &QPushButton::clicked, this, &Indexer::Command1_Click);
  connect(SSDBCombo1_, &CatalogueCombo::closedUp, this, &Indexer::SSDBCombo1_CloseUp);
  // The wheel and the arrow keys choose the entry they bring up, as a pick
  // does, so that the edit box never shows another entry than the one used.
  connect(SSDBCombo1_, &CatalogueCombo::stepped, this, &Indexer::SSDBCombo1_CloseUp);
  connect(SSDBCombo1_->lineEdit(), &QLineEdit::editingFinished, this,
          &Indexer::SSDBCombo1_TextEntered);

  LayOut();
}

void Indexer::LayOut() {
  const double base = logicalDpiY() / kTwipsPerInch;
  Place(base);

  const QFontMetrics fm = fontMetrics();
  auto width_of = [&](std::string_view text) { return fm.horizontalAdvance(ToQt(text)); };
  std::vector<Need> needs;
  auto button_need = [&](const QPushButton* button, const TwipsRect& box,
                         std::initializer_list<std::string_view> captions) {
    const QSize chrome = Chrome(*button, ButtonTextRoom(*button));
    int widest = 0;
    for (std::string_view caption : captions) widest = std::max(widest, width_of(caption));
    // A pixel each side for the focus frame some styles draw inside the room.
    needs.push_back({box, widest + chrome.width() + 2, fm.height() + chrome.height()});
  };
  button_need(Command3_, kBrowseTwips, {"Browse"});
  button_need(Command4_, kImportTwips, {import::kIdleCaption, kWidestRowCaption});
  button_need(Command1_, kCloseTwips, {"Close"});

  // The edit box also shows a text cursor after the prompt.
  const QSize combo_chrome = Chrome(*SSDBCombo1_, ComboTextRoom(*SSDBCombo1_));
  needs.push_back({kComboTwips, width_of(kSelectPrompt) + combo_chrome.width() + 1,
                   fm.height() + combo_chrome.height()});
  // A path scrolls in its box; only the height must hold the text.
  const QSize text_chrome = Chrome(*Text1_, LineEditTextRoom(*Text1_));
  needs.push_back({kText1Twips, 0, fm.height() + text_chrome.height()});

  // The viewport is not laid out before the window is shown: the frame tells.
  const int list_chrome = 2 * List1_->frameWidth();
  int list_width = 0;
  for (std::string_view text : kWidestListTexts) list_width = std::max(list_width, width_of(text));
  // An item is its text's line and a margin; the view's own sizes tell.
  const int row_height = std::max(List1_->sizeHintForRow(0), fm.height() + 4);
  needs.push_back({kListTwips, list_width + list_chrome + 8, kListRows * row_height + list_chrome});
  needs.push_back({kProgressTwips, 0, progress_->sizeHint().height()});

  const double scale = FitScale(base, needs);
  if (scale != base) Place(scale);
}

void Indexer::Place(double px_per_twip) {
  setFixedSize(ToPixels(kClientTwips, px_per_twip).size());
  SSDBCombo1_->setGeometry(ToPixels(kComboTwips, px_per_twip));
  Text1_->setGeometry(ToPixels(kText1Twips, px_per_twip));
  Command3_->setGeometry(ToPixels(kBrowseTwips, px_per_twip));
  Command4_->setGeometry(ToPixels(kImportTwips, px_per_twip));
  List1_->setGeometry(ToPixels(kListTwips, px_per_twip));
  Image1_->setGeometry(ToPixels(kLogoTwips, px_per_twip));
  Image1_->setPixmap(DrawLogo(Image1_->size()));
  Command1_->setGeometry(ToPixels(kCloseTwips, px_per_twip));
  progress_->setGeometry(ToPixels(kProgressTwips, px_per_twip));
  wide_column_ = static_cast<int>(std::lround(kWideColumnTwips * px_per_twip));
  SSDBCombo1_InitColumnProps();
}

bool Indexer::Form_Load() {
  CentreOnScreen();

  state_.AppFolder = text::StripTrailingBackslash(options_.AppFolder);

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
  table->setColumnWidth(kDatabaseColumn, wide_column_);
  table->setColumnWidth(kSyncPathColumn, wide_column_);
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

void Indexer::SSDBCombo1_TextEntered() {
  const QString typed = SSDBCombo1_->currentText().trimmed();
  const int row = typed.isEmpty() ? -1 : SSDBCombo1_->findText(typed, Qt::MatchFixedString);
  if (row >= 0) {
    SSDBCombo1_->setCurrentIndex(row);
    SSDBCombo1_CloseUp();
    return;
  }
  ShowSelectedId();
}

void Indexer::ShowSelectedId() {
  const records::Value& id = state_.SelectedDatabaseId;
  const QString text = id.HasValue() ? QString::fromStdString(id.ToText()) : QString();
  if (text.isEmpty()) {
    // An entry with an empty id, chosen from the list, is shown as it is.
    if (SSDBCombo1_->currentIndex() >= 0) {
      SSDBCombo1_->setEditText(SSDBCombo1_->itemText(SSDBCombo1_->currentIndex()));
    } else {
      SSDBCombo1_->setEditText(ToQt(kSelectPrompt));
    }
    return;
  }
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
  request.target = state_.Address();
  request.init_advice = InitAdvice(request.target);

  report_.Clear();
  stop_requested_ = false;
  run_messages().BeginRun();
  file_size_ = QFileInfo(ToQt(text::Trim(request.export_path))).size();
  import::ImportServices services{run_messages(), clock(), state_.clock_cache, *this};
  import::RunImport(request, services);
  run_messages().SetLine(0);
}

void Indexer::Form_Unload() { Save(state_); }

void Indexer::closeEvent(QCloseEvent* event) {
  // A run pumps events between its lines; closing the window under it would
  // end the run half-way. The operator is asked whether to stop it instead.
  if (busy_) {
    event->ignore();
    AskToStop();
    return;
  }
  // A window whose start-up did not finish has no selection of its own to
  // save.
  if (loaded_) Form_Unload();
  event->accept();
}

void Indexer::keyPressEvent(QKeyEvent* event) {
  if (busy_ && event->key() == Qt::Key_Escape) {
    AskToStop();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Indexer::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Another font needs other room; the layout is made again for it.
  if (event->type() == QEvent::FontChange && progress_ != nullptr) LayOut();
}

void Indexer::AskToStop() {
  if (stop_requested_ || asking_) return;
  asking_ = true;
  const bool stop = run_dialogs().AskToStop(this);
  asking_ = false;
  // The run may have ended while the question was open.
  if (stop && busy_) stop_requested_ = true;
}

void Indexer::ClearList() { List1_->clear(); }

void Indexer::AddLine(std::string_view text) {
  List1_->addItem(ToQt(text));
  List1_->setCurrentRow(List1_->count() - 1);
}

void Indexer::SetCaption(std::string_view caption) {
  Command4_->setText(ToQt(caption));
  // The caption names the data line being imported; the messages of a failure
  // name it too.
  run_messages().SetLine(RowOfCaption(caption));
}

void Indexer::PumpEvents() { QCoreApplication::processEvents(); }

void Indexer::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  // Every control but Close is off during a run: Close (like the close box
  // and Escape) asks whether to stop the run.
  for (QWidget* control :
       std::initializer_list<QWidget*>{SSDBCombo1_, Text1_, Command3_, Command4_, List1_}) {
    control->setEnabled(!busy);
  }
  progress_->setValue(0);
  progress_->setVisible(busy);
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void Indexer::LineFinished(const import::LineOutcome& outcome) {
  report_.LineFinished(outcome);
  if (file_size_ <= 0) return;
  const long long done = std::min(report_.bytes_finished(), file_size_);
  progress_->setValue(static_cast<int>(done * kProgressSteps / file_size_));
}

bool Indexer::StopRequested() { return stop_requested_; }

bool Indexer::ImportAnyway(std::string_view why) {
  return run_dialogs().AskImportAnyway(this, why);
}

void Indexer::RunEnding(const import::ImportSummary& summary) {
  for (const std::string& line : report_.EndingLines(summary)) AddLine(line);
  // A message that ended the run was held back when the operator had turned
  // the boxes off: it is shown now, the list already telling the rest.
  run_messages().SetLine(0);
  run_messages().ShowIfHeldBack(summary.message);
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

RunDialogs& Indexer::run_dialogs() {
  if (options_.run_dialogs != nullptr) return *options_.run_dialogs;
  if (!own_run_dialogs_)
    own_run_dialogs_ = std::make_unique<QtRunDialogs>(std::string(kWindowTitle));
  return *own_run_dialogs_;
}

RunMessages& Indexer::run_messages() {
  if (!run_messages_) run_messages_ = std::make_unique<RunMessages>(op(), run_dialogs(), this);
  return *run_messages_;
}

records::Clock& Indexer::clock() {
  if (options_.clock != nullptr) return *options_.clock;
  if (!own_clock_) own_clock_ = std::make_unique<records::SystemClock>();
  return *own_clock_;
}

}  // namespace talvenor::app::window
