// Reading the body of an HTTP response without silencing the window.
//
// A read from WinINet waits until the server has sent something, which a
// slow or stalled server stretches to seconds. The reads are therefore made
// on CallPumping's helper thread while the window's thread answers its
// messages; to keep the hand-over from costing more than the transfer, each
// one takes everything WinINet has at hand (up to kBodyReadAhead bytes), and
// the caller is then served from that in blocks of its own size.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "app/run_host.h"

// The most one hand-over reads ahead of the caller.
constexpr DWORD kBodyReadAhead = 1024 * 1024;

class TBodyReader {
 public:
  // request: an open HTTP request whose head has arrived (not owned); host:
  // pumped on the window's thread while a read waits (not owned).
  TBodyReader(HINTERNET request, TRunHost& host);

  // Up to `size` bytes of the body into `block`; *read is 0 at the end of
  // the body. False for a failed or timed-out read, once the bytes that
  // came before it have all been handed out.
  bool Read(char* block, DWORD size, DWORD* read);

 private:
  // Reads ahead into Buffer; runs on CallPumping's helper thread.
  void Fill();

  HINTERNET Request;  // not owned
  TRunHost& Host;
  std::vector<char> Buffer;
  size_t Start = 0, End = 0;  // what is read ahead and not yet handed out
  bool Failed = false, Ended = false;
};
