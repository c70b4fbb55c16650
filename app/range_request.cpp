#include "app/range_request.h"

#include <cstdio>
#include <cstring>

#include "app/http_request.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool FormatRangeHeaders(unsigned long offset, const char* validator, char* headers, size_t size) {
  if (size == 0) return false;
  headers[0] = 0;
  if (offset == 0 || !validator || !*validator) return false;
  int written = snprintf(headers, size, "Range: bytes=%lu-\r\nIf-Range: %s\r\n", offset, validator);
  if (written > 0 && static_cast<size_t>(written) < size) return true;
  headers[0] = 0;
  return false;
}

bool ContinuesAt(const char* contentRange, unsigned long offset, unsigned long total) {
  if (!contentRange || offset >= total) return false;
  // The one text that is right, compared whole: any other shape (a second
  // range, a sign, a leading zero, a different total) simply differs.
  char expected[64];
  snprintf(expected, sizeof expected, "bytes %lu-%lu/%lu", offset, total - 1, total);
  const char* p = contentRange;
  while (IsBlank(*p)) ++p;
  size_t length = strlen(p);
  while (length > 0 && IsBlank(p[length - 1])) --length;
  return length == strlen(expected) && memcmp(p, expected, length) == 0;
}

TRangeAnswer JudgeRangeAnswer(unsigned long status, const char* contentRange,
                              const char* contentLength, unsigned long offset,
                              unsigned long total) {
  if (status == 200) return kRangeStartOver;
  if (status != 206 || !ContinuesAt(contentRange, offset, total)) return kRangeRefused;
  unsigned long length = 0;
  if (!contentLength || !ParseContentLength(contentLength, &length) || length != total - offset)
    return kRangeRefused;
  return kRangeAppend;
}
