#include "app/install_zelm_app.h"

#include "app/main_dialog.h"

const char kAppName[] = "沃蒙在线安装";

int AdjustShowCommand(int cmdShow) {
  return (cmdShow == SW_HIDE || cmdShow == SW_SHOWMINNOACTIVE) ? cmdShow : SW_SHOWNORMAL;
}

TSDIDecFrame::TSDIDecFrame(TWindow* parent, const char* title, TWindow* client,
                           HINSTANCE module)
    : TDecoratedFrame(parent, title,
                      client ? client
                             : new TInstallZelmDlgClient(nullptr, kMainDialogTemplate, nullptr),
                      module) {}

TInstallZelmApp::TInstallZelmApp() : TApplication(kAppName, nullptr) {}

void TInstallZelmApp::InitMainWindow() {
  CmdShow = AdjustShowCommand(CmdShow);
  auto* frame = new TSDIDecFrame(nullptr, GetName().c_str(), nullptr, nullptr);
  frame->SetShrinkToClient(true);
  frame->Attr.Style = (frame->Attr.Style | kFrameStylesAdded) & kFrameStylesMask;
  frame->SetIcon(GetInstance(), kMainIcon);
  frame->SetIconSm(GetInstance(), kMainIcon);
  SetMainWindow(frame);
}
