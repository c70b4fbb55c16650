#include "app/download.h"

#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <cstdio>

#include "app/body_reader.h"
#include "app/catalogue.h"
#include "app/held_file.h"
#include "app/http_request.h"
#include "app/local_copy.h"
#include "app/log_text.h"
#include "app/main_dialog.h"
#include "app/package_hash.h"
#include "app/part_file.h"
#include "app/range_request.h"
#include "app/resume_state.h"
#include "app/run_host.h"
#include "app/support_records.h"
#include "markup/markup.h"
#include "platform/win32_handles.h"

namespace {

TTransferLimits Limits = kTransferLimits;

// The sub-directory comes from the nearest element upward that has "path";
// an empty value there hides any further up.
const char* InheritedPath(const TXmlTreeNode* element) {
  for (const TXmlTreeNode* node = element; node; node = node->Parent) {
    if (const char* path = node->FindAttribute(kAttrPath)) return path;
  }
  return "";
}

bool BuildUrl(TPathBuffer& url, const char* baseUrl, const TXmlTreeNode* element) {
  url[0] = 0;
  const char* path = InheritedPath(element);
  if (!AppendPath(url, baseUrl)) return false;
  if (*path && (!AppendPath(url, path) || !AppendPath(url, "/"))) return false;
  return AppendPath(url, element->GetAttribute(kAttrFileName));
}

// Watches a transfer's pace: it fails when less than kStallMinBytes arrive
// in a stall window, or when the whole call passes its deadline.
class TPaceWatch {
 public:
  explicit TPaceWatch(const TCallDeadline& deadline) : Deadline(deadline), WindowStart(GetTickCount()) {}

  // Counts bytes just received; false when the transfer must be given up.
  bool Received(DWORD bytes) {
    DWORD now = GetTickCount();
    WindowBytes += bytes;
    if (Deadline.Ms && now - Deadline.Start >= Deadline.Ms) return false;
    if (now - WindowStart < Limits.StallWindowMs) return true;
    if (WindowBytes < kStallMinBytes) return false;
    WindowStart = now;
    WindowBytes = 0;
    return true;
  }

 private:
  TCallDeadline Deadline;
  DWORD WindowStart;
  unsigned long long WindowBytes = 0;
};

// What one try wrote to the part.
struct TTransferCount {
  unsigned long long Got = 0;  // bytes added
  bool WriteFailed = false;    // the disk refused a block (full, gone)
};

// Reads the body block by block onto the end of the part, which holds
// `offset` bytes already, while the progress bar moves (its share of
// `total`) and the queue drains; stops early on a cancel, a stall, the
// deadline, a write that fails, or as soon as more than total - offset
// bytes have arrived (the rest is not read: a body longer than announced
// could fill the disk). `count` tells the bytes written and whether a
// write failed. True when exactly total - offset bytes arrived and were
// written.
bool Transfer(TRunHost& host, HINTERNET request, const char* partPath, TPartFile& part,
              unsigned long offset, DWORD total, TPaceWatch& pace, float& speed,
              TTransferCount& count) {
  bool result = false;
  const unsigned long long expected = total - offset;
  DWORD start = GetTickCount();
  unsigned long long received = 0;
  unsigned shown = static_cast<unsigned>(static_cast<unsigned long long>(offset) * 100 / total);
  host.ShowProgress(shown);
  static char block[kTransferBlockSize];  // the UI thread is the only caller
  // A slow server keeps a read waiting for seconds: the window answers
  // meanwhile.
  TBodyReader body(request, host);
  while (!host.CancelAsked()) {
    DWORD read = 0;
    bool ok = body.Read(block, sizeof(block), &read);
    if (received + read > expected) {
      received += read;  // told as longer than announced; none of it is written
      break;
    }
    if (!part.Append(block, read)) {
      count.WriteFailed = true;
      break;
    }
    received += read;
    count.Got = received;
    unsigned percent = static_cast<unsigned>((offset + received) * 100 / total);
    // A large file moves the bar once in hundreds of blocks; telling the
    // control the same position again would only cost time.
    if (percent != shown) {
      shown = percent;
      host.ShowProgress(shown);
    }
    host.Pump();
    if (!ok || read == 0) {
      result = received == expected;
      break;
    }
    if (!pace.Received(read)) break;
  }
  // The speed of what this try fetched: a resumed transfer counts only the rest.
  DWORD elapsed = GetTickCount() - start;
  if (elapsed != 0) speed = static_cast<float>(static_cast<double>(expected) / elapsed);
  RecordTransfer(partPath, received, static_cast<unsigned long>(expected), elapsed, result,
                 host.CancelAsked());
  return result;
}

// One call's view while it runs: whom it works for, and by when.
struct TCallWait {
  TRunHost& Host;
  TCallDeadline Deadline;
};

// How a try's transfer ended.
enum TTryResult {
  kTryDone,    // the file is in place and held
  kTryFailed,  // refused, checked and failed, cancelled, or no transfer begun
  kTryBroken,  // the connection ended short; what arrived may be kept
};

// Transfer onto the part, then the check of what came: the SHA-256 of the
// whole part (kept bytes hashed again from the file, the rest as it
// arrives) must be the element's "sha256" when it names one. A file that
// passes is moved onto localPath and held there (MoveIntoPlaceAndHold),
// and must still be exactly what arrived; a file that fails is deleted and
// "文件校验失败。" logged. Whatever goes wrong, an earlier file at localPath
// is touched only by a successful move.
TTryResult TransferChecked(TRunHost& host, HINTERNET request, const char* localPath,
                           const char* partPath, TPartFile& part, unsigned long offset, DWORD total,
                           const TXmlTreeNode* element, TPaceWatch& pace, float& speed,
                           THeldFile& held, TTransferCount& count) {
  const char* sha256 = element->FindAttribute(kSha256Attribute);
  bool complete = Transfer(host, request, partPath, part, offset, total, pace, speed, count);
  if (count.WriteFailed) {
    // A disk that refused a block is no place to keep a part for later.
    part.Delete();
    return kTryFailed;
  }
  if (!complete) return host.CancelAsked() ? kTryFailed : kTryBroken;
  TSha256Digest received;
  // Without CryptoAPI's SHA-256 a wanted hash can only fail; without a
  // wanted one, the size alone is checked again after the move.
  bool known = part.Finish(&received);
  if (sha256) RecordHash(partPath, known ? &received : nullptr, sha256, known && Sha256Matches(sha256, received));
  if (sha256 && !(known && Sha256Matches(sha256, received))) {
    part.Delete();
    host.Log(kLogCheckFailed);
    return kTryFailed;
  }
  part.CloseFinished();
  switch (MoveIntoPlaceAndHold(partPath, localPath, total, known ? &received : nullptr,
                               &host, held)) {
    case kMoveHeld:
      return kTryDone;
    case kMoveStopped:  // a cancel: the file in place is what arrived
      return kTryFailed;
    default:
      // Not put in place (the file there is in use), not held, or changed
      // before it was held: there is no checked file to start.
      host.Log(kLogCheckFailed);
      return kTryFailed;
  }
}

// Whether `expected` bytes fit in the space the folder's drive has left for
// this user. A drive that cannot be asked is not held against the transfer:
// a write that fails still ends it.
bool FitsOnDisk(const char* folder, DWORD expected) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) return true;
  return available.QuadPart >= expected;
}

// Where a try's body goes: onto the kept part at Offset, or from byte 0.
struct TBodyPlan {
  unsigned long Offset = 0;
  DWORD Total = 0;                         // the whole file's length
  char Validator[kMaxValidator + 1] = {};  // kept with a part begun afresh
};

// Reads the head of the answer. A resumed request may continue (206 with
// exactly the range asked for), start over (200) or fail; any other
// request is read as always: status 200 and a Content-Length.
bool PlanBody(HINTERNET request, bool resuming, const TPartFile& part, TBodyPlan* plan) {
  if (resuming) {
    char range[256], length[256];
    switch (JudgeRangeAnswer(ResponseStatus(request),
                             QueryHeaderText(request, HTTP_QUERY_CONTENT_RANGE, range) ? range : nullptr,
                             QueryHeaderText(request, HTTP_QUERY_CONTENT_LENGTH, length) ? length : nullptr,
                             part.Offset(), part.Record().Total)) {
      case kRangeAppend:
        plan->Offset = part.Offset();
        plan->Total = part.Record().Total;
        return true;
      case kRangeRefused:
        return false;
      case kRangeStartOver:
        break;
    }
  }
  plan->Total = AnnouncedLength(request);
  if (plan->Total == 0) return false;
  char etag[256], modified[256];
  // An ETag too long to read is still an ETag: it is not replaced by the date.
  const bool hasETag = QueryHeaderText(request, HTTP_QUERY_ETAG, etag) ||
                       GetLastError() != ERROR_HTTP_HEADER_NOT_FOUND;
  PickValidator(hasETag ? etag : nullptr,
                QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED, modified) ? modified : nullptr,
                plan->Validator);
  return true;
}

// The names one call works with.
struct TDownloadPaths {
  const char* Folder;
  TPathBuffer Url;
  TPathBuffer Local;
  TPathBuffer Part;
};

// Everything after the server's answer was read: the skip test, the room
// on the disk, the part (kept or begun afresh), the transfer and its checks.
TTryResult Fetch(const TCallWait& call, HINTERNET request, const TDownloadPaths& paths,
                 TPartFile& part, const TBodyPlan& plan, const TXmlTreeNode* element, float& speed,
                 TPackageDownload& package, TTransferCount& count) {
  TRunHost& host = call.Host;
  if (HoldCurrentLocalCopy(paths.Local, plan.Total, element, &host, package.Held)) {
    part.Delete();  // the copy in place makes any part of it useless
    return kTryDone;
  }
  // A cancel during the hash of the local copy ends the call here: the copy
  // stays as it is, and so does a part kept for it.
  if (host.CancelAsked()) return kTryFailed;
  if (!FitsOnDisk(paths.Folder, plan.Total - plan.Offset)) {
    package.NoRoom = true;
    host.Log(kLogNoRoom);
    return kTryFailed;
  }
  if (plan.Offset == 0 && !part.StartOver(plan.Total, plan.Validator)) return kTryFailed;
  // The pace is watched from here: hashing a local copy is no stall.
  TPaceWatch pace(call.Deadline);
  return TransferChecked(host, request, paths.Local, paths.Part, part, plan.Offset, plan.Total,
                         element, pace, speed, package.Held, count);
}

// One request for the file and what follows it: a part kept by an earlier
// try is continued when the server still has the same file. `count`
// tells what this try added to the part.
TTryResult TryOnce(TCallWait& wait, HINTERNET session, const TDownloadPaths& paths,
                   TPartFile& part, const TXmlTreeNode* element, float& speed,
                   TPackageDownload& out, TTransferCount& count) {
  speed = 0;
  if (!part.OpenKept(&wait.Host)) return kTryFailed;
  char headers[kRangeHeadersSize];
  const bool resuming = part.Resumable() && FormatRangeHeaders(part.Offset(), part.Record().Validator,
                                                               headers, sizeof headers);
  const THttpTimeouts timeouts = {Limits.ConnectTimeoutMs, Limits.ReceiveTimeoutMs};
  TInternetHandle connection, request;
  TBodyPlan plan;
  const bool answered = OpenHttpGet(session, paths.Url, timeouts, &wait.Host, wait.Deadline, connection,
                                    request, resuming ? headers : nullptr);
  char asked[kRangeHeadersSize] = "";
  if (resuming)
    snprintf(asked, sizeof asked, "bytes=%lu- if-range %s", part.Offset(), part.Record().Validator);
  RecordHttpAnswer(paths.Url, answered ? request.Get() : nullptr, asked);
  if (!answered || !PlanBody(request.Get(), resuming, part, &plan)) return kTryFailed;
  TTryResult result = Fetch(wait, request.Get(), paths, part, plan, element, speed, out, count);
  // A copy found current fetched nothing, even when the server offered the rest.
  out.Resumed = result == kTryDone && plan.Offset != 0 && count.Got != 0;
  return result;
}

}  // namespace

const TTransferLimits& TransferLimits() { return Limits; }

void SetTransferLimits(const TTransferLimits& limits) { Limits = limits; }

bool DownloadFile(TInstallZelmDlgClient& client, const char* folder, TXmlTreeNode* element,
                  float& speed, const char* baseUrl, unsigned long deadlineMs,
                  TPackageDownload* package) {
  speed = 0;
  bool result = false;
  const DWORD callStart = GetTickCount();
  TPackageDownload own;
  TPackageDownload& out = package ? *package : own;
  out.Held.Release();
  out.NoRoom = false;
  out.Resumed = false;
  client.Downloading = true;
  SendDlgItemMessageA(client.GetHandle(), kIdProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));

  TDownloadPaths paths = {folder, {}, {}, {}};
  // A name that could reach outside the folder is refused before anything
  // is asked or created; over-long names are refused whole, as cut short
  // they would name another file on the server or on the disk.
  const char* fileName = element->GetAttribute(kAttrFileName);
  if (IsBareFileName(fileName) && BuildUrl(paths.Url, baseUrl, element) &&
      JoinPath(paths.Local, folder, fileName) && JoinPath(paths.Part, folder, fileName) &&
      AppendPath(paths.Part, kPartSuffix)) {
    const THttpTimeouts timeouts = {Limits.ConnectTimeoutMs, Limits.ReceiveTimeoutMs};
    TInternetHandle session(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.Get()) {
      SetTimeouts(session.Get(), timeouts);
      TCallWait wait{client, {callStart, deadlineMs}};
      TPartFile part;
      part.Name(paths.Part);  // without room for its record, a part is never kept
      // A transfer that breaks after making progress goes on from where it
      // stopped, on this mirror, a few times; one that makes none leaves
      // the rest to the caller's other mirror.
      for (unsigned retry = 0;; ++retry) {
        TTransferCount count;
        TTryResult tried = TryOnce(wait, session.Get(), paths, part, element, speed, out, count);
        if (tried == kTryDone) {
          result = true;
          break;
        }
        const bool kept = part.KeepOrDelete();
        if (tried != kTryBroken || !kept || count.Got == 0 || retry == kSameMirrorRetries) break;
      }
    }
  }

  client.Downloading = false;
  if (client.CancelAsked()) client.Log(kLogCancelled);
  client.ShowProgress(0);
  return result;
}
