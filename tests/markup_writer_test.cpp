// Markup writer: escapes, HTML forms and write-then-read round trips.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "markup/markup.h"
#include "support/node_builder.h"

namespace {

std::string Written(TXmlTreeNode& node, bool document = false) {
  std::ostringstream out;
  EXPECT_TRUE(document ? node.WriteDocument(out, 0) : node.WriteNode(out, 0));
  return out.str();
}

TEST(WriteNode, XmlAndHtmlForms) {
  const struct {
    bool Utf8, Html, Declaration;
    const char* Name;
    const char* Text;
    std::vector<std::pair<const char*, const char*>> Attributes;
    const char* Child;     // a child's name, or null
    const char* Node;      // WriteNode
    const char* Document;  // WriteDocument, null: not checked
  } cases[] = {
      {false, false, false, "e", "", {{"a", "1"}, {"b", "\"x\""}}, nullptr,
       "<e a=\"1\" b=\"&quot;x&quot;\"/>", "<e a=\"1\" b=\"&quot;x&quot;\">"},
      {false, false, false, "e", "a<b", {}, "c", "<e>a&lt;b<c/></e>", "<e>a&lt;b<c/>"},
      {false, false, false, "p", "x\r\ny\tz\x02", {{"v", "a&b"}}, nullptr,
       "<p v=\"a&amp;b\">x\ny\tz</p>", nullptr},
      {false, false, true, "xml", "ignored", {{"version", "1.0"}}, "ignored",
       "<?xml version=\"1.0\"?>\n", "<?xml version=\"1.0\"?>\n"},
      {false, true, false, "br", "", {}, nullptr, "<br>", nullptr},
      {false, true, false, "td", "", {}, nullptr, "<td></td>", nullptr},
      {false, true, false, "p", "a b", {}, nullptr, "<p>a&nbsp;b</p>", nullptr},
      {false, true, false, "p", "x\r\ny", {}, nullptr, "<p>x&#13;&#10;y</p>", nullptr},
      {false, true, false, "p", "\x01q\x1f", {}, nullptr, "<p>q</p>", nullptr},
      // UTF-8 nodes never get the HTML references.
      {true, true, false, "p", "定额 库", {}, nullptr, u8"<p>定额 库</p>", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Node);
    TXmlTreeNode node(nullptr, c.Utf8);
    node.IsHtml = c.Html;
    node.IsDeclaration = node.IsClosed = c.Declaration;
    node.Name = c.Name;
    node.Text = c.Text;
    for (const auto& attribute : c.Attributes) node.SetAttribute(attribute.first, attribute.second);
    if (c.Child) AddNode(&node, c.Child);
    EXPECT_EQ(Written(node), c.Node);
    if (c.Document) {
      EXPECT_EQ(Written(node, true), c.Document);
    }
  }
}

// Texts far longer than the writer's buffers are written whole (a tag, on
// the other hand, is refused by the reader past 65,535 characters).
TEST(WriteNode, LongTextsAreNotCut) {
  std::string text, value, escaped;
  for (int i = 0; i < 30000; ++i) text += "定<\r\n";
  for (int i = 0; i < 3000; ++i) {
    value += "库&";
    escaped += "库&amp;";
  }
  for (bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8);
    TXmlTreeNode root(nullptr, utf8);
    root.Name = "r";
    root.Text = text;
    root.SetAttribute("long", value.c_str());
    std::string out = Written(root, true) + "</r>";
    TXmlTreeNode back(nullptr, utf8);
    back.ParseString(out.c_str());
    EXPECT_EQ(back.Text.size(), text.size());
    EXPECT_TRUE(back.Text == text);
    // Values are decoded in UTF-8 documents only.
    EXPECT_TRUE(back.GetAttribute("long") == (utf8 ? value : escaped));
  }
}

// Write a catalogue-like document, read it back, write it again: the tree
// and the text must be the same, for UTF-8 and for GBK documents.
TEST(WriteNode, RoundTripsChineseDocuments) {
  for (bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8);
    TXmlTreeNode root(nullptr, utf8);
    root.Name = "InstallFiles";
    TXmlTreeNode* group =
        AddNode(&root, "Version", {{"name", "沃蒙 2024 \"版\" & <新>"}, {"path", "dek/2024"}});
    for (int i = 0; i < 3; ++i) {
      std::string name = "定额库" + std::to_string(i);
      AddNode(group, "Dek", {{"name", name.c_str()}, {"fileName", "a'b.exe"},
                             {"modifyDate", "2024-01-02"}})->Text = "说明\r\n第二行 & 'x'";
    }
    std::string first = Written(root);
    TXmlTreeNode back(nullptr, utf8);
    back.ParseString(first.c_str());
    // Values are decoded on reading in UTF-8 documents only, so only those
    // come back exactly.
    if (utf8) {
      EXPECT_EQ(Written(back), first);
    }
    EXPECT_EQ(back.CountNodes(), 5);
    TXmlTreeNode* dek = back.FindChild("Version/Dek");
    ASSERT_NE(dek, nullptr);
    EXPECT_EQ(dek->Text, "说明\r\n第二行 & 'x'");
    EXPECT_STREQ(dek->GetAttribute("name"), "定额库0");
    EXPECT_STREQ(back.FindChild("Version")->GetAttribute("name"),
                 utf8 ? "沃蒙 2024 \"版\" & <新>"
                      : "沃蒙 2024 &quot;版&quot; &amp; &lt;新&gt;");
    EXPECT_NE(first.find(utf8 ? u8"定额库0" : "定额库0"), std::string::npos);
  }
}

}  // namespace
