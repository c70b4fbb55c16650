// The inner-text reader: an element's character data up to its end tag with
// the inner markup left out, and the search for that end tag.
#include <cstddef>
#include <istream>
#include <string>
#include <unordered_map>
#include <vector>

#include "markup/char_stream.h"
#include "markup/character_data.h"
#include "markup/element_parser.h"
#include "markup/tag_reader.h"

namespace {

// The tags that follow a position of the stream, each read once and in
// order, with every start tag paired with the end tag that closes it, as
// SkipToEndTag one level below the element would pair them: start tags of
// the same name nest, and a start tag with kMaxParseDepth - 1 unclosed ones
// of its name after it can no longer be closed. Asking each inner element
// for its end tag on its own would read on to the end of the input once for
// every inner element that never closes.
class TTagChain {
 public:
  TTagChain(std::istream& stream, std::streamoff start, bool isUtf8, bool isHtml)
      : Stream(stream), Frontier(start), Tag(isUtf8, isHtml) {}

  // Where reading goes on after the tag at `index` (counted from the start
  // position): after its end tag when it is a start tag that has one, else
  // after the tag itself. `next` gets the index of the tag that follows
  // there. False when the tag cannot be read (malformed, cut or missing).
  bool Skip(size_t index, std::streamoff* after, size_t* next) {
    while (Tags.size() <= index && ReadNext()) {
    }
    if (Tags.size() <= index) return false;
    while (Tags[index].EndIndex == kWaiting && ReadNext()) {
    }
    size_t last = Tags[index].EndIndex >= 0 ? static_cast<size_t>(Tags[index].EndIndex) : index;
    *after = Tags[last].After;
    *next = last + 1;
    return true;
  }

 private:
  static constexpr long kWaiting = -1;  // a start tag whose end tag is not read yet
  static constexpr long kNone = -2;     // no end tag: not a start tag, or none can come
  // Unclosed start tags of its name that may follow a start tag.
  static constexpr size_t kMaxOpen = kMaxParseDepth - 1;

  struct TTag {
    std::streamoff After;  // position just after the tag
    long EndIndex;         // index of the closing end tag, or kWaiting / kNone
  };

  // Reads one more tag and pairs it. False at the end of the chain; start
  // tags still waiting then have no end tag.
  bool ReadNext() {
    if (Ended) return false;
    TCharStream in(Stream);
    if (in.Seek(Frontier) && ReadTag(Tag, Stream)) Frontier = in.Tell();
    else Frontier = -1;
    if (Frontier < 0) {
      Ended = true;
      return false;
    }
    long index = static_cast<long>(Tags.size());
    Tags.push_back(TTag{Frontier, kNone});
    if (Tag.Name[0] == '/') {
      auto open = Open.find(Tag.Name.substr(1));
      if (open != Open.end() && !open->second.empty()) {
        TTag& start = Tags[static_cast<size_t>(open->second.back())];
        if (start.EndIndex == kWaiting) start.EndIndex = index;
        open->second.pop_back();
      }
    }
    if (!Tag.IsClosed) {
      std::vector<long>& open = Open[Tag.Name];
      // With this one, the start tag kMaxOpen places further down has more
      // unclosed ones above it than the nesting bound allows.
      if (open.size() > kMaxOpen)
        Tags[static_cast<size_t>(open[open.size() - kMaxOpen - 1])].EndIndex = kNone;
      open.push_back(index);
      Tags.back().EndIndex = kWaiting;
    }
    return true;
  }

  std::istream& Stream;
  std::streamoff Frontier;  // where the next tag is read from
  bool Ended = false;
  TXmlElement Tag;
  std::vector<TTag> Tags;
  // Unclosed start tags by name, innermost last. One that can no longer be
  // closed stays here (marked kNone) to keep the pairing of the others.
  std::unordered_map<string, std::vector<long>> Open;
};

}  // namespace

std::streampos TXmlTreeNode::SkipToEndTag(std::istream& stream) {
  TCharStream in(stream);
  TXmlElement tag(IsUtf8, IsHtml);
  int nested = 0;  // unclosed start tags of this name since the search began
  for (;;) {
    if (!ReadTag(tag, stream)) return std::streampos(-1);
    if (IsEndTagOf(tag.Name, Name)) {
      if (nested == 0) {
        IsClosed = true;
        return std::streampos(in.Tell());
      }
      --nested;
    } else if (tag.Name == Name && !tag.IsClosed) {
      if (nested >= kMaxParseDepth) return std::streampos(-1);
      ++nested;
    }
  }
}

bool TXmlTreeNode::ReadInnerText(std::istream& stream) {
  if (IsClosed) return true;
  TCharStream in(stream);
  std::streamoff start = in.Tell();
  std::streamoff end = std::streamoff(SkipToEndTag(stream));
  if (start < 0 || end < 0 || !in.Seek(start)) return false;

  TTagChain tags(stream, start, IsUtf8, IsHtml);
  size_t tag = 0;  // the chain's index of the next tag in the text
  string collected;
  for (std::streamoff position = start; position < end;) {
    int c = in.Get();
    if (c < 0) break;
    if (c != '<') {
      collected += static_cast<char>(c);
      ++position;
      continue;
    }
    // An inner element's content is left out up to its end tag; an inner
    // element without one is a bare tag here.
    if (!tags.Skip(tag, &position, &tag) || !in.Seek(position)) break;
  }
  in.Seek(end);

  std::vector<char> decoded;
  DecodeCharacterData(collected, IsUtf8, decoded);  // an "&" without ";" cuts it there
  Text.clear();
  AppendWithCrLf(Text, decoded.data());
  return true;
}
