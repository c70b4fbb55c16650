// Opens the input as an archive in memory, lists every entry and extracts
// each into memory in pieces. Any crash, out-of-bounds read, leak or hang
// is a finding; result codes of any kind are fine.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "zip/unzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two passwords: none, and the one the seed archives use.
  for (const char* password : {static_cast<const char*>(nullptr), "secret"}) {
    ZipHandle zip = ZipOpenMemory(data, static_cast<unsigned>(size), password);
    if (!zip) continue;
    ZipEntryInfo info;
    ZipGetEntry(zip, -1, &info);
    int count = info.Index;
    char buffer[4096];
    for (int i = 0; i < count && i < 64; ++i) {
      ZipGetEntry(zip, i, &info);
      int found = -1;
      ZipFindEntry(zip, info.Name, true, &found, nullptr);
      // Bounded, so a small input that claims gigabytes cannot stall the run.
      for (int piece = 0; piece < 256; ++piece)
        if (ZipExtractToMemory(zip, i, buffer, sizeof buffer) != ZipMore) break;
    }
    ZipGetEntry(zip, count, &info);
    ZipClose(zip);
  }
  return 0;
}
