// Zip archive reader: opens an archive from a file, a Win32 file handle or a
// block of memory, lists its entries and extracts them, stored or deflated,
// optionally protected by the traditional zip password encryption.
//
// Every operation returns a ZipResult (0 is success) and stores it as the one
// most recent result of the whole program, which ZipResultText(ZipRecent, ...)
// describes. Nothing here throws, shows UI or writes archives.
#pragma once

#include <windows.h>

typedef struct ZipHandleRecord* ZipHandle;  // opaque; null when an open fails
typedef DWORD ZipResult;

// Result codes. Codes marked "unused" are never returned by this reader but
// keep their texts so that stored results from older callers still print.
const ZipResult ZipOk = 0x00000000;              // "Success"
const ZipResult ZipRecent = 0x00000001;          // ZipResultText only: the most recent result
const ZipResult ZipNoDuplicate = 0x00000100;     // unused
const ZipResult ZipNoFile = 0x00000200;          // archive or target file cannot be opened/made;
                                                 // also a target path over 259 bytes
const ZipResult ZipNoMemory = 0x00000300;        // unused
const ZipResult ZipWriteFailed = 0x00000400;     // WriteFile failed while extracting
const ZipResult ZipNotFound = 0x00000500;        // ZipFindEntry: no such name
const ZipResult ZipMore = 0x00000600;            // ZipExtractToMemory: buffer full, call again
const ZipResult ZipCorrupt = 0x00000700;         // bad record, header, name of 260+ bytes,
                                                 // or extracted data whose CRC-32 is wrong
const ZipResult ZipReadFailed = 0x00000800;      // the local extra field cannot be read
const ZipResult ZipPassword = 0x00001000;        // missing or wrong password
const ZipResult ZipBadArguments = 0x00010000;    // null handle, index out of range, null pointers
const ZipResult ZipNotMemory = 0x00020000;       // unused
const ZipResult ZipMemorySize = 0x00030000;      // unused
const ZipResult ZipPreviousError = 0x00040000;   // unused
const ZipResult ZipEnded = 0x00050000;           // unused
const ZipResult ZipMisSize = 0x00060000;         // unused
const ZipResult ZipPartlyUnzipped = 0x00070000;  // unused
const ZipResult ZipModeMix = 0x00080000;         // a handle that is not an open archive
const ZipResult ZipNotInitialised = 0x01000000;  // unused
const ZipResult ZipSeek = 0x02000000;            // ZipOpenHandle: the handle cannot seek
const ZipResult ZipNoChange = 0x04000000;        // unused
const ZipResult ZipFlate = 0x05000000;           // inflate error, unreadable or short entry data

// Information on one entry. Name is the stored name (archive's own 8-bit
// encoding, unconverted) with drive letters, leading separators and ".."
// climbs removed. Times are UTC. For index -1, Index holds the entry count.
struct ZipEntryInfo {
  int Index;
  char Name[260];
  DWORD Attributes;  // FILE_ATTRIBUTE_READONLY/HIDDEN/SYSTEM/DIRECTORY/ARCHIVE
  FILETIME AccessTime, CreationTime, ModificationTime;
  long CompressedSize, UncompressedSize;
};

// Opens the archive at path (an ANSI path). password may be null. Returns
// null on failure (ZipNoFile: missing file or not a readable archive).
ZipHandle ZipOpenFile(const char* path, const char* password);

// Opens the archive that starts at the current position of an open,
// seekable file handle. The handle stays the caller's: ZipClose leaves it
// open. Null on failure (ZipSeek for a handle that cannot seek, ZipNoFile).
ZipHandle ZipOpenHandle(HANDLE file, const char* password);

// Opens an archive held in memory. The block is neither copied nor freed and
// must stay valid until ZipClose. Null on failure (ZipNoFile).
ZipHandle ZipOpenMemory(const void* data, unsigned length, const char* password);

// Fills *info for entry index (0-based); index -1 gives the number of entries
// in info->Index. info's index, name and uncompressed size are cleared first,
// so a failed request leaves no stale name. ZipBadArguments for an index out
// of range, ZipCorrupt for an unreadable or inconsistent entry (or a stored
// name of 260 bytes or more), ZipReadFailed for an unreadable extra field.
ZipResult ZipGetEntry(ZipHandle zip, int index, ZipEntryInfo* info);

// Finds the entry whose stored name equals name (ignoreCase folds only
// ASCII letters). index and info may be null. Without a hit *index is -1 and
// the result is ZipNotFound; with a hit info is filled as by ZipGetEntry.
ZipResult ZipFindEntry(ZipHandle zip, const char* name, bool ignoreCase, int* index,
                       ZipEntryInfo* info);

// Extracts entry index to path, making the folders on the way and setting
// the file's times. A relative path is placed under the base folder. A
// directory entry only makes folders. The composed path must be shorter than
// 260 bytes (else ZipNoFile). ZipCorrupt when the data fails its CRC-32; a
// failed extraction leaves the partly written file without its times.
ZipResult ZipExtractToFile(ZipHandle zip, int index, const char* path);

// Writes entry index's data at the current position of a caller's open file
// handle, which stays open, and on success gives the file the entry's times
// (where the handle allows; a failure to set them is not an error). Results
// as for ZipExtractToFile.
ZipResult ZipExtractToHandle(ZipHandle zip, int index, HANDLE file);

// Extracts entry index into buffer piece by piece: call again with the same
// index while the result is ZipMore (length bytes were written). ZipOk means
// this call delivered the last part, whose length follows from the entry's
// uncompressed size. ZipCorrupt on the last part means a CRC-32 mismatch.
// A length of 0 reads nothing: it ends the extraction with ZipFlate.
ZipResult ZipExtractToMemory(ZipHandle zip, int index, void* buffer, unsigned length);

// Sets the folder under which relative extraction paths are placed (a "\"
// is added when it ends in neither separator). ZipBadArguments when folder
// is null or would not fit in 259 bytes with its separator.
ZipResult ZipSetBaseFolder(ZipHandle zip, const char* folder);

// Closes the archive and frees the handle (a handle source stays open).
ZipResult ZipClose(ZipHandle zip);

// Owner of an open archive: closed with ZipClose when the owner goes.
class TZipHandle {
 public:
  explicit TZipHandle(ZipHandle zip = nullptr) : Zip(zip) {}
  ~TZipHandle() {
    if (Zip) ZipClose(Zip);
  }
  TZipHandle(const TZipHandle&) = delete;
  TZipHandle& operator=(const TZipHandle&) = delete;

  ZipHandle Get() const { return Zip; }

 private:
  ZipHandle Zip;
};

// Copies the text of code (ZipRecent: of the most recent result) into buffer,
// truncated to length - 1 bytes and zero-terminated. With no buffer or a
// length of 0 nothing is copied. Returns the length of the full text.
unsigned ZipResultText(ZipResult code, char* buffer, unsigned length);
