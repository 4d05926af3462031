#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "records/operator.h"

class QWidget;

namespace talvenor::app::window {

// The file dialog of Browse, behind an interface: a modal dialog would block
// a test, which answers in its place.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // Shows a save-as style dialog (the operator may pick an existing file or
  // type the name of one that does not exist; no overwrite question). The
  // full path chosen, or nothing when the operator cancelled or the dialog
  // could not be shown. `filter` is in Qt's form ("Text (*.txt);;All (*)").
  virtual std::optional<std::string> ShowSave(QWidget* parent, std::string_view title,
                                              std::string_view filter) = 0;
};

// The real dialog, QFileDialog.
class QtFileDialog final : public FileDialog {
 public:
  std::optional<std::string> ShowSave(QWidget* parent, std::string_view title,
                                      std::string_view filter) override;
};

// Message boxes with an OK button, QMessageBox. An empty title shows
// `default_title` (the window's own).
class MessageBoxOperator final : public records::Operator {
 public:
  MessageBoxOperator(QWidget* parent, std::string default_title)
      : parent_(parent), default_title_(std::move(default_title)) {}
  void ShowMessage(std::string_view text, std::string_view title,
                   records::MessageIcon icon) override;

 private:
  QWidget* parent_;
  std::string default_title_;
};

// The questions and boxes of an import run in the window, behind an interface
// for the same reason as the file dialog.
class RunDialogs {
 public:
  virtual ~RunDialogs() = default;
  // Asks whether to stop the run after the line being imported. True: stop.
  virtual bool AskToStop(QWidget* parent) = 0;
  // Shows a message of a failure met while importing data line `line`: the
  // text as given, with the line's number, and a check box "Don't show again
  // during this run". True when the operator ticked it.
  virtual bool ShowLineFailure(QWidget* parent, std::string_view text, std::string_view title,
                               records::MessageIcon icon, long line) = 0;
  // Shows why the export file was refused as no export file, with the
  // buttons "Import anyway" and Cancel (the default). True: import it.
  virtual bool AskImportAnyway(QWidget* parent, std::string_view why) = 0;
};

inline constexpr std::string_view kStopQuestion =
    "Stop the import after the current line?\n\nThe lines imported so far are kept; "
    "importing the file again later completes the target.";
inline constexpr std::string_view kDontShowAgain = "Don't show again during this run";
inline constexpr std::string_view kImportAnyway = "Import anyway";

// The line number a line failure's box adds below the message's own text.
std::string LineFailureNote(long line);

// QMessageBox for both.
class QtRunDialogs final : public RunDialogs {
 public:
  explicit QtRunDialogs(std::string default_title) : default_title_(std::move(default_title)) {}
  bool AskToStop(QWidget* parent) override;
  bool ShowLineFailure(QWidget* parent, std::string_view text, std::string_view title,
                       records::MessageIcon icon, long line) override;
  bool AskImportAnyway(QWidget* parent, std::string_view why) override;

 private:
  std::string default_title_;
};

// Turns a filter written as "description|patterns|description|patterns",
// patterns separated by ";", into Qt's form: "description (p1 p2);;...". A
// description without patterns stays alone; empty patterns are dropped.
std::string QtFileFilter(std::string_view bar_filter);

}  // namespace talvenor::app::window
