#include "support/node_builder.h"

#include <gtest/gtest.h>

TXmlTreeNode* AddNode(TXmlTreeNode* parent, const char* tag, TNodeAttributes attributes) {
  TXmlTreeNode* node = new TXmlTreeNode(parent, parent->IsUtf8);
  node->IsHtml = parent->IsHtml;
  node->Name = tag;
  for (const auto& attribute : attributes) node->SetAttribute(attribute.first, attribute.second);
  parent->AppendChild(node);
  return node;
}

namespace {

TXmlTreeNode* BuildFrom(TXmlTreeNode* parent, const char*& s, bool linkByHand) {
  TXmlTreeNode* node = new TXmlTreeNode(linkByHand ? parent : nullptr, false);
  node->Name = std::string(1, *s++);
  if (*s != '(') return node;
  for (++s; *s && *s != ')';) {
    TXmlTreeNode* child = BuildFrom(node, s, linkByHand);
    if (linkByHand) {
      node->Children.AddTail(child);
    } else {
      node->AppendChild(child);
    }
  }
  if (*s) ++s;
  return node;
}

std::string Picture(const TXmlTreeNode* node, bool withText) {
  std::string out = node->Name;
  if (withText && !node->Text.empty()) out += "'" + node->Text + "'";
  if (node->Children.IsEmpty()) return out;
  out += withText ? "[" : "(";
  for (DListNode* l = node->Children.First(); l != node->Children.End(); l = l->Next) {
    if (withText && l != node->Children.First()) out += " ";
    EXPECT_EQ(TXmlTreeNode::NodeOf(l)->Parent, node) << "parent link of " << out;
    out += Picture(TXmlTreeNode::NodeOf(l), withText);
  }
  return out + (withText ? "]" : ")");
}

}  // namespace

TXmlTreeNode* BuildShape(const char* shape, bool linkByHand) {
  return BuildFrom(nullptr, shape, linkByHand);
}

std::string ShapeOf(const TXmlTreeNode* node) { return Picture(node, false); }

std::string ShapeWithText(const TXmlTreeNode* node) { return Picture(node, true); }
