// talvenor-import encode TEXT: prints the two encoded forms of a connection
// text that a catalogue entry's [Database UNC] may hold, so that the logon does
// not stand in the catalogue in plain.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_folder.h"
#include "app/cli/command.h"
#include "app/decode_library.h"
#include "app/do_path.h"

namespace talvenor::app::cli {
namespace {

constexpr std::string_view kUsage = "Usage: talvenor-import encode TEXT\n";

constexpr std::string_view kDescription =
    "Enciphers an ODBC connection text for the catalogue and prints its two forms,\n"
    "one a line:\n"
    "  ODBC/<enciphered text>\n"
    "  ODBC/||<enciphered text in Base64>\n"
    "Either form in a catalogue entry's [Database UNC] is deciphered when the entry\n"
    "is chosen. Each form is checked to give TEXT back before it is printed. The\n"
    "decoding library libtalvenor-decode.so must lie beside the program or in its\n"
    "library folder. A TEXT that begins with - follows a --.\n";

void Error(const std::string& text) {
  std::fprintf(stderr, "talvenor-import encode: %s\n", text.c_str());
}

int Encode(const std::string& plain) {
  const DecodeLibrary library = DecodeLibrary::Load(ProgramFolder());
  const EncodedForms encoded = EncodeConnectionText(plain, library.functions());
  if (encoded.forms.empty()) {
    if (encoded.why.starts_with("the decoding library")) {
      Error(encoded.why + " from '" + ProgramFolder() + "'");
      return kExitUnavailable;
    }
    Error(encoded.why);
    return encoded.why.starts_with("the text holds") ? kExitDataErr : kExitSoftware;
  }
  for (const std::string& form : encoded.forms) std::printf("%s\n", form.c_str());
  return kExitOk;
}

}  // namespace

Action DefineEncode(CLI::App& app) {
  auto plain = std::make_shared<std::string>();
  SetUsage(app, std::string(kUsage));
  app.description(std::string(kDescription));
  app.add_option("TEXT", *plain, "the connection text")->required()->type_name("");
  app.footer(
      "Exit codes: 0 done, 64 bad usage, 65 the text has no single-byte form,\n"
      "69 the decoding library cannot be loaded, 70 no form gives the text back.");
  return [plain] { return Encode(*plain); };
}

}  // namespace talvenor::app::cli
