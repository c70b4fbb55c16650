// The element parser: builds a document tree from a stream on top of the tag
// reader, with the repairs that word-processor HTML pages need.
#include "markup/element_parser.h"

#include <windows.h>

#include <istream>
#include <sstream>
#include <string>
#include <vector>

#include "markup/char_stream.h"
#include "markup/character_data.h"
#include "markup/tag_reader.h"
#include "markup/text_convert.h"

namespace {

// What the parse of one element carries from tag to tag.
struct TContent {
  string Pending;        // character data not yet given to Text or a span
  string Run;            // the undecoded run being read (kept for its buffer)
  bool HasSpan = false;  // a child named "span" exists; children are only
                         // appended while parsing, so this stays exact
  // Whether Pending holds anything but spaces, tabs and line ends, kept up
  // as text is added: testing the whole of Pending at every child tag would
  // make a long blank run followed by many children cost their product.
  bool HasInk = false;

  // Takes note of the text added to Pending from `from` on.
  void NoteAppended(size_t from) {
    if (!HasInk) HasInk = Pending.find_first_not_of(" \t\r\n", from) != string::npos;
  }
  void ClearPending() {
    Pending.clear();
    HasInk = false;
  }
};

// Text run: the characters up to the next "<" or the end of the input,
// decoded into the pending text. HTML text outside UTF-8 documents loses its
// literal white space (a space that counts is written "&nbsp;"); a run with
// an "&" but no ";" goes in as written.
void ReadTextRun(TCharStream& in, const TXmlTreeNode& node, TContent& content) {
  string& run = content.Run;
  run.clear();
  for (int c = in.Peek(); c >= 0 && c != '<'; c = in.Peek()) {
    run += static_cast<char>(c);
    in.Get();
  }
  if (!node.IsUtf8 && node.IsHtml) {
    size_t out = 0;
    for (char c : run)
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') run[out++] = c;
    run.resize(out);
  }
  if (run.empty()) return;
  size_t from = content.Pending.size();
  std::vector<char> decoded;
  if (DecodeCharacterData(run, node.IsUtf8, decoded))
    AppendWithCrLf(content.Pending, decoded.data());
  else
    content.Pending += run;
  content.NoteAppended(from);
}

// End tag: closes the node when it matches. In XML any other end tag fails
// the element. HTML ignores a stray end tag, but one of the parent's closes
// both the node and the parent.
bool TakeEndTag(TXmlTreeNode& node, const TXmlElement& tag) {
  if (IsEndTagOf(tag.Name, node.Name)) {
    node.IsClosed = true;
  } else if (!node.IsHtml) {
    return false;
  } else if (node.Parent && IsEndTagOf(tag.Name, node.Parent->Name)) {
    node.IsClosed = true;
    node.Parent->IsClosed = true;
  }
  return true;
}

// An XML declaration names the document's encoding; one without an
// "encoding" leaves IsUtf8 as it was.
void TakeDeclaredEncoding(TXmlTreeNode& node) {
  if (!node.IsDeclaration || node.Name != "xml") return;
  if (const char* encoding = node.FindAttribute("encoding"))
    node.IsUtf8 = lstrcmpiA(encoding, "UTF-8") == 0;
}

// Ends the node before the tag just read: the stream goes back to the tag's
// position so that the enclosing element reads it again.
bool HandBack(TXmlTreeNode& node, TCharStream& in, std::streamoff tagPosition) {
  node.IsClosed = true;
  return in.Seek(tagPosition);
}

// ---- HTML repairs ----------------------------------------------------------

// Span rule, before a tag: once an element has a span child, text read after
// it goes into a span of its own, so that text and spans keep their order.
bool WrapsLooseText(const TXmlTreeNode& node, const TContent& content) {
  return node.IsHtml && content.HasSpan && !content.Pending.empty() && node.Name != "span";
}

// Span rule, at a span start tag: the text before it becomes a span too.
bool WrapsTextBeforeSpan(const TXmlTreeNode& node, const TXmlElement& tag,
                         const TContent& content) {
  return node.IsHtml && tag.Name == "span" && !content.Pending.empty();
}

// Implicit ends: HTML leaves end tags out. A "p" or "td" ends an open "p", a
// "p" ends an open "font", and spans do not nest, so a "span" ends an open
// "span". The enclosing element then reads the tag again.
bool EndsBefore(const TXmlTreeNode& node, const TXmlElement& tag) {
  if (!node.IsHtml) return false;
  return ((tag.Name == "p" || tag.Name == "td") && node.Name == "p") ||
         (node.Name == "font" && tag.Name == "p") ||
         (tag.Name == "span" && node.Name == "span");
}

// A line break ends an open span as well; the enclosing element reads it
// again.
bool BreakEndsSpan(const TXmlTreeNode& node, const TXmlElement& tag) {
  return node.IsHtml && tag.Name == "br" && node.Name == "span";
}

// Outside a span, the text before a line break (empty or not) becomes a span
// of its own, so that the break stands between two spans.
bool WrapsTextBeforeBreak(const TXmlTreeNode& node, const TXmlElement& tag) {
  return node.IsHtml && tag.Name == "br";
}

}  // namespace

// Moves the text into a new last child named "span"; the text is left empty.
void TXmlTreeNode::AppendSpan(string& text, bool isUtf8, bool isHtml) {
  TXmlTreeNode* span = new TXmlTreeNode(nullptr, isUtf8);
  span->IsHtml = isHtml;
  span->Name = "span";
  span->Text.swap(text);
  text.clear();
  LinkLastChild(span);
}

bool TXmlTreeNode::ParseElement(std::istream& in, bool tagAlreadyRead) {
  return ParseAt(in, tagAlreadyRead, 0);
}

bool TXmlTreeNode::ParseAt(std::istream& stream, bool tagAlreadyRead, int depth) {
  DeleteChildren();
  if (!tagAlreadyRead && !ReadTag(*this, stream)) return false;
  if (IsClosed) {
    TakeDeclaredEncoding(*this);
    return true;
  }

  // Each turn reads a text run and one tag. The tag ends this element (an
  // implicit end or an end tag) or starts a child; the span rules run in
  // between, and their place in the turn matters.
  TCharStream in(stream);
  TContent content;
  auto wrapInSpan = [&](bool isUtf8, bool isHtml) {
    AppendSpan(content.Pending, isUtf8, isHtml);
    content.ClearPending();
    content.HasSpan = true;
  };
  bool ok = true;
  while (ok && !IsClosed) {
    ReadTextRun(in, *this, content);
    if (WrapsLooseText(*this, content)) wrapInSpan(false, false);

    // Only HTML hands a tag back to the enclosing element, so only HTML
    // needs the position (telling can be dear on a file stream).
    std::streamoff position = IsHtml ? in.Tell() : -1;
    TXmlElement tag(IsUtf8, IsHtml);
    ok = ReadTag(tag, stream);
    if (!ok) break;

    if (EndsBefore(*this, tag)) {
      ok = HandBack(*this, in, position);
      break;
    }
    if (WrapsTextBeforeSpan(*this, tag, content)) wrapInSpan(false, false);
    if (tag.Name[0] == '/') {
      ok = TakeEndTag(*this, tag);
      continue;
    }

    if (!content.HasInk) content.ClearPending();
    if (depth >= kMaxParseDepth) {
      ok = false;  // deeper than any real document: refuse, like a cut one
      break;
    }
    if (BreakEndsSpan(*this, tag)) {
      ok = HandBack(*this, in, position);
      break;
    }
    if (WrapsTextBeforeBreak(*this, tag)) wrapInSpan(IsUtf8, true);
    ok = ParseChild(stream, tag, depth);
    if (ok && tag.Name == "span") content.HasSpan = true;
  }
  Text.swap(content.Pending);
  return ok;
}

// Reads the element whose start tag is `tag` as a new last child. A child
// that fails is deleted and the failure is passed on.
bool TXmlTreeNode::ParseChild(std::istream& stream, const TXmlElement& tag, int depth) {
  TXmlTreeNode* child = new TXmlTreeNode(this, IsUtf8);
  child->CopyElement(tag);
  if (!child->IsClosed && !child->ParseAt(stream, true, depth + 1)) {
    child->Parent = nullptr;  // never linked: nothing to search
    delete child;
    return false;
  }
  LinkLastChild(child);
  return true;
}

void TXmlTreeNode::ParseString(const char* text) {
  std::istringstream in(string(text ? text : "", static_cast<size_t>(lstrlenA(text))));
  ParseElement(in);
}

bool LoadDocument(TXmlTreeNode& root, std::istream& in) {
  bool ok;
  do {
    ok = root.ParseElement(in);
  } while (root.IsDeclaration);  // each call reads at least one tag, so this ends
  return ok;
}

void TXmlTreeNode::HtmlCleanup() {
  DListNode* link = Children.First();
  while (link != Children.End()) {
    TXmlTreeNode* child = NodeOf(link);
    bool keep = !child->Children.IsEmpty() || !child->Text.empty() ||
                !child->Attributes.IsEmpty() || (child->IsHtml && child->Name == "br");
    if (!keep) {
      link = DeleteChildAt(link);
      continue;
    }
    link = link->Next;
    child->HtmlCleanup();
    if (child->IsHtml && child->Name == "table" &&
        lstrcmpiA(child->GetAttribute("class"), "MsoNormalTable") == 0)
      child->SetAttribute("border", "1");
  }
}
