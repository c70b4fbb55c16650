#include "markup/integer_text.h"

#include <climits>

const char* SkipBlanks(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  return text;
}

bool ReadDecimalDigits(const char*& text, unsigned long long cap, unsigned long long* value) {
  *value = 0;
  if (*text < '0' || *text > '9') return false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (*value <= cap) *value = *value * 10 + static_cast<unsigned>(*text - '0');
  }
  return true;
}

int ReadIntegerText(const char* text) {
  if (!text) return 0;
  text = SkipBlanks(text);
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  unsigned long long digits = 0;
  ReadDecimalDigits(text, INT_MAX, &digits);
  const long long value = negative ? -static_cast<long long>(digits) : static_cast<long long>(digits);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}
