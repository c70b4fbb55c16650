// Feeds arbitrary bytes to the document loader. The first byte picks the
// root's flags (UTF-8, HTML) so that every reading rule is reached; the tree
// is then walked, written, cleaned up and re-parsed with ReadInnerText.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "markup/markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool utf8 = data[0] & 1;
  const bool html = data[0] & 2;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  TXmlTreeNode root(nullptr, utf8);
  root.IsHtml = html;
  std::istringstream in(text);
  LoadDocument(root, in);

  int walked = 0;
  for (TXmlTreeNode* node = &root; node; node = node->NextInDocument()) ++walked;
  if (walked != root.CountNodes()) __builtin_trap();

  std::ostringstream out;
  root.WriteDocument(out, 0);
  root.HtmlCleanup();

  std::istringstream again(text);
  TXmlTreeNode inner(nullptr, utf8);
  inner.IsHtml = html;
  if (ReadTag(inner, again)) inner.ReadInnerText(again);
  return 0;
}
