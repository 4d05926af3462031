#include "app/do_path.h"

#include <climits>
#include <new>
#include <utility>

#include "app/app_folder.h"
#include "records/connection_text.h"
#include "text/utf8.h"

namespace talvenor::app {
namespace {

constexpr std::string_view kEncodedPrefix = "ODBC/";
constexpr std::string_view kBase64Marker = "||";
constexpr int kMaxBase64Calls = 50;
constexpr int32_t kBufferTooSmall = -1;

// Only an encoded entry needs the library; every other text resolves without
// loading it.
bool NeedsDecoding(std::string_view path) { return records::IsEncodedConnectionText(path); }

}  // namespace

std::optional<std::string> DecodeString(std::string_view text, int32_t key,
                                        const DecodeFunctions& lib) {
  if (!lib.str_decode) return std::nullopt;
  bool lossless = true;
  std::string buffer = text::Utf8ToWindows1252(text, &lossless);
  // A character without a single-byte form would reach the library as "?"
  // and come back as something else: better to leave the text as it is.
  if (!lossless || buffer.size() > size_t{INT32_MAX}) return std::nullopt;
  // The library's answer carries no meaning; the buffer is the result.
  lib.str_decode(buffer.data(), static_cast<int32_t>(buffer.size()), key);
  return text::Windows1252ToUtf8(buffer);
}

std::string DecodeBase64(std::string_view text, const DecodeFunctions& lib) {
  if (!lib.base64_decode) return {};
  bool lossless = true;
  const std::string input = text::Utf8ToWindows1252(text, &lossless);
  // The library reads up to the first zero byte: a text holding one would be
  // decoded only in part.
  if (!lossless || input.find('\0') != std::string::npos || input.size() > size_t{INT32_MAX}) {
    return {};
  }
  auto n = static_cast<int32_t>(input.size());
  std::string buffer;
  for (int call = 0; call < kMaxBase64Calls; ++call) {
    try {
      buffer.assign(static_cast<size_t>(n), '\0');
    } catch (const std::bad_alloc&) {
      return {};
    }
    if (lib.base64_decode(input.c_str(), buffer.data(), &n) != kBufferTooSmall) {
      // Never trust a length that would read outside the buffer.
      if (n < 0 || static_cast<size_t>(n) > buffer.size()) return {};
      buffer.resize(static_cast<size_t>(n));
      return text::Windows1252ToUtf8(buffer);
    }
    if (n < 0 || n > INT32_MAX / 2) return {};
    n *= 2;
  }
  return {};
}

void DoPath(AppState& state, std::string& path, const DecodeFunctions& lib) {
  // A file path that merely holds the letters "odbc" (a folder of that name)
  // stays a file path: only a connection text, or an encoded one, is opened
  // through ODBC, by the same rule every front end uses.
  const bool encoded = records::IsEncodedConnectionText(path);
  if (encoded || records::AddressOf(path).kind == records::TargetKind::kOdbc) {
    state.TargetIsOdbc = 1;
    if (!encoded) return;
    if (std::string_view(path).substr(kEncodedPrefix.size()).starts_with(kBase64Marker)) {
      path = std::string(kEncodedPrefix) +
             DecodeBase64(
                 std::string_view(path).substr(kEncodedPrefix.size() + kBase64Marker.size()), lib);
    }
    if (std::optional<std::string> plain =
            DecodeString(std::string_view(path).substr(kEncodedPrefix.size()), DecodeKey, lib)) {
      path = std::move(*plain);
    }
    return;
  }
  state.TargetIsOdbc = 0;
  // "\" counts as a separator too, so that entries written on Windows still
  // read as paths.
  if (path.find_first_of("/\\") == std::string::npos) path = state.AppFolder + "/" + path;
}

void DoPath(AppState& state, std::string& path) {
  if (!NeedsDecoding(path)) {
    DoPath(state, path, DecodeFunctions{});
    return;
  }
  // The library lies beside the program; AppFolder is that folder unless a
  // command line named another one for the catalogue, where it is looked
  // for first.
  DecodeLibrary library = DecodeLibrary::Load(state.AppFolder);
  if (!library.loaded()) library = DecodeLibrary::Load(ProgramFolder());
  DoPath(state, path, library.functions());
}

void ResolveCommandLineTarget(AppState& state, std::string& path) {
  if (records::IsEncodedConnectionText(path) || records::IsOdbcConnectionText(path)) {
    DoPath(state, path);
    return;
  }
  state.TargetIsOdbc = 0;
}

EncodedForms EncodeConnectionText(std::string_view plain, const DecodeFunctions& lib) {
  EncodedForms out;
  if (!lib.str_encode || !lib.str_decode || !lib.base64_encode || !lib.base64_decode) {
    out.why = "the decoding library " + std::string(DecodeLibrary::kFileName) + " cannot be loaded";
    return out;
  }
  const std::optional<std::string> cipher = EncodeString(plain, DecodeKey, lib);
  if (!cipher) {
    out.why = "the text holds characters that cannot be stored in a single byte (Windows-1252)";
    return out;
  }
  const std::optional<std::string> base64 = EncodeBase64(*cipher, lib);
  for (std::string form : {"ODBC/" + *cipher, base64 ? "ODBC/||" + *base64 : std::string()}) {
    if (form.empty()) continue;
    // The plain form of a cipher that happens to begin with "||" reads as the
    // Base64 form; such a form does not give the text back and is left out.
    AppState state;
    std::string path = form;
    DoPath(state, path, lib);
    if (state.TargetIsOdbc == 1 && path == plain) out.forms.push_back(std::move(form));
  }
  if (out.forms.empty()) out.why = "no encoded form gives the text back";
  return out;
}

}  // namespace talvenor::app
