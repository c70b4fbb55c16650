#include "app/download.h"

#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/catalogue.h"
#include "app/main_dialog.h"
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

void SetTimeouts(HINTERNET handle) {
  DWORD connect = Limits.ConnectTimeoutMs;
  DWORD receive = Limits.ReceiveTimeoutMs;
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
  InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

// Sends "GET url" with caches bypassed. This is what InternetOpenUrlA does,
// spelled out so that the time-outs sit on the connection handle: Wine's
// WinINet passes only the connect time-out from the root handle down, so a
// server that accepts and then stays silent would hang InternetOpenUrlA.
bool OpenUrl(HINTERNET root, const char* url, TInternetHandle& connection,
             TInternetHandle& request) {
  char host[256] = {};
  TPathBuffer object = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUrlPath = object;
  parts.dwUrlPathLength = sizeof(object);
  char extra[256] = {};
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = sizeof(extra);
  if (!InternetCrackUrlA(url, 0, 0, &parts)) return false;
  DWORD flags = INTERNET_FLAG_RELOAD;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  else if (parts.nScheme != INTERNET_SCHEME_HTTP) return false;
  TPathBuffer& target = object;
  if (!target[0] && !AppendPath(target, "/")) return false;
  if (!AppendPath(target, extra)) return false;

  connection.Reset(InternetConnectA(root, host, parts.nPort, nullptr, nullptr,
                                    INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.Get()) return false;
  SetTimeouts(connection.Get());
  request.Reset(HttpOpenRequestA(connection.Get(), "GET", target, nullptr, nullptr, nullptr,
                                 flags, 0));
  if (!request.Get()) return false;
  SetTimeouts(request.Get());
  if (!HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) return false;
  if (!(flags & INTERNET_FLAG_SECURE)) return true;
  // A mirror reached over https must not hand the file over in the clear.
  // Windows refuses a redirect to http by itself, but Wine's WinINet follows
  // it, so the scheme of the URL the request ended at is checked here; an
  // end URL too long to read is refused as well.
  char endUrl[INTERNET_MAX_URL_LENGTH + 1] = {};
  DWORD endLength = sizeof(endUrl);
  if (!InternetQueryOptionA(request.Get(), INTERNET_OPTION_URL, endUrl, &endLength)) return false;
  URL_COMPONENTSA end = {};
  end.dwStructSize = sizeof(end);
  return InternetCrackUrlA(endUrl, 0, 0, &end) && end.nScheme == INTERNET_SCHEME_HTTPS;
}

// Size the server announces, 0 when the file must not be transferred: a
// status other than 200, or no usable Content-Length.
DWORD ExpectedSize(HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                     nullptr) &&
      status != 200) {
    return 0;
  }
  char text[256] = {};
  length = sizeof(text) - 1;
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr)) text[0] = 0;
  text[sizeof(text) - 1] = 0;
  unsigned long size = 0;
  return ParseContentLength(text, &size) ? size : 0;
}

// The catalogue's time for the skip test. False when the date is no real
// moment (month 13, day 0, hour 25): then no local copy counts as current.
bool CatalogueTime(const TXmlTreeNode* element, FILETIME* time) {
  SYSTEMTIME st = {};
  int year, month, day, hour, minute, second;
  const char* date = element->FindAttribute(kAttrModifyDate);
  if (date && sscanf(date, "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) == 6) {
    if (year < 100) year += 2000;  // any year below 100 counts from 2000: 8 is 2008
    // SystemTimeToFileTime checks the day against the month; the ranges
    // below keep the values from wrapping in the 16-bit fields first.
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
      return false;
    }
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
  } else {
    GetSystemTime(&st);
    st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
  }
  return SystemTimeToFileTime(&st, time) != FALSE;
}

// True when the local file has the expected size and is not older than the
// catalogue's time, so that the transfer can be skipped.
bool IsLocalFileCurrent(const char* localPath, DWORD expected, const TXmlTreeNode* element) {
  TKernelHandle file(CreateFileA(localPath, 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!file.IsOpen()) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.Get(), &info)) return false;
  FILETIME catalogue;
  if (!CatalogueTime(element, &catalogue)) return false;
  ULARGE_INTEGER written, wanted;
  written.LowPart = info.ftLastWriteTime.dwLowDateTime;
  written.HighPart = info.ftLastWriteTime.dwHighDateTime;
  wanted.LowPart = catalogue.dwLowDateTime;
  wanted.HighPart = catalogue.dwHighDateTime;
  return info.nFileSizeLow == expected && written.QuadPart >= wanted.QuadPart;
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

// Reads up to a block of what the server has sent. WinINet's read waits
// until the whole block is there, which a trickle can stretch to hours, so
// only what is already available is asked for. False on an error or a
// time-out; *read is 0 at the end of the body.
bool ReadAvailable(HINTERNET request, char* block, DWORD size, DWORD* read) {
  *read = 0;
  DWORD available = 0;
  if (!InternetQueryDataAvailable(request, &available, 0, 0)) return false;
  if (available == 0) return true;
  if (!InternetReadFile(request, block, available < size ? available : size, read)) return false;
  if (*read > size) *read = 0;  // never trust a count past the buffer
  return true;
}

// Reads the body block by block into the local file while the progress bar
// moves and the queue drains; stops early on a cancel, a stall, the
// deadline, or as soon as more than `expected` bytes have arrived (the rest
// is not read: a body longer than announced could fill the disk). True when
// exactly `expected` bytes arrived and were written.
bool Transfer(TInstallZelmDlgClient& client, HINTERNET request, const char* localPath,
              DWORD expected, TPaceWatch& pace, float& speed) {
  bool result = false;
  std::ofstream out(localPath, std::ios::binary | std::ios::trunc);
  DWORD start = GetTickCount();
  unsigned long long received = 0;
  unsigned shown = 0;
  SetProgress(client, shown);
  static char block[kTransferBlockSize];  // the UI thread is the only caller
  while (!client.CancelRequested) {
    DWORD read = 0;
    bool ok = ReadAvailable(request, block, sizeof(block), &read);
    out.write(block, read);
    received += read;
    if (received > expected) break;  // the file keeps its wrong size: fetched again next time
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

// White space as the integer reading of attribute text knows it.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool ParseContentLength(const char* text, unsigned long* size) {
  *size = 0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  if (*p == '+') ++p;
  if (*p < '0' || *p > '9') return false;
  unsigned long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFull) return false;
  }
  while (IsBlank(*p)) ++p;
  if (*p != 0 || value == 0) return false;
  *size = static_cast<unsigned long>(value);
  return true;
}

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
    TInternetHandle root(InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (root.Get()) {
      SetTimeouts(root.Get());
      TInternetHandle connection, request;
      DWORD expected = 0;
      if (OpenUrl(root.Get(), url, connection, request)) expected = ExpectedSize(request.Get());
      if (expected != 0) {
        if (IsLocalFileCurrent(localPath, expected, element)) {
          result = true;
        } else {
          TPaceWatch pace(callStart, deadlineMs);
          result = Transfer(client, request.Get(), localPath, expected, pace, speed);
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
