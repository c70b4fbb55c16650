// The writer: a document tree back to text (TXmlTreeNode::WriteNode and
// WriteDocument, declared with the node) and the escaping it writes with.
// Both escapes write at most `capacity` bytes into dst, terminator included,
// and always terminate dst when capacity > 0.
#pragma once

#include <cstddef>

// Replace markup characters by references for writing. Without html a
// "\r\n" becomes "\n" and other control characters are dropped; with html
// tab, line feed, carriage return and space become references too. An escape
// that would not fit whole is not started.
void EscapeText(const char* src, char* dst, size_t capacity, bool html);
// EscapeText without html, then AnsiToUtf8 in place.
void EscapeUtf8Text(const char* src, char* dst, size_t capacity);
