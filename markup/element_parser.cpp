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

bool IsBlank(const string& text) {
  return text.find_first_not_of(" \t\r\n") == string::npos;
}

// Appends decoded text with the line ends of document text.
void AppendWithCrLf(string& out, const char* text) {
  size_t room = 2 * std::strlen(text) + 1;  // each line feed at most doubles
  size_t start = out.size();
  out.resize(start + room);
  out.resize(start + ExpandLineFeeds(text, &out[start], room));
}

void RemoveHtmlWhitespace(string& run) {
  size_t out = 0;
  for (char c : run)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') run[out++] = c;
  run.resize(out);
}

// A new child named "span" that takes over the pending text.
TXmlTreeNode* NewSpan(TXmlTreeNode* parent, string& pending, bool isUtf8, bool isHtml) {
  TXmlTreeNode* span = new TXmlTreeNode(parent, isUtf8);
  span->IsHtml = isHtml;
  span->Name = "span";
  span->Text.swap(pending);
  pending.clear();
  return span;
}

bool IsEndTagOf(const string& tagName, const string& name) {
  return tagName.size() == name.size() + 1 && tagName[0] == '/' &&
         tagName.compare(1, string::npos, name) == 0;
}

}  // namespace

namespace {

// Decodes one run of character data into the pending text.
void AppendRun(const TXmlTreeNode& node, string& run, string& pending) {
  if (!node.IsUtf8 && node.IsHtml) RemoveHtmlWhitespace(run);
  if (run.empty()) return;
  std::vector<char> decoded(run.size() + 32);
  bool ok = node.IsUtf8 ? DecodeUtf8Text(run.c_str(), decoded.data(), decoded.size())
                        : DecodeEntities(run.c_str(), decoded.data(), decoded.size());
  if (ok) AppendWithCrLf(pending, decoded.data());
  else pending += run;  // an "&" without ";": keep the run as written
}

}  // namespace

bool TXmlTreeNode::ParseElement(std::istream& in, bool tagAlreadyRead) {
  return ParseAt(in, tagAlreadyRead, 0);
}

bool TXmlTreeNode::ParseAt(std::istream& stream, bool tagAlreadyRead, int depth) {
  DeleteChildren();
  if (!tagAlreadyRead && !ReadTag(*this, stream)) return false;
  if (IsClosed) {
    if (IsDeclaration && Name == "xml") {
      if (const char* encoding = FindAttribute("encoding"))
        IsUtf8 = lstrcmpiA(encoding, "UTF-8") == 0;
    }
    return true;
  }

  TCharStream in(stream);
  string pending;
  string run;
  bool hasSpan = false;  // children are only appended below, so this is exact
  bool ok = true;
  while (ok && !IsClosed) {
    run.clear();
    for (int c = in.Peek(); c >= 0 && c != '<'; c = in.Peek()) {
      run += static_cast<char>(c);
      in.Get();
    }
    if (!run.empty()) AppendRun(*this, run, pending);

    if (IsHtml && !pending.empty() && Name != "span" && hasSpan)
      Children.AddTail(NewSpan(this, pending, false, false));

    // Only HTML hands a tag back to the enclosing element, so only HTML
    // needs the position (telling can be dear on a file stream).
    std::streamoff position = IsHtml ? in.Tell() : -1;
    TXmlElement tag(IsUtf8, IsHtml);
    ok = ReadTag(tag, stream);
    if (!ok) break;

    if (IsHtml) {
      bool implicitEnd = ((tag.Name == "p" || tag.Name == "td") && Name == "p") ||
                         (Name == "font" && tag.Name == "p") ||
                         (tag.Name == "span" && Name == "span");
      if (implicitEnd) {
        IsClosed = true;
        ok = in.Seek(position);
        break;
      }
      if (tag.Name == "span" && !pending.empty()) {
        Children.AddTail(NewSpan(this, pending, false, false));
        hasSpan = true;
      }
    }

    if (tag.Name[0] == '/') {
      if (IsEndTagOf(tag.Name, Name)) {
        IsClosed = true;
      } else if (!IsHtml) {
        ok = false;
      } else if (Parent && IsEndTagOf(tag.Name, Parent->Name)) {
        IsClosed = true;
        Parent->IsClosed = true;
      }
      continue;
    }

    if (IsBlank(pending)) pending.clear();
    if (depth >= kMaxParseDepth) {
      ok = false;  // deeper than any real document: refuse, like a cut one
      break;
    }
    TXmlTreeNode* child = new TXmlTreeNode(this, IsUtf8);
    child->CopyElement(tag);
    if (!child->IsClosed) ok = child->ParseAt(stream, true, depth + 1);
    if (!ok) {
      child->Parent = nullptr;  // never linked: nothing to search
      delete child;
      break;
    }
    if (IsHtml && tag.Name == "br") {
      if (Name == "span") {
        // A line break ends a span; the enclosing element reads it again.
        IsClosed = true;
        child->Parent = nullptr;
        delete child;
        ok = in.Seek(position);
        break;
      }
      Children.AddTail(NewSpan(this, pending, IsUtf8, true));
      hasSpan = true;
    }
    Children.AddTail(child);
    if (child->Name == "span") hasSpan = true;
  }
  Text = pending;
  return ok;
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

  std::vector<char> decoded(collected.size() + 17);
  if (IsUtf8) DecodeUtf8Text(collected.c_str(), decoded.data(), decoded.size());
  else DecodeEntities(collected.c_str(), decoded.data(), decoded.size());
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
