// Element parser: XML structure and failures, encodings, HTML repairs, files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

struct ParseCase {
  const char* input;
  bool html;
  bool ok;
  const char* shape;
};

void RunCases(const ParseCase* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const ParseCase& c = cases[i];
    SCOPED_TRACE(c.input);
    TXmlTreeNode root(nullptr, false);
    root.IsHtml = c.html;
    std::istringstream in(c.input);
    EXPECT_EQ(root.ParseElement(in), c.ok);
    EXPECT_EQ(ShapeWithText(&root), c.shape);
  }
}

TEST(ParseElement, XmlStructureAndFailures) {
  const ParseCase cases[] = {
      {"<a>x<b/>y</a>", false, true, "a'xy'[b]"},
      {"<a>\r\n  <b>t</b>\n  <c/> </a>", false, true, "a' '[b't' c]"},
      {"<a>one\ntwo\r\nthree</a>", false, true, "a'one\r\ntwo\r\nthree'"},
      {"<a>a &amp; b &lt;&#65;&gt;</a>", false, true, "a'a & b <A>'"},
      {"<a>R&D and co &amp; x</a>", false, true, "a'R&D and co &amp; x'"},
      {"<a>R&D &amp; co</a>", false, true, "a'Rd &amp co'"},  // ";" within reach
      {"<a><b></a>", false, false, "a"},
      {"<a><b>x</b><c><d>", false, false, "a[b'x']"},
      {"<a>text", false, false, "a'text'"},
      {"<a/>", false, true, "a"},
      {"<a></a >", false, true, "a"},
      {"<a></ a>", false, true, "a"},
      {"<a><b x=\"1\"/><b>2</b></a>trailing", false, true, "a[b b'2']"},
      {"", false, false, ""},
      {"<a><></a>", false, false, "a"},
  };
  RunCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(ParseElement, HtmlRepairs) {
  const ParseCase cases[] = {
      {"<a><b></a>", true, true, "a[b]"},
      {"<div><p>one<p>two</div>", true, true, "div[p'one' p'two']"},
      {"<div><span>a<span>b</span></span></div>", true, true, "div[span'a' span'b']"},
      {"<div>one<br>two</div>", true, true, "div[span'one' br span'two']"},
      {"<span>a<br>b</span>", true, true, "span'a'"},
      {"<p>a b\n c&nbsp;d</p>", true, true, "p'abc d'"},
      {"<div>x<span>y</span></div>", true, true, "div[span'x' span'y']"},
      {"<font><p>x</p></font>", true, true, "font"},
      {"<div><x>1</y></x></div>", true, true, "div[x'1']"},
      {"<p>x < y <b>z</b></p>", true, true, "p'xz'[a]"},
      {"<div><img src=\"i\"><hr></div>", true, true, "div[img hr]"},
  };
  RunCases(cases, sizeof cases / sizeof cases[0]);
}

// Blank text before a child is dropped; once any other character has come,
// everything read is kept, blanks after it included.
TEST(ParseElement, BlankTextBeforeChildren) {
  const struct { const char* input; bool utf8; bool html; const char* shape; } cases[] = {
      {"<a> \r\n\t<b/> <c/>x</a>", false, false, "a'x'[b c]"},
      {"<a>x <b/> <c/> </a>", false, false, "a'x   '[b c]"},
      {"<a> <b/>x<c/> <d/></a>", false, false, "a'x '[b c d]"},
      {"<a>&#32;&nbsp;<b/></a>", false, false, "a[b]"},  // decoded blanks are blank too
      {"<a>&#65;<b/></a>", false, false, "a'A'[b]"},
      {"<a> &amp <b/></a>", false, false, "a' &amp '[b]"},  // kept undecoded
      {"<a> <?p?> <b/>\n</a>", false, false, "a'\r\n'[p b]"},
      // HTML in UTF-8 keeps white space; a stray end tag joins two runs.
      {"<a> </x>y<b/></a>", true, true, "a' y'[b]"},
      {"<a>y</x> <b/></a>", true, true, "a'y '[b]"},
      {"<a> </x> <b/></a>", true, true, "a[b]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlTreeNode root(nullptr, c.utf8);
    root.IsHtml = c.html;
    std::istringstream in(c.input);
    EXPECT_TRUE(root.ParseElement(in));
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
  const struct {
    std::string input;
    bool utf8;
    const char* text;
  } cases[] = {
      {std::string("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<c n=\"") +
           u8"定额" + "\">" + u8"下载安装" + "</c>",
       true, "下载安装"},
      {std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><c n=\"") + u8"定额\">下载安装</c>",
       true, "下载安装"},
      {"<?xml version=\"1.0\" encoding=\"GBK\"?><c n=\"定额\">下载安装</c>", false, "下载安装"},
      {std::string("<?xml version=\"1.0\"?><!-- note --><c n=\"") + u8"定额\">下载安装</c>", true,
       "下载安装"},
      {std::string("<c n=\"") + u8"定额" + "\">" + u8"下载安装" + "</c>", true, "下载安装"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TXmlTreeNode root(nullptr, true);
    std::istringstream in(c.input);
    EXPECT_TRUE(LoadDocument(root, in));
    EXPECT_EQ(root.Name, "c");
    EXPECT_FALSE(root.IsDeclaration);
    EXPECT_EQ(root.IsUtf8, c.utf8);
    EXPECT_EQ(root.Text, c.text);
    EXPECT_STREQ(root.GetAttribute("n"), "定额");
  }
}

// The catalogue arrives as a file with either line end; read in binary mode
// both give the same tree, text line ends being "\r\n".
TEST(LoadDocument, CrLfAndLfFilesParseTheSame) {
  std::string lf = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<InstallFiles>\n") +
                   "  <Dek name=\"" + u8"定额库" + "\" fileName=\"a.exe\"\n   path=\"p\">\n" +
                   "line1\nline2\n  </Dek>\n  <Version name=\"v\"/>\n</InstallFiles>\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string shapes[2];
  const std::string* texts[2] = {&lf, &crlf};
  for (int i = 0; i < 2; ++i) {
    std::string path = testing::TempDir() + "markup_lines_" + std::to_string(i) + ".xml";
    {
      std::ofstream out(path, std::ios::binary);
      out << *texts[i];
    }
    std::ifstream in(path, std::ios::binary);
    TXmlTreeNode root(nullptr, true);
    EXPECT_TRUE(LoadDocument(root, in));
    shapes[i] = ShapeWithText(&root);
    TXmlTreeNode* dek = root.FindChild("Dek");
    ASSERT_NE(dek, nullptr);
    EXPECT_STREQ(dek->GetAttribute("path"), "p");
    EXPECT_STREQ(dek->GetAttribute("name"), "定额库");
    in.close();
    std::remove(path.c_str());
  }
  EXPECT_EQ(shapes[0], shapes[1]);
  EXPECT_EQ(shapes[0], "InstallFiles'\r\n'[Dek'\r\nline1\r\nline2\r\n  ' Version]");
}

TEST(ReadInnerText, StripsInnerElementsAndNests) {
  const struct { const char* input; bool ok; const char* text; const char* after; } cases[] = {
      {"<a>x<b>y</b>z</a>rest", true, "xz", "rest"},
      {"<a>1<a>2</a>3</a>rest", true, "13", "rest"},
      {"<a>p &amp; q\n</a>", true, "p & q\r\n", ""},
      {"<a>x<br>y</a>", true, "xy", ""},
      {"<a>never closed", false, "", nullptr},
      {"<a/>rest", true, "", "rest"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    TXmlTreeNode node(nullptr, false);
    ASSERT_TRUE(ReadTag(node, in));
    EXPECT_EQ(node.ReadInnerText(in), c.ok);
    EXPECT_EQ(node.Text, c.text);
    if (c.after) {
      std::string rest;
      std::getline(in, rest);
      EXPECT_EQ(rest, c.after);
    }
  }
}

}  // namespace
