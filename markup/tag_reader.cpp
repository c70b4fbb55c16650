// The tag reader: one tag at a time from a stream into a TXmlElement.
#include "markup/tag_reader.h"

#include <cstring>
#include <istream>
#include <string>

#include "markup/char_stream.h"
#include "markup/text_convert.h"

char TagBuffer[kTagBufferSize];

namespace {

// Second buffer for the decoded tag text of UTF-8 documents.
char DecodedTag[kTagBufferSize];

bool IsQuote(char c) { return c == '"'; }

// Collects the tag text after "<" into TagBuffer. Outside double quotes tab,
// line feed and carriage return are dropped. Returns whether the tag ended
// with ">"; the text is terminated either way, at most kTagBufferSize - 1
// characters, so a tag of 65,536 characters or more is refused.
bool CollectTag(TCharStream& in, size_t* length) {
  size_t n = 0;
  unsigned quotes = 0;
  bool closed = false;
  for (;;) {
    int c = in.Get();
    if (c < 0) break;
    if (c == '>') {
      closed = true;
      break;
    }
    if (IsQuote(static_cast<char>(c))) ++quotes;
    if (quotes % 2 == 0 && (c == '\t' || c == '\n' || c == '\r')) continue;
    if (n == kTagBufferSize - 1) break;
    TagBuffer[n++] = static_cast<char>(c);
  }
  TagBuffer[n] = '\0';
  *length = n;
  return closed;
}

// References in a UTF-8 document's tag are decoded before the tag is split,
// and line feeds become "\r\n" as in element text.
void DecodeTagText(size_t length) {
  bool plain = true;
  for (size_t i = 0; i < length && plain; ++i) {
    unsigned char c = static_cast<unsigned char>(TagBuffer[i]);
    plain = c < 0x80 && c != '&' && c != '\n';
  }
  if (plain) return;
  DecodeUtf8Text(TagBuffer, DecodedTag, kTagBufferSize);
  ExpandLineFeeds(DecodedTag, TagBuffer, kTagBufferSize);
}

// Index of the first space outside double quotes at or after `from`,
// counting quotes from `tokenStart`; npos when there is none.
size_t SpaceOutsideQuotes(const std::string& text, size_t tokenStart, size_t from) {
  unsigned quotes = 0;
  for (size_t i = tokenStart; i < text.size(); ++i) {
    if (IsQuote(text[i])) ++quotes;
    else if (text[i] == ' ' && i >= from && quotes % 2 == 0) return i;
  }
  return std::string::npos;
}

size_t SkipSpaces(const std::string& text, size_t i) {
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

void SplitAttributes(TXmlElement& element, const std::string& text, size_t i) {
  while ((i = SkipSpaces(text, i)) < text.size()) {
    size_t space = SpaceOutsideQuotes(text, i, i);
    if (space == std::string::npos) {
      ParseAttribute(element, text.substr(i).c_str());
      return;
    }
    size_t next = SkipSpaces(text, space);
    size_t end = space;
    if (next < text.size() && text[next] == '=') {
      // "name = value": the token runs on past the value.
      size_t value = SkipSpaces(text, next + 1);
      end = SpaceOutsideQuotes(text, i, value);
      if (end == std::string::npos) end = text.size();
    }
    ParseAttribute(element, text.substr(i, end - i).c_str());
    i = end;
  }
}

}  // namespace

bool IsVoidHtmlElement(const string& name) {
  static const char* const kVoid[] = {"meta", "link", "img", "hr", "area", "br"};
  for (const char* v : kVoid)
    if (name == v) return true;
  return false;
}

bool IsEndTagOf(const string& tagName, const string& name) {
  return tagName.size() == name.size() + 1 && tagName[0] == '/' &&
         tagName.compare(1, string::npos, name) == 0;
}

void ParseAttribute(TXmlElement& element, const char* token) {
  if (!token) return;
  const char* equals = std::strchr(token, '=');
  if (!equals) return;  // an HTML attribute without a value is not kept
  const char* nameEnd = equals;
  while (nameEnd > token && nameEnd[-1] == ' ') --nameEnd;
  const char* value = equals + 1;
  while (*value == ' ') ++value;
  const char* valueEnd = value + std::strlen(value);
  while (valueEnd > value && valueEnd[-1] == ' ') --valueEnd;
  if (valueEnd - value >= 2 && *value == '"' && valueEnd[-1] == '"') {
    ++value;
    --valueEnd;
  }
  element.Attributes.AddTail(new TXmlProperty(string(token, nameEnd), string(value, valueEnd)));
}

bool ReadTag(TXmlElement& element, std::istream& stream) {
  element.Clear();
  TCharStream in(stream);
  for (;;) {
    int c = in.Get();
    if (c < 0) return false;
    if (c == '<') break;
  }
  size_t length = 0;
  bool ended = CollectTag(in, &length);
  if (element.IsUtf8) DecodeTagText(length);

  if (element.IsHtml && !element.IsUtf8 && std::strchr(TagBuffer, '<')) {
    // The "<" that started this was text, not a tag: keep an empty element
    // in its place and drop what was read.
    element.Name = "a";
    element.IsClosed = true;
    return true;
  }
  if (!ended) return false;

  std::string text(TagBuffer);
  size_t slash = text.rfind('/');
  if (slash != std::string::npos && text.find_first_not_of(' ', slash + 1) == std::string::npos) {
    element.IsClosed = true;
    text.erase(slash);
  }

  size_t i = SkipSpaces(text, 0);
  if (i < text.size() && (text[i] == '?' || text[i] == '!')) {
    bool question = text[i] == '?';
    i = SkipSpaces(text, i + 1);
    element.IsDeclaration = true;
    element.IsClosed = true;
    if (question) {
      size_t last = text.rfind('?');
      if (last != std::string::npos && last >= i) text.erase(last);
    }
  }
  text.erase(0, i);

  if (!text.empty() && text[0] == '/') {
    size_t next = SkipSpaces(text, 1);
    if (next > 1) text.erase(1, next - 1);  // "/ x" reads as "/x"
    element.IsClosed = true;
  }

  size_t space = text.find(' ');
  if (space == std::string::npos) {
    element.Name = text;
  } else {
    element.Name = text.substr(0, space);
    SplitAttributes(element, text, space);
  }

  if (element.IsHtml && !element.IsClosed && IsVoidHtmlElement(element.Name))
    element.IsClosed = true;
  return !element.Name.empty();
}
