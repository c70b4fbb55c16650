// Command 109, "卸载未选项": the uninstall run over the main dialog.
#include "app/main_dialog.h"
#include "app/run_uninstall.h"

namespace {

class TDialogUninstallHost : public TUninstallRunHost {
 public:
  explicit TDialogUninstallHost(TInstallZelmDlgClient& client) : Client(client) {}

  void AppendLog(const char* text) override { Client.LogText += text; }
  void RefreshLog() override { Client.RefreshLog(); }
  bool PumpMessages() override {
    Client.PumpMessages();
    return Client.IsWindowAlive();
  }

 private:
  TInstallZelmDlgClient& Client;
};

}  // namespace

void TInstallZelmDlgClient::CmUninstallUnselected() {
  TDialogUninstallHost host(*this);
  UninstallUnselected(CatalogueDoc, host);
}
