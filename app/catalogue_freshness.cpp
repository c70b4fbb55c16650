#include "app/catalogue_freshness.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;  // FILETIME counts 100 ns
// Days from 1601-01-01, where FILETIME starts, to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134774;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads `count` decimal digits at text; false when any of them is not one.
bool ReadDigits(const char* text, int count, int* value) {
  int result = 0;
  for (int i = 0; i < count; ++i) {
    if (!IsDigit(text[i])) return false;
    result = result * 10 + (text[i] - '0');
  }
  *value = result;
  return true;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (the civil-from-days
// inverse: years counted from March, so that the leap day comes last).
int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

bool ParseCatalogueExpiry(const char* text, uint64_t* fileTime) {
  if (!text) return false;
  // Fixed positions of "YYYY-MM-DDTHH:MM:SSZ"; the terminator must follow.
  static const struct {
    int At;
    char Sign;
  } kSeparators[] = {{4, '-'}, {7, '-'}, {10, 'T'}, {13, ':'}, {16, ':'}, {19, 'Z'}};
  for (int i = 0; i < 20; ++i) {
    if (!text[i]) return false;
  }
  if (text[20]) return false;
  for (const auto& s : kSeparators) {
    if (text[s.At] != s.Sign) return false;
  }
  int year, month, day, hour, minute, second;
  if (!ReadDigits(text, 4, &year) || !ReadDigits(text + 5, 2, &month) ||
      !ReadDigits(text + 8, 2, &day) || !ReadDigits(text + 11, 2, &hour) ||
      !ReadDigits(text + 14, 2, &minute) || !ReadDigits(text + 17, 2, &second)) {
    return false;
  }
  if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  if (hour > 23 || minute > 59 || second > 59) return false;
  const int64_t days = DaysFromCivil(year, month, day) + kDaysFrom1601To1970;
  const uint64_t seconds = static_cast<uint64_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
  *fileTime = seconds * kTicksPerSecond;
  return true;
}

bool ParseCatalogueSerial(const char* text, uint64_t* serial) {
  if (!text || !*text) return false;
  uint64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (!IsDigit(*p)) return false;
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (value > (kCatalogueSerialMax - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *serial = value;
  return true;
}

void FormatCatalogueSerial(uint64_t serial, char (&text)[21]) {
  char reversed[20];
  int length = 0;
  do {
    reversed[length++] = static_cast<char>('0' + serial % 10);
    serial /= 10;
  } while (serial);
  for (int i = 0; i < length; ++i) text[i] = reversed[length - 1 - i];
  text[length] = 0;
}

TFreshness JudgeCatalogueFreshness(const char* expires, const char* serial, uint64_t now,
                                   uint64_t acceptedSerial, uint64_t* catalogueSerial) {
  uint64_t expiry = 0;
  if (!ParseCatalogueExpiry(expires, &expiry) || expiry < now) return TFreshness::Expired;
  uint64_t value = 0;
  if (!ParseCatalogueSerial(serial, &value) || value < acceptedSerial) return TFreshness::Older;
  if (catalogueSerial) *catalogueSerial = value;
  return TFreshness::Fresh;
}
