// Element parser: XML structure and failures, encodings, HTML repairs, files.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

TEST(ParseElement, StructureFailuresRepairsAndBlankText) {
  const struct {
    const char* input;
    bool utf8, html;
    bool ok;
    const char* shape;
  } cases[] = {
      {"<a>x<b/>y</a>", false, false, true, "a'xy'[b]"},
      {"<a>\r\n  <b>t</b>\n  <c/> </a>", false, false, true, "a' '[b't' c]"},
      {"<a>one\ntwo\r\nthree</a>", false, false, true, "a'one\r\ntwo\r\nthree'"},
      {"<a>a &amp; b &lt;&#65;&gt;</a>", false, false, true, "a'a & b <A>'"},
      {"<a>R&D and co &amp; x</a>", false, false, true, "a'R&D and co &amp; x'"},
      {"<a>R&D &amp; co</a>", false, false, true, "a'Rd &amp co'"},  // ";" within reach
      {"<a><b></a>", false, false, false, "a"},
      {"<a><b>x</b><c><d>", false, false, false, "a[b'x']"},
      {"<a>text", false, false, false, "a'text'"},
      {"<a/>", false, false, true, "a"},
      {"<a></a >", false, false, true, "a"},
      {"<a></ a>", false, false, true, "a"},
      {"<a><b x=\"1\"/><b>2</b></a>trailing", false, false, true, "a[b b'2']"},
      {"", false, false, false, ""},
      {"<a><></a>", false, false, false, "a"},
      // HTML: unclosed and mismatched tags are repaired.
      {"<a><b></a>", false, true, true, "a[b]"},
      {"<div><p>one<p>two</div>", false, true, true, "div[p'one' p'two']"},
      {"<div><span>a<span>b</span></span></div>", false, true, true, "div[span'a' span'b']"},
      {"<div>one<br>two</div>", false, true, true, "div[span'one' br span'two']"},
      {"<span>a<br>b</span>", false, true, true, "span'a'"},
      {"<p>a b\n c&nbsp;d</p>", false, true, true, "p'abc d'"},
      {"<div>x<span>y</span></div>", false, true, true, "div[span'x' span'y']"},
      {"<font><p>x</p></font>", false, true, true, "font"},
      {"<div><x>1</y></x></div>", false, true, true, "div[x'1']"},
      {"<p>x < y <b>z</b></p>", false, true, true, "p'xz'[a]"},
      {"<div><img src=\"i\"><hr></div>", false, true, true, "div[img hr]"},
      // Blank text before a child is dropped; once any other character has
      // come, everything read is kept, blanks after it included.
      {"<a> \r\n\t<b/> <c/>x</a>", false, false, true, "a'x'[b c]"},
      {"<a>x <b/> <c/> </a>", false, false, true, "a'x   '[b c]"},
      {"<a> <b/>x<c/> <d/></a>", false, false, true, "a'x '[b c d]"},
      {"<a>&#32;&nbsp;<b/></a>", false, false, true, "a[b]"},  // decoded blanks are blank too
      {"<a>&#65;<b/></a>", false, false, true, "a'A'[b]"},
      {"<a> &amp <b/></a>", false, false, true, "a' &amp '[b]"},  // kept undecoded
      {"<a> <?p?> <b/>\n</a>", false, false, true, "a'\r\n'[p b]"},
      // HTML in UTF-8 keeps white space; a stray end tag joins two runs.
      {"<a> </x>y<b/></a>", true, true, true, "a' y'[b]"},
      {"<a>y</x> <b/></a>", true, true, true, "a'y '[b]"},
      {"<a> </x> <b/></a>", true, true, true, "a[b]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlTreeNode root(nullptr, c.utf8);
    root.IsHtml = c.html;
    std::istringstream in(c.input);
    EXPECT_EQ(root.ParseElement(in), c.ok);
    EXPECT_EQ(ShapeWithText(&root), c.shape);
  }
}

// A long blank run before many children: the blank test must not read the
// whole run again at every child, or this would not finish.
TEST(ParseElement, LongBlankRunBeforeManyChildren) {
  const std::string blanks(256 * 1024, ' ');
  const int children = 50000;
  std::string tags;
  for (int i = 0; i < children; ++i) tags += "<a/>";
  const struct { std::string text; bool kept; } cases[] = {
      {blanks + "x", true},
      {"x" + blanks, true},
      {blanks, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kept ? c.text.substr(c.text.size() - 1) : "blank");
    TXmlTreeNode root(nullptr, false);
    std::istringstream in("<r>" + c.text + tags + "</r>");
    EXPECT_TRUE(root.ParseElement(in));
    EXPECT_EQ(root.Children.Count(), static_cast<uint32_t>(children));
    // Compared whole but not printed: a failure would print 256 KiB.
    EXPECT_TRUE(root.Text == (c.kept ? c.text : "")) << "text of " << root.Text.size() << " bytes";
  }
}

TEST(ParseElement, HtmlCleanupDropsEmptyElements) {
  TXmlTreeNode root(nullptr, false);
  root.IsHtml = true;
  root.ParseString(
      "<body><p></p><br><table class=\"msonormaltable\"><tr><td>x</td><td></td></tr></table>"
      "<div><span></span></div></body>");
  root.HtmlCleanup();
  EXPECT_EQ(ShapeWithText(&root), "body[br table[tr[td'x']] div]");
  EXPECT_STREQ(root.FindChild("table")->GetAttribute("border"), "1");
}

TEST(ParseElement, DeepNestingFailsWithoutCrashing) {
  for (int depth : {kMaxParseDepth, kMaxParseDepth + 1, 1000000}) {
    SCOPED_TRACE(depth);
    std::string text;
    text.reserve(depth * 7 + 16);
    text += "<r>";
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += "x";
    for (int i = 0; i < depth; ++i) text += "</a>";
    text += "</r>";
    TXmlTreeNode root(nullptr, false);
    std::istringstream in(text);
    bool ok = root.ParseElement(in);
    EXPECT_EQ(ok, depth <= kMaxParseDepth);
    EXPECT_EQ(root.Name, "r");
    // The failed chain is deleted: only the completed part stays.
    EXPECT_EQ(root.CountNodes(), ok ? depth + 1 : 1);
  }
}

TEST(LoadDocument, DeclarationEncodingAndChineseText) {
  const std::string utf8Body = std::string("<c n=\"") + u8"定额\">下载安装</c>";
  const struct {
    std::string input;
    bool utf8;
  } cases[] = {
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + utf8Body, true},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>" + utf8Body, true},
      {"<?xml version=\"1.0\" encoding=\"GBK\"?><c n=\"定额\">下载安装</c>", false},
      {"<?xml version=\"1.0\"?><!-- note -->" + utf8Body, true},
      {utf8Body, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlTreeNode root(nullptr, true);
    std::istringstream in(c.input);
    EXPECT_TRUE(LoadDocument(root, in));
    EXPECT_EQ(root.Name, "c");
    EXPECT_FALSE(root.IsDeclaration);
    EXPECT_EQ(root.IsUtf8, c.utf8);
    EXPECT_EQ(root.Text, "下载安装");
    EXPECT_STREQ(root.GetAttribute("n"), "定额");
  }
}

// The catalogue arrives with either line end; both give the same tree, text
// line ends being "\r\n".
TEST(LoadDocument, CrLfAndLfParseTheSame) {
  std::string lf = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<InstallFiles>\n") +
                   "  <Dek name=\"" + u8"定额库" + "\" fileName=\"a.exe\"\n   path=\"p\">\n" +
                   "line1\nline2\n  </Dek>\n  <Version name=\"v\"/>\n</InstallFiles>\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string* text : {&lf, &crlf}) {
    SCOPED_TRACE(text == &lf ? "LF" : "CR LF");
    std::istringstream in(*text);
    TXmlTreeNode root(nullptr, true);
    EXPECT_TRUE(LoadDocument(root, in));
    EXPECT_EQ(ShapeWithText(&root), "InstallFiles'\r\n'[Dek'\r\nline1\r\nline2\r\n  ' Version]");
    TXmlTreeNode* dek = root.FindChild("Dek");
    ASSERT_NE(dek, nullptr);
    EXPECT_STREQ(dek->GetAttribute("path"), "p");
    EXPECT_STREQ(dek->GetAttribute("name"), "定额库");
  }
}

}  // namespace
