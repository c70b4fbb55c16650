#include <windows.h>
#include <htmlhelp.h>
#include <commctrl.h>

#include "app/install_zelm_app.h"
#include "app/single_instance.h"

namespace {

// Handed out by HH_INITIALIZE and given back to HH_UNINITIALIZE.
DWORD_PTR HelpCookie = 0;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TSingleInstance instance(kSingleInstanceMutex);
  if (instance.AnotherIsRunning()) {
    // The user wants the window that is there already, not a second one.
    ActivateRunningCopy(TWindow::FrameClassName(), kAppName);
    return 0;
  }
  // The tree view and the progress bar live in comctl32.
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  HtmlHelpA(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&HelpCookie));
  int result;
  {
    TInstallZelmApp app;
    result = app.Run();
    HtmlHelpA(nullptr, nullptr, HH_UNINITIALIZE, HelpCookie);
  }  // the application object takes the frame, dialog, tree and document
  return result;
}
