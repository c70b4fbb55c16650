// The markup writer: a document tree back to text, escaped, UTF-8 where the
// node says so, with the HTML forms of empty elements.
#include <cstring>
#include <ostream>

#include "markup/markup.h"

namespace {

const size_t kDocumentBufferSize = 2048;

// Escapes a text into `buffer` and writes it. Long texts go in pieces that
// always fit whole (an escape is at most six bytes and a code-page byte
// grows to at most three in UTF-8), so nothing is cut off however long the
// text is. A piece never ends inside a double-byte character or between the
// "\r" and "\n" of a line end.
void WriteEscaped(std::ostream& out, const string& text, char* buffer, size_t capacity,
                  bool utf8, bool html) {
  const size_t piece = (capacity - 5) / 6;
  string chunk;
  for (size_t i = 0; i < text.size();) {
    size_t end = i;
    while (end < text.size() && end - i < piece - 2) {
      unsigned char c = static_cast<unsigned char>(text[end]);
      end += (c >= 0x81 && end + 1 < text.size()) ? 2 : 1;
    }
    if (end < text.size() && text[end - 1] == '\r' && text[end] == '\n') ++end;
    chunk.assign(text, i, end - i);
    if (utf8) EscapeUtf8Text(chunk.c_str(), buffer, capacity);
    else EscapeText(chunk.c_str(), buffer, capacity, html);
    out << buffer;
    i = end;
  }
}

bool IsVoidHtmlName(const string& name) {
  static const char* const kVoid[] = {"meta", "link", "img", "hr", "area", "br"};
  for (const char* v : kVoid)
    if (name == v) return true;
  return false;
}

// "<" or "<?", the name and the attributes.
void WriteStartTag(std::ostream& out, const TXmlTreeNode& node, char* buffer, size_t capacity) {
  out << (node.IsDeclaration ? "<?" : "<");
  WriteEscaped(out, node.Name, buffer, capacity, node.IsUtf8, false);
  for (DListNode* l = node.Attributes.First(); l != node.Attributes.End(); l = l->Next) {
    const TXmlProperty* property = TXmlElement::PropertyOf(l);
    out << ' ';
    WriteEscaped(out, property->Name, buffer, capacity, node.IsUtf8, false);
    out << "=\"";
    WriteEscaped(out, property->Value, buffer, capacity, node.IsUtf8, false);
    out << '"';
  }
  if (node.IsDeclaration) out << "?>\n";
}

// Text and children; true when anything was written.
bool WriteContent(std::ostream& out, TXmlTreeNode& node, int depth) {
  bool wrote = false;
  if (!node.Text.empty()) {
    out << '>';
    WriteEscaped(out, node.Text, TagBuffer, kTagBufferSize, node.IsUtf8, node.IsHtml);
    wrote = true;
  }
  if (!node.Children.IsEmpty()) {
    if (!wrote) out << '>';
    for (DListNode* l = node.Children.First(); l != node.Children.End(); l = l->Next)
      TXmlTreeNode::NodeOf(l)->WriteNode(out, depth + 1);
    wrote = true;
  }
  return wrote;
}

}  // namespace

bool TXmlTreeNode::WriteNode(std::ostream& out, int depth) {
  WriteStartTag(out, *this, TagBuffer, kTagBufferSize);
  if (IsDeclaration) return true;
  if (WriteContent(out, *this, depth)) {
    out << "</";
    WriteEscaped(out, Name, TagBuffer, kTagBufferSize, IsUtf8, false);
    out << '>';
  } else if (!IsHtml) {
    out << "/>";
  } else if (IsVoidHtmlName(Name)) {
    out << '>';
  } else {
    out << "></" << Name << '>';
  }
  return true;
}

bool TXmlTreeNode::WriteDocument(std::ostream& out, int depth) {
  if (IsDeclaration) return WriteNode(out, depth);
  char buffer[kDocumentBufferSize];
  WriteStartTag(out, *this, buffer, sizeof buffer);
  if (!WriteContent(out, *this, depth)) out << '>';
  return true;
}
