#include "support/message_queue.h"

#include "framework/application.h"

void PumpWaiting() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool DrainThroughLoop() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!TApplication::ProcessMessage(msg)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
  }
  return true;
}

bool QuitQueued(WPARAM* code) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (code) *code = msg.wParam;
      return true;
    }
  }
  return false;
}

void ForgetQuit() {
  while (QuitQueued()) {
  }
}
