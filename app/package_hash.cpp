#include "app/package_hash.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "app/run_host.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool operator==(const TSha256Digest& a, const TSha256Digest& b) {
  return memcmp(a.Bytes, b.Bytes, kSha256Size) == 0;
}

bool TSha256::Open() {
  Hash.Close();
  // The handles are taken over only on success: what a failed call leaves in
  // its output is not documented, and must not reach an owner's Close.
  if (!Provider.IsOpen()) {
    // A verify-only context needs no key container, so it works for a user
    // without a profile and leaves nothing behind.
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
      return false;
    }
    Provider.Reset(provider);
  }
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(Provider.Get(), CALG_SHA_256, 0, 0, &hash)) return false;
  Hash.Reset(hash);
  return true;
}

bool HashBytes(HCRYPTHASH hash, const void* data, size_t length) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  // CryptHashData counts in DWORDs; a larger block goes in several calls.
  while (length > 0) {
    DWORD piece = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
    if (!CryptHashData(hash, bytes, piece, 0)) return false;
    bytes += piece;
    length -= piece;
  }
  return true;
}

bool TSha256::Update(const void* data, size_t length) {
  if (!Hash.IsOpen()) return false;
  if (HashBytes(Hash.Get(), data, length)) return true;
  Hash.Close();
  return false;
}

bool TSha256::Finish(TSha256Digest* digest) {
  if (!Hash.IsOpen()) return false;
  TSha256Digest value;
  DWORD size = sizeof(value.Bytes);
  bool ok = CryptGetHashParam(Hash.Get(), HP_HASHVAL, value.Bytes, &size, 0) &&
            size == sizeof(value.Bytes);
  Hash.Close();
  if (ok) *digest = value;
  return ok;
}

bool ParseSha256(const char* text, TSha256Digest* digest) {
  if (!text) return false;
  TSha256Digest value;
  for (size_t i = 0; i < kSha256Size; ++i) {
    // A terminator inside the 64 digits is not a digit, so a short text
    // stops here before anything past it is read.
    int high = HexValue(text[2 * i]);
    if (high < 0) return false;
    int low = HexValue(text[2 * i + 1]);
    if (low < 0) return false;
    value.Bytes[i] = static_cast<unsigned char>(high * 16 + low);
  }
  if (text[2 * kSha256Size] != 0) return false;
  *digest = value;
  return true;
}

bool Sha256Matches(const char* text, const TSha256Digest& digest) {
  TSha256Digest expected;
  return ParseSha256(text, &expected) && expected == digest;
}

void FormatSha256(const TSha256Digest& digest, char (&text)[2 * kSha256Size + 1]) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < kSha256Size; ++i) {
    text[2 * i] = kDigits[digest.Bytes[i] >> 4];
    text[2 * i + 1] = kDigits[digest.Bytes[i] & 15];
  }
  text[2 * kSha256Size] = 0;
}

THashFileResult HashFileSha256(const char* path, TSha256Digest* digest, TRunHost* host) {
  TKernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsOpen()) return kHashFileOpenFailed;
  return HashOpenFileSha256(file.Get(), digest, host);
}

THashFileResult HashOpenFileSha256(HANDLE file, TSha256Digest* digest, TRunHost* host) {
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return kHashFileReadFailed;
  TSha256 hash;
  if (!hash.Open()) return kHashFileHashFailed;
  std::vector<char> block(kHashFileBlockSize);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, block.data(), kHashFileBlockSize, &got, nullptr)) {
      return kHashFileReadFailed;
    }
    if (got == 0) break;
    if (!hash.Update(block.data(), got)) return kHashFileHashFailed;
    if (host && !host->KeepGoing()) return kHashFileStopped;
  }
  return hash.Finish(digest) ? kHashFileOk : kHashFileHashFailed;
}
