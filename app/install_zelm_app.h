// The application object and the main frame of InstallZelm.
#pragma once

#include "framework/application.h"
#include "framework/decorated_frame.h"
#include "resources/resource.h"

// The application name, also the main window's caption.
extern const char kAppName[];
const int kMainIcon = IDI_MAIN;
// Styles the main frame gains and keeps: visible, clip children, caption,
// system menu, minimise box; it loses child, sizing border and maximise box,
// so it can be moved and minimised but not resized or maximised.
const DWORD kFrameStylesAdded = WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
const DWORD kFrameStylesMask = ~static_cast<DWORD>(WS_CHILD | WS_THICKFRAME | WS_MAXIMIZEBOX);
static_assert(kFrameStylesAdded == 0x12CA0000, "the main frame's added styles");
static_assert(kFrameStylesMask == 0xBFFAFFFF, "the main frame's removed styles");

// The show command for the main window from the one the program was started
// with: SW_HIDE and SW_SHOWMINNOACTIVE stay, anything else is SW_SHOWNORMAL.
int AdjustShowCommand(int cmdShow);

// The main frame: a decorated frame whose client is the main dialog.
class TSDIDecFrame : public TDecoratedFrame {
 public:
  // A null client is replaced by a new TInstallZelmDlgClient from template
  // 2000; everything else goes to TDecoratedFrame unchanged.
  TSDIDecFrame(TWindow* parent, const char* title, TWindow* client,
               HINSTANCE module = nullptr);
};

class TInstallZelmApp : public TApplication {
 public:
  TInstallZelmApp();

 protected:
  void InitMainWindow() override;
};
