// The archive reader: entry information, finding and extraction on top of
// the format core, with every outcome turned into a result code.
#include "zip/tunzip.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32_handles.h"
#include "zip/zip_entry_info.h"
#include "zip/zip_paths.h"

namespace {

const uint32_t kExtractBufferSize = 16384;

// Result of a failed entry-data read or open.
ZipResult DataFailure(ZipStatus status) {
  switch (status) {
    case ZipStatus::Password: return ZipPassword;
    case ZipStatus::BadArchive: return ZipCorrupt;
    case ZipStatus::CrcMismatch: return ZipCorrupt;
    default: return ZipFlate;
  }
}

// Result of a failed OpenEntryData: a local header that cannot be read is as
// corrupt as one that disagrees with its central record.
ZipResult OpenFailure(ZipStatus status) {
  return status == ZipStatus::ReadFailure ? ZipCorrupt : DataFailure(status);
}

void ClearInfo(ZipEntryInfo* info, int index) {
  std::memset(info, 0, sizeof *info);
  info->Index = index;
}

}  // namespace

TUnzip::TUnzip() {
  ClearInfo(&Cached, -1);
  BaseFolder[0] = 0;
  char folder[260];
  DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  if (n > 0 && n < sizeof folder) SetBaseFolder(folder);
}

TUnzip::~TUnzip() {
  EndPiecewise();
  if (Archive) CloseZipArchive(*Archive);
}

ZipResult TUnzip::Open(ZipSourceKind kind, HANDLE handle, const char* path, const void* data,
                       uint32_t length, const char* password) {
  if (Archive) return ZipNotInitialised;
  if (password) {
    Password = password;
    HasPassword = true;
  }
  std::unique_ptr<ZipArchive> archive(new ZipArchive);
  if (!OpenZipSource(archive->Source, kind, handle, path, data, length)) return ZipNoFile;
  if (kind == ZipSourceKind::Handle && !archive->Source.CanSeek()) return ZipSeek;
  if (ReadZipArchive(*archive) != ZipStatus::Ok) return ZipNoFile;
  Archive = std::move(archive);
  return ZipOk;
}

bool TUnzip::InRange(int index) const {
  return index >= 0 && static_cast<uint32_t>(index) < Archive->EntryCount;
}

void TUnzip::EndPiecewise() {
  if (PiecewiseIndex < 0) return;
  CloseEntryData(*Archive);
  PiecewiseIndex = -1;
}

ZipResult TUnzip::ReachEntry(int index) {
  ZipArchive& a = *Archive;
  if (index < a.CurrentIndex) GoToFirstRecord(a);
  while (a.CurrentIndex < index)
    if (GoToNextRecord(a) != ZipStatus::Ok) return ZipCorrupt;
  return a.RecordValid ? ZipOk : ZipCorrupt;
}

ZipResult TUnzip::GetEntry(int index, ZipEntryInfo* info) {
  if (index < -1 || (index >= 0 && !InRange(index))) return ZipBadArguments;
  EndPiecewise();
  if (index == CachedIndex && index != -1) {
    *info = Cached;
    return ZipOk;
  }
  if (index == -1) {
    ClearInfo(info, static_cast<int>(Archive->EntryCount));
    return ZipOk;
  }
  return ReadEntryInfo(index, info);
}

ZipResult TUnzip::ReadEntryInfo(int index, ZipEntryInfo* info) {
  ZipResult reached = ReachEntry(index);
  if (reached != ZipOk) return reached;
  ZipArchive& a = *Archive;
  char name[sizeof info->Name];
  ZipCentralRecord r;
  // A name that does not fit is refused rather than cut into another name.
  if (ReadCurrentRecord(a, &r, name, sizeof name) != ZipStatus::Ok ||
      r.NameLength >= sizeof name)
    return ZipCorrupt;
  int64_t extraPosition = 0;
  uint16_t extraLength = 0;
  if (CheckLocalHeader(a, &extraPosition, &extraLength) != ZipStatus::Ok) return ZipCorrupt;
  std::vector<unsigned char> extra(extraLength);
  if (!a.Source.ReadAt(extraPosition, extra.data(), extraLength)) return ZipReadFailed;
  ClearInfo(info, index);
  CleanEntryName(name);
  std::memcpy(info->Name, name, std::strlen(name) + 1);
  info->Attributes = MapEntryAttributes(r.VersionMadeBy, r.ExternalAttributes);
  EntryTimes(r.DosDate, r.DosTime, extra.data(), extraLength, &info->AccessTime,
             &info->CreationTime, &info->ModificationTime);
  info->CompressedSize = static_cast<long>(static_cast<int32_t>(r.CompressedSize));
  info->UncompressedSize = static_cast<long>(static_cast<int32_t>(r.UncompressedSize));
  Cached = *info;
  CachedIndex = index;
  return ZipOk;
}

ZipResult TUnzip::FindEntry(const char* name, bool ignoreCase, int* index, ZipEntryInfo* info) {
  ZipArchive& a = *Archive;
  if (LocateRecord(a, name, ignoreCase) != ZipStatus::Ok) {
    if (index) *index = -1;
    if (info) ClearInfo(info, -1);
    return ZipNotFound;
  }
  EndPiecewise();
  int found = a.CurrentIndex;
  if (index) *index = found;
  if (!info) return ZipOk;
  ClearInfo(info, 0);
  return GetEntry(found, info);
}

ZipResult TUnzip::SetBaseFolder(const char* folder) {
  size_t n = std::strlen(folder);
  bool addSeparator = n == 0 || !IsSeparator(folder[n - 1]);
  if (n + (addSeparator ? 1 : 0) >= sizeof BaseFolder) return ZipBadArguments;
  std::memcpy(BaseFolder, folder, n);
  if (addSeparator) BaseFolder[n++] = '\\';
  BaseFolder[n] = 0;
  return ZipOk;
}

ZipResult TUnzip::ExtractToFile(int index, const char* path) {
  return Extract(index, path, INVALID_HANDLE_VALUE);
}

ZipResult TUnzip::ExtractToHandle(int index, HANDLE file) { return Extract(index, nullptr, file); }

ZipResult TUnzip::Extract(int index, const char* path, HANDLE target) {
  EndPiecewise();
  if (!InRange(index)) return ZipBadArguments;
  ZipEntryInfo info;
  ZipResult result = GetEntry(index, &info);
  if (result == ZipOk) result = ReachEntry(index);  // the information may have come from the cache
  if (result != ZipOk) return result;
  bool toFile = path != nullptr;
  if (info.Attributes & FILE_ATTRIBUTE_DIRECTORY)
    return toFile && !MakeFolderPath(BaseFolder, path) ? ZipNoFile : ZipOk;
  TKernelHandle file;  // the target made here; a caller's target stays open
  if (toFile) {
    char full[260];
    if (!PrepareTargetPath(BaseFolder, path, full, sizeof full)) return ZipNoFile;
    file.Reset(CreateFileA(full, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, info.Attributes,
                           nullptr));
    if (!file.IsOpen()) return ZipNoFile;
    target = file.Get();
  }
  ZipStatus opened = OpenEntryData(*Archive, GivenPassword());
  result = opened == ZipStatus::Ok ? CopyData(target) : OpenFailure(opened);
  // The data is complete; a target without times (a pipe, a handle opened
  // without the right to set them, a file system that keeps none) is no
  // reason to fail.
  if (result == ZipOk)
    SetFileTime(target, &info.CreationTime, &info.AccessTime, &info.ModificationTime);
  CloseEntryData(*Archive);
  return result;
}

ZipResult TUnzip::CopyData(HANDLE target) {
  if (!Buffer) Buffer.reset(new unsigned char[kExtractBufferSize]);
  for (;;) {
    uint32_t delivered = 0;
    bool ended = false;
    ZipStatus status = ReadEntryData(*Archive, Buffer.get(), kExtractBufferSize, &delivered,
                                     &ended);
    if (status != ZipStatus::Ok) return DataFailure(status);
    DWORD written = 0;
    if (delivered > 0 &&
        (!WriteFile(target, Buffer.get(), delivered, &written, nullptr) || written != delivered))
      return ZipWriteFailed;
    if (ended) return CheckEntryCrc(*Archive) == ZipStatus::Ok ? ZipOk : ZipCorrupt;
    if (delivered == 0) return ZipFlate;
  }
}

ZipResult TUnzip::ExtractToMemory(int index, void* buffer, uint32_t length) {
  // A length of 0 reads nothing and ends the extraction like an empty read.
  if (!buffer && length > 0) return ZipBadArguments;
  if (index != PiecewiseIndex) {
    EndPiecewise();
    if (!InRange(index)) return ZipBadArguments;
    ZipResult reached = ReachEntry(index);
    if (reached != ZipOk) return reached;
    ZipStatus opened = OpenEntryData(*Archive, GivenPassword());
    if (opened != ZipStatus::Ok) return OpenFailure(opened);
    PiecewiseIndex = index;
  }
  uint32_t delivered = 0;
  bool ended = false;
  ZipStatus status = ReadEntryData(*Archive, buffer, length, &delivered, &ended);
  ZipStatus crc = CheckEntryCrc(*Archive);
  if (status != ZipStatus::Ok || delivered == 0) EndPiecewise();
  if (status != ZipStatus::Ok) return DataFailure(status);
  if (ended) return crc == ZipStatus::Ok ? ZipOk : ZipCorrupt;
  return delivered > 0 ? ZipMore : ZipFlate;
}
