// DoPath with the real decoding routines (compiled in) on any connection
// text: it always ends, sets TargetIsOdbc to 0 or 1, and DecodeBase64 never
// gives more than its text could hold (3 bytes per 4 characters, each byte
// at most 3 bytes of UTF-8).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "app/do_path.h"

extern "C" {
int32_t StrDecode(char* buffer, int32_t length, int32_t key);
int32_t StrEncode(char* buffer, int32_t length, int32_t key);
int32_t Base64Decode(const char* text, char* out, int32_t* n);
int32_t Base64Encode(const char* data, int32_t length, char* out, int32_t* n);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const talvenor::app::DecodeFunctions lib{StrDecode, Base64Decode, StrEncode, Base64Encode};
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  talvenor::app::AppState state;
  state.AppFolder = "/opt/talvenor";
  std::string path(text);
  talvenor::app::DoPath(state, path, lib);
  if (state.TargetIsOdbc != 0 && state.TargetIsOdbc != 1) std::abort();

  const std::string decoded = talvenor::app::DecodeBase64(text, lib);
  if (decoded.size() > size / 4 * 3 * 3) std::abort();
  return 0;
}
