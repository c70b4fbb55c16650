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
  const struct {
    const char* Text;
    int64_t Unix;
  } good[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2026-12-08T14:20:49Z", 1796739649},
      {"2024-02-29T23:59:59Z", 1709251199},  // a leap day
      {"2000-02-29T00:00:00Z", 951782400},   // divisible by 400: a leap year
      {"2038-01-19T03:14:08Z", 2147483648},  // past 32-bit Unix time
      {"1601-01-01T00:00:00Z", -11644473600LL},
      {"9999-12-31T23:59:59Z", 253402300799LL},
  };
  for (const auto& c : good) {
    uint64_t fileTime = 42;
    EXPECT_TRUE(ParseCatalogueExpiry(c.Text, &fileTime)) << c.Text;
    EXPECT_EQ(FileTimeOfUnix(c.Unix), fileTime) << c.Text;
  }
  // No zone or another one (even if equal), lower case, fractions, blanks
  // around, digits short, signs where digits belong, days that do not exist
  // (1900 and 2023 have no leap day), no leap seconds, before any FILETIME,
  // a GBK full-width hyphen.
  const char* const bad[] = {
      "", "2026-12-08", "2026-12-08T14:20:49", "2026-12-08T14:20:49+08:00",
      "2026-12-08T14:20:49+00:00", "2026-12-08T14:20:49z", "2026-12-08t14:20:49Z",
      "2026-12-08 14:20:49Z", "2026-12-08T14:20:49.5Z", "2026-12-08T14:20:49ZZ",
      " 2026-12-08T14:20:49Z", "2026-12-08T14:20:49Z ", "2026-2-08T14:20:49Z",
      "+2026-12-08T14:20:4Z", "-026-12-08T14:20:49Z", "2026-12-+8T14:20:49Z",
      "2023-02-29T00:00:00Z", "1900-02-29T00:00:00Z", "2026-00-10T00:00:00Z",
      "2026-13-10T00:00:00Z", "2026-04-31T00:00:00Z", "2026-01-00T00:00:00Z",
      "2026-01-10T24:00:00Z", "2026-01-10T23:60:00Z", "2026-01-10T23:59:60Z",
      "1600-12-31T23:59:59Z", "2026\xA3\xAD""12-08T14:20:49Z",
  };
  for (const char* text : bad) {
    uint64_t fileTime = 42;
    EXPECT_FALSE(ParseCatalogueExpiry(text, &fileTime)) << text;
    EXPECT_EQ(42u, fileTime) << text;
  }
  uint64_t fileTime = 42;
  EXPECT_FALSE(ParseCatalogueExpiry(nullptr, &fileTime));
}

TEST(CatalogueSerialTest, Values) {
  const struct {
    const char* Text;
    uint64_t Value;
  } good[] = {
      {"0", 0}, {"9", 9}, {"10", 10}, {"1796739649", 1796739649}, {"0042", 42},
      {"9223372036854775807", 9223372036854775807ULL},  // 2^63-1
      {"009223372036854775807", 9223372036854775807ULL},
  };
  for (const auto& c : good) {
    uint64_t value = 7;
    EXPECT_TRUE(ParseCatalogueSerial(c.Text, &value)) << c.Text;
    EXPECT_EQ(c.Value, value) << c.Text;
    char text[21];  // what is read is written back in plain digits
    FormatCatalogueSerial(c.Value, text);
    EXPECT_EQ(std::to_string(c.Value), text);
  }
  // 2^63, 2^64-1, 2^64 (0 in 64 bits), signs, blanks, other notations and a
  // full-width digit one in GBK.
  for (const char* text : {"9223372036854775808", "18446744073709551615",
                           "18446744073709551616", "99999999999999999999999", "", "+5", "-5",
                           "-0", " 5", "5 ", "\t5", "5\r\n", "1e9", "0x10", "12,345",
                           "\xA3\xB1", static_cast<const char*>(nullptr)}) {
    uint64_t value = 7;
    EXPECT_FALSE(ParseCatalogueSerial(text, &value)) << (text ? text : "(null)");
    EXPECT_EQ(7u, value);
  }
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
