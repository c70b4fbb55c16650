// SHA-256 of package installers, to tell a complete, untouched download from
// anything else the network or a server may hand over. The catalogue gives
// the expected value in an element's "sha256" attribute; the hashing itself
// is the platform's CryptoAPI, never our own code.
#pragma once

#include <cstddef>

#include "app/catalogue.h"
#include "platform/win32_handles.h"

constexpr size_t kSha256Size = 32;
// Bytes read per block by HashFileSha256; the host is pumped after each.
constexpr unsigned kHashFileBlockSize = 65536;

struct TSha256Digest {
  unsigned char Bytes[kSha256Size];
};

bool operator==(const TSha256Digest& a, const TSha256Digest& b);
inline bool operator!=(const TSha256Digest& a, const TSha256Digest& b) { return !(a == b); }

// Adds `length` bytes at `data` to a CryptoAPI hash (CryptHashData, in
// pieces that its DWORD count can hold). False when a piece is refused.
bool HashBytes(HCRYPTHASH hash, const void* data, size_t length);

// A SHA-256 computed piece by piece, as the data arrives.
class TSha256 {
 public:
  // Starts a new hash, dropping one under way. The provider context is kept
  // for the next Open. False when CryptoAPI gives no SHA-256 hash; the
  // object is then closed and Update and Finish fail.
  bool Open();

  // Adds `length` bytes at `data` (null is fine when length is 0). False
  // when the hash is not open or CryptHashData fails; the hash is then
  // closed, so that a later Finish cannot report the value of a part.
  bool Update(const void* data, size_t length);

  // Writes the value of everything added since Open to *digest and closes
  // the hash (Open starts the next one). False, with *digest untouched, when
  // the hash is not open or the value cannot be read.
  bool Finish(TSha256Digest* digest);

  bool IsOpen() const { return Hash.IsOpen(); }

 private:
  TCryptProv Provider;  // declared first: the hash must go before it
  TCryptHash Hash;
};

// Reads the text of a "sha256" attribute: exactly 64 hexadecimal digits,
// either letter case, nothing before, between or after. Writes the 32 bytes
// to *digest and returns true; returns false (digest untouched) for anything
// else, a null text included.
bool ParseSha256(const char* text, TSha256Digest* digest);

// True when `text` is a well-formed "sha256" value equal to `digest`. A
// malformed or missing value matches nothing.
bool Sha256Matches(const char* text, const TSha256Digest& digest);

// Writes the digest as 64 lower-case hexadecimal digits and a terminator,
// as the catalogue carries it.
void FormatSha256(const TSha256Digest& digest, char (&text)[2 * kSha256Size + 1]);

class TRunHost;

enum THashFileResult {
  kHashFileOk = 0,      // *digest holds the file's SHA-256
  kHashFileStopped,     // a cancel or the window gone; the file was not read to its end
  kHashFileOpenFailed,  // the file cannot be opened for reading (missing, locked)
  kHashFileReadFailed,  // ReadFile failed part way
  kHashFileHashFailed,  // CryptoAPI failed
};

// Computes the SHA-256 of the file at `path` (ANSI), reading it in blocks of
// kHashFileBlockSize bytes and asking host->KeepGoing() after every block
// that held data (an empty file asks never); a no stops the hash. `host`
// may be null. *digest is
// written only on kHashFileOk; GetLastError() tells the cause of an open or
// read failure.
THashFileResult HashFileSha256(const char* path, TSha256Digest* digest, TRunHost* host);

// HashFileSha256 on a file that is already open for reading: the hash covers
// the file from its first byte, whatever the file pointer was, and the
// handle's sharing decides whether anyone else can change the file meanwhile.
// Never kHashFileOpenFailed.
THashFileResult HashOpenFileSha256(HANDLE file, TSha256Digest* digest, TRunHost* host);
