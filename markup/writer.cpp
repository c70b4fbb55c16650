// The markup writer: a document tree back to text, escaped, UTF-8 where the
// node says so, with the HTML forms of empty elements.
#include "markup/writer.h"

#include <cstring>
#include <ostream>

#include "markup/tag_reader.h"
#include "markup/text_convert.h"
#include "markup/xml_tree_node.h"

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

void EscapeText(const char* src, char* dst, size_t capacity, bool html) {
  if (!dst || capacity == 0) return;
  if (!src) src = "";
  size_t out = 0;
  const size_t limit = capacity - 1;
  for (; *src; ++src) {
    char c = *src;
    const char* reference = nullptr;
    switch (c) {
      case '"': reference = "&quot;"; break;
      case '&': reference = "&amp;"; break;
      case '\'': reference = "&apos;"; break;
      case '<': reference = "&lt;"; break;
      case '>': reference = "&gt;"; break;
      case '\t': reference = html ? "&#9;" : "\t"; break;
      case '\n': reference = html ? "&#10;" : "\n"; break;
      case '\r':
        // The parser turns a lone line feed back into "\r\n".
        reference = html ? "&#13;" : (src[1] == '\n' ? "" : "\n");
        break;
      case ' ': reference = html ? "&nbsp;" : " "; break;
      default:
        if (static_cast<unsigned char>(c) < 32) reference = "";
        break;
    }
    if (!reference) {
      if (out >= limit) break;
      dst[out++] = c;
      continue;
    }
    size_t n = std::strlen(reference);
    if (out + n > limit) break;  // never start an escape that cannot end
    std::memcpy(dst + out, reference, n);
    out += n;
  }
  dst[out] = '\0';
}

void EscapeUtf8Text(const char* src, char* dst, size_t capacity) {
  EscapeText(src, dst, capacity, false);
  AnsiToUtf8(dst, dst, capacity);
}

bool TXmlTreeNode::WriteNode(std::ostream& out, int depth) {
  WriteStartTag(out, *this, TagBuffer, kTagBufferSize);
  if (IsDeclaration) return true;
  if (WriteContent(out, *this, depth)) {
    out << "</";
    WriteEscaped(out, Name, TagBuffer, kTagBufferSize, IsUtf8, false);
    out << '>';
  } else if (!IsHtml) {
    out << "/>";
  } else if (IsVoidHtmlElement(Name)) {
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
