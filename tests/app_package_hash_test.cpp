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

TEST(Sha256Attribute, ParsesExactlySixtyFourHexDigits) {
  const std::string abc = Vectors()[1].Hex;
  std::string upper = abc;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  std::string mixed = abc;
  for (size_t i = 0; i < mixed.size(); i += 2) {
    mixed[i] = static_cast<char>(toupper(static_cast<unsigned char>(mixed[i])));
  }
  struct Case {
    const char* Name;
    std::string Text;
    bool Ok;
  };
  const Case cases[] = {
      {"lower case", abc, true},
      {"upper case", upper, true},
      {"mixed case", mixed, true},
      {"all digits", std::string(64, '0'), true},
      {"all f", std::string(64, 'f'), true},
      {"empty", "", false},
      {"63 digits", abc.substr(0, 63), false},
      {"65 digits", abc + "0", false},
      {"128 digits", abc + abc, false},
      {"32 digits", abc.substr(0, 32), false},
      {"g at the end", abc.substr(0, 63) + "g", false},
      {"G at the start", "G" + abc.substr(1), false},
      {"leading space", " " + abc.substr(1), false},
      {"space before", " " + abc, false},
      {"space after", abc + " ", false},
      {"newline after", abc + "\n", false},
      {"0x prefix", "0x" + abc.substr(2), false},
      {"dash inside", abc.substr(0, 32) + "-" + abc.substr(33), false},
      {"colon pairs", "ba:78:16:bf" + abc.substr(11), false},
      {"GBK byte", abc.substr(0, 62) + "\xa3\xb0", false},  // a full-width digit
      {"high byte", abc.substr(0, 63) + "\xff", false},
  };
  for (const Case& c : cases) {
    TSha256Digest digest = Filled(0xEE);
    EXPECT_EQ(c.Ok, ParseSha256(c.Text.c_str(), &digest)) << c.Name;
    if (c.Ok) {
      std::string lower = c.Text;
      for (char& ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
      EXPECT_EQ(lower, Hex(digest)) << c.Name;
    } else {
      EXPECT_EQ(Filled(0xEE), digest) << c.Name << ": a refused text writes nothing";
    }
  }
  TSha256Digest digest = Filled(0xEE);
  EXPECT_FALSE(ParseSha256(nullptr, &digest));
}

TEST(Sha256Attribute, OnlyAWellFormedEqualValueMatches) {
  TSha256Digest abc;
  ASSERT_TRUE(ParseSha256(Vectors()[1].Hex, &abc));
  std::string upper = Vectors()[1].Hex;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  std::string lastDigitChanged = Vectors()[1].Hex;
  lastDigitChanged.back() = 'c';
  std::string firstDigitChanged = Vectors()[1].Hex;
  firstDigitChanged[0] = 'c';
  std::string longer = std::string(Vectors()[1].Hex) + "00";
  struct Case {
    const char* Name;
    const char* Text;
    bool Matches;
  };
  const Case cases[] = {
      {"same, lower case", Vectors()[1].Hex, true},
      {"same, upper case", upper.c_str(), true},
      {"last digit changed", lastDigitChanged.c_str(), false},
      {"first digit changed", firstDigitChanged.c_str(), false},
      {"another file's value", Vectors()[0].Hex, false},
      {"right value and more", longer.c_str(), false},
      {"missing attribute", nullptr, false},
      {"empty", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Matches, Sha256Matches(c.Text, abc)) << c.Name;
  // A value that is no hash matches no digest, not even one of zeros.
  EXPECT_FALSE(Sha256Matches("", Filled(0)));
  EXPECT_FALSE(Sha256Matches(std::string(63, '0').c_str(), Filled(0)));
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

TEST_F(HashFileTest, KnownVectorsAndOnePumpCallPerBlock) {
  for (const Vector& v : Vectors()) {
    std::string path = Put("vector.bin", v.Message);
    TFakeRunHost pump;
    TSha256Digest digest = Filled(0xEE);
    ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &digest, &pump))
        << v.Name;
    EXPECT_EQ(v.Hex, Hex(digest)) << v.Name;
    size_t blocks = (v.Message.size() + kHashFileBlockSize - 1) / kHashFileBlockSize;
    EXPECT_EQ(static_cast<int>(blocks), pump.Pumps) << v.Name;
  }
}

TEST_F(HashFileTest, BlockBordersAndNoPump) {
  // Sizes on and beside a block border: a file of whole blocks gets no extra
  // call for the empty read that ends it.
  const size_t sizes[] = {1, kHashFileBlockSize - 1, kHashFileBlockSize, kHashFileBlockSize + 1,
                          2 * kHashFileBlockSize, 3 * kHashFileBlockSize + 17};
  for (size_t size : sizes) {
    std::string content = FaultBody(size);
    std::string path = Put("border.bin", content);
    TFakeRunHost pump;
    TSha256Digest fromFile, streamed;
    ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &fromFile, &pump));
    TSha256 hash;
    ASSERT_TRUE(hash.Open());
    ASSERT_TRUE(hash.Update(content.data(), content.size()));
    ASSERT_TRUE(hash.Finish(&streamed));
    EXPECT_EQ(Hex(streamed), Hex(fromFile)) << size;
    EXPECT_EQ(static_cast<int>((size + kHashFileBlockSize - 1) / kHashFileBlockSize), pump.Pumps)
        << size;

    TSha256Digest withoutPump = Filled(0xEE);
    ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &withoutPump, nullptr));
    EXPECT_EQ(Hex(streamed), Hex(withoutPump)) << size;
  }
}

TEST_F(HashFileTest, PumpStopsTheReadAndNoDigestIsGiven) {
  std::string path = Put("million.bin", Vectors()[3].Message);  // 16 blocks
  for (int stopAt : {1, 2, 16}) {
    TFakeRunHost pump;
    pump.StopAtPump = stopAt;
    TSha256Digest digest = Filled(0xEE);
    EXPECT_EQ(kHashFileStopped, HashFileSha256(path.c_str(), &digest, &pump))
        << stopAt;
    EXPECT_EQ(stopAt, pump.Pumps) << "no block is read after the pump says stop";
    EXPECT_EQ(Filled(0xEE), digest) << stopAt;
  }
}

// The pump a window gives: it drains the queue, so that a message posted
// while the file is read is handled before the hash is done.
TEST_F(HashFileTest, PumpThatDrainsTheQueueSeesPostedMessages) {
  std::string path = Put("million.bin", Vectors()[3].Message);
  int handled = 0;
  TFakeRunHost drain;
  drain.OnPump = [&handled] {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_APP + 7) ++handled;
    }
  };
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 0, 0));
  TSha256Digest digest;
  ASSERT_EQ(kHashFileOk, HashFileSha256(path.c_str(), &digest, &drain));
  EXPECT_EQ(1, handled);
  EXPECT_EQ(Vectors()[3].Hex, Hex(digest));
}

TEST_F(HashFileTest, FilesThatCannotBeRead) {
  TSha256Digest digest = Filled(0xEE);
  TFakeRunHost pump;
  EXPECT_EQ(kHashFileOpenFailed,
            HashFileSha256(Dir.File("missing.bin").c_str(), &digest, &pump));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError()) << "the cause stays readable";
  EXPECT_EQ(kHashFileOpenFailed,
            HashFileSha256(Dir.Path().c_str(), &digest, &pump))
      << "a folder";

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
  ASSERT_EQ(kHashFileOk,
            HashFileSha256(TestKeyFile("package.bin").c_str(), &digest, nullptr));
  EXPECT_TRUE(Sha256Matches(value.c_str(), digest));
  EXPECT_EQ(value, Hex(digest)) << "the script writes lower case";
}

}  // namespace
