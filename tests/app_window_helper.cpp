#include "app_window_helper.h"

#include <commctrl.h>

#include "support/catalogues.h"

TTestMainWindow::TTestMainWindow(int cmdShow) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  CmdShow = cmdShow;
  Started = InitInstance();
}

void TTestMainWindow::InitMainWindow() {
  TInstallZelmApp::InitMainWindow();
  Dialog = static_cast<TInstallZelmDlgClient*>(GetMainWindow()->GetClientWindow());
  // A catalogue that is already there is not fetched again.
  AddSampleCatalogue(Dialog->CatalogueDoc);
}
