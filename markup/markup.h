// Markup documents: the in-memory document tree, the tag reader with its
// reference decoding and code-page conversions, the element parser (XML, with
// repairs for word-processor HTML) and the writer.
//
// Text is 8-bit in the system code page (GBK on the target PCs). A document
// marked IsUtf8 is converted to the code page while it is read and back to
// UTF-8 while it is written. The reader and writer share one scratch buffer,
// TagBuffer, so only one parse or write may run at a time (the program does
// all of it on the user-interface thread).
//
// This header is the one include for callers; the pieces are:
//   dbl_list.h        TDblList, the list of attributes and children
//   xml_element.h     TXmlElement and its attributes (TXmlProperty)
//   xml_tree_node.h   TXmlTreeNode, the document tree
//   tag_reader.h      ReadTag and TagBuffer
//   text_convert.h    reference decoding and code-page conversions
//   element_parser.h  LoadDocument and the nesting bound
//   writer.h          the escapes the writer uses
#pragma once

#include "markup/dbl_list.h"
#include "markup/element_parser.h"
#include "markup/tag_reader.h"
#include "markup/text_convert.h"
#include "markup/writer.h"
#include "markup/xml_element.h"
#include "markup/xml_tree_node.h"
