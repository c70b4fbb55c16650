// The element parser: document trees from a stream on top of the tag reader,
// with the repairs that word-processor HTML pages need. The reading members
// (TXmlTreeNode::ParseElement, ReadInnerText, SkipToEndTag, HtmlCleanup) are
// declared with the node.
#pragma once

#include <iosfwd>

#include "markup/xml_tree_node.h"

// Element nodes are nested at most this deep below the node handed to
// ParseElement; a deeper element fails like a truncated one. Real catalogues
// are four levels deep and word-processor pages a few dozen; the bound keeps
// a hostile document from overflowing the stack of the recursive parser.
const int kMaxParseDepth = 256;

// Loads a document into a root the way the catalogue fetch does: ParseElement
// once and again while the root holds a declaration (an XML declaration,
// document type line or comment before the root element is read into the
// root and then replaced). The root should be built with IsUtf8 = 1 so that a
// document without a declaration is taken as UTF-8; a declaration's encoding
// stays in force for the root element. Returns the last ParseElement result;
// the tree standing after the calls is usable either way.
bool LoadDocument(TXmlTreeNode& root, std::istream& in);
