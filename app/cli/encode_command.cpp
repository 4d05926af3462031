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

// True when the catalogue form resolves to `plain` the way a choice in the
// window resolves it.
bool GivesBack(const std::string& form, std::string_view plain, const DecodeFunctions& lib) {
  AppState state;
  std::string path = form;
  DoPath(state, path, lib);
  return state.TargetIsOdbc == 1 && path == plain;
}

int Encode(const std::string& plain) {
  const DecodeLibrary library = DecodeLibrary::Load(ProgramFolder());
  const DecodeFunctions& lib = library.functions();
  if (!lib.str_encode || !lib.str_decode || !lib.base64_encode || !lib.base64_decode) {
    Error("the decoding library " + std::string(DecodeLibrary::kFileName) +
          " cannot be loaded from '" + ProgramFolder() + "'");
    return kExitUnavailable;
  }
  const std::optional<std::string> cipher = EncodeString(plain, DecodeKey, lib);
  if (!cipher) {
    Error("the text holds characters that cannot be stored in a single byte (Windows-1252)");
    return kExitDataErr;
  }
  const std::optional<std::string> base64 = EncodeBase64(*cipher, lib);
  if (!base64) {
    Error("the text cannot be written in Base64");
    return kExitSoftware;
  }

  int printed = 0;
  for (const std::string& form : {"ODBC/" + *cipher, "ODBC/||" + *base64}) {
    if (!GivesBack(form, plain, lib)) {
      // The plain form of a cipher that happens to begin with "||" reads as
      // the Base64 form; that form is then simply not offered.
      Error("skipped a form that does not give the text back: " + form);
      continue;
    }
    std::printf("%s\n", form.c_str());
    ++printed;
  }
  return printed > 0 ? kExitOk : kExitSoftware;
}

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

const Registration kEncode{"encode", "print the encoded catalogue forms of a connection text",
                           Definer(DefineEncode)};

}  // namespace
}  // namespace talvenor::app::cli
