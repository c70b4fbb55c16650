#include "app/download.h"

#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include "app/body_reader.h"
#include "app/catalogue.h"
#include "app/held_file.h"
#include "app/http_request.h"
#include "app/local_copy.h"
#include "app/main_dialog.h"
#include "app/package_hash.h"
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

bool BuildLocalPath(TPathBuffer& localPath, const char* folder, const TXmlTreeNode* element) {
  localPath[0] = 0;
  return AppendPath(localPath, folder) && AppendPath(localPath, "\\") &&
         AppendPath(localPath, element->GetAttribute(kAttrFileName));
}

void SetProgress(TInstallZelmDlgClient& client, unsigned percent) {
  SendDlgItemMessageA(client.GetHandle(), kIdProgress, PBM_SETPOS, percent, 0);
}

// Watches a transfer's pace: it fails when less than kStallMinBytes arrive
// in a stall window, or when the whole call passes its deadline.
class TPaceWatch {
 public:
  TPaceWatch(DWORD callStart, unsigned long deadlineMs)
      : CallStart(callStart), DeadlineMs(deadlineMs), WindowStart(GetTickCount()) {}

  // Counts bytes just received; false when the transfer must be given up.
  bool Received(DWORD bytes) {
    DWORD now = GetTickCount();
    WindowBytes += bytes;
    if (DeadlineMs && now - CallStart >= DeadlineMs) return false;
    if (now - WindowStart < Limits.StallWindowMs) return true;
    if (WindowBytes < kStallMinBytes) return false;
    WindowStart = now;
    WindowBytes = 0;
    return true;
  }

 private:
  DWORD CallStart;
  unsigned long DeadlineMs;
  DWORD WindowStart;
  unsigned long long WindowBytes = 0;
};

void PumpClient(void* client) { static_cast<TInstallZelmDlgClient*>(client)->PumpMessages(); }

// Writes a block; false when the disk took less than all of it (full,
// gone, refused), which ends the transfer at once.
bool WriteBlock(HANDLE file, const char* block, DWORD size) {
  DWORD written = 0;
  return size == 0 || (WriteFile(file, block, size, &written, nullptr) && written == size);
}

// Reads the body block by block into the file at partPath while the
// progress bar moves and the queue drains; stops early on a cancel, a stall,
// the deadline, a write that fails, or as soon as more than `expected` bytes
// have arrived (the rest is not read: a body longer than announced could fill
// the disk). Every block goes into `hash` when one is given. While it is
// written, nobody else may write to the file. True when exactly `expected`
// bytes arrived and were written.
bool Transfer(TInstallZelmDlgClient& client, HINTERNET request, const char* partPath,
              DWORD expected, TPaceWatch& pace, TSha256* hash, float& speed) {
  bool result = false;
  TKernelHandle out(CreateFileA(partPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD start = GetTickCount();
  unsigned long long received = 0;
  unsigned shown = 0;
  SetProgress(client, shown);
  static char block[kTransferBlockSize];  // the UI thread is the only caller
  // A slow server keeps a read waiting for seconds: the window answers
  // meanwhile.
  TBodyReader body(request, &PumpClient, &client);
  while (out.IsOpen() && !client.CancelRequested) {
    DWORD read = 0;
    bool ok = body.Read(block, sizeof(block), &read);
    received += read;
    if (received > expected || !WriteBlock(out.Get(), block, read)) break;
    if (hash && read) hash->Update(block, read);
    unsigned percent = static_cast<unsigned>(received * 100 / expected);
    // A large file moves the bar once in hundreds of blocks; telling the
    // control the same position again would only cost time.
    if (percent != shown) {
      shown = percent;
      SetProgress(client, shown);
    }
    client.PumpMessages();
    if (!ok || read == 0) {
      result = received == expected;
      break;
    }
    if (!pace.Received(read)) break;
  }
  out.Close();  // the caller moves or deletes the file next
  DWORD elapsed = GetTickCount() - start;
  if (elapsed != 0) speed = static_cast<float>(static_cast<double>(expected) / elapsed);
  RecordTransfer(partPath, received, expected, elapsed, result, client.CancelRequested);
  return result;
}

// Drains the queue while a local copy is hashed; stops the hashing on a
// cancel or when the window is gone.
bool PumpWhileWaiting(void* context) {
  TInstallZelmDlgClient& client = *static_cast<TInstallZelmDlgClient*>(context);
  client.PumpMessages();
  return !client.CancelRequested && client.IsWindowAlive();
}

// One call's view while the server's answer is awaited.
struct TCallWait {
  TInstallZelmDlgClient& Client;
  DWORD CallStart;
  unsigned long DeadlineMs;
};

// Keeps the window answering while the head of a response is awaited, and
// gives the request up on a cancel or when the call's deadline has passed.
bool WaitForHead(void* context) {
  TCallWait& wait = *static_cast<TCallWait*>(context);
  if (!PumpWhileWaiting(&wait.Client)) return false;
  return !wait.DeadlineMs || GetTickCount() - wait.CallStart < wait.DeadlineMs;
}

void LogCheckFailed(TInstallZelmDlgClient& client) {
  client.LogText += "文件校验失败。\r\n";
  client.RefreshLog();
}

// Transfer into partPath, then the check of what came: its SHA-256 is taken
// block by block as the data arrives and must be the element's "sha256"
// when it names one. A file that passes is moved onto localPath and held
// there (MoveIntoPlaceAndHold), and must still be exactly what arrived; a
// file that fails is deleted and "文件校验失败。" logged. Whatever goes wrong,
// an earlier file at localPath is touched only by a successful move.
bool TransferChecked(TInstallZelmDlgClient& client, HINTERNET request, const char* localPath,
                     const char* partPath, DWORD expected, const TXmlTreeNode* element,
                     TPaceWatch& pace, float& speed, THeldFile& held) {
  const char* sha256 = element->FindAttribute(kSha256Attribute);
  TSha256 hash;
  // Without CryptoAPI's SHA-256 a wanted hash can only fail; without a
  // wanted one, the size alone is checked again after the move.
  bool hashing = hash.Open();
  bool complete = Transfer(client, request, partPath, expected, pace, hashing ? &hash : nullptr, speed);
  TSha256Digest received;
  bool known = complete && hashing && hash.Finish(&received);
  if (complete && sha256)
    RecordHash(partPath, known ? &received : nullptr, sha256, known && Sha256Matches(sha256, received));
  if (complete && sha256 && !(known && Sha256Matches(sha256, received))) {
    DeleteFileA(partPath);
    LogCheckFailed(client);
    return false;
  }
  if (!complete) {
    DeleteFileA(partPath);
    return false;
  }
  switch (MoveIntoPlaceAndHold(partPath, localPath, expected, known ? &received : nullptr,
                               &PumpWhileWaiting, &client, held)) {
    case kMoveHeld:
      return true;
    case kMoveStopped:  // a cancel: the file in place is what arrived
      return false;
    default:
      // Not put in place (the file there is in use), not held, or changed
      // before it was held: there is no checked file to start.
      LogCheckFailed(client);
      return false;
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

// Everything after the server announced `expected` bytes: the skip test, the
// room on the disk, the transfer and its checks.
bool Fetch(const TCallWait& call, HINTERNET request, const char* folder, const char* localPath,
           const char* partPath, DWORD expected, const TXmlTreeNode* element, float& speed,
           TPackageDownload& package) {
  TInstallZelmDlgClient& client = call.Client;
  if (HoldCurrentLocalCopy(localPath, expected, element, &PumpWhileWaiting, &client, package.Held))
    return true;
  // A cancel during the hash of the local copy ends the call here: the copy
  // stays as it is.
  if (client.CancelRequested) return false;
  if (!FitsOnDisk(folder, expected)) {
    package.NoRoom = true;
    client.LogText += "磁盘空间不足。\r\n";
    client.RefreshLog();
    return false;
  }
  // The pace is watched from here: hashing a local copy is no stall.
  TPaceWatch pace(call.CallStart, call.DeadlineMs);
  return TransferChecked(client, request, localPath, partPath, expected, element, pace, speed,
                         package.Held);
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
  client.Downloading = true;
  SendDlgItemMessageA(client.GetHandle(), kIdProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));

  TPathBuffer url;
  TPathBuffer localPath;
  TPathBuffer partPath;
  // A name that could reach outside the folder is refused before anything
  // is asked or created; over-long names are refused whole, as cut short
  // they would name another file on the server or on the disk.
  if (IsBareFileName(element->GetAttribute(kAttrFileName)) && BuildUrl(url, baseUrl, element) &&
      BuildLocalPath(localPath, folder, element) &&
      BuildLocalPath(partPath, folder, element) && AppendPath(partPath, kPartSuffix)) {
    const THttpTimeouts timeouts = {Limits.ConnectTimeoutMs, Limits.ReceiveTimeoutMs};
    TInternetHandle session(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.Get()) {
      SetTimeouts(session.Get(), timeouts);
      TInternetHandle connection, request;
      DWORD expected = 0;
      TCallWait wait{client, callStart, deadlineMs};
      const bool answered =
          OpenHttpGet(session.Get(), url, timeouts, &WaitForHead, &wait, connection, request);
      RecordHttpAnswer(url, answered ? request.Get() : nullptr);
      if (answered) expected = AnnouncedLength(request.Get());
      if (expected != 0)
        result = Fetch(wait, request.Get(), folder, localPath, partPath, expected, element, speed, out);
    }
  }

  client.Downloading = false;
  if (client.CancelRequested) {
    client.LogText += "下载中止。\r\n";
    client.RefreshLog();
  }
  SetProgress(client, 0);
  return result;
}
