// The application object and the main frame of InstallZelm.
#pragma once

#include "framework/application.h"
#include "framework/decorated_frame.h"

// The application name, also the main window's caption.
extern const char kAppName[];
const int kMainIcon = 1001;
// Styles the main frame gains and keeps: visible, clip children, caption,
// system menu, minimise box; it loses child, sizing border and maximise box.
const DWORD kFrameStylesAdded = 0x12CA0000;
const DWORD kFrameStylesMask = 0xBFFAFFFF;

// The show command for the main window from the one the program was started
// with: SW_HIDE and SW_SHOWMINNOACTIVE stay, anything else is SW_SHOWNORMAL.
int AdjustShowCommand(int cmdShow);

// The main frame: a decorated frame whose client is the main dialog.
class TSDIDecFrame : public TDecoratedFrame {
 public:
  // A null client is replaced by a new TInstallZelmDlgClient from template
  // 2000; everything else goes to TDecoratedFrame unchanged.
  TSDIDecFrame(TWindow* parent, const char* title, TWindow* client,
               bool trackMenuSelection = false, HINSTANCE module = nullptr);
};

class TInstallZelmApp : public TApplication {
 public:
  TInstallZelmApp();

 protected:
  void InitMainWindow() override;
};
