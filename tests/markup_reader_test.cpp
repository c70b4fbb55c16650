// Tag reader, reference decoding, escaping and code-page conversions. The
// same cases run natively (GBK stand-in) and under Wine (real Win32).
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "markup/markup.h"

namespace {

std::string Attributes(const TXmlElement& e) {
  std::string out;
  for (DListNode* l = e.Attributes.First(); l != e.Attributes.End(); l = l->Next) {
    const TXmlProperty* p = TXmlElement::PropertyOf(l);
    out += "[" + p->Name + "=" + p->Value + "]";
  }
  return out;
}

struct TagCase {
  const char* input;
  bool utf8, html;
  bool ok;
  const char* name;
  const char* attributes;
  bool closed, declaration;
};

TEST(ReadTag, SplitsNamesAttributesAndFlags) {
  const TagCase cases[] = {
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", false, false, true, "xml",
       "[version=1.0][encoding=UTF-8]", true, true},
      {"<a x=\"1\" y = \"2\">", false, false, true, "a", "[x=1][y=2]", false, false},
      {"<a x='1'>", false, false, true, "a", "[x='1']", false, false},
      {"<input disabled>", false, true, true, "input", "", false, false},
      {"<a\tb=\"1\">", false, false, true, "ab=\"1\"", "", false, false},
      {"<br/>", false, false, true, "br", "", true, false},
      {"<br />", false, false, true, "br", "", true, false},
      {"<br>", false, true, true, "br", "", true, false},
      {"<br>", false, false, true, "br", "", false, false},
      {"<img src=\"a/b\">", false, true, true, "img", "[src=a/b]", true, false},
      {"</x>", false, false, true, "/x", "", true, false},
      {"</ x>", false, false, true, "/x", "", true, false},
      {"<!-- note -->", false, false, true, "--", "", true, true},
      {"<!DOCTYPE html>", false, false, true, "DOCTYPE", "", true, true},
      {"<![CDATA[x>y]]>", false, false, true, "[CDATA[x", "", true, true},
      {"<a v=\"x > y\">", false, false, true, "a", "[v=\"x]", false, false},
      {"<a t=\"1\n2\" u\n=\"3\">", false, false, true, "a", "[t=1\n2][u=3]", false, false},
      {"<a x=  \"1\">", false, false, true, "a", "[x=]", false, false},
      {"<a x==1>", false, false, true, "a", "[x==1]", false, false},
      {"<a \"q r\"=1 s=\"\">", false, false, true, "a", "[\"q r\"=1][s=]", false, false},
      {"<a v=\"a&amp;b\">", false, false, true, "a", "[v=a&amp;b]", false, false},
      {"<a v=\"a&amp;b\">", true, false, true, "a", "[v=a&b]", false, false},
      {"<a v=&quot;x y&quot;>", true, false, true, "a", "[v=x y]", false, false},
      {"<a v=\"&quot;x y&quot;\">", true, false, true, "a", "[v=\"\"x]", false, false},
      {"<a v=\"1\nx\">", true, false, true, "a", "[v=1\r\nx]", false, false},
      {"  \r\n\xEF\xBB\xBF<b>", true, false, true, "b", "", false, false},
      {"x < y <b>", false, true, true, "a", "", true, false},
      {"<>", false, false, false, "", "", false, false},
      {"<   >", false, false, false, "", "", false, false},
      {"<a", false, false, false, "", "", false, false},
      {"no tag", false, false, false, "", "", false, false},
      {"", false, false, false, "", "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    TXmlElement e(c.utf8, c.html);
    e.Text = "stale";
    e.SetAttribute("stale", "1");
    EXPECT_EQ(ReadTag(e, in), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(e.Name, c.name);
    EXPECT_EQ(Attributes(e), c.attributes);
    EXPECT_EQ(e.IsClosed, c.closed);
    EXPECT_EQ(e.IsDeclaration, c.declaration);
    EXPECT_TRUE(e.Text.empty());
    EXPECT_EQ(e.IsUtf8, c.utf8);
  }
}

TEST(ReadTag, LongTagsAreRefusedWithoutOverrun) {
  for (size_t length : {kTagBufferSize - 2, kTagBufferSize - 1, kTagBufferSize,
                        kTagBufferSize + 1, 5 * kTagBufferSize}) {
    SCOPED_TRACE(length);
    // Name "a", one space, then attribute text: `length` characters in all.
    std::string tag = "<a v=\"" + std::string(length - 6, 'x') + "\">";
    ASSERT_EQ(tag.size(), length + 2);
    std::istringstream in(tag + "<next>");
    TXmlElement e;
    bool ok = ReadTag(e, in);
    EXPECT_EQ(ok, length < kTagBufferSize);
    if (ok) {
      EXPECT_EQ(std::strlen(e.GetAttribute("v")), length - 6);
    }
  }
  // A UTF-8 tag whose decoded text grows ("\n" becomes "\r\n") stays bounded.
  std::istringstream in("<a v=\"" + std::string(kTagBufferSize - 10, '\n') + "\">");
  TXmlElement e(true, false);
  ReadTag(e, in);
  EXPECT_LT(std::strlen(e.GetAttribute("v")), kTagBufferSize);
}

TEST(ParseAttribute, TrimsAndUnquotes) {
  const struct { const char* token; const char* expected; } cases[] = {
      {"a=1", "[a=1]"}, {"a  =  \"x y\"  ", "[a=x y]"}, {"a=\"", "[a=\"]"},
      {"a=\"\"", "[a=]"}, {"a='1'", "[a='1']"}, {"novalue", ""}, {"=v", "[=v]"},
      {"a=b=c", "[a=b=c]"},
  };
  for (const auto& c : cases) {
    TXmlElement e;
    ParseAttribute(e, c.token);
    EXPECT_EQ(Attributes(e), c.expected) << c.token;
  }
}

TEST(DecodeEntities, ReferencesAndFailures) {
  const struct { const char* src; bool ok; const char* out; } cases[] = {
      {"a &amp; b", true, "a & b"},
      {"&#65;&#x41;&#X41;&#321;", true, "AAAA"},  // 321 mod 256 = 65
      {"&#999999;&#x1ff41;", true, "?A"},  // modulo 256
      {"&nbsp;|&lt;&gt;&quot;&apos;", true, " |<>\"'"},
      {"&copy;&AMP;&Lt;", true, "copy&<"},
      {"&;x", true, "x"},
      {"&#0;x&#256;y", true, "xy"},  // a zero byte would cut the text
      {"R&D and more", false, "R"},
      {"a&12345678;b", false, "a"},     // ";" is the ninth character: too far
      {"a&1234567;b", true, "a1234567b"},
      {"tail&", false, "tail"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    char out[64];
    std::memset(out, 'Z', sizeof out);
    EXPECT_EQ(DecodeEntities(c.src, out, sizeof out), c.ok);
    EXPECT_STREQ(out, c.out);
  }
}

// Every conversion stays inside its capacity whatever the input: the byte
// just past it is a guard that must survive.
TEST(Conversions, NeverWritePastCapacity) {
  const char* inputs[] = {
      "plain ascii text that is long enough",
      "&amp;&amp;&amp;&amp;&amp;&amp;&quot;&quot;&#x41;&copy;&copy;",
      "\"\"\"&&&<<<>>>   \t\t\r\n\r\n",
      "下载安装下载安装下载安装",
      u8"下载安装下载安装下载安装",
      "\xE4\xB8\xE4\xF0\x9F\x98\x80\x80\x80\xC0\x80\xFF\xFE",
  };
  using TConvert = void (*)(const char*, char*, size_t);
  const std::pair<const char*, TConvert> conversions[] = {
      {"DecodeEntities", [](const char* in, char* out, size_t n) { DecodeEntities(in, out, n); }},
      {"DecodeUtf8Text", [](const char* in, char* out, size_t n) { DecodeUtf8Text(in, out, n); }},
      {"Utf8ToAnsi", [](const char* in, char* out, size_t n) { Utf8ToAnsi(in, out, n); }},
      {"AnsiToUtf8", [](const char* in, char* out, size_t n) { AnsiToUtf8(in, out, n); }},
      {"EscapeText", [](const char* in, char* out, size_t n) { EscapeText(in, out, n, false); }},
      {"EscapeText html", [](const char* in, char* out, size_t n) { EscapeText(in, out, n, true); }},
      {"EscapeUtf8Text", [](const char* in, char* out, size_t n) { EscapeUtf8Text(in, out, n); }},
  };
  for (const char* input : inputs) {
    for (size_t capacity = 1; capacity < 40; ++capacity) {
      SCOPED_TRACE(std::string(input) + " / " + std::to_string(capacity));
      for (const auto& convert : conversions) {
        SCOPED_TRACE(convert.first);
        std::vector<char> out(capacity + 1, '\x5A');
        convert.second(input, out.data(), capacity);
        EXPECT_EQ(out[capacity], '\x5A');
        EXPECT_LT(std::strlen(out.data()), capacity);
      }
    }
  }
}

TEST(Conversions, EscapeTable) {
  const struct { const char* src; bool html; const char* out; } cases[] = {
      {"\"&'<>", false, "&quot;&amp;&apos;&lt;&gt;"},
      {"\"&'<>", true, "&quot;&amp;&apos;&lt;&gt;"},
      {"a\tb\nc d", false, "a\tb\nc d"},
      {"a\tb\nc d", true, "a&#9;b&#10;c&nbsp;d"},
      {"x\r\ny\rz", false, "x\ny\nz"},
      {"x\r\ny", true, "x&#13;&#10;y"},
      {"\x01\x1F\x7F", false, "\x7F"},
      {"下载", true, "下载"},
  };
  for (const auto& c : cases) {
    char out[64];
    EscapeText(c.src, out, sizeof out, c.html);
    EXPECT_STREQ(out, c.out) << c.src;
  }
  // An escape that would not fit whole is not begun.
  char out[8];
  EscapeText("ab&c", out, 7, false);
  EXPECT_STREQ(out, "ab");
  EscapeText("ab&c", out, 8, false);
  EXPECT_STREQ(out, "ab&amp;");
}

// GBK and UTF-8 bytes of the same texts: the literal without prefix is GBK
// (both builds compile with -fexec-charset=GBK), the u8 one UTF-8.
struct Pair {
  const char* gbk;
  const char* utf8;
};
const Pair kPairs[] = {
    {"下载安装", u8"下载安装"},
    {"沃蒙在线安装", u8"沃蒙在线安装"},
    {"定额库 Dek 2024", u8"定额库 Dek 2024"},
    {"以下定额库安装失败:", u8"以下定额库安装失败:"},
    {"ASCII only", "ASCII only"},
    {"", ""},
};

TEST(Conversions, GbkAndUtf8RoundTrip) {
  for (const Pair& p : kPairs) {
    SCOPED_TRACE(p.utf8);
    char out[128];
    AnsiToUtf8(p.gbk, out, sizeof out);
    EXPECT_STREQ(out, p.utf8);
    Utf8ToAnsi(p.utf8, out, sizeof out);
    EXPECT_STREQ(out, p.gbk);
    // In place, as the writer uses it.
    std::strcpy(out, p.gbk);
    AnsiToUtf8(out, out, sizeof out);
    EXPECT_STREQ(out, p.utf8);
  }
  char out[64];
  // A character GBK lacks becomes the default character; four-byte
  // sequences and malformed bytes disappear.
  Utf8ToAnsi(u8"a\u00E9\u0E01b", out, sizeof out);
  EXPECT_STREQ(out, "a\xA8\xA6?b");  // e-acute is in GBK, Thai ko kai is not
  Utf8ToAnsi("x\xF0\x9F\x98\x80y\xE4\xB8z\x80w", out, sizeof out);
  EXPECT_STREQ(out, "xyzw");
  // Cut at a whole character when the destination is short.
  Utf8ToAnsi(u8"下载安装", out, 6);
  EXPECT_STREQ(out, "下载");
  EscapeUtf8Text("定额库<&>", out, sizeof out);
  EXPECT_STREQ(out, u8"定额库&lt;&amp;&gt;");
  ASSERT_TRUE(DecodeUtf8Text(u8"&lt;安装&gt;", out, sizeof out));
  EXPECT_STREQ(out, "<安装>");
}

}  // namespace
