#include "app/download.h"

#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <fstream>

#include "app/catalogue.h"
#include "app/http_request.h"
#include "app/local_copy.h"
#include "app/body_reader.h"
#include "app/main_dialog.h"
#include "app/package_hash.h"
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

// Reads the body block by block into the local file while the progress bar
// moves and the queue drains; stops early on a cancel, a stall, the
// deadline, or as soon as more than `expected` bytes have arrived (the rest
// is not read: a body longer than announced could fill the disk). Every
// block goes into `hash` when one is given. True when exactly `expected`
// bytes arrived and were written.
bool Transfer(TInstallZelmDlgClient& client, HINTERNET request, const char* localPath,
              DWORD expected, TPaceWatch& pace, TSha256* hash, float& speed) {
  bool result = false;
  std::ofstream out(localPath, std::ios::binary | std::ios::trunc);
  DWORD start = GetTickCount();
  unsigned long long received = 0;
  unsigned shown = 0;
  SetProgress(client, shown);
  static char block[kTransferBlockSize];  // the UI thread is the only caller
  // A slow server keeps a read waiting for seconds: the window answers
  // meanwhile.
  TBodyReader body(request, &PumpClient, &client);
  while (!client.CancelRequested) {
    DWORD read = 0;
    bool ok = body.Read(block, sizeof(block), &read);
    out.write(block, read);
    received += read;
    if (received > expected) break;  // the file keeps its wrong size: fetched again next time
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
      out.close();
      result = received == expected && !out.fail();
      break;
    }
    if (!pace.Received(read)) break;
  }
  DWORD elapsed = GetTickCount() - start;
  if (elapsed != 0) speed = static_cast<float>(static_cast<double>(expected) / elapsed);
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

// Transfer, and when the element names a "sha256", the check of what came:
// the hash is taken block by block as the data arrives, never by reading the
// file again. A file that fails the check is deleted, so that nothing can
// start it, and "文件校验失败。" is logged.
bool TransferChecked(TInstallZelmDlgClient& client, HINTERNET request, const char* localPath,
                     DWORD expected, const TXmlTreeNode* element, TPaceWatch& pace, float& speed) {
  const char* sha256 = element->FindAttribute(kSha256Attribute);
  TSha256 hash;
  // Without a hash to take, a wanted one can only fail: CryptoAPI refused.
  bool hashing = sha256 && hash.Open();
  bool complete = Transfer(client, request, localPath, expected, pace, hashing ? &hash : nullptr, speed);
  if (!complete || !sha256) return complete;
  TSha256Digest digest;
  if (hashing && hash.Finish(&digest) && Sha256Matches(sha256, digest)) return true;
  DeleteFileA(localPath);
  client.LogText += "文件校验失败。\r\n";
  client.RefreshLog();
  return false;
}

}  // namespace

const TTransferLimits& TransferLimits() { return Limits; }

void SetTransferLimits(const TTransferLimits& limits) { Limits = limits; }

bool DownloadFile(TInstallZelmDlgClient& client, const char* folder, TXmlTreeNode* element,
                  float& speed, const char* baseUrl, unsigned long deadlineMs) {
  speed = 0;
  bool result = false;
  const DWORD callStart = GetTickCount();
  client.Downloading = true;
  SendDlgItemMessageA(client.GetHandle(), kIdProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));

  TPathBuffer url;
  TPathBuffer localPath;
  // A name that could reach outside the folder is refused before anything
  // is asked or created; over-long names are refused whole, as cut short
  // they would name another file on the server or on the disk.
  if (IsBareFileName(element->GetAttribute(kAttrFileName)) && BuildUrl(url, baseUrl, element) &&
      BuildLocalPath(localPath, folder, element)) {
    const THttpTimeouts timeouts = {Limits.ConnectTimeoutMs, Limits.ReceiveTimeoutMs};
    TInternetHandle session(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.Get()) {
      SetTimeouts(session.Get(), timeouts);
      TInternetHandle connection, request;
      DWORD expected = 0;
      TCallWait wait{client, callStart, deadlineMs};
      if (OpenHttpGet(session.Get(), url, timeouts, &WaitForHead, &wait, connection, request))
        expected = AnnouncedLength(request.Get());
      if (expected != 0) {
        if (IsLocalCopyCurrent(localPath, expected, element, &PumpWhileWaiting, &client)) {
          result = true;
        } else {
          TPaceWatch pace(callStart, deadlineMs);
          result = TransferChecked(client, request.Get(), localPath, expected, element, pace, speed);
        }
      }
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
