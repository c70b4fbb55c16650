// A plain model of the inner-text reader for the tests and the fuzzer to
// check the real one against: each inner element looks for its own end tag
// by reading on from its start tag, recursively, as the rules are written.
// Slow (an inner element that never closes reads to the end of the input),
// so it is fed small documents only.
#pragma once

#include <ios>
#include <istream>
#include <string>
#include <vector>

#include "markup/char_stream.h"
#include "markup/markup.h"

namespace inner_text_model {

// Position after the end tag that closes an element named `name` whose
// start tag was just read, start tags of that name nesting; -1 when there
// is none or the nesting passes kMaxParseDepth counted from `depth`.
inline std::streamoff SkipToEnd(const std::string& name, bool utf8, bool html,
                                std::istream& stream, int depth) {
  TCharStream in(stream);
  for (;;) {
    TXmlElement tag(utf8, html);
    if (!ReadTag(tag, stream)) return -1;
    if (tag.Name == "/" + name) return in.Tell();
    if (tag.Name == name && !tag.IsClosed) {
      if (depth >= kMaxParseDepth) return -1;
      if (SkipToEnd(name, utf8, html, stream, depth + 1) < 0) return -1;
    }
  }
}

// Reads the inner text of `element` (start tag just read) into its Text,
// setting IsClosed when its end tag is found. Only the stream position is
// kept from the inner elements' own reads.
inline bool ReadInnerText(TXmlElement& element, std::istream& stream, int depth = 0) {
  if (element.IsClosed) return true;
  TCharStream in(stream);
  std::streamoff start = in.Tell();
  std::streamoff end = SkipToEnd(element.Name, element.IsUtf8, element.IsHtml, stream, depth);
  if (end >= 0) element.IsClosed = true;
  if (start < 0 || end < 0 || !in.Seek(start)) return false;

  std::string collected;
  for (std::streamoff position = start; position < end;) {
    int c = in.Get();
    if (c < 0) break;
    if (c != '<') {
      collected += static_cast<char>(c);
      ++position;
      continue;
    }
    if (!in.Seek(position)) break;
    TXmlElement inner(element.IsUtf8, element.IsHtml);
    if (!ReadTag(inner, stream)) break;
    position = in.Tell();
    if (depth < kMaxParseDepth && ReadInnerText(inner, stream, depth + 1)) position = in.Tell();
    else if (!in.Seek(position)) break;
  }
  in.Seek(end);

  std::vector<char> decoded(collected.size() + 17);
  if (element.IsUtf8) DecodeUtf8Text(collected.c_str(), decoded.data(), decoded.size());
  else DecodeEntities(collected.c_str(), decoded.data(), decoded.size());
  std::vector<char> text(2 * decoded.size() + 1);
  ExpandLineFeeds(decoded.data(), text.data(), text.size());
  element.Text = text.data();
  return true;
}

}  // namespace inner_text_model
