// Write-then-read round trip: a tree parsed from arbitrary bytes, written
// and read back, must keep its shape and write the same text again (UTF-8
// documents, where the reader decodes everything the writer escapes). Names
// are written as they are, so trees that cannot come back the same are left
// out: names that are not plain names (quotes, spaces, "/" and the like,
// which the tolerant reader accepts), attribute values holding a double
// quote (the reader decodes &quot; before it splits a tag, so the quote
// counts again) and declarations inside elements (the line feed written
// after each one becomes text of the parent).
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "markup/markup.h"

namespace {

std::string Write(TXmlTreeNode& node) {
  std::ostringstream out;
  node.WriteNode(out, 0);
  return out.str();
}

bool PlainName(const string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.' || c == ':';
    if (!ok) return false;
  }
  return true;
}

bool WritesBackTheSame(const TXmlTreeNode& root) {
  for (const TXmlTreeNode* node = &root; node; node = node->NextInDocument()) {
    if (!PlainName(node->Name) || node->IsDeclaration) return false;
    for (DListNode* l = node->Attributes.First(); l != node->Attributes.End(); l = l->Next) {
      const TXmlProperty* property = TXmlElement::PropertyOf(l);
      if (!PlainName(property->Name) || property->Value.find('"') != string::npos) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  TXmlTreeNode first(nullptr, true);
  std::istringstream in(text);
  if (!first.ParseElement(in) || first.IsDeclaration || !WritesBackTheSame(first)) return 0;
  std::string once = Write(first);

  TXmlTreeNode second(nullptr, true);
  std::istringstream again(once);
  if (!second.ParseElement(again)) __builtin_trap();
  if (second.CountNodes() != first.CountNodes()) __builtin_trap();
  std::string twice = Write(second);

  TXmlTreeNode third(nullptr, true);
  std::istringstream thrice(twice);
  if (!third.ParseElement(thrice)) __builtin_trap();
  // The first write may still normalise (dropped control characters, line
  // ends, code-page defaults); from then on the text must be stable.
  if (Write(third) != twice) __builtin_trap();
  return 0;
}
