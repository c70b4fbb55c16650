// One HTTP GET with WinINet, as every download makes it: caches bypassed,
// time-outs on every handle, and the length the server announces.
#pragma once

#include <windows.h>

#include "platform/win32_handles.h"

// Agent name sent with every request.
constexpr const char* kUserAgent = "InstallZelm";

// Time-outs of one request, in milliseconds.
struct THttpTimeouts {
  unsigned long ConnectMs;
  unsigned long ReceiveMs;  // also the send time-out
};

// Sets the time-outs on a WinINet handle (session, connection or request).
void SetTimeouts(HINTERNET handle, const THttpTimeouts& timeouts);

class TRunHost;

// The end of a call that must not run past a time (0 ms: none), counted
// from Start (GetTickCount).
struct TCallDeadline {
  DWORD Start = 0;
  unsigned long Ms = 0;
  bool Passed() const { return Ms != 0 && GetTickCount() - Start >= Ms; }
};

// Sends "GET url" (http or https, at most 255 characters) on `session` with
// caches bypassed and left unwritten (INTERNET_FLAG_RELOAD,
// INTERNET_FLAG_NO_CACHE_WRITE). Once the head of the response has been
// awaited for a tenth of a second, host->KeepGoing() (host may be null:
// wait for the time-outs) and the deadline are asked about ten times a
// second and whenever a message arrives; a cancel, a window gone or the
// deadline passed give the request up. `headers` (may be null) are extra request header lines, each
// ending in "\r\n" (a resumed transfer's Range and If-Range). On success
// `connection` and `request` own the new handles and the response's head
// has arrived. False for a URL that is not http(s), a host that cannot be
// reached, a request that fails or times out, one that was given up
// or whose head took longer than the connect and receive time-outs
// together, and an https request that was redirected to http.
bool OpenHttpGet(HINTERNET session, const char* url, const THttpTimeouts& timeouts,
                 TRunHost* host, const TCallDeadline& deadline, TInternetHandle& connection,
                 TInternetHandle& request, const char* headers = nullptr);

// The response's status code, 0 when it cannot be read.
DWORD ResponseStatus(HINTERNET request);

// A response header's value (`query`: HTTP_QUERY_ETAG and the like) into
// `text`; false, with `text` empty, when the response has none or it does
// not fit 255 characters (a value cut short is no value); GetLastError()
// is then ERROR_HTTP_HEADER_NOT_FOUND for a header the response lacks.
bool QueryHeaderText(HINTERNET request, DWORD query, char (&text)[256]);

// The size the server announces, 0 when the file must not be transferred: a
// readable status other than 200, or no usable Content-Length.
DWORD AnnouncedLength(HINTERNET request);

// Reads a Content-Length header value: white space around it, an optional "+",
// decimal digits. False (size 0) for anything else, for 0 and for values
// past 32 bits: a file whose size cannot be checked is not transferred.
bool ParseContentLength(const char* text, unsigned long* size);
