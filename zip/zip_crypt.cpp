// The traditional zip cipher: keys updated with CRC-32 steps of each plain
// byte, the keystream byte taken from the low half of the third key.
#include "zip/zip_crypt.h"

#include <zlib.h>

namespace {

uint32_t CrcStep(uint32_t crc, unsigned char byte) {
  static const z_crc_t* table = get_crc_table();
  return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void UpdateKeys(ZipKeys& keys, unsigned char plain) {
  keys.Key0 = CrcStep(keys.Key0, plain);
  keys.Key1 = (keys.Key1 + (keys.Key0 & 0xFF)) * 134775813u + 1;
  keys.Key2 = CrcStep(keys.Key2, static_cast<unsigned char>(keys.Key1 >> 24));
}

unsigned char StreamByte(const ZipKeys& keys) {
  uint16_t temp = static_cast<uint16_t>(keys.Key2 | 2);
  return static_cast<unsigned char>((temp * (temp ^ 1u)) >> 8);
}

}  // namespace

void ZipInitKeys(ZipKeys& keys, const char* password) {
  keys = ZipKeys();
  for (const char* p = password ? password : ""; *p; ++p)
    UpdateKeys(keys, static_cast<unsigned char>(*p));
}

void ZipDecrypt(ZipKeys& keys, unsigned char* data, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    data[i] ^= StreamByte(keys);
    UpdateKeys(keys, data[i]);
  }
}

void ZipEncrypt(ZipKeys& keys, unsigned char* data, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char plain = data[i];
    data[i] ^= StreamByte(keys);
    UpdateKeys(keys, plain);
  }
}
