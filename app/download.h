// HTTP download of one catalogue file into a local folder, on the UI thread.
#pragma once

class TInstallZelmDlgClient;
class TXmlTreeNode;

// Agent name sent with every request.
constexpr const char* kUserAgent = "InstallZelm";
// Bytes per read; after each block the progress bar moves and the queue drains.
constexpr unsigned kTransferBlockSize = 10240;

// Time-outs of every connection, in milliseconds. A server that accepts the
// connection and then says nothing would otherwise freeze the window for as
// long as the platform's default allows (an hour on some WinINet versions).
constexpr unsigned long kDownloadConnectTimeoutMs = 30000;
constexpr unsigned long kDownloadReceiveTimeoutMs = 60000;

// Fetches the file that `element` names from `baseUrl` into `folder`.
//
// The URL is baseUrl + "path" + "/" + "fileName", where "path" is inherited
// from the nearest element upward that has the attribute (empty means none);
// the local file is folder + "\" + "fileName". The transfer is skipped when
// the local file already has the server's Content-Length and was last written
// no earlier than the element's "modifyDate" ("%d-%d-%d %d:%d:%d", UTC, a
// year below 100 meaning 2000 + year) or, without a usable date, today 00:00
// UTC; an impossible date (month 13, day 0) makes the local copy out of date.
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
// over-32-bit Content-Length, a short or long body, a cancel, a time-out, and
// for a URL or local path longer than 255 characters (nothing is created
// then). A partial file is left in place and fails the size test next time.
bool DownloadFile(TInstallZelmDlgClient& client, const char* folder, TXmlTreeNode* element,
                  float& speed, const char* baseUrl);

// Reads a Content-Length header value: white space around it, an optional "+",
// decimal digits. False (size 0) for anything else, for 0 and for values
// past 32 bits: a file whose size cannot be checked is not transferred.
bool ParseContentLength(const char* text, unsigned long* size);

// Replaces the connect and receive time-outs of later downloads; 0 restores
// the defaults above. Tests use it to keep a stalled server's wait short.
void SetDownloadTimeouts(unsigned long connectMs, unsigned long receiveMs);
