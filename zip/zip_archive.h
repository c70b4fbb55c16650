// Zip format core: the records of an archive (end record, central directory,
// local headers) and the data of one entry at a time, stored or deflated,
// with a running CRC-32 and the traditional password decryption.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>

#include "zip/zip_crypt.h"
#include "zip/zip_source.h"

// The outcome of every core operation.
enum class ZipStatus {
  Ok,
  BadArchive,    // a record that is wrong or disagrees with another
  ReadFailure,   // a seek or read that failed or came up short
  EndOfList,     // no further entry, or no entry with that name
  BadRequest,    // the caller asked for something impossible
  Password,      // missing or wrong password (check byte)
  CrcMismatch,   // the complete data does not match its recorded CRC-32
  InflateError,  // zlib refused the deflate data
};

const uint32_t kZipInputBufferSize = 16384;
const uint16_t kZipMethodStored = 0;
const uint16_t kZipMethodDeflated = 8;
const uint16_t kZipFlagEncrypted = 0x0001;
const uint16_t kZipFlagDescriptor = 0x0008;  // CRC and sizes follow the data

// The fixed fields of a central directory record.
struct ZipCentralRecord {
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t DosTime = 0;
  uint16_t DosDate = 0;
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
};

// An open inflate stream, ended in the destructor.
class ZipInflater {
 public:
  ZipInflater() = default;
  ~ZipInflater() {
    if (Initialised) inflateEnd(&ZStream);
  }
  ZipInflater(const ZipInflater&) = delete;
  ZipInflater& operator=(const ZipInflater&) = delete;
  bool Init() {
    Initialised = inflateInit2(&ZStream, -MAX_WBITS) == Z_OK;  // raw deflate, 32 KB window
    return Initialised;
  }
  z_stream& Stream() { return ZStream; }

 private:
  z_stream ZStream = {};
  bool Initialised = false;  // inflateInit2 succeeded: inflateEnd is owed
};

// The entry whose data is being read.
struct ZipOpenEntry {
  unsigned char Input[kZipInputBufferSize];
  uint32_t InputStart = 0;  // first unused byte in Input (stored entries)
  uint32_t InputCount = 0;  // bytes in Input not yet used
  ZipInflater Inflater;     // deflated entries only
  int64_t NextPosition = 0;  // archive offset of the next compressed byte
  uint32_t CompressedLeft = 0;
  uint32_t UncompressedLeft = 0;
  uint32_t Crc = 0;
  uint32_t ExpectedCrc = 0;
  uint16_t Method = 0;
  bool Encrypted = false;
  bool HeaderChecked = false;  // the 12-byte encryption header was read
  uint8_t CheckByte = 0;
  ZipKeys Keys;
  bool Ended = false;  // all data delivered
};

struct ZipArchive {
  ZipSource Source;
  uint32_t EntryCount = 0;
  int64_t PrefixLength = 0;  // bytes before the archive proper (a self-extractor's program)
  int64_t CentralOffset = 0;
  // The current entry.
  int CurrentIndex = 0;
  int64_t RecordPosition = 0;
  bool RecordValid = false;
  ZipCentralRecord Record;
  int64_t LocalHeaderPosition = 0;
  uint16_t LocalFlags = 0;    // from the last CheckLocalHeader
  uint16_t LocalDosTime = 0;  // the same; the check byte of some encrypted entries
  std::unique_ptr<ZipOpenEntry> Entry;  // the entry open for reading, or none
};

// Reads the end record and positions the archive on its first entry. On
// failure the source is closed.
ZipStatus ReadZipArchive(ZipArchive& archive);
void CloseZipArchive(ZipArchive& archive);

ZipStatus GoToFirstRecord(ZipArchive& archive);
ZipStatus GoToNextRecord(ZipArchive& archive);
// Copies the current record's fields and reads its stored name into name
// (size bytes; zero-terminated when it fits). Names longer than size - 1 are
// cut at size bytes without a terminator: callers check Record.NameLength.
ZipStatus ReadCurrentRecord(ZipArchive& archive, ZipCentralRecord* record, char* name,
                            uint32_t size);
// Makes the entry named name current (ignoreCase folds ASCII letters only).
ZipStatus LocateRecord(ZipArchive& archive, const char* name, bool ignoreCase);
// Checks the current entry's local header against its central record and
// gives the archive offset and length of its local extra field.
ZipStatus CheckLocalHeader(ZipArchive& archive, int64_t* extraPosition, uint16_t* extraLength);

// Entry data: OpenEntryData prepares the current entry for reading;
// ReadEntryData delivers up to length bytes (delivered, and ended once all
// data is out); CloseEntryData gives CrcMismatch when the whole data was
// delivered and its CRC-32 differs from the recorded one.
ZipStatus OpenEntryData(ZipArchive& archive, const char* password);
ZipStatus ReadEntryData(ZipArchive& archive, void* buffer, uint32_t length, uint32_t* delivered,
                        bool* ended);
ZipStatus CheckEntryCrc(const ZipArchive& archive);
ZipStatus CloseEntryData(ZipArchive& archive);
