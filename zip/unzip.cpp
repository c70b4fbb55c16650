// The reader's free operations: handle records, argument checks and the most
// recent result around TUnzip.
#include "zip/unzip.h"

#include "zip/tunzip.h"
#include "zip/zip_result.h"

struct ZipHandleRecord {
  DWORD Kind;     // kOpenForReading while the archive is open
  TUnzip* Unzip;  // owned
};

namespace {

const DWORD kOpenForReading = 1;

// The reader behind zip, or null with *result telling why. argumentsGiven
// says whether the operation's other required arguments are present; they
// count only once the handle itself is good.
TUnzip* Check(ZipHandle zip, bool argumentsGiven, ZipResult* result) {
  if (!zip)
    *result = ZipBadArguments;
  else if (zip->Kind != kOpenForReading)
    *result = ZipModeMix;
  else
    *result = argumentsGiven ? ZipOk : ZipBadArguments;
  return *result == ZipOk ? zip->Unzip : nullptr;
}

ZipHandle Open(ZipSourceKind kind, HANDLE handle, const char* path, const void* data,
               uint32_t length, const char* password) {
  TUnzip* unzip = new TUnzip;
  ZipResult result = unzip->Open(kind, handle, path, data, length, password);
  ZipSetRecent(result);
  if (result != ZipOk) {
    delete unzip;
    return nullptr;
  }
  return new ZipHandleRecord{kOpenForReading, unzip};
}

}  // namespace

ZipHandle ZipOpenFile(const char* path, const char* password) {
  if (!path) {
    ZipSetRecent(ZipNoFile);
    return nullptr;
  }
  return Open(ZipSourceKind::File, INVALID_HANDLE_VALUE, path, nullptr, 0, password);
}

ZipHandle ZipOpenHandle(HANDLE file, const char* password) {
  return Open(ZipSourceKind::Handle, file, nullptr, nullptr, 0, password);
}

ZipHandle ZipOpenMemory(const void* data, unsigned length, const char* password) {
  if (!data) {
    ZipSetRecent(ZipNoFile);
    return nullptr;
  }
  return Open(ZipSourceKind::Memory, INVALID_HANDLE_VALUE, nullptr, data, length, password);
}

ZipResult ZipGetEntry(ZipHandle zip, int index, ZipEntryInfo* info) {
  if (info) {
    info->Index = 0;
    info->Name[0] = 0;
    info->UncompressedSize = 0;
  }
  ZipResult result;
  if (TUnzip* unzip = Check(zip, info != nullptr, &result)) result = unzip->GetEntry(index, info);
  return ZipSetRecent(result);
}

ZipResult ZipFindEntry(ZipHandle zip, const char* name, bool ignoreCase, int* index,
                       ZipEntryInfo* info) {
  ZipResult result;
  if (TUnzip* unzip = Check(zip, name != nullptr, &result))
    result = unzip->FindEntry(name, ignoreCase, index, info);
  return ZipSetRecent(result);
}

ZipResult ZipExtractToFile(ZipHandle zip, int index, const char* path) {
  ZipResult result;
  if (TUnzip* unzip = Check(zip, path != nullptr, &result))
    result = unzip->ExtractToFile(index, path);
  return ZipSetRecent(result);
}

ZipResult ZipExtractToHandle(ZipHandle zip, int index, HANDLE file) {
  ZipResult result;
  if (TUnzip* unzip = Check(zip, true, &result)) result = unzip->ExtractToHandle(index, file);
  return ZipSetRecent(result);
}

ZipResult ZipExtractToMemory(ZipHandle zip, int index, void* buffer, unsigned length) {
  ZipResult result;
  if (TUnzip* unzip = Check(zip, true, &result))
    result = unzip->ExtractToMemory(index, buffer, length);
  return ZipSetRecent(result);
}

ZipResult ZipSetBaseFolder(ZipHandle zip, const char* folder) {
  ZipResult result;
  if (TUnzip* unzip = Check(zip, folder != nullptr, &result)) result = unzip->SetBaseFolder(folder);
  return ZipSetRecent(result);
}

ZipResult ZipClose(ZipHandle zip) {
  ZipResult result;
  if (TUnzip* unzip = Check(zip, true, &result)) {
    delete unzip;  // ends any piecewise extraction and closes the archive
    zip->Kind = 0;
    delete zip;
  }
  return ZipSetRecent(result);
}
