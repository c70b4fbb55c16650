#include "app/resume_state.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "markup/integer_text.h"
#include "platform/win32_handles.h"

namespace {

constexpr char kRecordHeading[] = "InstallZelm part 1\r\n";
constexpr char kTotalKey[] = "total=";
constexpr char kValidatorKey[] = "validator=";
// Large enough for every record FormatResumeRecord writes.
constexpr size_t kRecordSize = 256;

bool IsVisible(char c) { return c > 0x20 && c < 0x7F; }

bool IsDateCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
         c == ',' || c == ':' || c == '-';
}

bool IsUsableValidator(const char* text) { return IsStrongETag(text) || IsValidatorDate(text); }

// Reads a line "KEY VALUE\r\n" at `p` (below `end`) into `value`; moves
// `p` past it. False when the key differs or the value does not fit.
bool ReadLine(const char*& p, const char* end, const char* key, char* value, size_t size) {
  const size_t keyLength = strlen(key);
  if (static_cast<size_t>(end - p) < keyLength || memcmp(p, key, keyLength) != 0) return false;
  p += keyLength;
  size_t length = 0;
  while (p + length < end && p[length] != '\r' && p[length] != '\n' && p[length] != 0) ++length;
  if (length >= size || end - (p + length) < 2 || p[length] != '\r' || p[length + 1] != '\n')
    return false;
  memcpy(value, p, length);
  value[length] = 0;
  p += length + 2;
  return true;
}

// Plain decimal digits, no sign, no leading zero, 1 to 0xFFFFFFFF.
bool ReadTotal(const char* text, unsigned long* total) {
  if (*text < '1' || *text > '9') return false;
  unsigned long long value = 0;
  if (!ReadDecimalDigits(text, 0xFFFFFFFFull, &value) || *text != 0 || value > 0xFFFFFFFFull) return false;
  *total = static_cast<unsigned long>(value);
  return true;
}

}  // namespace

bool IsStrongETag(const char* text) {
  if (!text) return false;
  const size_t length = strlen(text);
  if (length < 2 || length > kMaxValidator || text[0] != '"' || text[length - 1] != '"') return false;
  for (size_t i = 1; i + 1 < length; ++i) {
    if (!IsVisible(text[i]) || text[i] == '"') return false;
  }
  return true;
}

bool IsValidatorDate(const char* text) {
  if (!text) return false;
  const size_t length = strlen(text);
  if (length < 20 || length > 40) return false;
  for (size_t i = 0; i < length; ++i) {
    if (!IsDateCharacter(text[i])) return false;
  }
  return true;
}

bool PickValidator(const char* etag, const char* lastModified, char (&validator)[kMaxValidator + 1]) {
  validator[0] = 0;
  // A server that sends an ETag speaks for its file through it: a weak or
  // garbled one is not made good by a date beside it.
  const char* chosen = etag ? (IsStrongETag(etag) ? etag : nullptr)
                            : (IsValidatorDate(lastModified) ? lastModified : nullptr);
  if (!chosen) return false;
  memcpy(validator, chosen, strlen(chosen) + 1);
  return true;
}

bool FormatResumeRecord(const TResumeRecord& record, char* text, size_t size) {
  if (record.Total == 0 || !IsUsableValidator(record.Validator)) return false;
  int written = snprintf(text, size, "%s%s%lu\r\n%s%s\r\n", kRecordHeading, kTotalKey, record.Total,
                         kValidatorKey, record.Validator);
  return written > 0 && static_cast<size_t>(written) < size;
}

bool ParseResumeRecord(const char* text, size_t length, TResumeRecord* record) {
  *record = TResumeRecord();
  const char* p = text;
  const char* end = text + length;
  const size_t heading = sizeof(kRecordHeading) - 1;
  if (length < heading || memcmp(p, kRecordHeading, heading) != 0) return false;
  p += heading;
  char total[16];
  TResumeRecord read;
  if (!ReadLine(p, end, kTotalKey, total, sizeof total) || !ReadTotal(total, &read.Total) ||
      !ReadLine(p, end, kValidatorKey, read.Validator, sizeof read.Validator) || p != end ||
      !IsUsableValidator(read.Validator)) {
    return false;
  }
  *record = read;
  return true;
}

bool WriteResumeRecord(const char* path, const TResumeRecord& record) {
  char text[kRecordSize];
  if (!FormatResumeRecord(record, text, sizeof text)) return false;
  TKernelHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
  if (!file.IsOpen()) return false;
  const DWORD length = static_cast<DWORD>(strlen(text));
  DWORD written = 0;
  if (WriteFile(file.Get(), text, length, &written, nullptr) && written == length) return true;
  file.Close();
  DeleteFileA(path);
  return false;
}

bool ReadResumeRecord(const char* path, TResumeRecord* record) {
  *record = TResumeRecord();
  TKernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return false;
  // One byte more than any record: a longer file is no record of ours.
  char text[kRecordSize + 1];
  DWORD read = 0;
  if (!ReadFile(file.Get(), text, sizeof text, &read, nullptr) || read > kRecordSize) return false;
  return ParseResumeRecord(text, read, record);
}
