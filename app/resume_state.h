// What a broken transfer leaves for the next try: the server's validator of
// the file and its full length, kept beside "NAME.part" in "NAME.part.info".
//
// Everything here comes from a server or from a file in the user's folder,
// which any program of the user may write: it is read strictly, and what is
// not exactly as this program writes it counts as no record at all.
#pragma once

#include <cstddef>

// Appended to the part file's name for its record.
constexpr const char* kResumeInfoSuffix = ".info";

// The longest validator kept; a longer one is not used. It goes into a
// request header, so it must fit the header buffer with the Range line.
constexpr size_t kMaxValidator = 128;

// Whether `text` is a strong entity tag: a quoted run of visible ASCII
// without a quote inside, not prefixed "W/", at most kMaxValidator
// characters with the quotes. A weak tag promises only an equivalent file,
// not the same bytes, so nothing can be appended on its word.
bool IsStrongETag(const char* text);

// Whether `text` can be a Last-Modified date for If-Range: letters, digits,
// blanks, ",", ":" and "-" only, 20 to 40 characters (an IMF-fixdate is 29).
bool IsValidatorDate(const char* text);

// The validator that If-Range will carry for a response with these ETag
// and Last-Modified values (null when absent): the ETag when it is strong;
// without any ETag, the Last-Modified date. False, with `validator` empty,
// when there is none that can be trusted (a weak or malformed ETag, no
// header at all, or a date that is not one).
bool PickValidator(const char* etag, const char* lastModified, char (&validator)[kMaxValidator + 1]);

// The record of one part file.
struct TResumeRecord {
  unsigned long Total = 0;             // the whole file's length, as first announced
  char Validator[kMaxValidator + 1] = {};  // strong ETag or Last-Modified date
};

// The record as text: three lines, "InstallZelm part 1", "total=L" and
// "validator=V", each ending in "\r\n". False when the record is no
// record (total 0, a validator PickValidator would not give) or the text
// would not fit `size` bytes with its terminator.
bool FormatResumeRecord(const TResumeRecord& record, char* text, size_t size);

// Reads what FormatResumeRecord writes, and nothing else: `length` bytes of
// `text` (no terminator needed). False, with `record` cleared, for any
// other text, a total of 0 or past 32 bits, or an unusable validator.
bool ParseResumeRecord(const char* text, size_t length, TResumeRecord* record);

// Writes the record to `path`, replacing a file there. False when it
// cannot be written whole (the file is then deleted).
bool WriteResumeRecord(const char* path, const TResumeRecord& record);

// Reads the record at `path`; false (record cleared) when there is no such
// file, it is larger than any record, or it does not parse.
bool ReadResumeRecord(const char* path, TResumeRecord* record);
