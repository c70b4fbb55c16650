// The catalogue archive "InstallFiles.zip": which of its entries are the
// catalogue and its signature, and reading them into memory within bounds
// that a hostile archive cannot stretch. Portable: the fuzzers use it too.
#pragma once

#include <cstdint>
#include <string>

#include "zip/unzip.h"

// Names of the catalogue archive on the server and of its member.
constexpr const char* kCatalogueArchive = "InstallFiles.zip";
constexpr const char* kCatalogueMember = "InstallFiles.xml";

// A catalogue of every library in the country is a few megabytes. A member
// recorded as larger is not extracted: a small archive could otherwise fill
// the disk or the memory (a megabyte of zeros deflates to a kilobyte).
constexpr uint32_t kCatalogueMaxSize = 64u << 20;
// An RSA signature is as long as its key's modulus: 512 bytes at 4096 bits.
constexpr uint32_t kCatalogueSignatureMaxSize = 4096;

// Index of the first entry, in the archive's order, whose stored name equals
// `member` with letter case ignored, and its information in *info; -1 when
// there is none. The stored name carries any folder, so an entry in a
// folder never matches: the member must lie at the archive's top level.
int FindArchiveMember(ZipHandle zip, const char* member, ZipEntryInfo* info);

// Reads entry `index` (its information `info` from FindArchiveMember) into
// *bytes. False, with *bytes empty, when the entry's recorded size is over
// maxSize, or when the extraction does not end cleanly (unreadable, damaged
// or CRC-failing data): a damaged catalogue is no catalogue. Never holds more
// than the recorded size, whatever the entry's data does.
bool ReadArchiveMember(ZipHandle zip, int index, const ZipEntryInfo& info, uint32_t maxSize,
                       std::string* bytes);
