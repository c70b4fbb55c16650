#include <windows.h>
#include <htmlhelp.h>
#include <commctrl.h>

#include "app/install_zelm_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The tree view and the progress bar live in comctl32.
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  DWORD_PTR helpCookie = 0;
  HtmlHelpA(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&helpCookie));
  int result;
  {
    TInstallZelmApp app;
    result = app.Run();
    HtmlHelpA(nullptr, nullptr, HH_UNINITIALIZE, helpCookie);
  }  // the application object takes the frame, dialog, tree and document
  return result;
}
