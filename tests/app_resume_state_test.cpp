// The pieces a resumed transfer rests on, each fed hostile text: which
// validators are trusted, the part's record on disk, the Range request and
// the judgment of the server's answer to it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/range_request.h"
#include "app/resume_state.h"
#include "support/test_files.h"

namespace {

const std::string kLongTag = "\"" + std::string(kMaxValidator - 2, 'a') + "\"";
const std::string kTooLongTag = "\"" + std::string(kMaxValidator - 1, 'a') + "\"";

// Only a strong, well-formed ETag counts; without one the date serves, but
// a weak or garbled tag says the server does not vouch for the bytes, so its
// date is not taken instead.
TEST(ResumeValidator, StrongETagElseDateElseNothing) {
  const char* date = "Tue, 14 Nov 2023 22:13:20 GMT";
  const char* rfc850 = "Tuesday, 14-Nov-23 22:13:20 GMT";
  struct Case {
    const char* etag;
    const char* modified;
    const char* chosen;  // "" when none
  };
  std::vector<Case> cases = {
      {"\"5f3a-1c\"", date, "\"5f3a-1c\""},
      {"\"\"", date, "\"\""},  // an empty tag is still a tag
      {"\"a!#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\"", date, "\"a!#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\""},
      {kLongTag.c_str(), date, kLongTag.c_str()},
      {nullptr, date, date},
      {nullptr, rfc850, rfc850},
      {nullptr, nullptr, ""},
  };
  // Weak, unquoted, a quote, blank, line end, tab or non-ASCII byte inside,
  // a blank before; dates that are unreadable or carry more.
  for (const char* etag :
       {"", kTooLongTag.c_str(), "W/\"5f3a-1c\"", "w/\"5f3a-1c\"", "5f3a-1c", "\"5f3a", "\"",
        "\"a\"b\"", "\"a b\"", "\"a\r\nX-Injected: 1\"", "\"a\tb\"", "\"\xB0\xA1\"", " \"a\""}) {
    cases.push_back({etag, date, ""});
  }
  for (const char* modified : {"yesterday", "Tue, 14 Nov 2023 22:13:20 GMT\r\nX: 1",
                               "Tue, 14 Nov 2023 22:13:20 GMT; x=\"1\"",
                               "Tue, 14 Nov 2023 22:13:20 GMT Tue, 14 Nov 2023 22:13:20 GMT"}) {
    cases.push_back({nullptr, modified, ""});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.etag ? c.etag : "-") + " / " + (c.modified ? c.modified : "-"));
    const bool strong = c.etag && *c.chosen && strcmp(c.etag, c.chosen) == 0;
    EXPECT_EQ(strong, IsStrongETag(c.etag));
    char chosen[kMaxValidator + 1] = "junk";
    EXPECT_EQ(*c.chosen != 0, PickValidator(c.etag, c.modified, chosen));
    EXPECT_STREQ(c.chosen, chosen);
  }
}

std::string Record(const char* total, const char* validator) {
  return std::string("InstallZelm part 1\r\ntotal=") + total + "\r\nvalidator=" + validator +
         "\r\n";
}

TEST(ResumeRecord, FileRoundTripsAndRefusesEverythingElse) {
  TScratchDir dir;
  const std::string path = dir.File("a.exe.part.info");
  for (const char* validator : {"\"5f3a-1c\"", "Tue, 14 Nov 2023 22:13:20 GMT"}) {
    TResumeRecord record, read;
    record.Total = 4294967295ul;
    strcpy(record.Validator, validator);
    ASSERT_TRUE(WriteResumeRecord(path.c_str(), record));
    EXPECT_EQ(Record("4294967295", validator), ReadFileBytes(path));
    ASSERT_TRUE(ReadResumeRecord(path.c_str(), &read));
    EXPECT_EQ(record.Total, read.Total);
    EXPECT_STREQ(validator, read.Validator);
  }
  const std::string oneLine = Record("5", "\"a\"");
  const std::string hostile[] = {
      "", Record("0", "\"a\""), Record("4294967296", "\"a\""),  // past 32 bits
      Record("99999999999999999999", "\"a\""), Record("-5", "\"a\""), Record("+5", "\"a\""),
      Record("05", "\"a\""), Record(" 5", "\"a\""), Record("5x", "\"a\""), Record("5", ""),
      Record("5", "W/\"a\""), Record("5", "\"a\"\r\nvalidator=\"b\""),  // a second line
      Record("5", ("\"" + std::string(300, 'a') + "\"").c_str()), oneLine + "extra",
      oneLine.substr(0, oneLine.size() - 1),  // no final line end
      "InstallZelm part 2\r\ntotal=5\r\nvalidator=\"a\"\r\n",
      "InstallZelm part 1\r\nvalidator=\"a\"\r\ntotal=5\r\n",
      "InstallZelm part 1\ntotal=5\nvalidator=\"a\"\n",
      "InstallZelm part 1\r\ntotal=5" + std::string(1, '\0') + "\r\nvalidator=\"a\"\r\n",
  };
  for (const std::string& text : hostile) {
    TResumeRecord got;
    got.Total = 7;
    EXPECT_FALSE(ParseResumeRecord(text.data(), text.size(), &got)) << text;
    EXPECT_EQ(0u, got.Total);
    EXPECT_STREQ("", got.Validator);
  }
  // A record that is no record is never written.
  TResumeRecord empty, read;
  empty.Total = 1234;
  EXPECT_FALSE(WriteResumeRecord(dir.File("b.info").c_str(), empty));
  EXPECT_FALSE(FileExists(dir.File("b.info")));
  // A huge file beginning with a good record is not one.
  ASSERT_TRUE(WriteFileBytes(path, oneLine + std::string(100000, ' ')));
  EXPECT_FALSE(ReadResumeRecord(path.c_str(), &read));
  EXPECT_FALSE(ReadResumeRecord(dir.File("missing.info").c_str(), &read));
}

TEST(RangeRequest, HeaderLines) {
  char headers[kRangeHeadersSize];
  ASSERT_TRUE(FormatRangeHeaders(819200, "\"5f3a-1c\"", headers, sizeof headers));
  EXPECT_STREQ("Range: bytes=819200-\r\nIf-Range: \"5f3a-1c\"\r\n", headers);
  EXPECT_TRUE(FormatRangeHeaders(4294967295ul, kLongTag.c_str(), headers, sizeof headers));
  EXPECT_FALSE(FormatRangeHeaders(0, "\"a\"", headers, sizeof headers));
  EXPECT_STREQ("", headers);
  EXPECT_FALSE(FormatRangeHeaders(5, "", headers, sizeof headers));
  EXPECT_FALSE(FormatRangeHeaders(5, nullptr, headers, sizeof headers));
  char tiny[20];
  EXPECT_FALSE(FormatRangeHeaders(5, "\"a\"", tiny, sizeof tiny));
  EXPECT_STREQ("", tiny);
}

TEST(RangeRequest, ContentRangeMustBeExactlyTheRestOfTheExpectedFile) {
  // Asked from 800 of a file of 1000 bytes.
  EXPECT_TRUE(ContinuesAt("bytes 800-999/1000", 800, 1000));
  EXPECT_TRUE(ContinuesAt("  bytes 800-999/1000\t", 800, 1000));
  // Total unknown, not to the end, overlapping the kept bytes, leaving a gap,
  // the whole file as a part, another total (another file), padded or signed
  // numbers, other spellings, two ranges, trailing bytes, past 32 bits.
  for (const char* text :
       {"bytes 800-999/*", "bytes 800-998/1000", "bytes 799-999/1000", "bytes 801-999/1000",
        "bytes 0-999/1000", "bytes 800-1099/1100", "bytes 800-999/999", "bytes 0800-999/1000",
        "bytes 800-999/01000", "bytes +800-999/1000", "bytes 800 - 999/1000",
        "bytes=800-999/1000", "Bytes 800-999/1000", "items 800-999/1000",
        "bytes 800-999/1000, 0-1/1000", "bytes 800-999/1000x",
        "bytes 800-99999999999999999999/1000", "bytes 800-4294968295/4294968296",
        "bytes */1000", ""}) {
    EXPECT_FALSE(ContinuesAt(text, 800, 1000)) << text;
  }
  EXPECT_FALSE(ContinuesAt(nullptr, 800, 1000));
  EXPECT_TRUE(ContinuesAt("bytes 4294967294-4294967294/4294967295", 4294967294ul, 4294967295ul));
  EXPECT_FALSE(ContinuesAt("bytes 1000-999/1000", 1000, 1000));  // nothing left is no resume
}

TEST(RangeRequest, AnswersToAResumedRequest) {
  struct Case {
    unsigned long status;
    const char* range;
    const char* length;
    TRangeAnswer answer;
  } cases[] = {
      {206, "bytes 800-999/1000", "200", kRangeAppend},
      {206, "bytes 800-999/1000", " 200 ", kRangeAppend},
      {206, "bytes 800-999/1000", "1000", kRangeRefused},  // more than the rest
      {206, "bytes 800-999/1000", "199", kRangeRefused},
      {206, "bytes 800-999/1000", nullptr, kRangeRefused},
      {206, "bytes 800-999/1000", "two hundred", kRangeRefused},
      {206, "bytes 0-999/1000", "1000", kRangeRefused},
      {206, nullptr, "200", kRangeRefused},
      {206, "bytes 800-1099/1100", "300", kRangeRefused},
      {200, nullptr, "1000", kRangeStartOver},  // Range ignored or the file changed
      {200, "bytes 800-999/1000", "200", kRangeStartOver},
      {416, "bytes */1000", "0", kRangeRefused},
      {304, nullptr, nullptr, kRangeRefused},
      {404, nullptr, "5", kRangeRefused},
      {0, "bytes 800-999/1000", "200", kRangeRefused},  // no readable status
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.answer, JudgeRangeAnswer(c.status, c.range, c.length, 800, 1000))
        << c.status << " " << (c.range ? c.range : "-") << " " << (c.length ? c.length : "-");
  }
}

}  // namespace
