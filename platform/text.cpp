// Text comparison and code-page conversion. The ANSI code page is GBK
// (code page 936). iconv fills a table of every double-byte character once;
// conversions then go character by character through it, so that bytes GBK
// does not define become '?' as Windows' default character does.
#include <windows.h>

#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

int lstrcmpA(LPCSTR a, LPCSTR b) {
  // Callers rely on equality only; the sign follows bytes, not collation.
  if (!a) a = "";
  if (!b) b = "";
  int r = std::strcmp(a, b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a) a = "";
  if (!b) b = "";
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 32;
    if (cb >= 'A' && cb <= 'Z') cb += 32;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
}

int lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

// GBK lead bytes are 0x81 to 0xFE; the byte after one is its trail byte,
// whatever its value (0x5C and 0x7C included).
BOOL IsDBCSLeadByte(BYTE c) { return c >= 0x81 && c <= 0xFE; }

LPSTR CharNextA(LPCSTR s) {
  if (!*s) return const_cast<LPSTR>(s);
  if (IsDBCSLeadByte(static_cast<BYTE>(*s)) && s[1]) return const_cast<LPSTR>(s + 2);
  return const_cast<LPSTR>(s + 1);
}

int CompareStringA(DWORD, DWORD flags, LPCSTR a, int aLength, LPCSTR b, int bLength) {
  if (!a || !b) return 0;
  const std::string x(a, aLength < 0 ? std::strlen(a) : static_cast<size_t>(aLength));
  const std::string y(b, bLength < 0 ? std::strlen(b) : static_cast<size_t>(bLength));
  // Folds the single-byte letters only: the byte after a lead byte is part
  // of its character, whatever its value.
  auto folded = [flags](const std::string& text) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(out[i]);
      if (IsDBCSLeadByte(c) && i + 1 < out.size()) {
        ++i;
      } else if ((flags & NORM_IGNORECASE) && c >= 'A' && c <= 'Z') {
        out[i] = static_cast<char>(c + 32);
      }
    }
    return out;
  };
  const int r = folded(x).compare(folded(y));
  return r < 0 ? CSTR_LESS_THAN : r > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  // Converts exactly inLen bytes; false when they are not one whole character.
  bool Convert(const char* in, size_t inLen, char* out, size_t* outLen) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    size_t room = *outLen;
    char* dst = out;
    if (iconv(cd_, &src, &inLen, &dst, &room) == static_cast<size_t>(-1) || inLen != 0)
      return false;
    *outLen = static_cast<size_t>(dst - out);
    return true;
  }

 private:
  iconv_t cd_;
};

// Every double-byte GBK character and its UTF-16 unit, both ways, read from
// iconv on first use. 0 marks a pair or unit with no counterpart.
class GbkTables {
 public:
  GbkTables() : decode_(kLeads * kTrails), encode_(0x10000) {
    Iconv cv("UTF-16LE", "GBK");
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char out[8];
        size_t outLen = sizeof out;
        if (!cv.Convert(in, 2, out, &outLen) || outLen != 2) continue;
        char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                              static_cast<unsigned char>(out[1]) << 8);
        decode_[(lead - 0x81) * kTrails + (trail - 0x40)] = unit;
        if (!encode_[unit]) encode_[unit] = static_cast<uint16_t>(lead << 8 | trail);
      }
    }
  }
  char16_t Decode(unsigned char lead, unsigned char trail) const {
    if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE) return 0;
    return decode_[(lead - 0x81) * kTrails + (trail - 0x40)];
  }
  uint16_t Encode(char32_t cp) const { return cp < 0x10000 ? encode_[cp] : 0; }

 private:
  static const int kLeads = 0xFE - 0x81 + 1;
  static const int kTrails = 0xFE - 0x40 + 1;
  std::vector<char16_t> decode_;
  std::vector<uint16_t> encode_;
};

const GbkTables& Gbk() {
  static const GbkTables tables;
  return tables;
}

// Decodes one UTF-8 sequence; returns its length and the code point, or 0
// for an invalid or truncated sequence.
int DecodeUtf8(const unsigned char* s, int n, char32_t* cp) {
  unsigned char c = s[0];
  if (c < 0x80) { *cp = c; return 1; }
  int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? (c <= 0xEF ? 3 : 0) : c >= 0xC2 ? 2 : 0;
  if (!len || len > n) return 0;
  char32_t v = c & (0x7F >> len);
  for (int i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    v = (v << 6) | (s[i] & 0x3F);
  }
  static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < kMin[len] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *cp = v;
  return len;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

std::u16string MultiToWide(UINT codePage, const char* src, int n) {
  std::u16string out;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  if (codePage == CP_UTF8) {
    for (int i = 0; i < n;) {
      char32_t cp;
      int len = DecodeUtf8(s + i, n - i, &cp);
      if (len == 0) { AppendUtf16(out, 0xFFFD); ++i; continue; }
      AppendUtf16(out, cp);
      i += len;
    }
    return out;
  }
  const GbkTables& gbk = Gbk();
  for (int i = 0; i < n;) {
    if (s[i] < 0x80) { out.push_back(s[i]); ++i; continue; }
    char16_t unit = i + 1 < n ? gbk.Decode(s[i], s[i + 1]) : 0;
    if (unit) {
      out.push_back(unit);
      i += 2;
      continue;
    }
    // A lone high byte: whatever iconv makes of it on its own, else '?'.
    Iconv cv("UTF-16LE", "GBK");
    char buf[8];
    size_t outLen = sizeof buf;
    if (cv.Convert(src + i, 1, buf, &outLen) && outLen == 2)
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(buf[0]) |
                                          static_cast<unsigned char>(buf[1]) << 8));
    else
      out.push_back(u'?');
    ++i;
  }
  return out;
}

std::string WideToMulti(UINT codePage, const WCHAR* src, int n, bool* usedDefault) {
  std::string out;
  const GbkTables& gbk = Gbk();
  for (int i = 0; i < n; ++i) {
    char32_t cp = src[i];
    bool pair = cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
                src[i + 1] <= 0xDFFF;
    if (pair) cp = 0x10000 + ((cp - 0xD800) << 10) + (src[++i] - 0xDC00);
    if (codePage == CP_UTF8) {
      if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
      if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
      } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      }
      continue;
    }
    if (cp < 0x80) { out.push_back(static_cast<char>(cp)); continue; }
    uint16_t code = gbk.Encode(cp);
    if (code) {
      out.push_back(static_cast<char>(code >> 8));
      out.push_back(static_cast<char>(code & 0xFF));
    } else {
      out.push_back('?');
      if (usedDefault) *usedDefault = true;
    }
  }
  return out;
}

bool KnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR src, int srcLength, LPWSTR dst,
                        int dstLength) {
  if (!KnownCodePage(codePage) || !src || srcLength == 0 || dstLength < 0 ||
      (dstLength > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = srcLength < 0 ? static_cast<int>(std::strlen(src)) + 1 : srcLength;
  std::u16string wide = MultiToWide(codePage, src, n);
  int need = static_cast<int>(wide.size());
  if (dstLength == 0) return need;
  if (need > dstLength) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, wide.data(), wide.size() * sizeof(WCHAR));
  return need;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR src, int srcLength, LPSTR dst,
                        int dstLength, LPCSTR, BOOL* usedDefault) {
  if (!KnownCodePage(codePage) || !src || srcLength == 0 || dstLength < 0 ||
      (dstLength > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = srcLength;
  if (n < 0) {
    n = 0;
    while (src[n]) ++n;
    ++n;
  }
  bool defaulted = false;
  std::string narrow = WideToMulti(codePage, src, n, &defaulted);
  if (usedDefault) *usedDefault = defaulted ? TRUE : FALSE;
  int need = static_cast<int>(narrow.size());
  if (dstLength == 0) return need;
  if (need > dstLength) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, narrow.data(), narrow.size());
  return need;
}
