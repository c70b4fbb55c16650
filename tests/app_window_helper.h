// The real main window for tests: the application's own InitMainWindow with
// a sample catalogue already in the dialog, so that start-up fetches nothing.
#pragma once

#include "app/install_zelm_app.h"
#include "app/main_dialog.h"

// Adds the sample catalogue (groups and packages with Chinese names, a
// "Version" element, partly chosen groups) below root.
void AddSampleCatalogue(TXmlTreeNode& root);

class TTestMainWindow : public TInstallZelmApp {
 public:
  // Makes, creates and shows the main window with the given show command.
  explicit TTestMainWindow(int cmdShow = SW_SHOWNORMAL);
  bool Started = false;
  TInstallZelmDlgClient* Dialog = nullptr;  // not owned
  HWND Frame() const { return GetMainWindow()->GetHandle(); }
  HWND Dlg() const { return Dialog->GetHandle(); }
  HWND Control(int id) const { return GetDlgItem(Dlg(), id); }

 protected:
  void InitMainWindow() override;
};

// Takes every waiting message through the application's loop handling
// (dialog keys included); false when it met the quit request (left queued).
bool DrainThroughLoop();
