// Reference decoding, line ends and the UTF-8 / system code page
// conversions. Every routine writes at most `capacity` bytes, terminator
// included: the input comes from the network and may be any size.
#include "markup/text_convert.h"

#include <windows.h>

#include <cstring>
#include <vector>

#ifndef MB_PRECOMPOSED
#define MB_PRECOMPOSED 1
#endif

namespace {

bool IsAscii(const char* s, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
  return true;
}

// ASCII reads the same in UTF-8 and in the code page: when src is all ASCII,
// copy at most `limit` bytes of it and return true; otherwise write nothing.
bool CopyAscii(const char* src, size_t length, char* dst, size_t limit) {
  if (!IsAscii(src, length)) return false;
  size_t n = length < limit ? length : limit;
  std::memmove(dst, src, n);
  dst[n] = '\0';
  return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Value of a decimal or hexadecimal number, read up to its first non-digit
// and taken modulo 256 as it goes, so any length is harmless.
unsigned NumberModulo256(const char* s, const char* end, bool hex) {
  unsigned value = 0;
  for (; s < end; ++s) {
    char c = Lower(*s);
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else break;
    value = (value * (hex ? 16 : 10) + digit) & 0xFF;
  }
  return value;
}

}  // namespace

bool DecodeEntities(const char* src, char* dst, size_t capacity) {
  if (!dst || capacity == 0) return false;
  if (!src) src = "";
  size_t out = 0;
  const size_t limit = capacity - 1;
  while (*src && out < limit) {
    if (*src != '&') {
      dst[out++] = *src++;
      continue;
    }
    const char* semicolon = nullptr;
    for (int i = 1; i <= 8 && src[i]; ++i) {
      if (src[i] == ';') {
        semicolon = src + i;
        break;
      }
    }
    if (!semicolon) {
      dst[out] = '\0';
      return false;
    }
    char name[9];
    size_t length = static_cast<size_t>(semicolon - src - 1);
    for (size_t i = 0; i < length; ++i) name[i] = Lower(src[1 + i]);
    name[length] = '\0';
    src = semicolon + 1;

    int single = -1;
    if (!std::strcmp(name, "quot")) single = '"';
    else if (!std::strcmp(name, "lt")) single = '<';
    else if (!std::strcmp(name, "gt")) single = '>';
    else if (!std::strcmp(name, "amp")) single = '&';
    else if (!std::strcmp(name, "apos")) single = '\'';
    else if (!std::strcmp(name, "nbsp")) single = ' ';
    else if (name[0] == '#' && name[1] == 'x') single = static_cast<int>(NumberModulo256(name + 2, name + length, true));
    else if (name[0] == '#') single = static_cast<int>(NumberModulo256(name + 1, name + length, false));

    if (single > 0) {
      dst[out++] = static_cast<char>(single);
    } else if (single < 0) {
      for (size_t i = 0; i < length && out < limit; ++i) dst[out++] = name[i];
    }
    // A character reference to byte 0 writes nothing: a terminator in the
    // middle would silently cut off the rest of the text.
  }
  dst[out] = '\0';
  return true;
}

void Utf8ToAnsi(const char* src, char* dst, size_t capacity) {
  if (!dst || capacity == 0) return;
  if (!src) src = "";
  size_t length = std::strlen(src);
  if (CopyAscii(src, length, dst, capacity - 1)) return;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  std::vector<WCHAR> wide;
  wide.reserve(length);
  for (size_t i = 0; i < length;) {
    unsigned c = s[i];
    auto continuation = [&](size_t k) { return i + k < length && (s[i + k] & 0xC0) == 0x80; };
    unsigned unit = 0;
    size_t used = 1;
    if (c < 0x80) {
      unit = c;
    } else if ((c & 0xE0) == 0xC0 && continuation(1)) {
      unit = (c & 0x1F) << 6 | (s[i + 1] & 0x3F);
      used = 2;
    } else if ((c & 0xF0) == 0xE0 && continuation(1) && continuation(2)) {
      unit = (c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
      used = 3;
    } else {
      // Anything else (four-byte sequences, stray or cut sequences) is
      // dropped with the continuation bytes that follow it.
      while (i + used < length && (s[i + used] & 0xC0) == 0x80) ++used;
    }
    // An overlong zero (C0 80) must not cut the text short.
    if (unit != 0) wide.push_back(static_cast<WCHAR>(unit));
    i += used;
  }
  const int room = static_cast<int>(capacity - 1);
  // A zero-sized destination would turn the call into a size query.
  if (room == 0) {
    dst[0] = '\0';
    return;
  }
  int units = static_cast<int>(wide.size());
  int written = units ? WideCharToMultiByte(CP_ACP, 0, wide.data(), units, dst, room, nullptr, nullptr) : 0;
  if (units && written == 0) {
    // Too long for the destination: keep the longest whole-character prefix
    // that fits, found by halving (each character converts on its own).
    int low = 0, high = units;
    while (low < high) {
      int mid = (low + high + 1) / 2;
      if (WideCharToMultiByte(CP_ACP, 0, wide.data(), mid, nullptr, 0, nullptr, nullptr) <= room) low = mid;
      else high = mid - 1;
    }
    if (low > 0 && wide[low - 1] >= 0xD800 && wide[low - 1] <= 0xDBFF) --low;
    written = low ? WideCharToMultiByte(CP_ACP, 0, wide.data(), low, dst, room, nullptr, nullptr) : 0;
  }
  dst[written > 0 ? written : 0] = '\0';
}

bool DecodeUtf8Text(const char* src, char* dst, size_t capacity) {
  if (!DecodeEntities(src, dst, capacity)) return false;
  Utf8ToAnsi(dst, dst, capacity);
  return true;
}

void AnsiToUtf8(const char* src, char* dst, size_t capacity) {
  if (!dst || capacity == 0) return;
  if (!src) src = "";
  // Output stops once it reaches capacity - 4 bytes, leaving room for one
  // more three-byte sequence and the terminator.
  const size_t limit = capacity > 4 ? capacity - 4 : 0;
  size_t length = std::strlen(src);
  if (CopyAscii(src, length, dst, limit)) return;
  int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, static_cast<int>(length), nullptr, 0);
  std::vector<WCHAR> wide(units > 0 ? units : 0);
  if (units > 0)
    units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, src, static_cast<int>(length), wide.data(), units);
  size_t out = 0;
  for (int i = 0; i < units && out < limit; ++i) {
    unsigned u = static_cast<unsigned>(wide[i]) & 0xFFFF;
    if (u < 0x80) {
      dst[out++] = static_cast<char>(u);
    } else if (u < 0x800) {
      dst[out++] = static_cast<char>(0xC0 | (u >> 6));
      dst[out++] = static_cast<char>(0x80 | (u & 0x3F));
    } else {
      dst[out++] = static_cast<char>(0xE0 | (u >> 12));
      dst[out++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      dst[out++] = static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  dst[out] = '\0';
}

size_t ExpandLineFeeds(const char* src, char* dst, size_t capacity) {
  if (!dst || capacity == 0) return 0;
  if (!src) src = "";
  const size_t limit = capacity - 1;
  size_t out = 0;
  char previous = 0;
  for (const char* s = src; *s && out < limit; previous = *s++) {
    if (*s == '\n' && previous != '\r') {
      if (out + 2 > limit) break;
      dst[out++] = '\r';
    }
    dst[out++] = *s;
  }
  dst[out] = '\0';
  return out;
}
