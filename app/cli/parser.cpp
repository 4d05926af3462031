// The shared command-line parser: every sub-command gets its options read by
// CLI11, with --help, --version, --opt=value, "--" and one layout for help and
// errors.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/command.h"
#include "app/cli/json.h"
#include "records/connection_text.h"

namespace talvenor::app::cli {
namespace {

constexpr std::string_view kProgram = "talvenor-import";

constexpr size_t kWidth = 80;
constexpr size_t kColumn = 24;

std::map<const CLI::App*, std::string>& Usages() {
  static std::map<const CLI::App*, std::string> usages;
  return usages;
}

// The one-line summaries of the sub-commands, for the list of commands (their
// descriptions are the longer texts of their own help).
std::map<const CLI::App*, std::string>& Summaries() {
  static std::map<const CLI::App*, std::string> summaries;
  return summaries;
}

// `text` broken at blanks into lines of at most kWidth characters, every line
// after the first indented to kColumn; `used` characters of the first line
// are taken already.
std::string Wrapped(std::string_view text, size_t used) {
  std::string out;
  size_t column = used;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    if (column > kColumn && column + 1 + word.size() > kWidth) {
      out += "\n" + std::string(kColumn, ' ');
      column = kColumn;
    } else if (column > used || (column == used && !out.empty())) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    at = end + 1;
  }
  return out;
}

// Help in one layout: the usage lines, the description, the operands and
// options, the sub-commands, then the footer (exit codes and the like).
class HelpFormatter final : public CLI::Formatter {
 public:
  HelpFormatter() { column_width(kColumn); }

  std::string make_option(const CLI::Option* option, bool is_positional) const override {
    std::string name = "  " + make_option_name(option, is_positional) + make_option_opts(option);
    if (name.size() + 1 >= kColumn) {
      name += "\n" + std::string(kColumn, ' ');
    } else {
      name.resize(kColumn, ' ');
    }
    return name + Wrapped(option->get_description(), kColumn) + "\n";
  }

  std::string make_subcommand(const CLI::App* sub) const override {
    const auto it = Summaries().find(sub);
    std::string line = "  " + sub->get_name();
    line.resize(std::max(line.size() + 1, kColumn), ' ');
    return line + (it != Summaries().end() ? it->second : sub->get_description()) + "\n";
  }

  std::string make_usage(const CLI::App* app, std::string name) const override {
    const auto it = Usages().find(app);
    if (it != Usages().end()) return it->second;
    return CLI::Formatter::make_usage(app, std::move(name));
  }

  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    std::ostringstream out;
    out << make_usage(app, name);
    std::string description = app->get_description();
    while (!description.empty() && description.back() == '\n') description.pop_back();
    if (!description.empty()) out << description << "\n";
    out << make_positionals(app);
    out << make_groups(app, mode);
    out << make_subcommands(app, mode);
    const std::string footer = app->get_footer();
    if (!footer.empty()) out << "\n" << footer << "\n";
    return out.str();
  }
};

// The parser's text for an error, in the program's own words where it has
// them: an unknown option or a surplus operand is named.
std::string Problem(const CLI::ParseError& error) {
  const std::string what = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    // The arguments left over, in the parser's order. An unknown option is
    // named before an operand it left behind ("--taget t.db" leaves both):
    // the operand is only surplus because its option was not known.
    const size_t colon = what.find(": ");
    std::istringstream extras(colon == std::string::npos ? what : what.substr(colon + 2));
    std::string first;
    for (std::string word; extras >> word;) {
      if (word.size() > 1 && word.front() == '-') return "unknown option '" + word + "'";
      if (first.empty()) first = word;
    }
    return "unexpected argument '" + first + "'";
  }
  // "--target: needs a value, not the option '--dry-run'"
  if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
    const size_t colon = what.find(": needs a value");
    if (colon != std::string::npos) return what.substr(0, colon) + what.substr(colon + 1);
  }
  // "--target: 1 required TEXT missing"
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && what.starts_with("-") &&
      what.ends_with(" missing")) {
    return what.substr(0, what.find(':')) + " needs a value";
  }
  return what;
}

// The first operand of `args` (skipping options and their values), or empty.
std::string FirstOperand(const CLI::App& app, const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") return i + 1 < args.size() ? args[i + 1] : std::string();
    if (arg.size() > 1 && arg.front() == '-') {
      if (arg.find('=') != std::string::npos) continue;
      const CLI::Option* option = app.get_option_no_throw(arg);
      if (option != nullptr && option->get_type_size() > 0) ++i;  // its value
      continue;
    }
    return arg;
  }
  return {};
}

// The sub-command of `app` named `name`, or nullptr.
CLI::App* SubcommandNamed(CLI::App& app, std::string_view name) {
  for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_name() == name) return sub;
  }
  return nullptr;
}

int ParseAndRun(int argc, char** argv);

std::string CommandList(const CLI::App& app) {
  std::string names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  return names;
}

}  // namespace

CLI::Validator NotAnOption() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        if (value.size() > 2 && value.starts_with("--")) {
          return "needs a value, not the option '" + value + "'";
        }
        return {};
      },
      "");
}

CLI::Option* AddMaxLineKib(CLI::App& app, std::string& kib) {
  return app.add_option("--max-line-kib", kib, std::string(kMaxLineKibHelp))
      ->type_name("N")
      ->check(NotAnOption());
}

std::optional<size_t> MaxLineBytes(std::string_view kib) {
  long n = 0;
  const auto [end, error] = std::from_chars(kib.data(), kib.data() + kib.size(), n);
  if (kib.empty() || kib.front() < '0' || kib.front() > '9' || error != std::errc() ||
      end != kib.data() + kib.size() || n < 1 || n > kMostMaxLineKib) {
    return std::nullopt;
  }
  return static_cast<size_t>(n) * 1024;
}

void SetUsage(CLI::App& app, std::string usage) { Usages()[&app] = std::move(usage); }

int UsageError(std::string_view command, std::string_view given) {
  // The problem may quote an argument, and an argument may be a connection text.
  const std::string problem = records::HidePasswords(given);
  std::fprintf(stderr, "%.*s: %s (see --help)\n", static_cast<int>(command.size()), command.data(),
               problem.c_str());
  return kExitUsage;
}

int RunCommandLine(int argc, char** argv) {
  const int exit = ParseAndRun(argc, argv);
  // Output that never arrived (a full disk, a closed file behind stdout) is
  // no success, whatever the sub-command did.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    const int error = errno;
    std::fprintf(stderr, "%.*s: cannot write to standard output: %s\n",
                 static_cast<int>(kProgram.size()), kProgram.data(), std::strerror(error));
    return exit == kExitOk ? kExitIoErr : exit;
  }
  return exit;
}

namespace {

int ParseAndRun(int argc, char** argv) {
  const std::string version = std::string(kProgram) + " " + TALVENOR_VERSION;
  CLI::App root("Imports job-posting export files into a recruiting database.",
                std::string(kProgram));
  root.formatter(std::make_shared<HelpFormatter>());
  root.set_version_flag("--version", version, "show the version");
  root.set_help_flag("-h,--help", "show this help");
  root.require_subcommand(1);
  SetUsage(root, "Usage: talvenor-import COMMAND [OPTIONS] [ARGS]\n");
  root.footer(
      "Run 'talvenor-import COMMAND --help' for a command's options. Paths on the command\n"
      "line are taken from the current folder.\n"
      "\n"
      "The catalogue folder holds the catalogue multi.mdb and the window's talvenor.dat:\n"
      "DIR of --folder DIR when given; else the program's folder when either file lies\n"
      "there, or when the program is not installed; else, for an installed program\n"
      "(libtalvenor-decode.so in ../lib/talvenor/ seen from the program's folder, or a\n"
      "program folder the operator cannot write), $XDG_CONFIG_HOME/talvenor or\n"
      "~/.config/talvenor, made with mode 0700 when first written to.");

  std::map<const CLI::App*, Action> actions;
  for (const Command& command : Commands()) {
    const std::string& name = command.name;
    CLI::App* sub = root.add_subcommand(name, command.summary);
    Summaries()[sub] = command.summary;
    sub->formatter(root.get_formatter());
    sub->set_version_flag("--version", std::string(kProgram) + " " + name + " " + TALVENOR_VERSION,
                          "show the version");
    actions[sub] = command.define(*sub);
  }

  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(root.help().c_str(), stderr);
    return kExitUsage;
  }
  if (args[0] == "help") {
    std::fputs(root.help().c_str(), stdout);
    return kExitOk;
  }
  std::string context(kProgram);
  CLI::App* named = &root;  // the sub-command the arguments name
  if (!args[0].starts_with("-")) {
    CLI::App* sub = SubcommandNamed(root, args[0]);
    named = sub;
    if (sub == nullptr) return UsageError(kProgram, "unknown command '" + args[0] + "'");
    context += " " + args[0];
    // A sub-command of its own commands names the one it does not know.
    if (!sub->get_subcommands([](const CLI::App*) { return true; }).empty()) {
      const std::string operand =
          FirstOperand(*sub, std::vector<std::string>(args.begin() + 1, args.end()));
      if (!operand.empty() && SubcommandNamed(*sub, operand) == nullptr) {
        return UsageError(
            context, "unknown command '" + operand + "'; the commands are " + CommandList(*sub));
      }
    }
  }

  try {
    root.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // The root's help is that of the deepest sub-command named.
    std::fputs(root.help().c_str(), stdout);
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    std::printf("%s\n", e.what());
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    if (std::string_view(e.what()) == "A subcommand is required" && named != nullptr) {
      return UsageError(context, "a command is needed; the commands are " + CommandList(*named));
    }
    const std::string problem = Problem(e);
    // A caller that asked for JSON reads stdout only: it gets its object
    // (unless the "--json" stood where a value was wanted).
    if (std::find(args.begin(), args.end(), "--json") != args.end() &&
        problem.find("'--json'") == std::string::npos) {
      std::string out;
      JsonWriter json(out);
      json.BeginObject().Key("outcome").String("usage");
      json.Key("message").String(records::HidePasswords(problem)).EndObject();
      std::printf("%s\n", out.c_str());
    }
    return UsageError(context, problem);
  }

  return actions.at(root.get_subcommands().front())();
}

}  // namespace

}  // namespace talvenor::app::cli
