// SHA-256 of packages: the published test vectors streamed in uneven pieces
// and read from files, the "sha256" attribute parser, and the file hasher's
// pump (called after every block, able to stop the read).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/package_hash.h"
#include "app_servers_helper.h"
#include "support/fake_run_host.h"
#include "app_test_keys.h"

namespace {

struct Vector {
  const char* Name;
  std::string Message;
  const char* Hex;
};

const std::vector<Vector>& Vectors() {
  static const std::vector<Vector> vectors = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"million a", std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  return vectors;
}

std::string Hex(const TSha256Digest& digest) {
  char text[2 * kSha256Size + 1];
  FormatSha256(digest, text);
  return text;
}

TSha256Digest Filled(unsigned char value) {
  TSha256Digest digest;
  memset(digest.Bytes, value, sizeof(digest.Bytes));
  return digest;
}

// Feeds `message` in pieces whose sizes cycle through `pieces`.
std::string StreamedHex(const std::string& message, const std::vector<size_t>& pieces) {
  TSha256 hash;
  if (!hash.Open()) return "open failed";
  size_t at = 0;
  for (size_t i = 0; at < message.size(); ++i) {
    size_t n = std::min(pieces[i % pieces.size()], message.size() - at);
    if (!hash.Update(message.data() + at, n)) return "update failed";
    at += n;
  }
  TSha256Digest digest;
  if (!hash.Finish(&digest)) return "finish failed";
  return Hex(digest);
}

TEST(Sha256, KnownVectorsWholeAndInUnevenPieces) {
  // Pieces that straddle the 64-byte block of SHA-256 in every way.
  const std::vector<std::vector<size_t>> splits = {
      {1u << 30}, {1}, {3, 64, 65, 1}, {63, 127, 4097, 10240}, {65536, 7}};
  for (const Vector& v : Vectors()) {
    for (const auto& pieces : splits) {
      EXPECT_EQ(v.Hex, StreamedHex(v.Message, pieces)) << v.Name << ", first piece " << pieces[0];
    }
  }
}

TEST(Sha256, OpenStartsAfreshAndFinishCloses) {
  TSha256 hash;
  TSha256Digest digest = Filled(0xEE);
  EXPECT_FALSE(hash.Update("abc", 3)) << "not open yet";
  EXPECT_FALSE(hash.Finish(&digest));
  EXPECT_EQ(Filled(0xEE), digest) << "a failed Finish leaves the digest alone";

  ASSERT_TRUE(hash.Open());
  ASSERT_TRUE(hash.Update("xyz", 3));
  ASSERT_TRUE(hash.Open()) << "drops the hash under way";
  ASSERT_TRUE(hash.Update("abc", 3));
  ASSERT_TRUE(hash.Finish(&digest));
  EXPECT_EQ(Vectors()[1].Hex, Hex(digest));

  EXPECT_FALSE(hash.IsOpen());
  EXPECT_FALSE(hash.Update("abc", 3)) << "Finish closed the hash";
  EXPECT_FALSE(hash.Finish(&digest));

  // The next hash uses the same context and starts from nothing.
  ASSERT_TRUE(hash.Open());
  ASSERT_TRUE(hash.Update(nullptr, 0));
  ASSERT_TRUE(hash.Finish(&digest));
  EXPECT_EQ(Vectors()[0].Hex, Hex(digest));
}

// Parsing and comparing: a refused text writes nothing and matches no
// digest, not even one of zeros.
TEST(Sha256Attribute, ExactlySixtyFourHexDigitsOfTheSameValueMatch) {
  const std::string abc = Vectors()[1].Hex;
  TSha256Digest abcDigest;
  ASSERT_TRUE(ParseSha256(abc.c_str(), &abcDigest));
  std::string mixed = abc;
  for (size_t i = 0; i < mixed.size(); i += 2) {
    mixed[i] = static_cast<char>(toupper(static_cast<unsigned char>(mixed[i])));
  }
  const struct {
    std::string Text;
    bool Matches;  // the digest of "abc"
  } good[] = {
      {abc, true}, {Upper(abc), true}, {mixed, true},
      {"c" + abc.substr(1), false},      // first digit changed
      {abc.substr(0, 63) + "c", false},  // last digit changed
      {Vectors()[0].Hex, false},         // another file's value
      {std::string(64, '0'), false}, {std::string(64, 'f'), false},
  };
  for (const auto& c : good) {
    SCOPED_TRACE(c.Text);
    TSha256Digest digest = Filled(0xEE);
    EXPECT_TRUE(ParseSha256(c.Text.c_str(), &digest));
    std::string lower = c.Text;
    for (char& ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(lower, Hex(digest));
    EXPECT_EQ(c.Matches, Sha256Matches(c.Text.c_str(), abcDigest));
  }
  // Too short or long, no hex digit, blanks and line ends, prefixes and
  // separators, a GBK full-width digit, a high byte.
  const std::string bad[] = {
      "", abc.substr(0, 63), std::string(63, '0'), abc + "0", abc + abc, abc.substr(0, 32),
      abc.substr(0, 63) + "g", "G" + abc.substr(1), " " + abc.substr(1), " " + abc, abc + " ",
      abc + "\n", "0x" + abc.substr(2), abc.substr(0, 32) + "-" + abc.substr(33),
      "ba:78:16:bf" + abc.substr(11), abc.substr(0, 62) + "\xa3\xb0", abc.substr(0, 63) + "\xff",
  };
  for (const std::string& text : bad) {
    SCOPED_TRACE(text);
    TSha256Digest digest = Filled(0xEE);
    EXPECT_FALSE(ParseSha256(text.c_str(), &digest));
    EXPECT_EQ(Filled(0xEE), digest) << "a refused text writes nothing";
    EXPECT_FALSE(Sha256Matches(text.c_str(), Filled(0)));
    EXPECT_FALSE(Sha256Matches(text.c_str(), abcDigest));
  }
  TSha256Digest digest = Filled(0xEE);
  EXPECT_FALSE(ParseSha256(nullptr, &digest));
  EXPECT_FALSE(Sha256Matches(nullptr, abcDigest));
}

class HashFileTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& content) {
    std::string path = Dir.File(name);
    WriteFileBytes(path, content);
    return path;
  }
  TScratchDir Dir;
};

// The known vectors, and sizes on and beside a block border: one pump call
// per block, none for the empty read that ends a file of whole blocks.
TEST_F(HashFileTest, VectorsAndBlockBordersWithAndWithoutAPump) {
  std::vector<Vector> files = Vectors();
  const size_t block = kHashFileBlockSize;
  for (size_t size : {size_t{1}, block - 1, block, block + 1, 2 * block, 3 * block + 17}) {
    files.push_back({"block border", FaultBody(size), nullptr});
  }
  for (const Vector& v : files) {
    SCOPED_TRACE(std::string(v.Name) + ", " + std::to_string(v.Message.size()) + " bytes");
    const std::string hex = v.Hex ? v.Hex : StreamedHex(v.Message, {1u << 30});
    std::string path = Put("hashed.bin", v.Message);
    TFakeRunHost pump;
    TSha256Digest digest = Filled(0xEE);
    ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &digest, &pump));
    EXPECT_EQ(hex, Hex(digest));
    const size_t blocks = (v.Message.size() + kHashFileBlockSize - 1) / kHashFileBlockSize;
    EXPECT_EQ(static_cast<int>(blocks), pump.Pumps);
    TSha256Digest withoutPump = Filled(0xEE);
    ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &withoutPump, nullptr));
    EXPECT_EQ(hex, Hex(withoutPump));
  }
}

TEST_F(HashFileTest, PumpStopsTheReadAndNoDigestIsGiven) {
  std::string path = Put("million.bin", Vectors()[3].Message);  // 16 blocks
  for (int stopAt : {1, 2, 16}) {
    TFakeRunHost pump;
    pump.StopAtPump = stopAt;
    TSha256Digest digest = Filled(0xEE);
    EXPECT_EQ(kHashFileStopped, HashFileSha256(path.c_str(), &digest, &pump)) << stopAt;
    EXPECT_EQ(stopAt, pump.Pumps) << "no block is read after the pump says stop";
    EXPECT_EQ(Filled(0xEE), digest) << stopAt;
  }
}

TEST_F(HashFileTest, FilesThatCannotBeRead) {
  TSha256Digest digest = Filled(0xEE);
  TFakeRunHost pump;
  EXPECT_EQ(kHashFileOpenFailed, HashFileSha256(Dir.File("missing.bin").c_str(), &digest, &pump));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError()) << "the cause stays readable";
  EXPECT_EQ(kHashFileOpenFailed, HashFileSha256(Dir.Path().c_str(), &digest, &pump)) << "a folder";

  // A file that its writer holds without sharing, as an installer still
  // being written by another program.
  std::string path = Put("locked.bin", "abc");
  HANDLE locked = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  EXPECT_EQ(kHashFileOpenFailed, HashFileSha256(path.c_str(), &digest, &pump));
  CloseHandle(locked);
  EXPECT_EQ(0, pump.Pumps);
  EXPECT_EQ(Filled(0xEE), digest);
  ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &digest, nullptr));
  EXPECT_EQ(Vectors()[1].Hex, Hex(digest));
}

// scripts/package-hash, run by the key fixture, gives the value that this
// program accepts for the same file.
TEST_F(HashFileTest, AgreesWithThePackageHashScript) {
  IZ_REQUIRE_TEST_KEYS();
  std::string value = ReadTestKeyFile("package.sha256");
  ASSERT_EQ(65u, value.size()) << "64 digits and a line end: '" << value << "'";
  ASSERT_EQ('\n', value.back());
  value.pop_back();
  TSha256Digest digest;
  ASSERT_EQ(kHashFileOk, HashFileSha256(TestKeyFile("package.bin").c_str(), &digest, nullptr));
  EXPECT_TRUE(Sha256Matches(value.c_str(), digest));
  EXPECT_EQ(value, Hex(digest)) << "the script writes lower case";
}

}  // namespace
