// Asking a server for the rest of a file, and judging its answer.
//
// A resumed request carries "Range: bytes=N-" and "If-Range: V": the server
// sends the bytes from N on (206) only while its file is still the one that
// validator names, and the whole file (200) otherwise. Its answer decides
// whether what arrives may be appended to the N bytes already kept.
#pragma once

#include <cstddef>

// Room for the two header lines with the longest validator kept.
constexpr size_t kRangeHeadersSize = 200;

// Writes "Range: bytes=N-\r\nIf-Range: V\r\n" for offset N and validator V.
// False (headers empty) for an offset of 0, an empty validator, or lines
// that would not fit `size` bytes with the terminator.
bool FormatRangeHeaders(unsigned long offset, const char* validator, char* headers, size_t size);

// Whether a Content-Range value is exactly "bytes N-(L-1)/L" for offset N
// and total L (white space around it allowed, nothing else: no other unit,
// no leading zero, no "*" for the total). Null or empty text is not.
bool ContinuesAt(const char* contentRange, unsigned long offset, unsigned long total);

// What to do with the answer to a resumed request for the bytes from
// `offset` of a file of `total` bytes.
enum TRangeAnswer {
  kRangeAppend,     // 206 with the exact range and a Content-Length of total - offset
  kRangeStartOver,  // 200: the server sends the whole file; the kept bytes go
  kRangeRefused,    // anything else: this try fails and the kept bytes stay
};

// Judges an answer by its status (0 when unreadable) and its Content-Range
// and Content-Length values (null when absent). A 206 whose range is not
// exactly the one asked for, whose total differs, or whose length does not
// match, is refused: its bytes could belong anywhere in some other file.
TRangeAnswer JudgeRangeAnswer(unsigned long status, const char* contentRange,
                              const char* contentLength, unsigned long offset,
                              unsigned long total);
