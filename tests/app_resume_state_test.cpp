// The pieces a resumed transfer rests on, each fed hostile text: which
// validators are trusted, the part's record on disk, the Range request and
// the judgment of the server's answer to it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/range_request.h"
#include "app/resume_state.h"
#include "support/test_files.h"

namespace {

const std::string kLongTag = "\"" + std::string(kMaxValidator - 2, 'a') + "\"";
const std::string kTooLongTag = "\"" + std::string(kMaxValidator - 1, 'a') + "\"";

TEST(ResumeValidator, OnlyStrongWellFormedETagsCount) {
  struct Case {
    const char* text;
    bool strong;
  } cases[] = {
      {"\"5f3a-1c\"", true},
      {"\"\"", true},  // an empty tag is still a tag
      {"\"a!#$%&'()*+,-./:;<=>?@[\\]^_`{|}~\"", true},
      {"W/\"5f3a-1c\"", false},  // weak
      {"w/\"5f3a-1c\"", false},
      {"5f3a-1c", false},  // unquoted
      {"\"5f3a", false},
      {"\"", false},
      {"\"a\"b\"", false},  // a quote inside
      {"\"a b\"", false},   // a blank inside
      {"\"a\r\nX-Injected: 1\"", false},
      {"\"a\tb\"", false},
      {"\"\xB0\xA1\"", false},  // beyond ASCII
      {" \"a\"", false},
      {"", false},
      {nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.strong, IsStrongETag(c.text)) << (c.text ? c.text : "null");
  }
  EXPECT_TRUE(IsStrongETag(kLongTag.c_str()));
  EXPECT_FALSE(IsStrongETag(kTooLongTag.c_str()));
}

TEST(ResumeValidator, StrongETagElseDateElseNothing) {
  struct Case {
    const char* etag;
    const char* modified;
    const char* chosen;  // "" when none
  } cases[] = {
      {"\"abc\"", "Tue, 14 Nov 2023 22:13:20 GMT", "\"abc\""},
      {nullptr, "Tue, 14 Nov 2023 22:13:20 GMT", "Tue, 14 Nov 2023 22:13:20 GMT"},
      {nullptr, "Tuesday, 14-Nov-23 22:13:20 GMT", "Tuesday, 14-Nov-23 22:13:20 GMT"},
      // A weak or garbled tag says the server does not vouch for the bytes:
      // its date is not taken instead.
      {"W/\"abc\"", "Tue, 14 Nov 2023 22:13:20 GMT", ""},
      {"abc", "Tue, 14 Nov 2023 22:13:20 GMT", ""},
      {nullptr, nullptr, ""},
      {nullptr, "yesterday", ""},
      {nullptr, "Tue, 14 Nov 2023 22:13:20 GMT\r\nX: 1", ""},
      {nullptr, "Tue, 14 Nov 2023 22:13:20 GMT; x=\"1\"", ""},
      {nullptr, "Tue, 14 Nov 2023 22:13:20 GMT Tue, 14 Nov 2023 22:13:20 GMT", ""},
  };
  for (const Case& c : cases) {
    char chosen[kMaxValidator + 1] = "junk";
    EXPECT_EQ(*c.chosen != 0, PickValidator(c.etag, c.modified, chosen))
        << (c.etag ? c.etag : "-") << " / " << (c.modified ? c.modified : "-");
    EXPECT_STREQ(c.chosen, chosen);
  }
}

std::string Record(const char* total, const char* validator) {
  return std::string("InstallZelm part 1\r\ntotal=") + total + "\r\nvalidator=" + validator +
         "\r\n";
}

TEST(ResumeRecord, RoundTripsAndRefusesEverythingElse) {
  TResumeRecord record;
  record.Total = 4294967295ul;
  strcpy(record.Validator, "\"5f3a-1c\"");
  char text[256];
  ASSERT_TRUE(FormatResumeRecord(record, text, sizeof text));
  EXPECT_EQ(Record("4294967295", "\"5f3a-1c\""), text);
  TResumeRecord read;
  ASSERT_TRUE(ParseResumeRecord(text, strlen(text), &read));
  EXPECT_EQ(record.Total, read.Total);
  EXPECT_STREQ(record.Validator, read.Validator);

  const std::string hostile[] = {
      "",
      Record("0", "\"a\""),
      Record("4294967296", "\"a\""),           // past 32 bits
      Record("99999999999999999999", "\"a\""),
      Record("-5", "\"a\""),
      Record("+5", "\"a\""),
      Record("05", "\"a\""),
      Record(" 5", "\"a\""),
      Record("5x", "\"a\""),
      Record("5", ""),
      Record("5", "W/\"a\""),
      Record("5", "\"a\"\r\nvalidator=\"b\""),  // a second line
      Record("5", ("\"" + std::string(300, 'a') + "\"").c_str()),
      Record("5", "\"a\"") + "extra",
      Record("5", "\"a\"").substr(0, Record("5", "\"a\"").size() - 1),  // no final line end
      std::string("InstallZelm part 2\r\ntotal=5\r\nvalidator=\"a\"\r\n"),
      std::string("InstallZelm part 1\r\nvalidator=\"a\"\r\ntotal=5\r\n"),
      std::string("InstallZelm part 1\ntotal=5\nvalidator=\"a\"\n"),
      [] {
        static const char kNul[] = "InstallZelm part 1\r\ntotal=5\0\r\nvalidator=\"a\"\r\n";
        return std::string(kNul, sizeof kNul - 1);
      }(),
  };
  for (const std::string& text : hostile) {
    TResumeRecord got;
    got.Total = 7;
    EXPECT_FALSE(ParseResumeRecord(text.data(), text.size(), &got)) << text;
    EXPECT_EQ(0u, got.Total);
    EXPECT_STREQ("", got.Validator);
  }
}

TEST(ResumeRecord, FileOnDisk) {
  TScratchDir dir;
  const std::string path = dir.File("a.exe.part.info");
  TResumeRecord record, read;
  record.Total = 1234;
  strcpy(record.Validator, "Tue, 14 Nov 2023 22:13:20 GMT");
  ASSERT_TRUE(WriteResumeRecord(path.c_str(), record));
  ASSERT_TRUE(ReadResumeRecord(path.c_str(), &read));
  EXPECT_EQ(1234u, read.Total);
  EXPECT_STREQ(record.Validator, read.Validator);
  // A record that is no record is never written.
  record.Validator[0] = 0;
  EXPECT_FALSE(WriteResumeRecord(dir.File("b.info").c_str(), record));
  EXPECT_FALSE(FileExists(dir.File("b.info")));
  // A huge file beginning with a good record is not one.
  ASSERT_TRUE(WriteFileBytes(path, Record("5", "\"a\"") + std::string(100000, ' ')));
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
  struct Case {
    const char* text;
    bool continues;
  } cases[] = {
      {"bytes 800-999/1000", true},
      {"  bytes 800-999/1000\t", true},
      {"bytes 800-999/*", false},      // total unknown
      {"bytes 800-998/1000", false},   // not to the end
      {"bytes 799-999/1000", false},   // overlaps the kept bytes
      {"bytes 801-999/1000", false},   // leaves a gap
      {"bytes 0-999/1000", false},     // the whole file as a part
      {"bytes 800-1099/1100", false},  // another total: another file
      {"bytes 800-999/999", false},
      {"bytes 0800-999/1000", false},
      {"bytes 800-999/01000", false},
      {"bytes +800-999/1000", false},
      {"bytes 800 - 999/1000", false},
      {"bytes=800-999/1000", false},
      {"Bytes 800-999/1000", false},
      {"items 800-999/1000", false},
      {"bytes 800-999/1000, 0-1/1000", false},
      {"bytes 800-999/1000x", false},
      {"bytes 800-99999999999999999999/1000", false},
      {"bytes 800-4294968295/4294968296", false},
      {"bytes */1000", false},
      {"", false},
      {nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.continues, ContinuesAt(c.text, 800, 1000)) << (c.text ? c.text : "null");
  }
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
