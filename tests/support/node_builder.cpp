#include "support/node_builder.h"

TXmlTreeNode* AddNode(TXmlTreeNode* parent, const char* tag, TNodeAttributes attributes) {
  TXmlTreeNode* node = new TXmlTreeNode(parent, parent->IsUtf8);
  node->IsHtml = parent->IsHtml;
  node->Name = tag;
  for (const auto& attribute : attributes) node->SetAttribute(attribute.first, attribute.second);
  parent->AppendChild(node);
  return node;
}
