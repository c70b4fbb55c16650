// What the download tests share: a real main dialog, a scratch folder to
// download into, and the dialog's progress bar and log control as they show.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "app/download.h"
#include "app_servers_helper.h"
#include "markup/markup.h"
#include "support/node_builder.h"

inline int ProgressPos(TInstallZelmDlgClient& d) {
  return static_cast<int>(SendDlgItemMessageA(d.GetHandle(), kIdProgress, PBM_GETPOS, 0, 0));
}

// What control 104 shows: the log as the last RefreshLog left it.
inline std::string LogControlText(TInstallZelmDlgClient& d) {
  char text[1024] = {};
  GetDlgItemTextA(d.GetHandle(), kIdLog, text, sizeof(text));
  return text;
}

inline int ProgressHigh(TInstallZelmDlgClient& d) {
  return static_cast<int>(SendDlgItemMessageA(d.GetHandle(), kIdProgress, PBM_GETRANGE, FALSE, 0));
}

struct TPumpProbe;

class DownloadTest : public TServedDialogTest {
 protected:
  void TearDown() override { SetTransferLimits(kTransferLimits); }

  // Get, with the probe taking a sample every intervalMs meanwhile.
  bool GetWatched(TPumpProbe& probe, UINT intervalMs, TXmlTreeNode* element,
                  const std::string& baseUrl);
};
