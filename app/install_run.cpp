// Command 102, "下载安装": the download-and-install run over the main dialog.
#include <cstdlib>

#include "app/base_urls.h"
#include "app/download.h"
#include "app/installer.h"
#include "app/main_dialog.h"
#include "app/run_install.h"
#include "app/settings_file.h"

namespace {

// The walk's view of the main dialog. Once the window is gone (closed while
// an installer's start was being pumped) the run counts as cancelled: no
// further transfer or installer is started.
class TDialogInstallHost : public TInstallRunHost {
 public:
  explicit TDialogInstallHost(TInstallZelmDlgClient& client) : Client(client) {}

  bool Cancelled() override { return Client.CancelRequested || !Client.IsWindowAlive(); }
  void AppendLog(const char* text) override { Client.LogText += text; }
  void RefreshLog() override { Client.RefreshLog(); }
  bool Download(TXmlTreeNode* element, float& speed, const char* baseUrl) override {
    speed = 0;
    if (!Client.IsWindowAlive()) return false;
    return DownloadFile(Client, Client.DownloadDir, element, speed, baseUrl);
  }
  int Draw() override { return rand(); }
  bool RunInstaller(const char* fileName) override {
    // The installer may read or write the settings file; let it find ours on
    // disk rather than in the system's cache.
    FlushSettingsFile();
    return ::RunInstaller(Client.DownloadDir, fileName, &Pump, &Client);
  }
  bool IsDekRecorded(const char* name) override { return ::IsDekRecorded(name); }

 private:
  static void Pump(void* client) { static_cast<TInstallZelmDlgClient*>(client)->PumpMessages(); }

  TInstallZelmDlgClient& Client;
};

}  // namespace

void TInstallZelmDlgClient::CmDownloadInstall() {
  CancelRequested = false;
  TDialogInstallHost host(*this);
  DownloadAndInstall(CatalogueDoc, host, BaseUrl1, BaseUrl2);
}
