// Text conversions of the reader and writer: reference decoding, line ends
// and the UTF-8 / system code page conversions.
//
// Each conversion writes at most `capacity` bytes into dst, terminator
// included, whatever the input, and always terminates dst when capacity > 0:
// the input comes from the network and may be any size.
#pragma once

#include <cstddef>

// Copy src replacing the references &quot; &lt; &gt; &amp; &apos; &nbsp;
// &#N; and &#xN; (one byte, value modulo 256); an unknown &name; becomes its
// lowered name. False, with dst ending where the "&" stood, when an "&" has
// no ";" among the next 8 characters.
bool DecodeEntities(const char* src, char* dst, size_t capacity);
// DecodeEntities, then (only when it succeeded) Utf8ToAnsi in place on dst.
bool DecodeUtf8Text(const char* src, char* dst, size_t capacity);
// UTF-8 to the system code page. Malformed bytes and four-byte sequences are
// dropped; characters the code page lacks become its default character.
// Text that does not fit is cut at a whole character.
void Utf8ToAnsi(const char* src, char* dst, size_t capacity);
// System code page to UTF-8 (surrogates encoded one by one). Output stops
// before capacity - 4 bytes. src and dst may be the same buffer.
void AnsiToUtf8(const char* src, char* dst, size_t capacity);
// Copy src writing every line feed that does not follow a carriage return as
// "\r\n", the line end of document text. A "\r\n" that would not fit whole
// is not started. Returns the length written; src and dst must not overlap.
// A destination of twice the source length plus one always holds all of it.
size_t ExpandLineFeeds(const char* src, char* dst, size_t capacity);
