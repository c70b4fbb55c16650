// The tag reader: one tag at a time from a stream into a TXmlElement, and the
// scratch buffer it shares with the writer.
#pragma once

#include <cstddef>
#include <iosfwd>

#include "markup/xml_element.h"

const size_t kTagBufferSize = 65536;
// Shared scratch buffer of the reader and writer; makes them non-re-entrant.
extern char TagBuffer[kTagBufferSize];

// Read the next tag into the element: Clear it (IsUtf8 and IsHtml carry
// over), skip to the next "<", split name, attributes and flags. False when
// the input ends inside the tag, the tag has 65,536 characters or more, or
// its name is empty.
bool ReadTag(TXmlElement& element, std::istream& in);
// Append one attribute from a token "name=value" (spaces allowed around "=",
// a double-quoted value loses its quotes). A token without "=" is dropped.
void ParseAttribute(TXmlElement& element, const char* token);
// Whether an HTML element of this name never has content ("meta", "link",
// "img", "hr", "area", "br"; exact case). The reader closes such an element
// at its start tag and the writer writes it without an end tag.
bool IsVoidHtmlElement(const string& name);
// Whether a tag name is the end tag ("/" and the name, exact case) of an
// element named `name`.
bool IsEndTagOf(const string& tagName, const string& name);
