// Narrow literals must reach the ANSI API as GBK bytes, on both sides.
#include <gtest/gtest.h>

#include <cstring>

TEST(Charset, NarrowLiteralsAreGbk) {
  const unsigned char expected[] = {0xCF, 0xC2, 0xD4, 0xD8, 0xB0, 0xB2, 0xD7, 0xB0, 0};
  ASSERT_EQ(sizeof(expected), sizeof("下载安装"));
  EXPECT_EQ(0, std::memcmp(expected, "下载安装", sizeof(expected)));
}
