// Where the program remembers the highest catalogue serial it has accepted,
// so that a mirror cannot hand it an older signed catalogue after a newer one
// was seen. The value lives in the machine's registry, not the user's: the
// program runs as administrator for every user of the PC, and one user must
// not be able to wind another's state back.
#pragma once

#include <windows.h>

#include <cstdint>

// The product's place: HKEY_LOCAL_MACHINE\Software\InstallZelm, value
// "CatalogueSerial", REG_SZ in decimal.
constexpr const char* kSerialStoreKey = "Software\\InstallZelm";
constexpr const char* kSerialStoreValue = "CatalogueSerial";

class TCatalogueSerialStore {
 public:
  // The store under `root`\`subKey` (the key is created on the first Keep).
  // `root` is a predefined key (HKEY_LOCAL_MACHINE for the program, a test's
  // own place for the tests) and is not owned; `subKey` must outlive this.
  TCatalogueSerialStore(HKEY root, const char* subKey) : Root(root), SubKey(subKey) {}

  // The highest serial accepted so far. A missing key or value, a value of
  // another type than REG_SZ, or text that is no serial (ParseCatalogueSerial)
  // all read as 0: the first catalogue ever seen is then accepted.
  uint64_t Load() const;

  // Records `serial` as accepted unless the stored one is higher: the value
  // only ever goes up. True when the stored value is now at least `serial`;
  // false when the key cannot be created or written (the caller carries on:
  // a failed write must never stop a run).
  bool Keep(uint64_t serial);

 private:
  HKEY Root;            // not owned
  const char* SubKey;   // not owned
};
