#include "app/decode_library.h"

#include <dlfcn.h>

#include <climits>
#include <utility>

#include "text/utf8.h"

namespace talvenor::app {
namespace {

using StrFn = int32_t(char*, int32_t, int32_t);
using Base64DecodeFn = int32_t(const char*, char*, int32_t*);
using Base64EncodeFn = int32_t(const char*, int32_t, char*, int32_t*);

template <class Fn>
Fn* Symbol(void* handle, const char* name) {
  return reinterpret_cast<Fn*>(dlsym(handle, name));
}

// Windows-1252 bytes of `text`, or nothing when a character has no byte.
std::optional<std::string> ToSingleByte(std::string_view text) {
  bool lossless = true;
  std::string bytes = text::Utf8ToWindows1252(text, &lossless);
  if (!lossless || bytes.size() > size_t{INT32_MAX}) return std::nullopt;
  return bytes;
}

}  // namespace

DecodeLibrary DecodeLibrary::Load(std::string_view folder) {
  DecodeLibrary library;
  // Beside the program, then where an installation puts it (the programs in
  // PREFIX/bin, the library in PREFIX/lib/talvenor), then by name. The
  // installed path is tried by hand: dlopen reads the RUNPATH of its caller,
  // which under a sanitizer is the sanitizer's runtime, not the program.
  for (const std::string& path :
       {std::string(folder) + "/" + std::string(kFileName),
        std::string(folder) + "/../lib/talvenor/" + std::string(kFileName),
        std::string(kFileName)}) {
    library.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle_ != nullptr) break;
  }
  if (library.handle_ == nullptr) return library;
  // A function the library does not export stays empty; its callers treat
  // that as a failed step.
  if (auto* fn = Symbol<StrFn>(library.handle_, "StrDecode")) library.functions_.str_decode = fn;
  if (auto* fn = Symbol<Base64DecodeFn>(library.handle_, "Base64Decode")) {
    library.functions_.base64_decode = fn;
  }
  if (auto* fn = Symbol<StrFn>(library.handle_, "StrEncode")) library.functions_.str_encode = fn;
  if (auto* fn = Symbol<Base64EncodeFn>(library.handle_, "Base64Encode")) {
    library.functions_.base64_encode = fn;
  }
  return library;
}

DecodeLibrary::DecodeLibrary(DecodeLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      functions_(std::exchange(other.functions_, {})) {}

DecodeLibrary& DecodeLibrary::operator=(DecodeLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    functions_ = std::exchange(other.functions_, {});
  }
  return *this;
}

DecodeLibrary::~DecodeLibrary() {
  // The functions point into the library: drop them before unloading it.
  functions_ = {};
  if (handle_ != nullptr) dlclose(handle_);
}

std::optional<std::string> EncodeString(std::string_view text, int32_t key,
                                        const DecodeFunctions& lib) {
  if (!lib.str_encode) return std::nullopt;
  std::optional<std::string> bytes = ToSingleByte(text);
  if (!bytes) return std::nullopt;
  if (lib.str_encode(bytes->data(), static_cast<int32_t>(bytes->size()), key) != 0) {
    return std::nullopt;
  }
  return text::Windows1252ToUtf8(*bytes);
}

std::optional<std::string> EncodeBase64(std::string_view text, const DecodeFunctions& lib) {
  if (!lib.base64_encode) return std::nullopt;
  std::optional<std::string> bytes = ToSingleByte(text);
  if (!bytes || bytes->size() > size_t{INT32_MAX} / 4 * 3 - 3) return std::nullopt;
  const auto length = static_cast<int32_t>(bytes->size());
  // Four characters for every three bytes, and the zero byte.
  int32_t n = (length + 2) / 3 * 4 + 1;
  std::string out(static_cast<size_t>(n), '\0');
  if (lib.base64_encode(bytes->data(), length, out.data(), &n) != 0) return std::nullopt;
  if (n < 0 || static_cast<size_t>(n) > out.size()) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace talvenor::app
