// The inner-text reader on arbitrary bytes after a start tag: no crash, no
// read outside the input, no hang, and a result that agrees with itself.
// The first byte picks the flags (UTF-8, HTML).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "markup/markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 65536) return 0;
  const bool utf8 = data[0] & 1;
  const bool html = data[0] & 2;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::istringstream in(text);
  TXmlTreeNode node(nullptr, utf8);
  node.IsHtml = html;
  if (!ReadTag(node, in)) return 0;
  const bool ok = node.ReadInnerText(in);
  // Success means the end tag was found; the text holds no more than the
  // input, each line feed at most doubled.
  if (ok != node.IsClosed || node.Text.size() > 2 * text.size()) __builtin_trap();
  return 0;
}
