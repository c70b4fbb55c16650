// Character data of elements: decoding and the line ends of document text.
#include "markup/character_data.h"

#include <cstring>

#include "markup/text_convert.h"

bool DecodeCharacterData(const string& raw, bool isUtf8, std::vector<char>& decoded) {
  decoded.assign(raw.size() + 32, '\0');
  return isUtf8 ? DecodeUtf8Text(raw.c_str(), decoded.data(), decoded.size())
                : DecodeEntities(raw.c_str(), decoded.data(), decoded.size());
}

void AppendWithCrLf(string& out, const char* text) {
  size_t room = 2 * std::strlen(text) + 1;  // each line feed at most doubles
  size_t start = out.size();
  out.resize(start + room);
  out.resize(start + ExpandLineFeeds(text, &out[start], room));
}
