// HTTP download of one catalogue file into a local folder, on the UI thread.
#pragma once

#include "app/held_file.h"
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

// A transfer is written to folder + "\" + "fileName" + kPartSuffix and put
// in place only once it is complete and checked, so that a failed, refused
// or cancelled transfer leaves an earlier file of that name as it was.
constexpr const char* kPartSuffix = ".part";

// How often one call goes on with a transfer that broke after making
// progress, from where it stopped, before it leaves the file to the other
// mirror.
constexpr unsigned kSameMirrorRetries = 3;

// What a package download leaves for the install run.
struct TPackageDownload {
  // The finished file, held (THeldFile) from its check on: the install run
  // keeps it held until the installer has ended. Nothing held after a failure.
  THeldFile Held;
  // Set when the announced length did not fit on the download folder's
  // drive: another mirror would fare no better, so none is tried.
  bool NoRoom = false;
  // Set when the file was finished from a part kept by an earlier try:
  // only its rest was fetched.
  bool Resumed = false;
};

// Fetches the file that `element` names from `baseUrl` into `folder`.
//
// The URL is baseUrl + "path" + "/" + "fileName", where "path" is inherited
// from the nearest element upward that has the attribute (empty means none);
// the local file is folder + "\" + "fileName". The transfer is skipped when
// the local copy is current (HoldCurrentLocalCopy: the server's length, not
// older than "modifyDate", the "sha256" when there is one, all read through
// a handle that holds the file). Otherwise the body goes to the part file
// (kPartSuffix), which nobody else may write while it grows. Before that,
// the announced length must fit in the free space of the folder's drive, or
// kLogNoRoom is logged and the call fails with package->NoRoom set.
// A transfer that breaks keeps the part, with the server's validator (a
// strong ETag, else Last-Modified) in the part's record (kResumeInfoSuffix,
// app/part_file.h), when that validator can be trusted; otherwise the part
// is deleted. The next try of the file (in this call, on the other mirror,
// in a later run) hashes the kept bytes and asks for the rest with Range
// and If-Range; a 206 with exactly that range is appended, a 200 starts
// over, anything else fails the try and leaves the part. Within one call a
// transfer that broke after making progress is tried again up to
// kSameMirrorRetries times, until a try makes none.
// A complete body whose SHA-256 is not the element's "sha256" (when it has
// one) is deleted and kLogCheckFailed logged. A complete and checked
// one replaces the local file (MoveIntoPlaceAndHold) and is held there; when
// it cannot be put in place (the local file is in use) or held, or is no
// longer what arrived, kLogCheckFailed is logged and the call fails.
//
// While the call runs, client.Downloading is set, and the client as run host
// (app/run_host.h) shows the percentage received in the progress bar and is
// pumped after every block, so that the cancel button (CancelAsked) acts.
// On a cancel kLogCancelled is logged. `speed` is set to 0 on entry and, after
// a transfer loop that took at least one tick, to the expected size in bytes
// divided by the elapsed milliseconds.
//
// Returns true when the local file is complete: found current, or received
// with exactly the announced Content-Length and checked. Returns false for a
// server or connection failure, a status other than 200, a missing, zero,
// malformed or over-32-bit Content-Length, a short or long body, a cancel, a
// time-out or stall, a part file that cannot be written (the transfer ends
// at the first failed write), a local file that cannot be replaced, and for
// a URL or local path longer than 255 characters (nothing is created then).
// On false an earlier local file is as it was, and the part file is gone
// unless it was kept to be resumed (never after a failed write).
//
// `deadlineMs` (0: none) bounds the whole call; the catalogue fetch passes
// TransferLimits().CatalogueDeadlineMs. Every transfer also fails when it
// stalls (less than kStallMinBytes in StallWindowMs) and stops reading as
// soon as more bytes than announced arrive. A "fileName" that is not a bare
// file name (IsBareFileName) is refused before anything is sent or created.
//
// `package` (may be null) receives the held file on success, to be kept
// until the file has been used; without it the file is released on return.
bool DownloadFile(TInstallZelmDlgClient& client, const char* folder, TXmlTreeNode* element,
                  float& speed, const char* baseUrl, unsigned long deadlineMs = 0,
                  TPackageDownload* package = nullptr);

// The limits later downloads run under; kTransferLimits until changed. Tests
// shorten them to keep a stalled server's wait short.
const TTransferLimits& TransferLimits();
void SetTransferLimits(const TTransferLimits& limits);
