// Inner-text reader: the real one against the plain model on every nesting
// case we can think of, and on inner elements that never close.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "markup/markup.h"
#include "markup_inner_text_model.h"

namespace {

struct TInnerResult {
  bool Read = false;  // the start tag could be read at all
  bool Ok = false;
  bool Closed = false;
  std::string Text;
  std::string Rest;  // what the stream holds after the call
};

std::string Rest(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in.rdbuf()), std::istreambuf_iterator<char>());
}

TInnerResult Real(const std::string& input, bool utf8, bool html) {
  TInnerResult result;
  std::istringstream in(input);
  TXmlTreeNode node(nullptr, utf8);
  node.IsHtml = html;
  if (!(result.Read = ReadTag(node, in))) return result;
  result.Ok = node.ReadInnerText(in);
  result.Closed = node.IsClosed;
  result.Text = node.Text;
  result.Rest = Rest(in);
  return result;
}

TInnerResult Model(const std::string& input, bool utf8, bool html) {
  TInnerResult result;
  std::istringstream in(input);
  TXmlElement element(utf8, html);
  if (!(result.Read = ReadTag(element, in))) return result;
  result.Ok = inner_text_model::ReadInnerText(element, in);
  result.Closed = element.IsClosed;
  result.Text = element.Text;
  result.Rest = Rest(in);
  return result;
}

void ExpectSameAsModel(const std::string& input, bool utf8, bool html) {
  SCOPED_TRACE(testing::Message() << "utf8 " << utf8 << " html " << html << ": " << input);
  TInnerResult real = Real(input, utf8, html);
  TInnerResult model = Model(input, utf8, html);
  EXPECT_EQ(real.Read, model.Read);
  EXPECT_EQ(real.Ok, model.Ok);
  EXPECT_EQ(real.Closed, model.Closed);
  EXPECT_EQ(real.Text, model.Text);
  EXPECT_EQ(real.Rest, model.Rest);
}

std::string Repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

// `count` "b" elements nested in "r", the outermost holding "1" before and
// "2" after the others: when it can be closed its whole content goes, else
// only its start tag does.
std::string NestedInside(int count) {
  return "<r><b>1" + Repeat("<b>", count - 1) + "t" + Repeat("</b>", count - 1) + "2</b>u</r>";
}

// The element itself nested `count` times below its own start tag.
std::string NestedSelf(int count) {
  return "<a>" + Repeat("<a>", count) + "t" + Repeat("</a>", count + 1) + "rest";
}

TEST(ReadInnerText, InnerElementsThatDoNotClose) {
  const struct { std::string input; bool ok; const char* text; const char* rest; } cases[] = {
      {"<a>1<b>2<c>3</a>rest", true, "123", "rest"},
      // The end tag of "b" lies past the element's own end: reading stops
      // there and the stream goes back to just after "</a>".
      {"<a>1<b>2</a>3</b>4</a>rest", true, "1", "3</b>4</a>rest"},
      {"<a>x<b>y<b>z</b>w</a>", true, "xyw", ""},
      {"<a>x</b>y<b/>z</a>", true, "xyz", ""},
      {NestedInside(kMaxParseDepth), true, "u", ""},
      // One level too deep for the outermost "b": its tag alone is dropped.
      {NestedInside(kMaxParseDepth + 1), true, "12u", ""},
      {NestedSelf(kMaxParseDepth), true, "", "rest"},
      {NestedSelf(kMaxParseDepth + 1), false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input.substr(0, 40));
    TInnerResult real = Real(c.input, false, false);
    ASSERT_TRUE(real.Read);
    EXPECT_EQ(real.Ok, c.ok);
    EXPECT_EQ(real.Closed, c.ok);
    EXPECT_EQ(real.Text, c.text);
    if (c.ok) {
      EXPECT_EQ(real.Rest, c.rest);
    }
    ExpectSameAsModel(c.input, false, false);
  }
}

TEST(ReadInnerText, NestingBoundsMatchTheModel) {
  for (int count = kMaxParseDepth - 2; count <= kMaxParseDepth + 2; ++count) {
    ExpectSameAsModel(NestedInside(count), false, false);
    ExpectSameAsModel(NestedSelf(count), false, false);
    // Closed only after more of them have closed again than were open.
    ExpectSameAsModel("<r><b>1" + Repeat("<b>", count) + Repeat("</b>", count / 2) + "2" +
                          Repeat("<b>x</b>", 3) + Repeat("</b>", count) + "u</r>",
                      false, false);
  }
}

// Random documents from pieces that exercise every branch: nesting of the
// element's own name and of another, empty-element and end tags, stray
// end tags, declarations, malformed tags, references and line ends.
TEST(ReadInnerText, RandomDocumentsMatchTheModel) {
  const char* const pieces[] = {"<r>", "</r>", "<b>", "</b>", "<c>", "</c>", "<b/>", "x", "y\n",
                                "&amp;", "R&D", " ", "<br>", "<!-- z -->", "<?p?>", "< >",
                                "<", "</ b>", "<b k=\"v>\">"};
  const size_t count = sizeof pieces / sizeof pieces[0];
  std::mt19937 random(12345);
  for (int i = 0; i < 4000; ++i) {
    std::string input = "<r>";
    size_t length = random() % 40;
    for (size_t n = 0; n < length; ++n) input += pieces[random() % count];
    ExpectSameAsModel(input, i & 1, i & 2);
    if (HasFailure()) return;  // one report is enough
  }
}

TEST(ReadInnerText, ManyUnclosedInnerTagsFinish) {
  const int tags = 20000;
  std::string distinct = "<a>", same = "<a>", nested = "<a>";
  for (int i = 0; i < tags; ++i) {
    distinct += "<b" + std::to_string(i) + ">x";
    same += "<b>x";
  }
  for (int i = 0; i < tags / 200; ++i) nested += Repeat("<b>y", 200) + Repeat("</b>", 200) + "x";
  for (const std::string* input : {&distinct, &same, &nested}) {
    TInnerResult real = Real(*input + "</a>rest", false, false);
    EXPECT_TRUE(real.Ok);
    EXPECT_EQ(real.Text, std::string(input == &nested ? tags / 200 : tags, 'x'));
    EXPECT_EQ(real.Rest, "rest");
  }
}

}  // namespace
