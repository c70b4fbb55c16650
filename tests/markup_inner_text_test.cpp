// Inner-text reader: an element's character data with the inner markup left
// out, the search for its end tag, and inner elements that never close.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "markup/markup.h"
#include "markup_inner_text_model.h"

namespace {

struct TInnerCase {
  std::string Input;  // starts with the element's start tag
  bool Utf8, Html;
  bool Ok;  // the result, and whether the element is closed
  std::string Text;
  std::string Rest;  // what the stream holds afterwards, checked when Ok
  bool RestAlways = false;  // ... and after a failed read too
};

void Check(const TInnerCase& c) {
  SCOPED_TRACE(testing::Message() << "utf8 " << c.Utf8 << " html " << c.Html << ": "
                                  << c.Input.substr(0, 60));
  std::istringstream in(c.Input);
  TXmlTreeNode node(nullptr, c.Utf8);
  node.IsHtml = c.Html;
  ASSERT_TRUE(ReadTag(node, in));
  EXPECT_EQ(node.ReadInnerText(in), c.Ok);
  EXPECT_EQ(node.IsClosed, c.Ok);
  EXPECT_EQ(node.Text, c.Text);
  if (c.Ok || c.RestAlways) {
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in.rdbuf()), {}), c.Rest);
  }
}

std::string Repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

TEST(ReadInnerText, LeavesOutInnerMarkup) {
  const TInnerCase cases[] = {
      {"<a>x<b>y</b>z</a>rest", false, false, true, "xz", "rest"},
      {"<a>1<a>2</a>3</a>rest", false, false, true, "13", "rest"},
      {"<a>x<a/>y</a>z", false, false, true, "xy", "z"},  // an empty element does not nest
      {"<a>p &amp; q\n</a>", false, false, true, "p & q\r\n", ""},
      {"<a>x&#65;<b>\n</b>\ny</a>", false, false, true, "xA\r\ny", ""},
      {"<a>&#20013;&lt;&nbsp;</a>", false, false, true, "-< ", ""},  // modulo 256
      {"<a>R&D and &amp; x</a>", false, false, true, "R", ""},      // "&" without ";" cuts
      {"<a>x<!-- z --><?p?>y</a>", false, false, true, "xy", ""},
      {"<a>a<b k=\"v>\">c</b>d</a>", false, false, true, "ad", ""},
      {"<a>a</ b>b<b>c</ b>d</a>e", false, false, true, "abd", "e"},
      {"<a>x</c><c>y</a>", false, false, true, "xy", ""},  // stray end tag, unclosed inner
      {"<a/>rest", false, false, true, "", "rest"},
      {"<a>never closed", false, false, false, "", ""},
      {"<a>a< >b</a>", false, false, false, "", ""},  // a malformed tag ends the search
      {"<a>a<</a>", false, false, false, "", ""},
      // An empty HTML element has no content to leave out; in XML it has.
      {"<a>x<img src=i>y</img>z</a>", false, true, true, "xyz", ""},
      {"<a>x<img src=i>y</img>z</a>", false, false, true, "xz", ""},
      {"<a>x<br>y</a>", false, false, true, "xy", ""},
      // UTF-8 text comes out in the ANSI code page.
      {"<a>\xE4\xB8\xAD&lt;</a>", true, false, true, "中<", ""},
      {"<a>\xD6\xD0&lt;</a>", false, false, true, "中<", ""},
  };
  for (const auto& c : cases) Check(c);
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

// `count` "b" elements opened inside an outer one, half of them closed, then
// "2", three closed pairs and the other closings. One level below the
// element, kMaxParseDepth - 1 of its own name may nest in it: past that the
// outer one stays a bare tag and the first inner one takes "2" with it.
std::string HalfClosed(int count) {
  return "<r><b>1" + Repeat("<b>", count) + Repeat("</b>", count / 2) + "2" +
         Repeat("<b>x</b>", 3) + Repeat("</b>", count) + "u</r>";
}

TEST(ReadInnerText, InnerElementsThatDoNotCloseOrNestTooDeep) {
  const int kMax = kMaxParseDepth;
  const TInnerCase cases[] = {
      {"<a>1<b>2<c>3</a>rest", false, false, true, "123", "rest"},
      // The end tag of "b" lies past the element's own end: reading stops
      // there and the stream goes back to just after "</a>".
      {"<a>1<b>2</a>3</b>4</a>rest", false, false, true, "1", "3</b>4</a>rest"},
      {"<a>x<b>y<b>z</b>w</a>", false, false, true, "xyw", ""},
      {"<a>x</b>y<b/>z</a>", false, false, true, "xyz", ""},
      {NestedInside(kMax - 1), false, false, true, "u", ""},
      {NestedInside(kMax), false, false, true, "u", ""},
      // One level too deep for the outermost "b": its tag alone is dropped.
      {NestedInside(kMax + 1), false, false, true, "12u", ""},
      {NestedInside(kMax + 2), false, false, true, "12u", ""},
      {NestedSelf(kMax - 1), false, false, true, "", "rest"},
      {NestedSelf(kMax), false, false, true, "", "rest"},
      {NestedSelf(kMax + 1), false, false, false, "", ""},
      {HalfClosed(kMax - 1), false, false, true, "u", ""},
      {HalfClosed(kMax), false, false, true, "1u", ""},
      {HalfClosed(kMax + 1), false, false, true, "1u", ""},
      {HalfClosed(kMax + 2), false, false, true, "1u", ""},
  };
  for (const auto& c : cases) Check(c);
}

// The plain model (each inner element looks for its own end tag, as the
// rules are written) against the real reader on random documents.
TEST(ReadInnerText, RandomDocumentsMatchTheModel) {
  const char* const pieces[] = {"<r>", "</r>", "<b>", "</b>", "<c>", "</c>", "<b/>", "x", "y\n",
                                "&amp;", "R&D", " ", "<br>", "<!-- z -->", "<?p?>", "< >",
                                "<", "</ b>", "<b k=\"v>\">"};
  std::mt19937 random(12345);
  for (int i = 0; i < 4000 && !testing::Test::HasFailure(); ++i) {
    std::string input = "<r>";
    for (size_t n = random() % 40; n > 0; --n) input += pieces[random() % std::size(pieces)];
    std::istringstream in(input);
    TXmlElement model(i & 1, i & 2);
    ASSERT_TRUE(ReadTag(model, in));
    const bool ok = inner_text_model::ReadInnerText(model, in);
    Check({input, model.IsUtf8, model.IsHtml, ok, model.Text,
           std::string(std::istreambuf_iterator<char>(in.rdbuf()), {}), true});
  }
}

// Shapes that would make the reader look for each inner element's end tag
// over the rest of the input again: these must still finish.
TEST(ReadInnerText, ManyUnclosedInnerTagsFinish) {
  const int tags = 20000;
  std::string distinct = "<a>", same = "<a>", nested = "<a>";
  for (int i = 0; i < tags; ++i) {
    distinct += "<b" + std::to_string(i) + ">x";
    same += "<b>x";
  }
  for (int i = 0; i < tags / 200; ++i) nested += Repeat("<b>y", 200) + Repeat("</b>", 200) + "x";
  Check({distinct + "</a>rest", false, false, true, std::string(tags, 'x'), "rest"});
  Check({same + "</a>rest", false, false, true, std::string(tags, 'x'), "rest"});
  Check({nested + "</a>rest", false, false, true, std::string(tags / 200, 'x'), "rest"});
}

}  // namespace
