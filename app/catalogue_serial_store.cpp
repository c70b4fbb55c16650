#include "app/catalogue_serial_store.h"

#include "app/catalogue_freshness.h"
#include "platform/win32_handles.h"

uint64_t TCatalogueSerialStore::Load() const {
  // Taken over only on success: what a failed open leaves behind is no key.
  HKEY opened = nullptr;
  if (RegOpenKeyExA(Root, SubKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return 0;
  TRegKey key(opened);
  // A serial has at most 19 digits; anything that does not fit is no serial.
  char text[32] = {};
  DWORD type = 0;
  DWORD size = sizeof(text) - 1;
  if (RegQueryValueExA(key.Get(), kSerialStoreValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return 0;
  }
  // REG_SZ data need not end in a terminator; the buffer's spare byte does.
  text[size < sizeof(text) ? size : sizeof(text) - 1] = 0;
  uint64_t serial = 0;
  return ParseCatalogueSerial(text, &serial) ? serial : 0;
}

bool TCatalogueSerialStore::Keep(uint64_t serial) {
  if (Load() >= serial) return true;
  HKEY created = nullptr;
  if (RegCreateKeyExA(Root, SubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &created, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  TRegKey key(created);
  char text[21];
  FormatCatalogueSerial(serial, text);
  return RegSetValueExA(key.Get(), kSerialStoreValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(lstrlenA(text) + 1)) == ERROR_SUCCESS;
}
