// The catalogue signature check against keys and signatures that openssl
// made for this run (tests/keys/make_keys.sh): which key texts are usable,
// which signatures verify, and the archive that scripts/sign-catalogue makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/catalogue_freshness.h"
#include "app/catalogue_signature.h"
#include "app_test_keys.h"
#include "support/test_times.h"
#include "zip/unzip.h"

namespace {

bool Usable(const std::string& pem, unsigned* bits = nullptr) {
  return IsUsableCatalogueKey(pem.data(), pem.size(), bits);
}

bool Verify(const std::string& pem, const std::string& data, const std::string& signature) {
  return VerifyCatalogueSignature(pem.data(), pem.size(), data.data(), data.size(),
                                  signature.data(), signature.size());
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class CatalogueSignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IZ_REQUIRE_TEST_KEYS();
    Good = ReadTestKeyFile("good.pub.pem");
    Other = ReadTestKeyFile("other.pub.pem");
    Catalogue = ReadTestKeyFile("catalogue.xml");
    Signature = ReadTestKeyFile("catalogue.sig");
    ASSERT_NE("", Good);
    ASSERT_NE("", Other);
    ASSERT_NE("", Catalogue);
    ASSERT_EQ(256u, Signature.size());
  }
  std::string Good, Other, Catalogue, Signature;
};

// Each key file with a signature that openssl checked against that key when
// the fixture made it: what is refused is the key, and with it the signature.
TEST_F(CatalogueSignatureTest, KeyFilesOpensslWrites) {
  struct Case {
    const char* File;
    unsigned Bits;  // 0: not usable
    const char* Signature;
  };
  const Case cases[] = {
      {"good.pub.pem", 2048, "catalogue.sig"},
      {"other.pub.pem", 2048, "catalogue.other.sig"},
      {"big.pub.pem", 4096, "catalogue.big.sig"},
      {"short.pub.pem", 0, "catalogue.short.sig"},  // 2047 bits: as many bytes as 2048
      {"small.pub.pem", 0, "catalogue.small.sig"},  // 1024 bits
      {"huge.pub.pem", 0, "catalogue.huge.sig"},    // 4104 bits
      {"ec.pub.pem", 0, "catalogue.ec.sig"},        // P-256
      {"ed25519.pub.pem", 0, "catalogue.sig"},
      {"good.pem", 0, "catalogue.sig"},       // "PRIVATE KEY"
      {"good.cert.pem", 0, "catalogue.sig"},  // "CERTIFICATE" holding the good key
      {"good.rsa.pem", 0, "catalogue.sig"},   // "RSA PUBLIC KEY", no SubjectPublicKeyInfo
      {"catalogue.xml", 0, "catalogue.sig"},
      {"catalogue.sig", 0, "catalogue.sig"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    std::string pem = ReadTestKeyFile(c.File), signature = ReadTestKeyFile(c.Signature);
    ASSERT_NE("", pem);
    ASSERT_NE("", signature);
    unsigned bits = 12345;
    EXPECT_EQ(c.Bits != 0, Usable(pem, &bits));
    EXPECT_EQ(c.Bits ? c.Bits : 12345u, bits);
    EXPECT_EQ(c.Bits != 0, Verify(pem, Catalogue, signature));
  }
}

TEST_F(CatalogueSignatureTest, KeyTextVariants) {
  std::string body = Good.substr(Good.find('\n') + 1);
  body = body.substr(0, body.find("-----END"));
  std::string tooLong = std::string(kCatalogueKeyMaxPemLength - Good.size() + 1, '\n') + Good;
  struct Case {
    const char* Name;
    std::string Text;
    bool Usable;
  };
  const Case cases[] = {
      {"as written", Good, true},
      {"CRLF line ends", Replace(Good, "\n", "\r\n"), true},
      {"no final line end", Good.substr(0, Good.size() - 1), true},
      {"white space around", "\n\n  \t" + Good + "\r\n\n ", true},
      {"longest allowed", tooLong.substr(1), true},
      {"one byte too long", tooLong, false},
      {"empty", "", false},
      {"garbage", "hello, this is no key\n", false},
      {"body only", body, false},
      {"armour only", "-----BEGIN PUBLIC KEY-----\n-----END PUBLIC KEY-----\n", false},
      {"end line missing", Good.substr(0, Good.find("-----END")), false},
      {"body cut in half", Good.substr(0, Good.size() / 2) + "\n-----END PUBLIC KEY-----\n", false},
      {"bad character in the body", Replace(Good, "\n-----END", "*\n-----END"), false},
      {"text before the key", "key:\n" + Good, false},
      {"text after the key", Good + "more\n", false},
      {"two keys", Good + Other, false},
      {"lower-case armour", Replace(Good, "PUBLIC KEY", "public key"), false},
      {"RSA armour", Replace(Good, "PUBLIC KEY", "RSA PUBLIC KEY"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.Usable, Usable(c.Text)) << c.Name;
    EXPECT_EQ(c.Usable, Verify(c.Text, Catalogue, Signature)) << c.Name;
  }
  EXPECT_FALSE(IsUsableCatalogueKey(nullptr, 0, nullptr));
  EXPECT_FALSE(IsUsableCatalogueKey(nullptr, 100, nullptr));
  // The length given is all that counts: the text needs no terminator, and a
  // length that stops short of the end line refuses the key.
  const std::string unterminated = Good + 'x';
  EXPECT_TRUE(IsUsableCatalogueKey(unterminated.data(), Good.size(), nullptr));
  EXPECT_FALSE(IsUsableCatalogueKey(unterminated.data(), Good.size() + 1, nullptr));
  EXPECT_FALSE(IsUsableCatalogueKey(Good.c_str(), Good.size() - 8, nullptr));
}

TEST_F(CatalogueSignatureTest, SignaturesAndData) {
  auto flip = [](std::string bytes, size_t at, char bit) {
    bytes[at] ^= bit;
    return bytes;
  };
  std::string reversed(Signature.rbegin(), Signature.rend());
  struct Case {
    const char* Name;
    std::string Key, Data, Signature;
    bool Ok;
  };
  const Case cases[] = {
      {"good", Good, Catalogue, Signature, true},
      {"first byte changed", Good, flip(Catalogue, 0, 1), Signature, false},
      {"middle byte changed", Good, flip(Catalogue, Catalogue.size() / 2, -128), Signature, false},
      {"last byte changed", Good, flip(Catalogue, Catalogue.size() - 1, 1), Signature, false},
      {"byte added", Good, Catalogue + " ", Signature, false},
      {"byte removed", Good, Catalogue.substr(0, Catalogue.size() - 1), Signature, false},
      {"no data", Good, "", Signature, false},
      {"checked with another key", Other, Catalogue, Signature, false},
      {"one bit flipped", Good, Catalogue, flip(Signature, 100, 4), false},
      {"bytes reversed", Good, Catalogue, reversed, false},
      {"truncated", Good, Catalogue, Signature.substr(0, 255), false},
      {"byte appended", Good, Catalogue, Signature + '\0', false},
      {"zero byte in front", Good, Catalogue, '\0' + Signature, false},
      {"garbage key", "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n", Catalogue,
       Signature, false},
  };
  for (const Case& c : cases) {
    ASSERT_NE("", c.Key) << c.Name;
    EXPECT_EQ(c.Ok, Verify(c.Key, c.Data, c.Signature)) << c.Name;
  }
  EXPECT_FALSE(VerifyCatalogueSignature(Good.data(), Good.size(), Catalogue.data(),
                                        Catalogue.size(), nullptr, Signature.size()));
  EXPECT_FALSE(VerifyCatalogueSignature(Good.data(), Good.size(), nullptr, Catalogue.size(),
                                        Signature.data(), Signature.size()));
}

// The archive that scripts/sign-catalogue made: both members at the top
// level, read with our own zip reader, and a signature that verifies.
TEST_F(CatalogueSignatureTest, ArchiveFromTheSigningScriptVerifies) {
  ZipHandle zip = ZipOpenFile(TestKeyFile("signed.zip").c_str(), nullptr);
  ASSERT_NE(nullptr, zip);
  auto member = [zip](const char* name) {
    int index = -1;
    ZipEntryInfo info;
    if (ZipFindEntry(zip, name, false, &index, &info) != ZipOk) return std::string("missing");
    std::string data(static_cast<size_t>(info.UncompressedSize), '\0');
    if (ZipExtractToMemory(zip, index, &data[0], static_cast<unsigned>(data.size())) != ZipOk) {
      return std::string("unreadable");
    }
    return data;
  };
  std::string xml = member("InstallFiles.xml");
  std::string signature = member(kCatalogueSignatureMember);
  ZipEntryInfo count;
  ASSERT_EQ(ZipOk, ZipGetEntry(zip, -1, &count));
  EXPECT_EQ(2, count.Index);
  ZipClose(zip);
  // Stored under the fixed name, unchanged but for the two attributes that
  // the script adds to the root's start tag: expires (30 days from now by
  // default) and serial (the Unix time of signing by default).
  const std::string root = "<Root";
  size_t at = xml.find(root);
  ASSERT_NE(std::string::npos, at);
  size_t end = xml.find('>', at);
  std::string added = xml.substr(at + root.size(), end - at - root.size());
  EXPECT_EQ(Catalogue, xml.substr(0, at + root.size()) + xml.substr(end)) << xml;
  char expires[32] = {}, serial[32] = {};
  ASSERT_EQ(2, sscanf(added.c_str(), " expires=\"%20[^\"]\" serial=\"%20[0-9]\"", expires, serial))
      << added;
  uint64_t expiry = 0, number = 0;
  ASSERT_TRUE(ParseCatalogueExpiry(expires, &expiry)) << expires;
  ASSERT_TRUE(ParseCatalogueSerial(serial, &number)) << serial;
  const uint64_t unixNow = static_cast<uint64_t>(time(nullptr));
  const uint64_t day = 86400;
  EXPECT_GT(expiry, static_cast<uint64_t>(UnixTicks(unixNow + 29 * day)));
  EXPECT_LT(expiry, static_cast<uint64_t>(UnixTicks(unixNow + 31 * day)));
  EXPECT_GT(number + day, unixNow);  // signed in this run, not long ago
  EXPECT_LT(number, unixNow + 60);
  ASSERT_EQ(256u, signature.size());
  EXPECT_TRUE(Verify(Good, xml, signature));
  EXPECT_FALSE(Verify(Other, xml, signature));
}

// Any one signature by any one of the build's keys vouches for the
// catalogue; unusable keys and malformed signatures are passed over.
TEST_F(CatalogueSignatureTest, AnyOfSeveralKeysAndSignatures) {
  const std::string big = ReadTestKeyFile("big.pub.pem"), ec = ReadTestKeyFile("ec.pub.pem");
  const std::string otherSig = ReadTestKeyFile("catalogue.other.sig");
  const std::string bigSig = ReadTestKeyFile("catalogue.big.sig");
  const std::string sha1Sig = ReadTestKeyFile("catalogue.sha1.sig");  // the good key over SHA-1
  ASSERT_EQ(256u, otherSig.size());
  ASSERT_EQ(512u, bigSig.size());
  ASSERT_EQ(256u, sha1Sig.size());
  struct Case {
    const char* Why;
    std::vector<std::string> Keys;
    std::vector<std::string> Signatures;
    bool Trusted;
  } cases[] = {
      {"one key, its signature", {Good}, {Signature}, true},
      {"the second key's signature alone", {Good, Other}, {otherSig}, true},
      {"the first key's, behind another key's", {Good, Other}, {otherSig, Signature}, true},
      {"a 4096-bit key among 2048-bit ones", {Good, Other, big}, {bigSig}, true},
      {"malformed ones first", {Good}, {"", Signature.substr(0, 128), Signature + "x", Signature},
       true},
      {"an unusable key first", {ec, Good}, {Signature}, true},
      {"four keys, the last one signed", {ec, Other, big, Good}, {sha1Sig, Signature}, true},
      {"no signature", {Good, Other}, {}, false},
      {"no key", {}, {Signature}, false},
      {"signatures by keys not built in", {Good}, {otherSig, bigSig}, false},
      {"the right key over another digest", {Good}, {sha1Sig}, false},
      {"only malformed ones", {Good, Other}, {"", std::string(256, '\0'), Signature.substr(1)},
       false},
  };
  for (const Case& c : cases) {
    std::vector<TCatalogueKey> keys;
    for (const std::string& pem : c.Keys) keys.push_back(TCatalogueKey{pem.data(), pem.size()});
    EXPECT_EQ(c.Trusted, VerifyCatalogueSignatures(keys.data(), keys.size(), Catalogue.data(),
                                                   Catalogue.size(), c.Signatures))
        << c.Why;
    // The same signatures over changed bytes vouch for nothing.
    std::string changed = Catalogue + " ";
    EXPECT_FALSE(VerifyCatalogueSignatures(keys.data(), keys.size(), changed.data(), changed.size(),
                                           c.Signatures))
        << c.Why;
  }
}

}  // namespace
