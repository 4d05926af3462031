#include "app/window/qt_seams.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <vector>

namespace talvenor::app::window {

namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

QMessageBox::Icon ToQtIcon(records::MessageIcon icon) {
  QMessageBox::Icon qt_icon = QMessageBox::NoIcon;
  switch (icon) {
    case records::MessageIcon::kNone:
      break;
    case records::MessageIcon::kExclamation:
      qt_icon = QMessageBox::Warning;
      break;
    case records::MessageIcon::kCritical:
      qt_icon = QMessageBox::Critical;
      break;
    case records::MessageIcon::kInformation:
      qt_icon = QMessageBox::Information;
      break;
  }
  return qt_icon;
}

}  // namespace

std::optional<std::string> QtFileDialog::ShowSave(QWidget* parent, std::string_view title,
                                                  std::string_view filter) {
  QFileDialog dialog(parent, ToQt(title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Picking the export file to read must not ask whether to replace it.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(ToQt(filter));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front().toStdString();
}

void MessageBoxOperator::ShowMessage(std::string_view text, std::string_view title,
                                     records::MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ToQt(title.empty() ? std::string_view(default_title_) : title),
                  ToQt(text), QMessageBox::Ok, parent_);
  box.exec();
}

std::string LineFailureNote(long line) { return "Data line " + std::to_string(line) + "."; }

bool QtRunDialogs::AskToStop(QWidget* parent) {
  QMessageBox box(QMessageBox::Question, ToQt(default_title_), ToQt(kStopQuestion),
                  QMessageBox::Yes | QMessageBox::No, parent);
  // Enter or Escape by mistake must not end a long run.
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

bool QtRunDialogs::ShowLineFailure(QWidget* parent, std::string_view text, std::string_view title,
                                   records::MessageIcon icon, long line) {
  QMessageBox box(ToQtIcon(icon), ToQt(title.empty() ? std::string_view(default_title_) : title),
                  ToQt(text), QMessageBox::Ok, parent);
  box.setInformativeText(QString::fromStdString(LineFailureNote(line)));
  auto* dont_show = new QCheckBox(ToQt(kDontShowAgain), &box);
  box.setCheckBox(dont_show);
  box.exec();
  return dont_show->isChecked();
}

bool QtRunDialogs::AskImportAnyway(QWidget* parent, std::string_view why) {
  QMessageBox box(QMessageBox::Warning, ToQt(default_title_), ToQt(why), QMessageBox::NoButton,
                  parent);
  QPushButton* anyway = box.addButton(ToQt(kImportAnyway), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  // Return or Escape by mistake must not import a file that is no export.
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == anyway;
}

std::string QtFileFilter(std::string_view bar_filter) {
  const std::vector<std::string_view> parts = Split(bar_filter, '|');
  std::string result;
  for (size_t i = 0; i < parts.size(); i += 2) {
    if (!result.empty()) result += ";;";
    result += parts[i];
    if (i + 1 >= parts.size()) continue;
    std::string patterns;
    for (std::string_view pattern : Split(parts[i + 1], ';')) {
      if (pattern.empty()) continue;
      if (!patterns.empty()) patterns += ' ';
      patterns += pattern;
    }
    if (!patterns.empty()) result += " (" + patterns + ")";
  }
  return result;
}

}  // namespace talvenor::app::window
