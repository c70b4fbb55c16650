// What every piece of long work needs from the window it runs under.
//
// Everything runs on the window's thread: a transfer, the hash of a local
// copy, the catalogue fetch, an installer's wait and the two walks. Each of
// them keeps the window answering, stops when the user asks, and tells what
// it does through this one interface. The main dialog implements it; tests
// hand in a fake of their own.
#pragma once

class TRunHost {
 public:
  virtual ~TRunHost() = default;

  // Hands every message waiting for the thread to the window. False when
  // the window is gone (closed meanwhile): the work must then stop.
  virtual bool Pump() = 0;

  // True once the user pressed cancel.
  virtual bool CancelAsked() = 0;

  // Appends text (lines ending in "\r\n") to the activity log; RefreshLog
  // shows what was appended.
  virtual void AppendLog(const char* text) = 0;
  virtual void RefreshLog() = 0;

  // Shows `percent` (0 to 100) in the progress bar.
  virtual void ShowProgress(unsigned percent) = 0;

  // Pumps, then tells whether work that may be given up halfway (a hash, a
  // wait for an answer) should go on: the window is there and no cancel
  // was asked.
  bool KeepGoing() { return Pump() && !CancelAsked(); }

  // AppendLog and RefreshLog at once.
  void Log(const char* text) {
    AppendLog(text);
    RefreshLog();
  }
};
