#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/decode_library.h"

namespace talvenor::app {

// The key every connection text is enciphered with.
inline constexpr int32_t DecodeKey = 0x3A61C2F5;

// Turns a catalogue entry's `Database UNC` (or a restored TargetPath) into what
// an import run opens, in place, and sets state.TargetIsOdbc:
//   beginning with "ODBC/" (exactly these capitals)            -> ODBC source (1), deciphered
//     followed by "||"                                         -> Base64, then deciphered
//   a connection text (records::IsOdbcConnectionText)          -> ODBC source (1), unchanged
//   any other text holding "/" or "\"                          -> file path, unchanged (0)
//   any other text (a bare file name, or empty)                -> AppFolder + "/" + text (0)
// Never fails: a decoding step that fails is skipped and the text keeps what it
// held before that step. Base64 text that does not decode leaves "ODBC/",
// which the deciphering step turns into the empty text.
void DoPath(AppState& state, std::string& path, const DecodeFunctions& lib);

// The same with the decoding library loaded from state.AppFolder (or by name)
// when the text needs decoding.
void DoPath(AppState& state, std::string& path);

// The catalogue forms of a connection text, "ODBC/<enciphered>" and
// "ODBC/||<enciphered in Base64>", each checked to give `plain` back through
// DoPath; a form that does not is left out. Empty, with `why` set, when the
// library lacks a function or the text has no single-byte form.
struct EncodedForms {
  std::vector<std::string> forms;
  std::string why;
};
EncodedForms EncodeConnectionText(std::string_view plain, const DecodeFunctions& lib);

// Resolves a target typed on the command line: a connection text, plain or
// encoded, as DoPath resolves it; any other text is a file path taken as it
// stands, relative to the current folder like every command-line path (the
// program's folder is only for catalogue entries and the window).
void ResolveCommandLineTarget(AppState& state, std::string& path);

// Deciphers a copy of `text` with str_decode and the given key; the result
// has as many characters as the text. Nothing when the library's function is
// missing or the text holds characters Windows-1252 cannot represent.
std::optional<std::string> DecodeString(std::string_view text, int32_t key,
                                        const DecodeFunctions& lib);

// Decodes Base64 text with base64_decode, starting with an output buffer as
// long as the text and doubling it after each "too small" answer (at most 50
// calls, and never past the largest 32-bit size). The empty text on any
// failure: the function is missing, every call answered "too small", the
// library reported a length outside its buffer, or the text is not valid
// Base64 (the library then reports 0 decoded bytes).
std::string DecodeBase64(std::string_view text, const DecodeFunctions& lib);

}  // namespace talvenor::app
