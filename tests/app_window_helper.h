// The real main window for tests: the application's own InitMainWindow with
// a sample catalogue already in the dialog, so that start-up fetches nothing.
// The message-queue helpers that window tests drive it with come along.
#pragma once

#include <gtest/gtest.h>

#include <commctrl.h>

#include "app/install_zelm_app.h"
#include "app/main_dialog.h"
#include "support/catalogues.h"
#include "support/message_queue.h"

class TTestMainWindow : public TInstallZelmApp {
 public:
  // Makes, creates and shows the main window with the given show command.
  explicit TTestMainWindow(int cmdShow = SW_SHOWNORMAL) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    CmdShow = cmdShow;
    Started = InitInstance();
  }
  bool Started = false;
  TInstallZelmDlgClient* Dialog = nullptr;  // not owned
  static inline TInstallZelmDlgClient* LastMade = nullptr;  // not owned; the newest dialog
  HWND Frame() const { return GetMainWindow()->GetHandle(); }
  HWND Dlg() const { return Dialog->GetHandle(); }
  HWND Control(int id) const { return GetDlgItem(Dlg(), id); }

 protected:
  void InitMainWindow() override {
    TInstallZelmApp::InitMainWindow();
    LastMade = Dialog = static_cast<TInstallZelmDlgClient*>(GetMainWindow()->GetClientWindow());
    // A catalogue that is already there is not fetched again.
    AddSampleCatalogue(Dialog->CatalogueDoc);
  }
};

// A fresh main window for every test, with no quit request left behind.
class AppWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetQuit();
    App = new TTestMainWindow;
    ASSERT_TRUE(App->Started);
  }
  void TearDown() override {
    delete App;
    ForgetQuit();
  }
  TTestMainWindow* App = nullptr;
};
