// The main dialog's commands and their bindings: 102 download and install,
// 107 cancel, 109 uninstall the unselected, 105 help. The two long commands
// hand the dialog to their walks: the uninstall walk takes it as it is, the
// install walk through a small adapter.
#include <windows.h>
#include <htmlhelp.h>

#include <cstdlib>
#include <cstring>

#include "app/build_settings.h"
#include "app/download.h"
#include "app/install_walk.h"
#include "app/installer.h"
#include "app/log_text.h"
#include "app/main_dialog.h"
#include "app/settings_file.h"
#include "app/uninstall_walk.h"
#include "treeview/my_tree_wnd.h"

namespace {

// The install walk's view of the main dialog. Once the window is gone
// (closed while an installer's start was being pumped) the run counts as
// cancelled: no further transfer or installer is started.
class TDialogInstallHost : public TInstallRunHost {
 public:
  explicit TDialogInstallHost(TInstallZelmDlgClient& client) : Client(client) {}

  bool Cancelled() override { return Client.CancelAsked() || !Client.IsWindowAlive(); }
  bool Pump() override { return Client.Pump(); }
  bool CancelAsked() override { return Client.CancelAsked(); }
  void AppendLog(const char* text) override { Client.AppendLog(text); }
  void RefreshLog() override { Client.RefreshLog(); }
  void ShowProgress(unsigned percent) override { Client.ShowProgress(percent); }
  bool Download(TXmlTreeNode* element, float& speed, const char* baseUrl) override {
    speed = 0;
    Package.Held.Release();  // the file of the package before, its installer done
    Package.NoRoom = false;
    Package.Resumed = false;
    if (!Client.IsWindowAlive()) return false;
    return DownloadFile(Client, Client.DownloadDir, element, speed, baseUrl, 0, &Package);
  }
  bool OutOfRoom() override { return Package.NoRoom; }
  bool Resumed() override { return Package.Resumed; }
  int Draw() override { return rand(); }
  bool RunInstaller(const char* fileName, unsigned long& exitCode) override {
    // The installer may read or write the settings file; let it find ours on
    // disk rather than in the system's cache.
    FlushSettingsFile();
    // Only the file that was checked and is still held may be started.
    if (!Package.Held.IsHeld()) return false;
    // The window answers while the installer runs, but it is never stopped
    // halfway: a cancel takes effect once it has finished, and a close
    // request is refused meanwhile (CanClose).
    const bool cancelledBefore = Client.CancelRequested;
    Client.InstallerRunning = true;
    const bool ran = ::RunInstaller(Client.DownloadDir, fileName, &Client, &exitCode);
    Client.InstallerRunning = false;
    Package.Held.Release();
    CancelledDuringInstall = !cancelledBefore && Client.CancelRequested;
    return ran;
  }
  bool IsDekRecorded(const char* name) override { return ::IsDekRecorded(name); }
  bool RequiresPackageHash() override { return CatalogueKeyCount != 0; }
  // Between two packages nothing runs that a close request would cut short.
  void PackageStarting() override { Client.PumpMessages(); }
  // A cancel pressed while the installer ran ends the run here; it is
  // reported with the line a cancelled transfer writes.
  void PackageEnded() override {
    if (!CancelledDuringInstall) return;
    CancelledDuringInstall = false;
    Client.Log(kLogCancelled);
  }

 private:
  TInstallZelmDlgClient& Client;
  TPackageDownload Package;  // the last download, held until its installer has ended
  bool CancelledDuringInstall = false;
};

}  // namespace

template <void (TInstallZelmDlgClient::*Command)()>
bool TInstallZelmDlgClient::OnCommand(TWindow& w, WPARAM, LPARAM, LRESULT&) {
  (static_cast<TInstallZelmDlgClient&>(w).*Command)();
  return true;
}

template <void (TInstallZelmDlgClient::*Command)()>
bool TInstallZelmDlgClient::OnLongCommand(TWindow& w, WPARAM, LPARAM, LRESULT&) {
  static_cast<TInstallZelmDlgClient&>(w).RunExclusive(Command);
  return true;
}

bool TInstallZelmDlgClient::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  static const TMessageEntry kTable[] = {
      {WM_COMMAND, kIdCancelDownload, &OnCommand<&TInstallZelmDlgClient::CmCancelDownload>},
      {WM_COMMAND, kIdDownloadInstall, &OnLongCommand<&TInstallZelmDlgClient::CmDownloadInstall>},
      {WM_ERASEBKGND, 0,
       [](TWindow& w, WPARAM wp, LPARAM, LRESULT& r) {
         r = static_cast<TInstallZelmDlgClient&>(w).EraseBackground(reinterpret_cast<HDC>(wp));
         return true;
       }},
      {WM_COMMAND, kIdUninstallUnselected,
       &OnLongCommand<&TInstallZelmDlgClient::CmUninstallUnselected>},
      {WM_COMMAND, kIdHelp, &OnCommand<&TInstallZelmDlgClient::CmHelp>},
  };
  return SearchMessageTable(kTable, *this, msg, wParam, lParam, result) ||
         TDialog::Dispatch(msg, wParam, lParam, result);
}

void TInstallZelmDlgClient::RunExclusive(void (TInstallZelmDlgClient::*command)()) {
  // A click handled by the pump of a running command would start a second
  // run over the same document and flags; such clicks are dropped.
  if (RunInProgress) return;
  RunInProgress = true;
  ShowBusy(true);
  (this->*command)();
  RunInProgress = false;
  ShowBusy(false);
}

void TInstallZelmDlgClient::ShowBusy(bool busy) {
  TreeWnd->SetChoicesLocked(busy);
  if (!HWindow) return;  // closed during the run: nothing left to show
  HWND focus = GetFocus();
  if (busy) {
    // A greyed button keeps the keyboard focus, and then no key works: it
    // goes to the cancel button, which stays usable.
    BusyFocus = FocusBeforeBusy = nullptr;
    if (focus == GetDlgItem(HWindow, kIdDownloadInstall) || focus == GetDlgItem(HWindow, kIdUninstallUnselected)) {
      FocusBeforeBusy = focus;
      BusyFocus = GetDlgItem(HWindow, kIdCancelDownload);
      SendMessageA(HWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(BusyFocus), TRUE);
    }
  }
  EnableWindow(GetDlgItem(HWindow, kIdDownloadInstall), !busy);
  EnableWindow(GetDlgItem(HWindow, kIdUninstallUnselected), !busy);
  // Back to the button that started the run, unless the user moved on.
  if (!busy && FocusBeforeBusy && focus == BusyFocus) {
    SendMessageA(HWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FocusBeforeBusy), TRUE);
  }
  if (!busy) BusyFocus = FocusBeforeBusy = nullptr;
}

void TInstallZelmDlgClient::CmDownloadInstall() {
  CancelRequested = false;
  TDialogInstallHost host(*this);
  DownloadAndInstall(CatalogueDoc, host, BaseUrl1, BaseUrl2);
}

void TInstallZelmDlgClient::CmUninstallUnselected() {
  UninstallUnselected(CatalogueDoc, *this);
}

void TInstallZelmDlgClient::CmCancelDownload() { CancelRequested = true; }

void TInstallZelmDlgClient::CmHelp() {
  // The help file lies beside the program, but a shortcut may start us in
  // any folder: name it by the program's own folder. When that would not fit
  // the 255 characters of a path, the bare name is all we can give (HTML Help
  // then looks in the current folder).
  static const char kTopic[] = "InstallZelm.chm::/html/main.htm>simple";
  char path[256];
  const char* help = kTopic;
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length > 0 && length < sizeof path) {  // a full buffer is a name cut short
    // The last backslash, walked by characters: a GBK trail byte may be 0x5C.
    char* name = nullptr;
    for (char* p = path; *p; p = CharNextA(p)) {
      if (*p == '\\') name = p + 1;
    }
    if (name && static_cast<size_t>(name - path) + sizeof kTopic <= sizeof path) {
      memcpy(name, kTopic, sizeof kTopic);
      help = path;
    }
  }
  HtmlHelpA(HWindow, help, HH_DISPLAY_TOPIC, 0);
}
