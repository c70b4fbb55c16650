// The part file a package arrives in ("NAME.part"), with its record
// ("NAME.part.info", app/resume_state.h) and the running SHA-256 of every
// byte it holds.
//
// A transfer that breaks keeps both when the server gave a validator, so a
// later try (another mirror, a later run) can ask for the rest only. The
// bytes kept are hashed again from the file before anything is appended, so
// the hash taken at the end covers the whole file as it lies on the disk: a
// part changed in between, or a rest that belongs to some other file, can
// never pass a "sha256".
#pragma once

#include <windows.h>

#include "app/catalogue.h"
#include "app/package_hash.h"
#include "app/resume_state.h"
#include "platform/win32_handles.h"

class TPartFile {
 public:
  // Names the part file; its record goes beside it. False when the name
  // with the record's suffix would pass 255 characters: then no record can
  // be kept and a transfer that breaks always starts over.
  bool Name(const char* partPath);

  // Looks at what an earlier try left. When the record is whole and
  // 0 < the part's size < its total, the part is opened for appending
  // (nobody else may write it meanwhile) and its bytes are hashed, with
  // host->KeepGoing() asked after every block (host may be null):
  // Resumable() is then true. Otherwise nothing is open and nothing is
  // deleted yet. Returns false only when the host stopped the hashing (the
  // part stays as it was).
  bool OpenKept(TRunHost* host);

  bool Resumable() const { return Kept != 0; }
  unsigned long Offset() const { return Kept; }
  const TResumeRecord& Record() const { return KeptRecord; }

  // Makes an empty part for a transfer of `total` bytes from byte 0,
  // dropping any kept bytes, and writes the record when `validator` is not
  // empty (else deletes an old one). False when the part cannot be created.
  bool StartOver(unsigned long total, const char* validator);

  // Writes a received block at the end of the part and adds it to the
  // hash. False when the disk takes less than all of it.
  bool Append(const char* block, DWORD size);

  // The hash of every byte in the part, once all have arrived; false when
  // the hash could not be taken (no CryptoAPI SHA-256, a failed read).
  bool Finish(TSha256Digest* digest);

  // After a try that did not finish: closes the part. When the try had
  // opened or started it, keeps it and its record if it has a record and
  // holds bytes, and deletes both otherwise; a part the try never opened
  // (a request that failed first, a cancel while it was hashed) stays as it
  // was. True when the try's part is kept.
  bool KeepOrDelete();

  // Closes and deletes the part and its record.
  void Delete();

  // Closes the part (before it is moved into place) and deletes the record.
  void CloseFinished();

 private:
  TPathBuffer PartPath = {};
  TPathBuffer InfoPath = {};  // empty when the name would not fit
  TKernelHandle File;
  TSha256 Hash;
  bool Hashing = false;
  bool Started = false;  // this try kept bytes or started over: the part is its own
  bool HasRecord = false;
  unsigned long Kept = 0;
  unsigned long long Size = 0;
  TResumeRecord KeptRecord;
};
