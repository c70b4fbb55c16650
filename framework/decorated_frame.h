// TDecoratedFrame: a top-level frame window that holds one client window.
//
// The client (usually a TDialog) is made in the frame's set-up and becomes a
// plain child that fills the frame's client area exactly: its own border is
// pushed just outside the visible area. With ShrinkToClient the frame takes
// the size that fits the client, at creation and whenever the client's size
// changes. A frame that is its application's main window posts the quit
// request (0) when its window is destroyed.
#pragma once

#include "framework/window.h"
#include "platform/win32_handles.h"

class TDecoratedFrame : public TWindow {
 public:
  // client: the client window object, owned by the frame from now on (may be
  // null).
  TDecoratedFrame(TWindow* parent, const char* title, TWindow* client, HINSTANCE module = nullptr);
  ~TDecoratedFrame() override;

  TWindow* GetClientWindow() const { return Client; }
  // Size the frame to its client (set before Create).
  void SetShrinkToClient(bool on) { ShrinkToClient = on; }
  // Large (ICON_BIG) and small (ICON_SMALL) icon from an icon resource of
  // module; applied when the window exists.
  void SetIcon(HINSTANCE module, int resId);
  void SetIconSm(HINSTANCE module, int resId);
  void SetIsMainWindow(bool on) { IsMainWindow = on; }

  bool Create() override;

 protected:
  void SetupWindow() override;
  bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void ChildResized(TWindow& child) override;
  // Turns the client into a borderless-looking child and sizes both.
  void FitClient();
  void ApplyIcons();

 private:
  TWindow* Client;  // owned (also listed in Children)
  bool ShrinkToClient = false;
  bool IsMainWindow = false;
  bool Fitting = false;
  TIcon BigIcon, SmallIcon;  // loaded by LoadImageA
  HINSTANCE BigIconModule = nullptr, SmallIconModule = nullptr;
  int BigIconId = 0, SmallIconId = 0;
};
