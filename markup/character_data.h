// Character data of elements as the parser stores it: decoded by the
// document's encoding, line ends written "\r\n". Shared by the element
// parser and the inner-text reader; not part of the public include.
#pragma once

#include <vector>

#include "markup/xml_element.h"

// Decodes character data by the document's encoding into `decoded`. False,
// with decoded ending where the "&" stood, when an "&" has no ";". Decoding
// never lengthens text, so the buffer always holds all of it.
bool DecodeCharacterData(const string& raw, bool isUtf8, std::vector<char>& decoded);
// Appends decoded text with the line ends of document text.
void AppendWithCrLf(string& out, const char* text);
