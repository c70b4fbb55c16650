// HTTP download of one catalogue file into a local folder, on the UI thread.
#pragma once

#include "app/http_request.h"

class TInstallZelmDlgClient;
class TXmlTreeNode;

// Bytes per read; after each block the progress bar moves and the queue drains.
constexpr unsigned kTransferBlockSize = 10240;

// How long a transfer may take, in milliseconds. Everything runs on the
// window's thread, so a server that keeps a transfer going without finishing
// it would otherwise hold the program for as long as it likes.
struct TTransferLimits {
  // A server that accepts the connection and then says nothing would
  // otherwise freeze the window for as long as the platform's default allows
  // (an hour on some WinINet versions).
  unsigned long ConnectTimeoutMs;
  unsigned long ReceiveTimeoutMs;
  // A transfer must receive kStallMinBytes in every window of this length. A
  // trickle of a byte every few seconds never trips the receive time-out,
  // and no real mirror is that slow.
  unsigned long StallWindowMs;
  // A catalogue attempt fails once it has run this long in all: it happens
  // before the window is shown, so there is no cancel button to stop it.
  // The deadline is checked while the head of the answer is awaited and
  // after every read; a read waits at most ReceiveTimeoutMs, which bounds
  // how far past the deadline an attempt can run.
  unsigned long CatalogueDeadlineMs;
};
constexpr TTransferLimits kTransferLimits = {30000, 60000, 60000, 120000};
constexpr unsigned long kStallMinBytes = 1024;

// Fetches the file that `element` names from `baseUrl` into `folder`.
//
// The URL is baseUrl + "path" + "/" + "fileName", where "path" is inherited
// from the nearest element upward that has the attribute (empty means none);
// the local file is folder + "\" + "fileName". The transfer is skipped when
// the local copy is current (IsLocalCopyCurrent: the server's length, not
// older than "modifyDate", the "sha256" when there is one). When the element
// carries "sha256", a transferred file must have that SHA-256: otherwise it
// is deleted, "文件校验失败。\r\n" is logged and the call fails.
//
// While the call runs, client.Downloading is set, the progress bar (control
// 101) shows the percentage received, and the message queue is drained after
// every block so that the cancel button (client.CancelRequested) acts. On a
// cancel "下载中止。\r\n" is logged. `speed` is set to 0 on entry and, after
// a transfer loop that took at least one tick, to the expected size in bytes
// divided by the elapsed milliseconds.
//
// Returns true when the local file is complete: found current, or received
// with exactly the announced Content-Length. Returns false for a server or
// connection failure, a status other than 200, a missing, zero, malformed or
// over-32-bit Content-Length, a short or long body, a cancel, a time-out or
// stall, a local file that cannot be written, and for a URL or local path
// longer than 255 characters (nothing is created then). A partial file is
// left in place and fails the size test next time.
//
// `deadlineMs` (0: none) bounds the whole call; the catalogue fetch passes
// TransferLimits().CatalogueDeadlineMs. Every transfer also fails when it
// stalls (less than kStallMinBytes in StallWindowMs) and stops reading as
// soon as more bytes than announced arrive. A "fileName" that is not a bare
// file name (IsBareFileName) is refused before anything is sent or created.
bool DownloadFile(TInstallZelmDlgClient& client, const char* folder, TXmlTreeNode* element,
                  float& speed, const char* baseUrl, unsigned long deadlineMs = 0);

// The limits later downloads run under; kTransferLimits until changed. Tests
// shorten them to keep a stalled server's wait short.
const TTransferLimits& TransferLimits();
void SetTransferLimits(const TTransferLimits& limits);
