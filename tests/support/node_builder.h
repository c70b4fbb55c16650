// Document trees built by hand: catalogues for the walks and the windows,
// inputs for the markup writer, and trees drawn in a line for the walks.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "markup/markup.h"

// Attributes as (name, value) pairs, in document order.
typedef std::initializer_list<std::pair<const char*, const char*>> TNodeAttributes;

// Appends a new element named tag to parent's children, with the attributes
// given, and returns it; parent owns it. The node takes the parent's IsUtf8
// and IsHtml, as the nodes of a parsed document do.
TXmlTreeNode* AddNode(TXmlTreeNode* parent, const char* tag, TNodeAttributes attributes = {});

// A tree from a compact picture: "a(b(c)d)" is a with children b (holding c)
// and d; a name is one letter. The caller owns the root. With linkByHand the
// children are linked the two-step way of the document model (Parent given
// at construction, then Children.AddTail), so that the walks must find links
// they were not told of; otherwise through AppendChild.
TXmlTreeNode* BuildShape(const char* shape, bool linkByHand = false);

// The compact picture of a tree, as BuildShape reads it: "a(b(c)d)". Fails
// the running test for every child whose Parent is not the node it hangs in.
std::string ShapeOf(const TXmlTreeNode* node);

// The same with texts and readable lists: name, text in quotes, children in
// brackets, separated by spaces ("body[br td'x']").
std::string ShapeWithText(const TXmlTreeNode* node);
