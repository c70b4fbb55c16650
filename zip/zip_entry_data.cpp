// Reading one entry's data: blocks of compressed bytes through one input
// buffer, decrypted when the entry is protected, copied or inflated, with a
// running CRC-32. Data that ends early is an error, never a silent success.
#include <algorithm>
#include <cstring>

#include "zip/zip_archive.h"

namespace {

const uint32_t kEncryptionHeaderSize = 12;

bool LoadInput(ZipArchive& archive, ZipOpenEntry& e) {
  uint32_t n = std::min(kZipInputBufferSize, e.CompressedLeft);
  if (!archive.Source.ReadAt(e.NextPosition, e.Input, n)) return false;
  if (e.Encrypted) ZipDecrypt(e.Keys, e.Input, n);
  e.NextPosition += n;
  e.CompressedLeft -= n;
  e.InputStart = 0;
  e.InputCount = n;
  e.Inflater.Stream().next_in = e.Input;
  e.Inflater.Stream().avail_in = n;
  return true;
}

// Reads the 12-byte encryption header; its last byte must be the check byte.
ZipStatus CheckPassword(ZipArchive& archive, ZipOpenEntry& e) {
  unsigned char header[kEncryptionHeaderSize];
  if (e.CompressedLeft < kEncryptionHeaderSize ||
      !archive.Source.ReadAt(e.NextPosition, header, sizeof header))
    return ZipStatus::ReadFailure;
  ZipDecrypt(e.Keys, header, sizeof header);
  if (header[kEncryptionHeaderSize - 1] != e.CheckByte) return ZipStatus::Password;
  e.NextPosition += kEncryptionHeaderSize;
  e.CompressedLeft -= kEncryptionHeaderSize;
  e.HeaderChecked = true;
  return ZipStatus::Ok;
}

void Deliver(ZipOpenEntry& e, const unsigned char* data, uint32_t n) {
  e.Crc = static_cast<uint32_t>(crc32(e.Crc, data, n));
  e.UncompressedLeft -= n;
  if (e.UncompressedLeft == 0) e.Ended = true;
}

ZipStatus ReadStored(ZipArchive& archive, ZipOpenEntry& e, unsigned char* out, uint32_t wanted,
                     uint32_t* delivered) {
  while (wanted > 0) {
    if (e.InputCount == 0 && e.CompressedLeft > 0 && !LoadInput(archive, e))
      return ZipStatus::ReadFailure;
    if (e.InputCount == 0) return ZipStatus::ReadFailure;  // data ends before its size
    uint32_t n = std::min(wanted, e.InputCount);
    std::memcpy(out + *delivered, e.Input + e.InputStart, n);
    e.InputStart += n;
    e.InputCount -= n;
    Deliver(e, out + *delivered, n);
    *delivered += n;
    wanted -= n;
  }
  return ZipStatus::Ok;
}

ZipStatus ReadDeflated(ZipArchive& archive, ZipOpenEntry& e, unsigned char* out,
                       uint32_t wanted, uint32_t* delivered) {
  z_stream& z = e.Inflater.Stream();
  while (wanted > 0) {
    if (z.avail_in == 0 && e.CompressedLeft > 0 && !LoadInput(archive, e))
      return ZipStatus::ReadFailure;
    z.next_out = out + *delivered;
    z.avail_out = wanted;
    int ret = inflate(&z, Z_SYNC_FLUSH);
    uint32_t produced = wanted - z.avail_out;
    Deliver(e, out + *delivered, produced);
    *delivered += produced;
    wanted -= produced;
    if (ret == Z_STREAM_END) {
      // A stream that ends before the recorded size has lost data.
      return e.Ended ? ZipStatus::Ok : ZipStatus::ReadFailure;
    }
    if (e.Ended) return ZipStatus::Ok;
    // Z_BUF_ERROR here means no progress is possible: the data ran out.
    if (ret != Z_OK) return ZipStatus::InflateError;
  }
  return ZipStatus::Ok;
}

}  // namespace

ZipStatus OpenEntryData(ZipArchive& archive, const char* password) {
  if (!archive.RecordValid) return ZipStatus::BadRequest;
  archive.Entry.reset();
  int64_t extraPosition = 0;
  uint16_t extraLength = 0;
  ZipStatus status = CheckLocalHeader(archive, &extraPosition, &extraLength);
  if (status != ZipStatus::Ok) return status;
  std::unique_ptr<ZipOpenEntry> e(new ZipOpenEntry);
  const ZipCentralRecord& r = archive.Record;
  e->Method = r.Method;
  if (e->Method == kZipMethodDeflated && !e->Inflater.Init()) return ZipStatus::InflateError;
  e->ExpectedCrc = r.Crc;
  e->CompressedLeft = r.CompressedSize;
  e->UncompressedLeft = r.UncompressedSize;
  e->NextPosition = extraPosition + extraLength;
  e->Encrypted = (r.Flags & kZipFlagEncrypted) != 0;
  if (e->Encrypted) {
    ZipInitKeys(e->Keys, password);
    // With the CRC written after the data, the writer could only check
    // against the high byte of the time.
    e->CheckByte = (archive.LocalFlags & kZipFlagDescriptor)
                       ? static_cast<uint8_t>(archive.LocalDosTime >> 8)
                       : static_cast<uint8_t>(r.Crc >> 24);
  }
  archive.Entry = std::move(e);
  return ZipStatus::Ok;
}

ZipStatus ReadEntryData(ZipArchive& archive, void* buffer, uint32_t length, uint32_t* delivered,
                        bool* ended) {
  *delivered = 0;
  *ended = false;
  ZipOpenEntry* e = archive.Entry.get();
  if (!e) return ZipStatus::BadRequest;
  if (length == 0) return ZipStatus::Ok;
  if (e->Encrypted && !e->HeaderChecked) {
    ZipStatus status = CheckPassword(archive, *e);
    if (status != ZipStatus::Ok) return status;
  }
  if (e->UncompressedLeft == 0) e->Ended = true;
  if (e->Ended) {
    *ended = true;
    return ZipStatus::Ok;
  }
  uint32_t wanted = std::min(length, e->UncompressedLeft);
  unsigned char* out = static_cast<unsigned char*>(buffer);
  ZipStatus status = e->Method == kZipMethodStored ? ReadStored(archive, *e, out, wanted, delivered)
                                                   : ReadDeflated(archive, *e, out, wanted, delivered);
  *ended = e->Ended;
  return status;
}

ZipStatus CheckEntryCrc(const ZipArchive& archive) {
  const ZipOpenEntry* e = archive.Entry.get();
  if (e && e->Ended && e->Crc != e->ExpectedCrc) return ZipStatus::CrcMismatch;
  return ZipStatus::Ok;
}

ZipStatus CloseEntryData(ZipArchive& archive) {
  ZipStatus status = CheckEntryCrc(archive);
  archive.Entry.reset();
  return status;
}
