// Waiting while the window keeps answering: messages sent from another
// thread are answered during the wait, the wait ends with its object or its
// time-out, and a quit request ends the pumping but not the wait.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "app/message_wait.h"
#include "platform/win32_handles.h"
#include "support/fake_run_host.h"
#include "support/message_queue.h"

namespace {

class MessageWait : public ::testing::Test {
 protected:
  void SetUp() override {
    Window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, Window);
    Pump.OnPump = DrainThroughLoop;  // as the window's pump: all but a quit request
  }
  void TearDown() override {
    DestroyWindow(Window);
    ForgetQuit();
  }
  HWND Window = nullptr;
  TFakeRunHost Pump;
  TKernelHandle Event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // set only by a test
};

// The case that hangs a window: another process asks something of it while
// it waits. Each of ten sends must be answered within a second; only then
// is the object signalled.
TEST_F(MessageWait, SentMessagesAreAnsweredWhileWaiting) {
  int answered = 0;
  std::thread asker([&] {
    for (int i = 0; i < 10; ++i) {
      DWORD_PTR result = 0;
      if (SendMessageTimeoutA(Window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result)) ++answered;
      Sleep(20);
    }
    SetEvent(Event.Get());
  });
  EXPECT_EQ(WAIT_OBJECT_0, WaitPumping(Event.Get(), 20000, &Pump));
  asker.join();
  EXPECT_EQ(10, answered);
  EXPECT_GE(Pump.Pumps, 1);
}

TEST_F(MessageWait, EndsWithTheObjectOrTheTimeOut) {
  TKernelHandle already(CreateEventA(nullptr, TRUE, TRUE, nullptr));
  PostMessageA(Window, WM_NULL, 0, 0);  // waiting before the wait: taken at once
  DWORD start = GetTickCount();
  EXPECT_EQ(WAIT_TIMEOUT, WaitPumping(Event.Get(), 300, &Pump));
  DWORD spent = GetTickCount() - start;
  EXPECT_GE(spent, 250u);
  EXPECT_LT(spent, 5000u);
  EXPECT_GE(Pump.Pumps, 1);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

  EXPECT_EQ(WAIT_OBJECT_0, WaitPumping(already.Get(), INFINITE, &Pump));
  EXPECT_EQ(WAIT_OBJECT_0, WaitPumping(already.Get(), INFINITE, nullptr));
  EXPECT_EQ(WAIT_FAILED, WaitPumping(nullptr, 100, &Pump));
}

// After the main window is gone its quit request stays queued for the
// application's loop; the wait must neither take it nor spin on it.
TEST_F(MessageWait, AQuitRequestEndsThePumpingButNotTheWait) {
  PostQuitMessage(7);
  EXPECT_EQ(WAIT_TIMEOUT, WaitPumping(Event.Get(), 300, &Pump));
  EXPECT_EQ(0, Pump.Pumps);
  WPARAM code = 0;
  EXPECT_TRUE(QuitQueued(&code));
  EXPECT_EQ(7u, code);

  // The main window closed by a message that a pump dispatched: no further
  // pump, even when more messages come.
  std::thread poster([this] {
    Sleep(50);
    PostMessageA(Window, WM_NULL, 0, 0);
    Sleep(100);
    PostMessageA(Window, WM_NULL, 0, 0);
  });
  Pump.Pumps = 0;
  Pump.OnPump = [] {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return;
    DispatchMessageA(&msg);
    PostQuitMessage(3);
  };
  EXPECT_EQ(WAIT_TIMEOUT, WaitPumping(Event.Get(), 400, &Pump));
  poster.join();
  EXPECT_EQ(2, Pump.Pumps);  // at the start, and for the first message
  EXPECT_TRUE(QuitQueued(&code));
  EXPECT_EQ(3u, code);
}

}  // namespace
