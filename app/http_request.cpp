#include "app/http_request.h"

#include <wininet.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "app/catalogue.h"
#include "markup/integer_text.h"
#include "app/run_host.h"

namespace {

// How long a request may wait for its head before the window's messages are
// drained and the host asked whether to go on: short enough that the window never goes
// noticeably quiet, long enough that a server on the local network answers
// within it.
const DWORD kQuietWaitMs = 100;

// What the sending thread and the waiting one share; whichever of them ends
// last frees it.
struct TSendState {
  TKernelHandle Done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  BOOL Sent = FALSE;
  std::string Headers;  // the sending thread's own copy: it may outlive the caller's
};

// HttpSendRequestA returns when the response's head has arrived, and a
// server that sends its head a byte at a time keeps it from returning for
// as long as it likes: every byte comes within the receive time-out. So the
// request is sent on a thread of its own while this one waits, drains the
// window's messages and asks the host whether to go on. When it says no,
// the request is given up: its handles are closed (which ends the send on
// Windows; where it does not, the sending thread finishes on its own and
// touches nothing of ours but the shared state).
// Whatever the host says, the head must have come within the connect
// and receive time-outs together: those are meant to bound the send, and
// a send that outlives them has hung (Wine's WinINet has been seen to leave
// one waiting on a refused port), so it is given up like any other.
bool SendRequestWaiting(HINTERNET request, const char* headers, DWORD limitMs, TRunHost* host,
                        const TCallDeadline& deadline) {
  const DWORD start = GetTickCount();
  auto state = std::make_shared<TSendState>();
  if (!state->Done.IsOpen()) return false;
  if (headers) state->Headers = headers;
  std::thread([state, request] {
    const std::string& extra = state->Headers;
    state->Sent = HttpSendRequestA(request, extra.empty() ? nullptr : extra.c_str(),
                                   static_cast<DWORD>(extra.size()), nullptr, 0);
    SetEvent(state->Done.Get());
  }).detach();
  const HANDLE done = state->Done.Get();
  // An honest server answers at once: the window's messages are left alone
  // then, as they are between the steps of a transfer, so that a request
  // behaves as one plain blocking call unless it really hangs.
  if (WaitForSingleObject(done, kQuietWaitMs) == WAIT_OBJECT_0) return state->Sent != FALSE;
  for (;;) {
    DWORD woken = MsgWaitForMultipleObjects(1, &done, FALSE, 100, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) return state->Sent != FALSE;
    if (woken == WAIT_FAILED || (host && (!host->KeepGoing() || deadline.Passed()))) return false;
    if (GetTickCount() - start >= limitMs) return false;
  }
}

}  // namespace

void SetTimeouts(HINTERNET handle, const THttpTimeouts& timeouts) {
  DWORD connect = timeouts.ConnectMs;
  DWORD receive = timeouts.ReceiveMs;
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
  InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

// This is what InternetOpenUrlA does, spelled out so that the time-outs sit
// on the connection handle: Wine's WinINet passes only the connect time-out
// from the session handle down, so a server that accepts and then stays
// silent would hang InternetOpenUrlA.
bool OpenHttpGet(HINTERNET session, const char* url, const THttpTimeouts& timeouts,
                 TRunHost* runHost, const TCallDeadline& deadline, TInternetHandle& connection,
                 TInternetHandle& request, const char* headers) {
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
  // Fresh from the server, and kept nowhere but where the caller writes it:
  // WinINet would otherwise put a second copy of every package in its cache.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  else if (parts.nScheme != INTERNET_SCHEME_HTTP) return false;
  TPathBuffer& target = object;
  if (!target[0] && !AppendPath(target, "/")) return false;
  if (!AppendPath(target, extra)) return false;

  connection.Reset(InternetConnectA(session, host, parts.nPort, nullptr, nullptr,
                                    INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.Get()) return false;
  SetTimeouts(connection.Get(), timeouts);
  request.Reset(HttpOpenRequestA(connection.Get(), "GET", target, nullptr, nullptr, nullptr,
                                 flags, 0));
  if (!request.Get()) return false;
  SetTimeouts(request.Get(), timeouts);
  const DWORD limitMs = timeouts.ConnectMs + timeouts.ReceiveMs;
  if (!SendRequestWaiting(request.Get(), headers, limitMs, runHost, deadline)) return false;
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

DWORD ResponseStatus(HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                      nullptr))
    return 0;
  return status;
}

bool QueryHeaderText(HINTERNET request, DWORD query, char (&text)[256]) {
  memset(text, 0, sizeof text);
  DWORD length = sizeof(text) - 1;
  if (HttpQueryInfoA(request, query, text, &length, nullptr)) {
    if (length < sizeof(text) - 1) return true;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  memset(text, 0, sizeof text);
  return false;
}

DWORD AnnouncedLength(HINTERNET request) {
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

bool ParseContentLength(const char* text, unsigned long* size) {
  *size = 0;
  const char* p = SkipBlanks(text);
  if (*p == '+') ++p;
  unsigned long long value = 0;
  if (!ReadDecimalDigits(p, 0xFFFFFFFFull, &value) || value > 0xFFFFFFFFull) return false;
  if (*SkipBlanks(p) != 0 || value == 0) return false;
  *size = static_cast<unsigned long>(value);
  return true;
}
