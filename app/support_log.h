// The support log: "InstallZelm.log" in the download folder, which the
// vendor's support asks an estimator for when something went wrong at the
// desk. The window's log is gone when the window closes and never says which
// URL, status or hash was involved; this file keeps both, run after run.
//
// The file is UTF-8 with a byte-order mark, so that Notepad shows the Chinese
// lines whatever the PC's code page; every line is
//
//   YYYY-MM-DDTHH:MM:SS.mmmZ KIND TEXT
//
// with the time in UTC (support compares it with server logs) and KIND one
// word that says what the line records (app/support_records.h lists them).
// A write that would take the file past kSupportLogMaxBytes first turns it
// into "InstallZelm.log.1", replacing the one there, and a new file starts.
//
// Writing it is a side line: every failure (no folder, a read-only file, a
// full disk, a file locked by an editor) only loses the lines concerned.
// Nothing here shows UI, fails its caller's work or changes GetLastError().
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "app/catalogue.h"

constexpr const char* kSupportLogName = "InstallZelm.log";
constexpr const char* kSupportLogOldName = "InstallZelm.log.1";
// Largest size of the file, byte-order mark included.
constexpr unsigned long kSupportLogMaxBytes = 1024 * 1024;
// Longest text of one line in UTF-8 bytes (stamp and kind not counted):
// longer text is cut at a character boundary and ends in "...".
constexpr size_t kSupportLogMaxLine = 2048;
// Length of a stamp: "2026-01-31T08:05:09.042Z".
constexpr size_t kUtcStampLength = 24;

// Formats a UTC time as "YYYY-MM-DDTHH:MM:SS.mmmZ" (ISO 8601, milliseconds).
void FormatUtcStamp(const SYSTEMTIME& utc, char (&stamp)[kUtcStampLength + 1]);

// Converts `length` bytes of system code page text (GBK on the target PCs)
// to UTF-8. Bytes that are no character of the code page come out as the
// code page's default character; "" when the conversion fails altogether.
std::string AnsiToUtf8(const char* text, size_t length);

// One line's text, ready for the file: `length` bytes of code page text in
// UTF-8, every control character but tab replaced by '?' (so that nothing
// from the network can start a line of its own), cut to kSupportLogMaxLine.
std::string SupportLogText(const char* text, size_t length);

class TSupportLog {
 public:
  // Binds the log to "folder\InstallZelm.log". False, with the log stopped,
  // when the path would not fit 255 characters. Nothing is written yet.
  bool Start(const char* folder);
  // Unbinds: later writes do nothing until the next Start.
  void Stop();
  bool IsStarted() const { return Path[0] != 0; }
  const char* FilePath() const { return Path; }

  // Writes `length` bytes of code page text as lines of kind `kind` (one
  // word, ASCII): the text is split at "\r\n", "\r" and "\n", and every piece
  // becomes one line with the current UTC time (an empty text gives one
  // line holding the stamp and the kind). All lines go in one write. False
  // when the log is not started or the lines could not be written.
  bool Write(const char* kind, const char* text, size_t length);
  bool Write(const char* kind, const char* text) { return Write(kind, text, strlen(text)); }

  // Follows the window's log `logText`, of which the first `*saved` bytes
  // are in the file: before any other line is written, the complete lines
  // that came since go first, so that the file keeps the order in which
  // things happened (a "from" line is shown only after its download, but
  // was written before it). Both stay owned by the caller, who calls
  // Unfollow before they go; null stops following.
  void Follow(const std::string* logText, size_t* saved);
  // Stops following `logText` if it is the one followed.
  void Unfollow(const std::string* logText);

  // Writes the lines of the window's log that are new: the complete lines
  // (ending in "\r\n") of logText from byte `saved` on, as lines of kind
  // "window", and moves `saved` past them. A line still without its "\r\n"
  // waits for the next call. `saved` moves on also when the log is not
  // started or the write fails: those lines are lost, never written twice.
  bool WriteWindowLines(const std::string& logText, size_t& saved);

 private:
  // Write without catching up with the window's log first.
  bool WriteLines(const char* kind, const char* text, size_t length);
  // The stamped lines of Write, ready for the file.
  std::string Lines(const char* kind, const char* text, size_t length);
  // Appends ready lines, with the byte-order mark first in a new file.
  bool Append(const std::string& lines);
  // Moves a file that `bytes` more would take past the limit aside.
  bool MakeRoom(size_t bytes);

  TPathBuffer Path = {};
  TPathBuffer OldPath = {};
  const std::string* WindowText = nullptr;  // not owned
  size_t* WindowSaved = nullptr;            // not owned
};

// The program's one support log.
TSupportLog& SupportLog();
