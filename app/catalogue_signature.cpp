#include "app/catalogue_signature.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/package_hash.h"
#include "platform/win32_handles.h"

namespace {

const char kPemBegin[] = "-----BEGIN PUBLIC KEY-----";
const char kPemEnd[] = "-----END PUBLIC KEY-----";
const DWORD kRsaPublicMagic = 0x31415352;  // "RSA1" in a PUBLICKEYBLOB

bool IsPemSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/' || c == '=';
}

// The DER bytes inside the one "PUBLIC KEY" block of `pem`. CryptStringToBinaryA
// with CRYPT_STRING_BASE64HEADER would take any "-----BEGIN ...-----" line,
// a private key or a certificate as well, so the armour is checked here and
// only the base64 body is handed on.
bool PublicKeyDer(const char* pem, size_t pemLength, std::vector<BYTE>* der) {
  if (!pem || pemLength == 0 || pemLength > kCatalogueKeyMaxPemLength) return false;
  const char* begin = pem;
  const char* end = pem + pemLength;
  while (begin < end && IsPemSpace(*begin)) ++begin;
  while (end > begin && IsPemSpace(end[-1])) --end;
  const size_t beginLength = sizeof(kPemBegin) - 1;
  const size_t endLength = sizeof(kPemEnd) - 1;
  if (static_cast<size_t>(end - begin) < beginLength + endLength) return false;
  if (memcmp(begin, kPemBegin, beginLength) != 0) return false;
  if (memcmp(end - endLength, kPemEnd, endLength) != 0) return false;
  const char* body = begin + beginLength;
  const char* bodyEnd = end - endLength;
  // Only base64 and line breaks in between: a second block or a header line
  // ("Proc-Type:", as in an encrypted key) makes the text no public key.
  bool hasDigits = false;
  for (const char* p = body; p < bodyEnd; ++p) {
    if (IsBase64Char(*p)) {
      hasDigits = true;
    } else if (!IsPemSpace(*p)) {
      return false;
    }
  }
  // A length of 0 would make CryptStringToBinaryA read up to a terminator.
  if (!hasDigits) return false;
  DWORD bodyLength = static_cast<DWORD>(bodyEnd - body);
  DWORD size = 0;
  if (!CryptStringToBinaryA(body, bodyLength, CRYPT_STRING_BASE64, nullptr, &size, nullptr,
                            nullptr) ||
      size == 0) {
    return false;
  }
  der->resize(size);
  if (!CryptStringToBinaryA(body, bodyLength, CRYPT_STRING_BASE64, der->data(), &size, nullptr,
                            nullptr)) {
    return false;
  }
  der->resize(size);
  return size > 0;
}

// The exact size of an RSA modulus in bits, read from the key's DER
// RSAPublicKey through CryptoAPI's PUBLICKEYBLOB form (header, RSAPUBKEY,
// modulus little-endian). 0 when the key cannot be read. The blob's bitlen
// counts whole bytes, so the top byte is looked at to tell 2047 from 2048.
unsigned ModulusBits(const CRYPT_BIT_BLOB& publicKey) {
  if (publicKey.cUnusedBits != 0) return 0;
  void* decoded = nullptr;
  DWORD blobSize = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, publicKey.pbData,
                           publicKey.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded,
                           &blobSize)) {
    return 0;
  }
  TLocalMemory blob(decoded);
  const size_t headerSize = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
  if (blobSize < headerSize) return 0;
  const BYTE* bytes = static_cast<const BYTE*>(blob.Get());
  RSAPUBKEY rsa;
  memcpy(&rsa, bytes + sizeof(BLOBHEADER), sizeof(rsa));
  size_t modulusLength = (rsa.bitlen + 7) / 8;
  if (rsa.magic != kRsaPublicMagic || blobSize - headerSize < modulusLength) return 0;
  const BYTE* modulus = bytes + headerSize;
  for (size_t i = modulusLength; i-- > 0;) {
    if (!modulus[i]) continue;
    unsigned bits = static_cast<unsigned>(i) * 8;
    for (BYTE top = modulus[i]; top; top >>= 1) ++bits;
    return bits;
  }
  return 0;
}

// A catalogue key imported into a verify-only provider context.
class TImportedKey {
 public:
  bool Import(const char* pem, size_t pemLength);
  bool Verify(const void* data, size_t length, const void* signature, size_t signatureLength);
  unsigned Bits() const { return ModulusBitCount; }

 private:
  TCryptProv Provider;  // declared first: the key must go before it
  TCryptKey Key;
  unsigned ModulusBitCount = 0;
};

bool TImportedKey::Import(const char* pem, size_t pemLength) {
  std::vector<BYTE> der;
  if (!PublicKeyDer(pem, pemLength, &der)) return false;
  // Handles and blocks are taken over only on success: what a failed call
  // leaves in its output is not documented, and must not reach an owner.
  void* decoded = nullptr;
  DWORD decodedSize = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(),
                           static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           &decoded, &decodedSize)) {
    return false;
  }
  TLocalMemory infoBlock(decoded);
  CERT_PUBLIC_KEY_INFO* info = static_cast<CERT_PUBLIC_KEY_INFO*>(infoBlock.Get());
  if (!info->Algorithm.pszObjId || strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) != 0) {
    return false;
  }
  ModulusBitCount = ModulusBits(info->PublicKey);
  if (ModulusBitCount < kCatalogueKeyMinBits || ModulusBitCount > kCatalogueKeyMaxBits) {
    return false;
  }
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return false;
  }
  Provider.Reset(provider);
  HCRYPTKEY key = 0;
  if (!CryptImportPublicKeyInfo(Provider.Get(), X509_ASN_ENCODING, info, &key)) return false;
  Key.Reset(key);
  return true;
}

bool TImportedKey::Verify(const void* data, size_t length, const void* signature,
                           size_t signatureLength) {
  // A PKCS#1 signature is exactly as long as the modulus; anything else is
  // cut short or padded, whatever the provider would make of it.
  if (!Key.IsOpen() || !signature || signatureLength != (ModulusBitCount + 7) / 8) return false;
  if (!data && length) return false;
  HCRYPTHASH created = 0;
  if (!CryptCreateHash(Provider.Get(), CALG_SHA_256, 0, 0, &created)) return false;
  TCryptHash hash(created);
  if (!HashBytes(hash.Get(), data, length)) return false;
  // CryptoAPI reads signatures little-endian; openssl writes them big-endian.
  const BYTE* given = static_cast<const BYTE*>(signature);
  std::vector<BYTE> reversed(given, given + signatureLength);
  std::reverse(reversed.begin(), reversed.end());
  return CryptVerifySignatureA(hash.Get(), reversed.data(), static_cast<DWORD>(reversed.size()),
                               Key.Get(), nullptr, 0) != FALSE;
}

}  // namespace

bool IsUsableCatalogueKey(const char* pem, size_t pemLength, unsigned* modulusBits) {
  TImportedKey key;
  if (!key.Import(pem, pemLength)) return false;
  if (modulusBits) *modulusBits = key.Bits();
  return true;
}

bool VerifyCatalogueSignature(const char* pem, size_t pemLength, const void* data, size_t length,
                              const void* signature, size_t signatureLength) {
  TImportedKey key;
  return key.Import(pem, pemLength) && key.Verify(data, length, signature, signatureLength);
}

bool VerifyCatalogueSignatures(const TCatalogueKey* keys, size_t keyCount, const void* data,
                               size_t length, const std::vector<std::string>& signatures) {
  for (size_t k = 0; k < keyCount; ++k) {
    TImportedKey key;
    // An unusable key is no reason to stop: another may still vouch.
    if (!keys || !key.Import(keys[k].Pem, keys[k].Length)) continue;
    for (const std::string& signature : signatures) {
      if (key.Verify(data, length, signature.data(), signature.size())) return true;
    }
  }
  return false;
}
