#include "app/local_copy.h"

#include "app/catalogue.h"
#include "app/support_records.h"
#include "markup/integer_text.h"
#include "markup/markup.h"

namespace {

// One "%d" of sscanf: white space skipped, an optional sign, digits. Values
// are clamped far outside any date instead of overflowing, which sscanf
// leaves undefined for text from the network.
bool ReadDateNumber(const char*& p, int* value) {
  p = SkipBlanks(p);
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  unsigned long long digits = 0;
  if (!ReadDecimalDigits(p, 999999999, &digits)) return false;
  const long long n = static_cast<long long>(digits);
  *value = static_cast<int>(negative ? -n : n);
  return true;
}

// Reads "%d-%d-%d %d:%d:%d" as sscanf would: a blank in the format matches
// any run of white space (none included); the other separators must stand.
bool ReadDate(const char* p, int (&fields)[6]) {
  static const char kSeparators[] = "-- ::";
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      char separator = kSeparators[i - 1];
      if (separator == ' ') {
        p = SkipBlanks(p);
      } else if (*p++ != separator) {
        return false;
      }
    }
    if (!ReadDateNumber(p, &fields[i])) return false;
  }
  return true;
}

// The catalogue's time for the skip test. False when the date is no real
// moment (month 13, day 0, hour 25): then no local copy counts as current.
bool CatalogueTime(const TXmlTreeNode* element, FILETIME* time) {
  SYSTEMTIME st = {};
  int fields[6];
  const char* date = element->FindAttribute(kAttrModifyDate);
  if (date && ReadDate(date, fields)) {
    int year = fields[0], month = fields[1], day = fields[2];
    int hour = fields[3], minute = fields[4], second = fields[5];
    if (year < 100) year += 2000;  // any year below 100 counts from 2000: 8 is 2008
    // SystemTimeToFileTime checks the day against the month; the ranges
    // below keep the values from wrapping in the 16-bit fields first.
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
      return false;
    }
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
  } else {
    GetSystemTime(&st);
    st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
  }
  return SystemTimeToFileTime(&st, time) != FALSE;
}

}  // namespace

bool HoldCurrentLocalCopy(const char* localPath, DWORD expected, const TXmlTreeNode* element,
                          TRunHost* host, THeldFile& held) {
  // Held before it is looked at: what is checked is what will be started.
  if (!held.Hold(localPath)) return false;
  unsigned long long size = 0;
  FILETIME written, catalogue;
  if (!held.Info(&size, &written) || !CatalogueTime(element, &catalogue) ||
      size != expected || CompareFileTime(&written, &catalogue) < 0) {
    held.Release();
    return false;
  }
  // Size and date say nothing of the content: a copy that was corrupted or
  // replaced on this PC would otherwise be started as it is.
  TSha256Digest wanted;
  const char* sha256 = element->FindAttribute(kSha256Attribute);
  if (!sha256) return true;
  THeldFile::TCheck check =
      ParseSha256(sha256, &wanted) ? held.Check(size, &wanted, host) : THeldFile::kDiffers;
  // A check stopped by a cancel has no verdict; a differing file's own value
  // is not at hand, only that it is not the one wanted.
  if (check != THeldFile::kStopped)
    RecordHash(localPath, check == THeldFile::kSame ? &wanted : nullptr, sha256, check == THeldFile::kSame);
  if (check == THeldFile::kSame) return true;
  held.Release();
  return false;
}
