// The texts that make a signed catalogue fresh: "expires" and "serial" on its
// root, read strictly, and the judgement of both against the clock and the
// highest serial accepted before.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/catalogue_freshness.h"

namespace {

// FILETIME of a UTC time, from the seconds since 1970 that `date -u +%s`
// prints: 1970-01-01 is 11,644,473,600 seconds after 1601-01-01.
uint64_t FileTimeOfUnix(int64_t seconds) {
  return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

// Only UTC to the second in the fixed layout: FILETIME of the same instant
// as `date -u -d TEXT +%s` gives it, or nothing written.
TEST(CatalogueExpiryTest, TimesInTheFixedLayout) {
  struct Case {
    const char* Text;
    bool Ok;
    int64_t Unix;
  } cases[] = {
      {"1970-01-01T00:00:00Z", true, 0},
      {"2026-12-08T14:20:49Z", true, 1796739649},
      {"2024-02-29T23:59:59Z", true, 1709251199},  // a leap day
      {"2000-02-29T00:00:00Z", true, 951782400},   // divisible by 400: a leap year
      {"2038-01-19T03:14:08Z", true, 2147483648},  // past 32-bit Unix time
      {"1601-01-01T00:00:00Z", true, -11644473600LL},
      {"9999-12-31T23:59:59Z", true, 253402300799LL},
      {"", false, 0},
      {"2026-12-08", false, 0},
      {"2026-12-08T14:20:49", false, 0},          // no zone
      {"2026-12-08T14:20:49+08:00", false, 0},    // another zone, even if equal
      {"2026-12-08T14:20:49+00:00", false, 0},
      {"2026-12-08T14:20:49z", false, 0},         // lower-case Z
      {"2026-12-08t14:20:49Z", false, 0},
      {"2026-12-08 14:20:49Z", false, 0},
      {"2026-12-08T14:20:49.5Z", false, 0},       // fractions
      {"2026-12-08T14:20:49ZZ", false, 0},
      {" 2026-12-08T14:20:49Z", false, 0},        // blanks around
      {"2026-12-08T14:20:49Z ", false, 0},
      {"2026-2-08T14:20:49Z", false, 0},          // digits short
      {"+2026-12-08T14:20:4Z", false, 0},
      {"-026-12-08T14:20:49Z", false, 0},         // a sign where a digit belongs
      {"2026-12-+8T14:20:49Z", false, 0},
      {"2023-02-29T00:00:00Z", false, 0},         // no leap day that year
      {"1900-02-29T00:00:00Z", false, 0},         // divisible by 100: no leap year
      {"2026-00-10T00:00:00Z", false, 0},
      {"2026-13-10T00:00:00Z", false, 0},
      {"2026-04-31T00:00:00Z", false, 0},
      {"2026-01-00T00:00:00Z", false, 0},
      {"2026-01-10T24:00:00Z", false, 0},
      {"2026-01-10T23:60:00Z", false, 0},
      {"2026-01-10T23:59:60Z", false, 0},         // no leap seconds
      {"1600-12-31T23:59:59Z", false, 0},         // before any FILETIME
      {"2026\xA3\xAD""12-08T14:20:49Z", false, 0},  // a GBK full-width hyphen
  };
  for (const Case& c : cases) {
    uint64_t fileTime = 42;
    EXPECT_EQ(c.Ok, ParseCatalogueExpiry(c.Text, &fileTime)) << c.Text;
    EXPECT_EQ(c.Ok ? FileTimeOfUnix(c.Unix) : 42u, fileTime) << c.Text;
  }
  uint64_t fileTime = 42;
  EXPECT_FALSE(ParseCatalogueExpiry(nullptr, &fileTime));
  // A terminator inside the fixed layout ends the text there.
  EXPECT_FALSE(ParseCatalogueExpiry(std::string("2026-12-08T14:20:49Z", 10).c_str(), &fileTime));
}

TEST(CatalogueSerialTest, Values) {
  struct Case {
    const char* Text;
    bool Ok;
    uint64_t Value;
  } cases[] = {
      {"0", true, 0},
      {"9", true, 9},
      {"10", true, 10},
      {"1796739649", true, 1796739649},
      {"0042", true, 42},
      {"9223372036854775807", true, 9223372036854775807ULL},  // 2^63-1
      {"009223372036854775807", true, 9223372036854775807ULL},
      {"9223372036854775808", false, 0},  // 2^63
      {"18446744073709551615", false, 0},  // 2^64-1
      {"18446744073709551616", false, 0},  // wraps to 0 in 64 bits
      {"99999999999999999999999", false, 0},
      {"", false, 0},
      {"+5", false, 0},
      {"-5", false, 0},
      {"-0", false, 0},
      {" 5", false, 0},
      {"5 ", false, 0},
      {"\t5", false, 0},
      {"5\r\n", false, 0},
      {"1e9", false, 0},
      {"0x10", false, 0},
      {"12,345", false, 0},
      {"\xA3\xB1", false, 0},  // a full-width digit one in GBK
  };
  for (const Case& c : cases) {
    uint64_t value = 7;
    EXPECT_EQ(c.Ok, ParseCatalogueSerial(c.Text, &value)) << c.Text;
    EXPECT_EQ(c.Ok ? c.Value : 7u, value) << c.Text;
    char text[21];  // what is read is written back in plain digits
    FormatCatalogueSerial(c.Value, text);
    EXPECT_EQ(std::to_string(c.Value), text);
  }
  uint64_t value = 7;
  EXPECT_FALSE(ParseCatalogueSerial(nullptr, &value));
}

TEST(CatalogueFreshnessTest, Judgement) {
  const uint64_t now = FileTimeOfUnix(1796739649);  // 2026-12-08T14:20:49Z
  struct Case {
    const char* Expires;
    const char* Serial;
    uint64_t Accepted;
    TFreshness Want;
  } cases[] = {
      {"2027-01-07T14:20:49Z", "500", 400, TFreshness::Fresh},
      {"2026-12-08T14:20:49Z", "500", 400, TFreshness::Fresh},    // expires this very second
      {"2026-12-08T14:20:48Z", "500", 400, TFreshness::Expired},  // a second ago
      {"2027-01-07T14:20:49Z", "400", 400, TFreshness::Fresh},    // the same serial again
      {"2027-01-07T14:20:49Z", "399", 400, TFreshness::Older},
      {"2027-01-07T14:20:49Z", "0", 0, TFreshness::Fresh},        // nothing accepted yet
      {nullptr, "500", 0, TFreshness::Expired},
      {"2027-01-07", "500", 0, TFreshness::Expired},
      {"2027-01-07T14:20:49Z", nullptr, 0, TFreshness::Older},
      {"2027-01-07T14:20:49Z", "-1", 0, TFreshness::Older},
      {"2027-01-07T14:20:49Z", "", 0, TFreshness::Older},
      {"2026-01-01T00:00:00Z", "1", 400, TFreshness::Expired},    // both: the expiry speaks
  };
  for (const Case& c : cases) {
    uint64_t serial = 12345;
    TFreshness got = JudgeCatalogueFreshness(c.Expires, c.Serial, now, c.Accepted, &serial);
    EXPECT_EQ(static_cast<int>(c.Want), static_cast<int>(got))
        << (c.Expires ? c.Expires : "(none)") << " " << (c.Serial ? c.Serial : "(none)");
    if (c.Want == TFreshness::Fresh) {
      EXPECT_EQ(std::stoull(c.Serial), serial);
    } else {
      EXPECT_EQ(12345u, serial);
    }
  }
}

}  // namespace
