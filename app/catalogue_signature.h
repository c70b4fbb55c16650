// The signature that vouches for the catalogue. The catalogue comes over
// plain HTTP and names programs that we run, so a build made with public
// keys (one to kCatalogueMaxKeys) accepts only a catalogue whose exact bytes
// were signed with the private half of one of them:
//
//   openssl dgst -sha256 -sign KEY -out InstallFiles.xml.sig InstallFiles.xml
//
// that is RSA PKCS#1 v1.5 over SHA-256, the signature's bytes big-endian.
// The key is the PEM text that `openssl pkey -pubout` writes (a
// SubjectPublicKeyInfo, "-----BEGIN PUBLIC KEY-----"), RSA only, of
// kCatalogueKeyMinBits to kCatalogueKeyMaxBits. Every step is CryptoAPI's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The archive members beside the catalogue that may hold its signatures, one
// per signing key: a vendor who replaces a key signs with the old and the new
// one for a while. The first is the one every signed catalogue has.
constexpr const char* kCatalogueSignatureMember = "InstallFiles.xml.sig";
constexpr const char* kCatalogueSignatureMembers[] = {
    "InstallFiles.xml.sig", "InstallFiles.xml.sig2", "InstallFiles.xml.sig3", "InstallFiles.xml.sig4"};
// A build carries one to this many keys.
constexpr size_t kCatalogueMaxKeys = 4;

// A public key that catalogues may be signed with: PEM text as
// `openssl pkey -pubout` writes it, Length bytes, no terminator needed.
struct TCatalogueKey {
  const char* Pem = nullptr;
  size_t Length = 0;
};
// Modulus sizes accepted: smaller keys are within reach of a determined
// forger; larger ones are no key we make and would only slow the check.
constexpr unsigned kCatalogueKeyMinBits = 2048;
constexpr unsigned kCatalogueKeyMaxBits = 4096;
// A longer key text is refused unread: a 4096-bit key takes about 800 bytes.
constexpr size_t kCatalogueKeyMaxPemLength = 16384;

// Tells whether `pem` (pemLength bytes, no terminator needed) is a key that
// VerifyCatalogueSignature can use. On success *modulusBits (may be null)
// gets the key's size. False for anything but one PEM block "PUBLIC KEY"
// (white space around it allowed) holding an RSA SubjectPublicKeyInfo whose
// modulus has kCatalogueKeyMinBits to kCatalogueKeyMaxBits bits, and when
// CryptoAPI cannot import it.
bool IsUsableCatalogueKey(const char* pem, size_t pemLength, unsigned* modulusBits);

// True only when `signature` (signatureLength bytes, big-endian, as openssl
// writes it) is the RSA PKCS#1 v1.5 SHA-256 signature of the `length` bytes
// at `data`, made with the private half of the key `pem`. False for a key
// that IsUsableCatalogueKey refuses, for a signature whose length is not the
// key's modulus length (empty, truncated), for a signature of other bytes or
// by another key, and when any CryptoAPI call fails. Nothing is kept between
// calls and nothing here shows UI.
bool VerifyCatalogueSignature(const char* pem, size_t pemLength, const void* data, size_t length,
                              const void* signature, size_t signatureLength);

// True when at least one of `signatures` is a valid signature (as for
// VerifyCatalogueSignature) of the `length` bytes at `data` by at least one
// of the keyCount keys. Keys that IsUsableCatalogueKey refuses and
// signatures that are malformed (empty, cut short, of other bytes) are
// passed over; they never end the search. False with no keys or no
// signatures.
bool VerifyCatalogueSignatures(const TCatalogueKey* keys, size_t keyCount, const void* data,
                               size_t length, const std::vector<std::string>& signatures);
