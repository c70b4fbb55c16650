#include "app/catalogue.h"

#include <climits>
#include <cstring>

#include "markup/markup.h"

bool AppendPath(TPathBuffer& buffer, const char* text) {
  size_t used = strnlen(buffer, kPathSize - 1);
  size_t add = strlen(text);
  if (used + add >= kPathSize) return false;
  memcpy(buffer + used, text, add + 1);
  return true;
}

bool JoinPath(TPathBuffer& path, const char* folder, const char* name) {
  path[0] = 0;
  if (AppendPath(path, folder) && AppendPath(path, "\\") && AppendPath(path, name)) return true;
  path[0] = 0;
  return false;
}

int ReadInteger(const char* text) {
  if (!text) return 0;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value <= INT_MAX) value = value * 10 + (*text - '0');  // stop growing once out of range
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool IsChosen(const TXmlTreeNode& element) {
  return ReadInteger(element.GetAttribute(kAttrState)) == 2;
}
