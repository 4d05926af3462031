// talvenor-render-window: draws the window, after an import of a file, into a
// PNG picture, without a screen (the offscreen platform). The README's picture
// is made with it (scripts/render_window.sh).

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/window/indexer.h"
#include "app/window/logo.h"
#include "records/operator.h"

namespace {

constexpr char kUsage[] =
    "Usage: talvenor-render-window OUTPUT.png --folder DIR --import FILE [--database ID]\n"
    "Starts the window as if installed in DIR (its multi.mdb and talvenor.dat),\n"
    "selecting the catalogue entry ID when given, imports FILE into the selected\n"
    "target with the import button, and saves the window as it then looks.\n"
    "   or: talvenor-render-window --icon SIDE OUTPUT.png\n"
    "Saves the program's icon, SIDE pixels square (16 to 1024).\n";

// Writes the icon SIDE pixels square to `output`; exit code as main's.
int SaveIcon(std::string_view side_text, const char* output) {
  int side = 0;
  const char* end = side_text.data() + side_text.size();
  const auto [stop, error] = std::from_chars(side_text.data(), end, side);
  if (error != std::errc() || stop != end || side < 16 || side > 1024) {
    std::fputs(kUsage, stderr);
    return 64;
  }
  if (!talvenor::app::window::DrawIcon(side).save(QString::fromUtf8(output), "PNG")) {
    std::fprintf(stderr, "talvenor-render-window: cannot write %s\n", output);
    return 73;
  }
  return EXIT_SUCCESS;
}

// Message boxes become lines on stderr; any of them means the picture would
// not show a finished import.
class StderrOperator final : public talvenor::records::Operator {
 public:
  void ShowMessage(std::string_view text, std::string_view title,
                   talvenor::records::MessageIcon) override {
    std::fprintf(stderr, "talvenor-render-window: %.*s%s%.*s\n", static_cast<int>(title.size()),
                 title.data(), title.empty() ? "" : ": ", static_cast<int>(text.size()),
                 text.data());
    ++shown;
  }
  int shown = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc == 4 && std::string_view(argv[1]) == "--icon") return SaveIcon(argv[2], argv[3]);

  std::string output, folder, file, database;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--folder") {
      ok = value(folder);
    } else if (arg == "--import") {
      ok = value(file);
    } else if (arg == "--database") {
      ok = value(database);
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return EXIT_SUCCESS;
    } else if (output.empty() && !arg.starts_with("-")) {
      output = arg;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fputs(kUsage, stderr);
      return 64;
    }
  }
  if (output.empty() || folder.empty() || file.empty()) {
    std::fputs(kUsage, stderr);
    return 64;
  }

  StderrOperator op;
  talvenor::app::window::IndexerOptions options;
  options.AppFolder = folder;
  options.command_line = database;
  options.op = &op;
  talvenor::app::window::Indexer indexer(std::move(options));
  if (!indexer.Form_Load()) return EXIT_FAILURE;
  indexer.show();
  QApplication::processEvents();

  indexer.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QString::fromStdString(file));
  indexer.findChild<QPushButton*>(QStringLiteral("Command4"))->click();
  QApplication::processEvents();
  if (op.shown > 0) return EXIT_FAILURE;

  if (!indexer.grab().save(QString::fromStdString(output), "PNG")) {
    std::fprintf(stderr, "talvenor-render-window: cannot write %s\n", output.c_str());
    return 73;
  }
  return EXIT_SUCCESS;
}
