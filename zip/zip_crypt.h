// Traditional zip encryption (the PKWARE stream cipher): three 32-bit keys
// stirred by every plain byte. Only decryption is needed here; Encrypt
// exists so that tests can make protected archives.
#pragma once

#include <cstdint>

struct ZipKeys {
  uint32_t Key0 = 0x12345678;
  uint32_t Key1 = 0x23456789;
  uint32_t Key2 = 0x34567890;
};

// Resets keys and stirs in the password's bytes (null counts as empty).
void ZipInitKeys(ZipKeys& keys, const char* password);
void ZipDecrypt(ZipKeys& keys, unsigned char* data, uint32_t length);
void ZipEncrypt(ZipKeys& keys, unsigned char* data, uint32_t length);
