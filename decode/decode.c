/* The decoding library: a keyed same-length cipher for connection texts and
 * standard Base64 (RFC 4648, with padding). Loaded at run time with dlopen.
 *
 * Texts are single-byte (Windows-1252) characters in caller-owned buffers.
 * The cipher moves each printable character (codes 32 to 126) to another
 * printable character and leaves every other byte as it is, so an encoded
 * text is still storable text of the same length. */

#include <stddef.h>
#include <stdint.h>

#define TALVENOR_EXPORT __attribute__((visibility("default")))

enum {
  kFirstPrintable = 32,
  kPrintableCount = 95, /* 32 to 126 */
  kTooSmall = -1,
  kInvalidInput = -2,
  kBadArguments = -3
};

/* The keystream: one shift in 0..94 for every position of the text, so the
 * same character at different positions is enciphered differently. */
static uint32_t NextState(uint32_t state) { return state * 1664525u + 1013904223u; }

static int32_t Shift(char* buffer, int32_t length, int32_t key, int direction) {
  if (buffer == NULL || length < 0) return kBadArguments;
  uint32_t state = (uint32_t)key ^ 0x5A17C0DEu;
  for (int32_t i = 0; i < length; ++i) {
    state = NextState(state);
    const unsigned char c = (unsigned char)buffer[i];
    if (c < kFirstPrintable || c >= kFirstPrintable + kPrintableCount) continue;
    const int shift = (int)((state >> 16) % kPrintableCount);
    const int offset = c - kFirstPrintable;
    const int moved = (offset + direction * shift + kPrintableCount) % kPrintableCount;
    buffer[i] = (char)(kFirstPrintable + moved);
  }
  return 0;
}

/* Deciphers `length` bytes of `buffer` in place. 0 on success, -3 for a null
 * buffer or a negative length (the buffer is then not touched). */
TALVENOR_EXPORT int32_t StrDecode(char* buffer, int32_t length, int32_t key) {
  return Shift(buffer, length, key, -1);
}

/* The inverse of StrDecode with the same key. */
TALVENOR_EXPORT int32_t StrEncode(char* buffer, int32_t length, int32_t key) {
  return Shift(buffer, length, key, +1);
}

static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/* 0..63 for a character of the alphabet, -1 for any other. */
static int SextetOf(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

/* Decodes the zero-terminated Base64 `text` into `out`, whose size is *n.
 * Returns 0 with *n set to the decoded length; -1 when *n is too small (out
 * and *n untouched); -2 for text that is not canonical padded Base64 (*n set
 * to 0, out untouched); -3 for null arguments or a negative *n. */
TALVENOR_EXPORT int32_t Base64Decode(const char* text, char* out, int32_t* n) {
  if (n == NULL || *n < 0) return kBadArguments;
  if (text == NULL) {
    *n = 0;
    return kInvalidInput;
  }
  size_t length = 0;
  while (text[length] != '\0') ++length;
  if (length % 4 != 0 || length / 4 * 3 > INT32_MAX) {
    *n = 0;
    return kInvalidInput;
  }
  size_t padding = 0;
  if (length > 0 && text[length - 1] == '=') ++padding;
  if (length > 1 && text[length - 2] == '=') ++padding;
  const size_t decoded = length / 4 * 3 - padding;

  /* Validate everything before writing, so that invalid text leaves the
   * buffer as it was. */
  for (size_t i = 0; i < length - padding; ++i) {
    if (SextetOf((unsigned char)text[i]) < 0) {
      *n = 0;
      return kInvalidInput;
    }
  }
  if (padding > 0) {
    /* The bits the padding leaves over must be zero, so that every byte
     * sequence has exactly one encoding. */
    const int last = SextetOf((unsigned char)text[length - padding - 1]);
    const int unused_mask = padding == 1 ? 0x03 : 0x0F;
    if ((last & unused_mask) != 0) {
      *n = 0;
      return kInvalidInput;
    }
  }
  if (decoded > (size_t)*n) return kTooSmall;
  if (decoded > 0 && out == NULL) return kBadArguments;

  size_t written = 0;
  for (size_t i = 0; i < length; i += 4) {
    uint32_t bits = 0;
    for (size_t k = 0; k < 4; ++k) {
      const unsigned char c = (unsigned char)text[i + k];
      bits = (bits << 6) | (uint32_t)(c == '=' ? 0 : SextetOf(c));
    }
    const unsigned char bytes[3] = {(unsigned char)(bits >> 16), (unsigned char)(bits >> 8),
                                    (unsigned char)bits};
    for (size_t k = 0; k < 3 && written < decoded; ++k) out[written++] = (char)bytes[k];
  }
  *n = (int32_t)decoded;
  return 0;
}

/* Encodes `length` bytes of `data` as padded Base64 into `out`, whose size is
 * *n, followed by a zero byte. Returns 0 with *n set to the text's length
 * (without the zero byte); -1 when *n is too small, with *n set to the size
 * needed; -3 for null arguments or negative sizes. */
TALVENOR_EXPORT int32_t Base64Encode(const char* data, int32_t length, char* out, int32_t* n) {
  if (n == NULL || *n < 0 || length < 0 || (length > 0 && data == NULL)) return kBadArguments;
  const int64_t text_length = ((int64_t)length + 2) / 3 * 4;
  if (text_length + 1 > INT32_MAX) return kBadArguments;
  if (text_length + 1 > *n) {
    *n = (int32_t)(text_length + 1);
    return kTooSmall;
  }
  if (out == NULL) return kBadArguments;
  int32_t w = 0;
  for (int32_t i = 0; i < length; i += 3) {
    const int32_t left = length - i;
    uint32_t bits = (uint32_t)(unsigned char)data[i] << 16;
    if (left > 1) bits |= (uint32_t)(unsigned char)data[i + 1] << 8;
    if (left > 2) bits |= (uint32_t)(unsigned char)data[i + 2];
    out[w++] = kAlphabet[(bits >> 18) & 0x3F];
    out[w++] = kAlphabet[(bits >> 12) & 0x3F];
    out[w++] = left > 1 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
    out[w++] = left > 2 ? kAlphabet[bits & 0x3F] : '=';
  }
  out[w] = '\0';
  *n = w;
  return 0;
}
