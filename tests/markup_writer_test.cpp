// Markup writer: escapes, HTML forms and write-then-read round trips.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "markup/markup.h"

namespace {

TXmlTreeNode* AddChild(TXmlTreeNode* parent, const char* name) {
  TXmlTreeNode* child = new TXmlTreeNode(nullptr, parent->IsUtf8);
  child->IsHtml = parent->IsHtml;
  child->Name = name;
  parent->AppendChild(child);
  return child;
}

std::string Written(TXmlTreeNode& node, bool document = false) {
  std::ostringstream out;
  EXPECT_TRUE(document ? node.WriteDocument(out, 0) : node.WriteNode(out, 0));
  return out.str();
}

TEST(WriteNode, XmlAndHtmlForms) {
  TXmlTreeNode e(nullptr, false);
  e.Name = "e";
  e.SetAttribute("a", "1");
  e.SetAttribute("b", "\"x\"");
  EXPECT_EQ(Written(e), "<e a=\"1\" b=\"&quot;x&quot;\"/>");
  EXPECT_EQ(Written(e, true), "<e a=\"1\" b=\"&quot;x&quot;\">");

  TXmlTreeNode t(nullptr, false);
  t.Name = "e";
  t.Text = "a<b";
  AddChild(&t, "c");
  EXPECT_EQ(Written(t), "<e>a&lt;b<c/></e>");
  EXPECT_EQ(Written(t, true), "<e>a&lt;b<c/>");

  const struct { const char* name; const char* text; const char* out; } html[] = {
      {"br", "", "<br>"}, {"td", "", "<td></td>"}, {"p", "a b", "<p>a&nbsp;b</p>"},
      {"p", "x\r\ny", "<p>x&#13;&#10;y</p>"}, {"p", "\x01q\x1f", "<p>q</p>"},
  };
  for (const auto& c : html) {
    TXmlTreeNode n(nullptr, false);
    n.IsHtml = true;
    n.Name = c.name;
    n.Text = c.text;
    EXPECT_EQ(Written(n), c.out) << c.name;
  }

  TXmlTreeNode x(nullptr, false);
  x.Name = "p";
  x.Text = "x\r\ny\tz\x02";
  x.SetAttribute("v", "a&b");
  EXPECT_EQ(Written(x), "<p v=\"a&amp;b\">x\ny\tz</p>");

  TXmlTreeNode d(nullptr, false);
  d.Name = "xml";
  d.IsDeclaration = d.IsClosed = true;
  d.SetAttribute("version", "1.0");
  d.Text = "ignored";
  AddChild(&d, "ignored");
  EXPECT_EQ(Written(d), "<?xml version=\"1.0\"?>\n");
  EXPECT_EQ(Written(d, true), "<?xml version=\"1.0\"?>\n");

  TXmlTreeNode u(nullptr, true);
  u.IsHtml = true;  // UTF-8 nodes never get the HTML references
  u.Name = "p";
  u.Text = "定额 库";
  EXPECT_EQ(Written(u), std::string("<p>") + u8"定额 库" + "</p>");
}

// Texts far longer than the writer's buffers are written whole (a tag, on
// the other hand, is refused by the reader past 65,535 characters).
TEST(WriteNode, LongTextsAreNotCut) {
  std::string text, value;
  for (int i = 0; i < 30000; ++i) text += "定<\r\n";
  for (int i = 0; i < 3000; ++i) value += "库&";
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
    std::string expected = value;
    if (!utf8) {  // values are decoded in UTF-8 documents only
      expected.clear();
      for (int i = 0; i < 3000; ++i) expected += "库&amp;";
    }
    EXPECT_TRUE(back.GetAttribute("long") == expected);
  }
}

// Write a catalogue-like document, read it back, write it again: the tree
// and the text must be the same, for UTF-8 and for GBK documents.
TEST(WriteNode, RoundTripsChineseDocuments) {
  for (bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8);
    TXmlTreeNode root(nullptr, utf8);
    root.Name = "InstallFiles";
    TXmlTreeNode* group = AddChild(&root, "Version");
    group->SetAttribute("name", "沃蒙 2024 \"版\" & <新>");
    group->SetAttribute("path", "dek/2024");
    for (int i = 0; i < 3; ++i) {
      TXmlTreeNode* dek = AddChild(group, "Dek");
      dek->SetAttribute("name", ("定额库" + std::to_string(i)).c_str());
      dek->SetAttribute("fileName", "a'b.exe");
      dek->SetAttribute("modifyDate", "2024-01-02");
      dek->Text = "说明\r\n第二行 & 'x'";
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
    // Attribute values are decoded only in UTF-8 documents.
    EXPECT_STREQ(back.FindChild("Version")->GetAttribute("name"),
                 utf8 ? "沃蒙 2024 \"版\" & <新>"
                      : "沃蒙 2024 &quot;版&quot; &amp; &lt;新&gt;");
    EXPECT_NE(first.find(utf8 ? u8"定额库0" : "定额库0"), std::string::npos);
  }
}

}  // namespace
