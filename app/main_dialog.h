// TInstallZelmDlgClient: the main dialog, client of the main frame.
//
// It owns the catalogue document, the package tree window, the download
// folder and the activity log, and carries the two flags that tie the buttons
// to running work. Every step of the installer workflow works on this object.
//
// Rules for code that runs long (catalogue fetch, downloads, the two runs):
//
// * Keep the window alive with PumpMessages() between steps. Clicks are then
//   handled in the middle of the work.
// * A second run never starts inside a running one: while CmDownloadInstall or
//   CmUninstallUnselected runs (RunInProgress), buttons 102 and 109 are
//   greyed, the tree refuses changes of its check boxes, and the dialog's
//   message table ignores further clicks on 102 and 109 (a click already
//   queued), so the run code needs no guard.
// * A close request is refused while Downloading or InstallerRunning is set.
//   Accepted between two packages, it destroys the frame and this dialog's
//   window while the run still works. The C++ object, CatalogueDoc,
//   TreeWnd's object and the fields stay valid until the run has returned
//   (the application deletes the windows' objects only after its loop
//   ends); only the window handles are gone. So: after every PumpMessages(), check IsWindowAlive(); when it is
//   false, stop the run (no further transfer or installer) and return.
//   Log writers and RefreshLog are harmless then (LogText still grows; the
//   control is simply not updated), and GetHandle() is null, so
//   SendDlgItemMessageA(GetHandle(), 101, ...) does nothing. The quit request
//   that the destruction posts survives the pump, and the program ends as
//   soon as the run returns.
#pragma once

#include <windows.h>

#include <string>

#include "app/catalogue.h"
#include "app/run_host.h"
#include "framework/dialog.h"
#include "markup/markup.h"
#include "resources/resource.h"

class TMyTreeWnd;

// Control ids of dialog template 2000 (resources/resource.h).
const int kIdProgress = IDC_PROGRESS;
const int kIdDownloadInstall = IDC_DOWNLOAD_INSTALL;
const int kIdTree = IDC_TREE;
const int kIdLog = IDC_LOG;
const int kIdHelp = IDC_HELP_TOPIC;
const int kIdCancelDownload = IDC_CANCEL_DOWNLOAD;
const int kIdUninstallUnselected = IDC_UNINSTALL_UNSELECTED;
const int kMainDialogTemplate = IDD_MAIN;

// The dialog is the run host of every long piece of work (app/run_host.h).
class TInstallZelmDlgClient : public TDialog, public TRunHost {
 public:
  // parent: null (the frame adopts the dialog); templateId: 2000; module:
  // where the template lives (null: the program).
  TInstallZelmDlgClient(TWindow* parent, int templateId, HINSTANCE module = nullptr);
  ~TInstallZelmDlgClient() override;

  // Shows LogText in control 104 and scrolls to its end. Writers append lines
  // ending in "\r\n" to LogText and then call this. While the control still
  // holds what the last refresh left there, only the new part of LogText is
  // added; after the user edited it (or anything else set its text) the whole
  // text is replaced. Does nothing once the window is gone.
  void RefreshLog() override;
  // Appends text to LogText.
  void AppendLog(const char* text) override { LogText += text; }
  // PumpMessages, then whether the window is still there.
  bool Pump() override;
  // CancelRequested.
  bool CancelAsked() override { return CancelRequested; }
  // Moves the progress bar (control 101). Does nothing once the window is gone.
  void ShowProgress(unsigned percent) override;
  // Dispatches every waiting message of the thread, with the dialog's
  // keyboard handling (Tab, Enter, Escape) as in the application's loop;
  // returns when the queue is empty (or when a quit request was taken out,
  // which is posted again).
  void PumpMessages();

  // Settles DownloadDir: the sibling "Downloads" of the user's desktop
  // folder, else C:\Downloads; creates the folder (app/download_dir.cpp).
  void ResolveDownloadDir();
  // Downloads, extracts, parses and shows the catalogue (app/catalogue_fetch.cpp).
  void FetchCatalogue();
  // Command 102: clears CancelRequested, then downloads and installs every
  // chosen package.
  void CmDownloadInstall();
  // Command 109: removes installed quota libraries that are not chosen.
  void CmUninstallUnselected();
  // Command 107: sets CancelRequested.
  void CmCancelDownload();
  // Command 105: opens the help topic.
  void CmHelp();
  // False while a transfer runs (Downloading) or an installer does
  // (InstallerRunning).
  bool CanClose() override;

  bool Downloading = false;       // a DownloadFile call is in progress
  bool CancelRequested = false;   // the user pressed cancel
  TXmlTreeNode CatalogueDoc;      // the catalogue; owns every element
  TMyTreeWnd* TreeWnd;            // owned through the window's children
  TPathBuffer DownloadDir = {};   // no trailing backslash
  std::string LogText;            // the whole activity log
  bool RunInProgress = false;     // CmDownloadInstall or CmUninstallUnselected runs
  bool InstallerRunning = false;  // the run waits for a package's installer

 protected:
  void SetupWindow() override;
  bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // WM_ERASEBKGND: paints the client area in the dialog's background colour.
  bool EraseBackground(HDC dc);
  // Runs one of the two long commands unless one is already running.
  void RunExclusive(void (TInstallZelmDlgClient::*command)());
  // Greys buttons 102 and 109 and locks the tree's check boxes while a run
  // works (busy), and gives them back afterwards. Does nothing once the
  // window is gone.
  void ShowBusy(bool busy);

 private:
  // What the last RefreshLog left in control 104: the first LogShownBytes
  // bytes of LogText, ending at LogShownEnd in the control's own units (-1:
  // nothing shown yet, the next refresh replaces the whole text).
  size_t LogShownBytes = 0;
  long LogShownEnd = -1;
  // Where ShowBusy put the focus when it greyed the button that had it
  // (null: it did not move the focus).
  HWND BusyFocus = nullptr;
  HWND FocusBeforeBusy = nullptr;
  // How much of LogText the support log has taken (app/support_log.h).
  size_t LogSavedBytes = 0;

  // Whether control 104 still holds what the last RefreshLog left there,
  // with the caret at its end (where it is put when that is not known).
  bool LogStillShown(HWND log) const;

  // Message-table handlers of the commands (app/main_commands.cpp).
  template <void (TInstallZelmDlgClient::*Command)()>
  static bool OnCommand(TWindow& w, WPARAM wParam, LPARAM lParam, LRESULT& result);
  template <void (TInstallZelmDlgClient::*Command)()>
  static bool OnLongCommand(TWindow& w, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

// Background of the main dialog, RGB(234, 230, 217).
const COLORREF kDialogBackground = RGB(234, 230, 217);
