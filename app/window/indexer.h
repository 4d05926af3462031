#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/catalogue.h"
#include "app/window/run_report.h"
#include "import/import_run.h"
#include "records/clock.h"
#include "records/operator.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace talvenor::app::window {

class CatalogueCombo;
class FileDialog;
class RunDialogs;
class RunMessages;

inline constexpr std::string_view kWindowTitle = "Talvenor Import Utility";
// What the drop-down's edit box reads until an entry is chosen or restored.
inline constexpr std::string_view kSelectPrompt = "(Select a Database)";
inline constexpr std::string_view kBrowseTitle = "Select File to Import";
// Browse's file types, as "description|patterns" (QtFileFilter turns it into
// Qt's form).
inline constexpr std::string_view kBrowseFilter =
    "Talvenor Text Exported File (*.csv;*.csv)|*.csv;*.txt";

// What the window is started with. The program passes its own folder, its
// command line and the real dialogs; a test passes a folder it controls and
// recorders. A null seam means the real one.
struct IndexerOptions {
  // The program's folder; one trailing "/" (or "\") is dropped.
  std::string AppFolder;
  // The whole command-line text: when not empty, the Database Id to select.
  std::string command_line;
  records::Operator* op = nullptr;
  FileDialog* file_dialog = nullptr;
  records::Clock* clock = nullptr;
  // The stop question and the boxes of failures met during a run.
  RunDialogs* run_dialogs = nullptr;
};

// The main window: the catalogue drop-down, the export file's path and
// Browse, the import button, the progress list, the logo and Close. It owns
// the program state (AppState) and shows an import run's progress.
//
// Lifecycle: construct, Form_Load (false: the program must end at once),
// show; closing (Close or the close box) runs Form_Unload, which saves the
// selection. While an import run is going on, closing or Escape asks whether
// to stop the run after the line being imported instead; the window stays.
//
// The controls keep the arrangement of the layout in twips, drawn at the
// screen's DPI, and the whole window grows where the font needs more room.
class Indexer final : public QWidget, private import::ImportProgress {
  Q_OBJECT

 public:
  explicit Indexer(IndexerOptions options, QWidget* parent = nullptr);
  ~Indexer() override;

  // Start-up: centres the window, opens the catalogue into the drop-down,
  // restores the saved selection, looks up the command line's Database Id,
  // shows the selected id and resolves TargetPath. False when the command
  // line names an entry the catalogue does not hold: the message has been
  // shown and the program must end without saving anything.
  bool Form_Load();

  const AppState& state() const { return state_; }
  // The catalogue's entries as listed, in the drop-down's row order.
  const std::vector<CatalogueRow>& catalogue() const { return catalogue_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Handlers.
  void Command3_Click();
  void Command1_Click();
  void Command4_Click();
  void SSDBCombo1_InitColumnProps();
  void SSDBCombo1_RowLoaded(int row);
  void SSDBCombo1_CloseUp();
  // Return in the edit box, or the focus leaving it: the typed Database Id is
  // chosen as a pick would; any other text gives way to the chosen entry.
  void SSDBCombo1_TextEntered();
  void Form_Unload();

  // import::ImportProgress: List1, Command4's caption, pumping events, busy.
  void ClearList() override;
  void AddLine(std::string_view text) override;
  void SetCaption(std::string_view caption) override;
  void PumpEvents() override;
  void SetBusy(bool busy) override;
  void LineFinished(const import::LineOutcome& outcome) override;
  bool StopRequested() override;
  bool AsksToImportAnyway() const override { return true; }
  bool ImportAnyway(std::string_view why) override;
  void RunEnding(const import::ImportSummary& summary) override;

  // Asks, once at a time, whether to stop the run after the current line.
  void AskToStop();

  void BuildControls();
  // Places the controls at the screen's DPI, grown until every text fits.
  void LayOut();
  void Place(double px_per_twip);
  void LoadCatalogue(const std::vector<CatalogueRow>& rows);
  void ShowSelectedId();
  void CentreOnScreen();
  records::Operator& op();
  FileDialog& file_dialog();
  records::Clock& clock();
  RunDialogs& run_dialogs();
  RunMessages& run_messages();

  IndexerOptions options_;
  AppState state_;
  // The catalogue's entries as listed, unmasked, in the drop-down's row order.
  std::vector<CatalogueRow> catalogue_;
  bool loaded_ = false;          // Form_Load went to its end
  bool busy_ = false;            // an import run is going on
  bool stop_requested_ = false;  // the operator chose to stop the run
  bool asking_ = false;          // the stop question is open
  long long file_size_ = 0;      // the export file's bytes, for the progress bar
  int wide_column_ = 0;          // the drop-down's wide list columns, in pixels
  RunReport report_;

  // The real seams, made when no replacement was given.
  std::unique_ptr<records::Operator> own_op_;
  std::unique_ptr<FileDialog> own_file_dialog_;
  std::unique_ptr<records::Clock> own_clock_;
  std::unique_ptr<RunDialogs> own_run_dialogs_;
  std::unique_ptr<RunMessages> run_messages_;

  CatalogueCombo* SSDBCombo1_;
  QLineEdit* Text1_;
  QPushButton* Command3_;
  QPushButton* Command4_;
  QListWidget* List1_;
  QLabel* Image1_;
  QPushButton* Command1_;
  QProgressBar* progress_;
};

}  // namespace talvenor::app::window
