// Document trees built by hand: catalogues for the walks and the windows,
// inputs for the markup writer.
#pragma once

#include <initializer_list>
#include <utility>

#include "markup/markup.h"

// Attributes as (name, value) pairs, in document order.
typedef std::initializer_list<std::pair<const char*, const char*>> TNodeAttributes;

// Appends a new element named tag to parent's children, with the attributes
// given, and returns it; parent owns it. The node takes the parent's IsUtf8
// and IsHtml, as the nodes of a parsed document do.
TXmlTreeNode* AddNode(TXmlTreeNode* parent, const char* tag, TNodeAttributes attributes = {});
