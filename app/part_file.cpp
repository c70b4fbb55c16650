#include "app/part_file.h"

#include <cstring>

#include "app/run_host.h"

namespace {

// Opened for appending: read too, to hash what is there; others may read.
HANDLE OpenForAppend(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FileSize(HANDLE file, unsigned long long* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value) || value.QuadPart < 0) return false;
  *size = static_cast<unsigned long long>(value.QuadPart);
  return true;
}

// Hashes the first `size` bytes of `file` into `hash` and leaves the file
// pointer at `size`. False on a read that fails or comes short, or a stop.
bool HashKept(HANDLE file, unsigned long long size, TSha256& hash, TRunHost* host, bool* stopped) {
  *stopped = false;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  static char block[kHashFileBlockSize];  // the UI thread is the only caller
  for (unsigned long long done = 0; done < size;) {
    const DWORD want = size - done < sizeof block ? static_cast<DWORD>(size - done) : sizeof block;
    DWORD read = 0;
    if (!ReadFile(file, block, want, &read, nullptr) || read != want) return false;
    if (!hash.Update(block, read)) return false;
    done += read;
    if (host && !host->KeepGoing()) {
      *stopped = true;
      return false;
    }
  }
  return true;
}

}  // namespace

bool TPartFile::Name(const char* partPath) {
  PartPath[0] = InfoPath[0] = 0;
  if (!AppendPath(PartPath, partPath)) return false;
  if (AppendPath(InfoPath, partPath) && AppendPath(InfoPath, kResumeInfoSuffix)) return true;
  InfoPath[0] = 0;
  return false;
}

bool TPartFile::OpenKept(TRunHost* host) {
  File.Close();
  Kept = 0;
  HasRecord = false;
  Started = false;
  if (!InfoPath[0] || !ReadResumeRecord(InfoPath, &KeptRecord)) return true;
  File.Reset(OpenForAppend(PartPath));
  unsigned long long size = 0;
  if (!File.IsOpen() || !FileSize(File.Get(), &size) || size == 0 || size >= KeptRecord.Total) {
    File.Close();
    return true;
  }
  Hashing = Hash.Open();
  bool stopped = false;
  if (!Hashing || !HashKept(File.Get(), size, Hash, host, &stopped)) {
    // Without the hash of the kept bytes nothing may be appended to them.
    File.Close();
    return !stopped;
  }
  Kept = static_cast<unsigned long>(size);
  Size = size;
  HasRecord = true;
  Started = true;
  return true;
}

bool TPartFile::StartOver(unsigned long total, const char* validator) {
  File.Close();  // a kept part is open without sharing its writes
  File.Reset(CreateFileA(PartPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  Kept = 0;
  Size = 0;
  Hashing = Hash.Open();
  HasRecord = false;
  Started = true;
  if (InfoPath[0]) {
    TResumeRecord record;
    record.Total = total;
    if (validator && strlen(validator) < sizeof record.Validator)
      memcpy(record.Validator, validator, strlen(validator) + 1);
    HasRecord = validator && *validator && WriteResumeRecord(InfoPath, record);
    if (!HasRecord) DeleteFileA(InfoPath);
  }
  return File.IsOpen();
}

bool TPartFile::Append(const char* block, DWORD size) {
  DWORD written = 0;
  if (size == 0) return true;
  if (!File.IsOpen() || !WriteFile(File.Get(), block, size, &written, nullptr) || written != size)
    return false;
  Size += size;
  if (Hashing) Hashing = Hash.Update(block, size);
  return true;
}

bool TPartFile::Finish(TSha256Digest* digest) { return Hashing && Hash.Finish(digest); }

bool TPartFile::KeepOrDelete() {
  File.Close();
  if (!Started) return false;
  if (HasRecord && Size > 0) return true;
  Delete();
  return false;
}

void TPartFile::Delete() {
  File.Close();
  DeleteFileA(PartPath);
  if (InfoPath[0]) DeleteFileA(InfoPath);
  HasRecord = false;
  Started = false;
  Kept = 0;
  Size = 0;
}

void TPartFile::CloseFinished() {
  File.Close();
  if (InfoPath[0]) DeleteFileA(InfoPath);
  HasRecord = false;
}
