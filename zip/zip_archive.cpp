// Reading an archive's records: finding the end record, walking the central
// directory and checking local headers. Every offset an archive gives is
// untrusted; sums are 64-bit and every read is bounded by the source.
#include "zip/zip_archive.h"

#include <algorithm>
#include <cstring>

#include "zip/zip_bytes.h"

namespace {

const uint32_t kEndSignature = 0x06054b50;
const uint32_t kCentralSignature = 0x02014b50;
const uint32_t kLocalSignature = 0x04034b50;
const uint32_t kCentralRecordSize = 46;
const uint32_t kLocalHeaderSize = 30;
const uint32_t kEndRecordSize = 22;
const int64_t kEndSearchLimit = 65535;
const uint32_t kSearchBlock = 1028;  // 1024 plus the 4 bytes of overlap
const uint32_t kZip64Marker = 0xFFFFFFFF;  // zip64 archives are not supported

// Finds the end record, scanning backwards in overlapping blocks; gives its
// position from the start of the source, or -1.
int64_t FindEndRecord(ZipSource& source) {
  if (!source.Seek(0, FILE_END)) return -1;
  int64_t size = source.Tell();
  if (size < 4) return -1;
  int64_t floor = size - std::min(size, kEndSearchLimit);
  unsigned char block[kSearchBlock];
  int64_t blockStart = size;
  int64_t blockEnd = size;
  while (blockStart > floor) {
    blockStart = std::max(floor, blockEnd - static_cast<int64_t>(kSearchBlock));
    uint32_t length = static_cast<uint32_t>(blockEnd - blockStart);
    if (!source.ReadAt(blockStart, block, length)) return -1;
    for (int64_t i = static_cast<int64_t>(length) - 4; i >= 0; --i)
      if (Get32(block + i) == kEndSignature) return blockStart + i;
    blockEnd = blockStart + 4;
  }
  return -1;
}

void ParseCentralRecord(const unsigned char* p, ZipCentralRecord& r) {
  r.VersionMadeBy = Get16(p + 4);
  r.VersionNeeded = Get16(p + 6);
  r.Flags = Get16(p + 8);
  r.Method = Get16(p + 10);
  r.DosTime = Get16(p + 12);
  r.DosDate = Get16(p + 14);
  r.Crc = Get32(p + 16);
  r.CompressedSize = Get32(p + 20);
  r.UncompressedSize = Get32(p + 24);
  r.NameLength = Get16(p + 28);
  r.ExtraLength = Get16(p + 30);
  r.CommentLength = Get16(p + 32);
  r.DiskStart = Get16(p + 34);
  r.InternalAttributes = Get16(p + 36);
  r.ExternalAttributes = Get32(p + 38);
  r.LocalHeaderOffset = Get32(p + 42);
}

ZipStatus ReadRecordHere(ZipArchive& archive) {
  unsigned char raw[kCentralRecordSize];
  archive.RecordValid = false;
  if (!archive.Source.ReadAt(archive.PrefixLength + archive.RecordPosition, raw, sizeof raw))
    return ZipStatus::ReadFailure;
  if (Get32(raw) != kCentralSignature) return ZipStatus::BadArchive;
  ParseCentralRecord(raw, archive.Record);
  archive.LocalHeaderPosition = archive.PrefixLength + archive.Record.LocalHeaderOffset;
  archive.RecordValid = true;
  return ZipStatus::Ok;
}

bool SameName(const char* a, const char* b, size_t length, bool ignoreCase) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ignoreCase) {
      if (ca >= 'a' && ca <= 'z') ca -= 32;
      if (cb >= 'a' && cb <= 'z') cb -= 32;
    }
    if (ca != cb) return false;
  }
  return true;
}

}  // namespace

ZipStatus ReadZipArchive(ZipArchive& archive) {
  ZipSource& source = archive.Source;
  int64_t end = FindEndRecord(source);
  unsigned char raw[kEndRecordSize - 4];
  if (end < 0 || !source.ReadAt(end + 4, raw, sizeof raw)) {
    source.Close();
    return ZipStatus::ReadFailure;
  }
  uint16_t disk = Get16(raw), centralDisk = Get16(raw + 2);
  uint16_t entriesHere = Get16(raw + 4), entries = Get16(raw + 6);
  uint32_t centralSize = Get32(raw + 8), centralOffset = Get32(raw + 12);
  if (disk != 0 || centralDisk != 0 || entriesHere != entries || centralSize == kZip64Marker ||
      centralOffset == kZip64Marker ||
      end < static_cast<int64_t>(centralOffset) + static_cast<int64_t>(centralSize)) {
    source.Close();
    return ZipStatus::BadArchive;
  }
  archive.EntryCount = entries;
  archive.CentralOffset = centralOffset;
  archive.PrefixLength = end - (static_cast<int64_t>(centralOffset) + centralSize);
  GoToFirstRecord(archive);  // a bad first record shows when that entry is asked for
  return ZipStatus::Ok;
}

void CloseZipArchive(ZipArchive& archive) {
  archive.Entry.reset();
  archive.Source.Close();
}

ZipStatus GoToFirstRecord(ZipArchive& archive) {
  archive.CurrentIndex = 0;
  archive.RecordPosition = archive.CentralOffset;
  archive.RecordValid = false;
  if (archive.EntryCount == 0) return ZipStatus::EndOfList;
  return ReadRecordHere(archive);
}

ZipStatus GoToNextRecord(ZipArchive& archive) {
  if (!archive.RecordValid ||
      static_cast<uint32_t>(archive.CurrentIndex) + 1 >= archive.EntryCount)
    return ZipStatus::EndOfList;
  const ZipCentralRecord& r = archive.Record;
  archive.RecordPosition += kCentralRecordSize + r.NameLength + r.ExtraLength + r.CommentLength;
  ++archive.CurrentIndex;
  return ReadRecordHere(archive);
}

ZipStatus ReadCurrentRecord(ZipArchive& archive, ZipCentralRecord* record, char* name,
                            uint32_t size) {
  if (!archive.RecordValid) return ZipStatus::BadArchive;
  if (record) *record = archive.Record;
  if (!name || size == 0) return ZipStatus::Ok;
  uint32_t length = std::min<uint32_t>(archive.Record.NameLength, size);
  int64_t at = archive.PrefixLength + archive.RecordPosition + kCentralRecordSize;
  if (!archive.Source.ReadAt(at, name, length)) {
    name[0] = 0;
    return ZipStatus::ReadFailure;
  }
  if (length < size) name[length] = 0;
  return ZipStatus::Ok;
}

ZipStatus LocateRecord(ZipArchive& archive, const char* name, bool ignoreCase) {
  size_t wanted = name ? std::strlen(name) : 256;
  if (wanted > 255) return ZipStatus::BadRequest;
  if (!archive.RecordValid) return ZipStatus::EndOfList;
  const int savedIndex = archive.CurrentIndex;
  const int64_t savedPosition = archive.RecordPosition;
  const ZipCentralRecord savedRecord = archive.Record;
  char stored[256];
  ZipStatus step = GoToFirstRecord(archive);
  while (step == ZipStatus::Ok) {
    if (archive.Record.NameLength == wanted &&
        ReadCurrentRecord(archive, nullptr, stored, sizeof stored) == ZipStatus::Ok &&
        SameName(stored, name, wanted, ignoreCase))
      return ZipStatus::Ok;
    step = GoToNextRecord(archive);
  }
  archive.CurrentIndex = savedIndex;
  archive.RecordPosition = savedPosition;
  archive.Record = savedRecord;
  archive.LocalHeaderPosition = archive.PrefixLength + savedRecord.LocalHeaderOffset;
  archive.RecordValid = true;
  return ZipStatus::EndOfList;
}

ZipStatus CheckLocalHeader(ZipArchive& archive, int64_t* extraPosition, uint16_t* extraLength) {
  if (!archive.RecordValid) return ZipStatus::BadArchive;
  const ZipCentralRecord& r = archive.Record;
  if (r.CompressedSize == kZip64Marker || r.UncompressedSize == kZip64Marker ||
      r.LocalHeaderOffset == kZip64Marker)
    return ZipStatus::BadArchive;
  unsigned char raw[kLocalHeaderSize];
  if (!archive.Source.ReadAt(archive.LocalHeaderPosition, raw, sizeof raw))
    return ZipStatus::ReadFailure;
  uint16_t flags = Get16(raw + 6);
  bool sizesFollow = (flags & kZipFlagDescriptor) != 0;
  if (Get32(raw) != kLocalSignature || Get16(raw + 8) != r.Method ||
      (r.Method != kZipMethodStored && r.Method != kZipMethodDeflated) ||
      Get16(raw + 26) != r.NameLength)
    return ZipStatus::BadArchive;
  if (!sizesFollow && (Get32(raw + 14) != r.Crc || Get32(raw + 18) != r.CompressedSize ||
                       Get32(raw + 22) != r.UncompressedSize))
    return ZipStatus::BadArchive;
  archive.LocalFlags = flags;
  archive.LocalDosTime = Get16(raw + 10);
  if (extraPosition)
    *extraPosition = archive.LocalHeaderPosition + kLocalHeaderSize + r.NameLength;
  if (extraLength) *extraLength = Get16(raw + 28);
  return ZipStatus::Ok;
}
