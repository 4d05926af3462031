#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talvenor::app {

// The functions of the decoding library, with its calling contract. Texts
// cross the boundary as Windows-1252 bytes in caller-owned buffers.
//   str_decode(buffer, length, key): deciphers `length` bytes in place.
//   base64_decode(text, out, n): decodes zero-terminated `text` into `out` of
//     *n bytes; -1 when *n is too small, otherwise success with *n set to the
//     decoded length.
//   str_encode: the inverse of str_decode with the same key.
//   base64_encode(data, length, out, n): writes the Base64 text and a zero byte
//     into `out` of *n bytes; -1 (with *n set to the size needed) when too
//     small, otherwise success with *n set to the text's length.
// An empty function is one that could not be loaded; tests put their own here.
struct DecodeFunctions {
  std::function<int32_t(char*, int32_t, int32_t)> str_decode;
  std::function<int32_t(const char*, char*, int32_t*)> base64_decode;
  std::function<int32_t(char*, int32_t, int32_t)> str_encode;
  std::function<int32_t(const char*, int32_t, char*, int32_t*)> base64_encode;
};

// The decoding library loaded at run time. The library stays loaded for as
// long as this object lives.
class DecodeLibrary {
 public:
  static constexpr std::string_view kFileName = "libtalvenor-decode.so";

  // Loads the library from `folder` (the program's folder) and, when it is not
  // there, by name through the dynamic loader's search path. Never fails: a
  // library that cannot be loaded gives empty functions.
  static DecodeLibrary Load(std::string_view folder);

  DecodeLibrary() = default;
  DecodeLibrary(DecodeLibrary&& other) noexcept;
  DecodeLibrary& operator=(DecodeLibrary&& other) noexcept;
  DecodeLibrary(const DecodeLibrary&) = delete;
  DecodeLibrary& operator=(const DecodeLibrary&) = delete;
  ~DecodeLibrary();

  bool loaded() const { return handle_ != nullptr; }
  const DecodeFunctions& functions() const { return functions_; }

 private:
  void* handle_ = nullptr;
  DecodeFunctions functions_;
};

// Enciphers a copy of `text` with str_encode. Empty when the function is
// missing, fails, or the text holds characters Windows-1252 cannot represent.
std::optional<std::string> EncodeString(std::string_view text, int32_t key,
                                        const DecodeFunctions& lib);

// The Base64 text of `text`'s Windows-1252 bytes. Empty when base64_encode is
// missing or fails, or the text is not representable in Windows-1252.
std::optional<std::string> EncodeBase64(std::string_view text, const DecodeFunctions& lib);

}  // namespace talvenor::app
