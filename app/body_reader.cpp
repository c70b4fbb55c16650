#include "app/body_reader.h"

#include <cstring>

#include "app/message_wait.h"

namespace {

// How long one hand-over goes on reading what keeps coming: short enough
// that the progress bar, a cancel and the pace watch see the data soon.
const DWORD kFillMs = 20;

}  // namespace

TBodyReader::TBodyReader(HINTERNET request, TRunHost& host)
    : Request(request), Host(host), Buffer(kBodyReadAhead) {}

bool TBodyReader::Read(char* block, DWORD size, DWORD* read) {
  *read = 0;
  if (Start == End) {
    if (Failed) return false;
    if (Ended) return true;
    Start = End = 0;
    CallPumping([this] { Fill(); }, &Host);
    if (Start == End) return !Failed;
  }
  const size_t n = End - Start < size ? End - Start : size;
  memcpy(block, Buffer.data() + Start, n);
  Start += n;
  *read = static_cast<DWORD>(n);
  return true;
}

// Runs on the helper thread. WinINet's read waits until the whole amount
// asked for is there, which a trickle can stretch to hours, so only what is
// already available is asked for; the question itself waits while nothing
// is. Reading goes on for up to kFillMs, so that one hand-over carries
// many of WinINet's small buffers from a fast server.
void TBodyReader::Fill() {
  const DWORD start = GetTickCount();
  while (End < Buffer.size()) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(Request, &available, 0, 0)) {
      Failed = true;
      return;
    }
    if (available == 0) {
      Ended = true;
      return;
    }
    const DWORD room = static_cast<DWORD>(Buffer.size() - End);
    const DWORD want = available < room ? available : room;
    DWORD got = 0;
    if (!InternetReadFile(Request, Buffer.data() + End, want, &got)) {
      Failed = true;
      return;
    }
    if (got == 0 || got > want) {  // never trust a count past the buffer
      Ended = true;
      return;
    }
    End += got;
    if (GetTickCount() - start >= kFillMs) return;
  }
}
