// Test helpers for the zip suite: a small archive writer (stored, deflated,
// data descriptors, encryption) whose output tests can then damage, and the
// archives below tests/data/zip.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zip/unzip.h"

struct TestEntry {
  std::string Name;
  std::string Data;
  uint16_t Method = 8;         // 0 stored, 8 deflated, anything else written as stored
  bool Descriptor = false;     // flag bit 3: CRC and sizes after the data
  const char* Password = nullptr;
  uint16_t DosTime = 0x6000;   // 12:00:00
  uint16_t DosDate = 0x50CF;   // 2020-06-15
  uint16_t VersionMadeBy = 0x0014;  // host 0 (DOS), version 2.0
  uint32_t ExternalAttributes = 0x20;
  std::string LocalExtra;  // the central record has no extra field
};

struct TestZip {
  std::string Bytes;
  std::vector<size_t> LocalOffsets;    // of each local header
  std::vector<size_t> DataOffsets;     // of each entry's (possibly encrypted) data
  std::vector<size_t> CentralOffsets;  // of each central record
  size_t EndOffset = 0;                // of the end record
};

// An entry with the given data; the other fields keep their defaults.
TestEntry Entry(const std::string& name, const std::string& data, uint16_t method = 8);

TestZip BuildZip(const std::vector<TestEntry>& entries, const std::string& comment = "");

void Put16(std::string& bytes, size_t at, uint16_t value);
void Put32(std::string& bytes, size_t at, uint32_t value);
uint32_t Crc32(const std::string& data);
std::string Deflate(const std::string& data);
// A "UT" extra block with the given flags and times.
std::string UtExtra(uint8_t flags, const std::vector<int32_t>& times);
// Bytes that compress well and still catch misplaced blocks.
std::string PatternText(size_t length, unsigned seed = 1);

std::string DataPath(const std::string& name);  // tests/data/zip/name
// Extracts an entry into memory with the given piece size; result of the last call.
unsigned ExtractAll(ZipHandle zip, int index, unsigned piece, std::string* out);

// An archive opened over a block of memory, closed at the end of a test.
struct OpenZip {
  explicit OpenZip(const std::string& bytes, const char* password = nullptr)
      : Handle(ZipOpenMemory(bytes.data(), static_cast<unsigned>(bytes.size()), password)) {}
  explicit OpenZip(ZipHandle handle) : Handle(handle) {}
  OpenZip(const OpenZip&) = delete;
  OpenZip& operator=(const OpenZip&) = delete;
  ~OpenZip() {
    if (Handle) ZipClose(Handle);
  }
  ZipHandle Handle;
};

// The text of the most recent result.
std::string RecentText();
