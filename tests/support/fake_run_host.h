// The one stand-in for the window that long work runs under: it counts the
// pumps, can answer "the window is gone" from a given pump on, and keeps
// what was logged and shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/run_host.h"

class TFakeRunHost : public TRunHost {
 public:
  bool Pump() override {
    ++Pumps;
    ShownAtPump.push_back(Shown);
    if (OnPump) OnPump();
    return StopAtPump == 0 || Pumps < StopAtPump;
  }
  bool CancelAsked() override { return Cancel; }
  void AppendLog(const char* text) override { Appended += text; }
  void RefreshLog() override { Shown = Appended; }
  void ShowProgress(unsigned percent) override { Progress.push_back(percent); }

  std::function<void()> OnPump;  // what a pump does besides counting (drain a queue)
  int Pumps = 0;
  int StopAtPump = 0;  // from this pump on the window counts as gone (0: never)
  bool Cancel = false;
  std::string Appended;                  // everything logged
  std::string Shown;                     // what the last refresh showed
  std::vector<std::string> ShownAtPump;  // Shown at each pump
  std::vector<unsigned> Progress;        // every position shown
};
