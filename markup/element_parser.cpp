// The element parser: builds a document tree from a stream on top of the tag
// reader, with the repairs that word-processor HTML pages need.
#include "markup/element_parser.h"

#include <windows.h>

#include <cstring>
#include <istream>
#include <sstream>
#include <string>
#include <vector>

#include "markup/char_stream.h"
#include "markup/tag_reader.h"
#include "markup/text_convert.h"

namespace {

// What the parse of one element carries from tag to tag.
struct TContent {
  string Pending;        // character data not yet given to Text or a span
  string Run;            // the undecoded run being read (kept for its buffer)
  bool HasSpan = false;  // a child named "span" exists; children are only
                         // appended while parsing, so this stays exact
};

bool IsBlank(const string& text) {
  return text.find_first_not_of(" \t\r\n") == string::npos;
}

bool IsEndTagOf(const string& tagName, const string& name) {
  return tagName.size() == name.size() + 1 && tagName[0] == '/' &&
         tagName.compare(1, string::npos, name) == 0;
}

// Decodes character data by the document's encoding into `decoded`. False,
// with decoded ending where the "&" stood, when an "&" has no ";". Decoding
// never lengthens text, so the buffer always holds all of it.
bool DecodeCharacterData(const string& raw, bool isUtf8, std::vector<char>& decoded) {
  decoded.assign(raw.size() + 32, '\0');
  return isUtf8 ? DecodeUtf8Text(raw.c_str(), decoded.data(), decoded.size())
                : DecodeEntities(raw.c_str(), decoded.data(), decoded.size());
}

// Appends decoded text with the line ends of document text.
void AppendWithCrLf(string& out, const char* text) {
  size_t room = 2 * std::strlen(text) + 1;  // each line feed at most doubles
  size_t start = out.size();
  out.resize(start + room);
  out.resize(start + ExpandLineFeeds(text, &out[start], room));
}

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
  std::vector<char> decoded;
  if (DecodeCharacterData(run, node.IsUtf8, decoded))
    AppendWithCrLf(content.Pending, decoded.data());
  else
    content.Pending += run;
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

// Moves the pending text into a new last child named "span".
void AppendSpan(TXmlTreeNode& node, TContent& content, bool isUtf8, bool isHtml) {
  TXmlTreeNode* span = new TXmlTreeNode(&node, isUtf8);
  span->IsHtml = isHtml;
  span->Name = "span";
  span->Text.swap(content.Pending);
  content.Pending.clear();
  node.Children.AddTail(span);
  content.HasSpan = true;
}

// Span rule, before a tag: once an element has a span child, text read after
// it goes into a span of its own, so that text and spans keep their order.
void SpanLooseText(TXmlTreeNode& node, TContent& content) {
  if (node.IsHtml && content.HasSpan && !content.Pending.empty() && node.Name != "span")
    AppendSpan(node, content, false, false);
}

// Span rule, at a span start tag: the text before it becomes a span too.
void SpanTextBeforeSpan(TXmlTreeNode& node, const TXmlElement& tag, TContent& content) {
  if (node.IsHtml && tag.Name == "span" && !content.Pending.empty())
    AppendSpan(node, content, false, false);
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
void SpanTextBeforeBreak(TXmlTreeNode& node, const TXmlElement& tag, TContent& content) {
  if (node.IsHtml && tag.Name == "br") AppendSpan(node, content, node.IsUtf8, true);
}

}  // namespace

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
  bool ok = true;
  while (ok && !IsClosed) {
    ReadTextRun(in, *this, content);
    SpanLooseText(*this, content);

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
    SpanTextBeforeSpan(*this, tag, content);
    if (tag.Name[0] == '/') {
      ok = TakeEndTag(*this, tag);
      continue;
    }

    if (IsBlank(content.Pending)) content.Pending.clear();
    if (depth >= kMaxParseDepth) {
      ok = false;  // deeper than any real document: refuse, like a cut one
      break;
    }
    if (BreakEndsSpan(*this, tag)) {
      ok = HandBack(*this, in, position);
      break;
    }
    SpanTextBeforeBreak(*this, tag, content);
    ok = ParseChild(stream, tag, depth);
    if (ok && tag.Name == "span") content.HasSpan = true;
  }
  Text = content.Pending;
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
  Children.AddTail(child);
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

std::streampos TXmlTreeNode::SkipToEndTag(std::istream& in) {
  return SkipToEndTagAt(in, 0);
}

std::streampos TXmlTreeNode::SkipToEndTagAt(std::istream& stream, int depth) {
  TCharStream in(stream);
  for (;;) {
    TXmlElement tag(IsUtf8, IsHtml);
    if (!ReadTag(tag, stream)) return std::streampos(-1);
    if (IsEndTagOf(tag.Name, Name)) {
      IsClosed = true;
      return std::streampos(in.Tell());
    }
    if (tag.Name == Name && !tag.IsClosed) {
      if (depth >= kMaxParseDepth) return std::streampos(-1);
      TXmlTreeNode nested(nullptr, IsUtf8);
      nested.IsHtml = IsHtml;
      nested.Name = Name;
      if (nested.SkipToEndTagAt(stream, depth + 1) == std::streampos(-1))
        return std::streampos(-1);
    }
  }
}

bool TXmlTreeNode::ReadInnerText(std::istream& in) { return ReadInnerTextAt(in, 0); }

bool TXmlTreeNode::ReadInnerTextAt(std::istream& stream, int depth) {
  if (IsClosed) return true;
  TCharStream in(stream);
  std::streamoff start = in.Tell();
  std::streamoff end = std::streamoff(SkipToEndTagAt(stream, depth));
  if (start < 0 || end < 0 || !in.Seek(start)) return false;

  string collected;
  for (std::streamoff position = start; position < end;) {
    int c = in.Get();
    if (c < 0) break;
    if (c != '<') {
      collected += static_cast<char>(c);
      ++position;
      continue;
    }
    if (!in.Seek(position)) break;
    TXmlTreeNode inner(nullptr, IsUtf8);
    inner.IsHtml = IsHtml;
    if (!ReadTag(inner, stream)) break;
    position = in.Tell();
    if (depth < kMaxParseDepth && inner.ReadInnerTextAt(stream, depth + 1)) {
      position = in.Tell();
    } else if (!in.Seek(position)) {
      break;  // an inner element without its end tag is a bare tag here
    }
    if (position < 0) break;
  }
  in.Seek(end);

  std::vector<char> decoded;
  DecodeCharacterData(collected, IsUtf8, decoded);  // an "&" without ";" cuts it there
  Text.clear();
  AppendWithCrLf(Text, decoded.data());
  return true;
}

void TXmlTreeNode::HtmlCleanup() {
  DListNode* link = Children.First();
  while (link != Children.End()) {
    TXmlTreeNode* child = NodeOf(link);
    link = link->Next;
    bool keep = !child->Children.IsEmpty() || !child->Text.empty() ||
                !child->Attributes.IsEmpty() || (child->IsHtml && child->Name == "br");
    if (!keep) {
      delete child;  // unlinks itself from Children
      continue;
    }
    child->HtmlCleanup();
    if (child->IsHtml && child->Name == "table" &&
        lstrcmpiA(child->GetAttribute("class"), "MsoNormalTable") == 0)
      child->SetAttribute("border", "1");
  }
}
