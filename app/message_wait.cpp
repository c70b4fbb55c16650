#include "app/message_wait.h"

#include "app/run_host.h"
#include "platform/win32_handles.h"

namespace {

// Whether a quit request waits in the queue; it stays there.
bool QuitPending() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

// The milliseconds left of a wait that began at `start`.
DWORD Remaining(DWORD start, DWORD timeoutMs) {
  if (timeoutMs == INFINITE) return INFINITE;
  DWORD spent = GetTickCount() - start;
  return spent >= timeoutMs ? 0 : timeoutMs - spent;
}

}  // namespace

DWORD WaitPumping(HANDLE object, DWORD timeoutMs, TRunHost* host) {
  const DWORD start = GetTickCount();
  // Messages that came before the wait are taken first: MsgWaitForMultipleObjects
  // only wakes for what arrives after the queue was last looked at.
  if (host && !QuitPending()) host->Pump();
  for (;;) {
    if (!host || QuitPending()) return WaitForSingleObject(object, Remaining(start, timeoutMs));
    // MWMO_INPUTAVAILABLE: also wake for input that a pump left in the
    // queue (a message that arrived while it dispatched the last one).
    DWORD woken = MsgWaitForMultipleObjectsEx(1, &object, Remaining(start, timeoutMs), QS_ALLINPUT,
                                              MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1) return woken;  // the object, the time-out or a failure
    host->Pump();
  }
}

namespace {

// The thread that CallPumping hands its calls to; one call at a time.
class TCallThread {
 public:
  ~TCallThread() {
    if (!Thread.IsOpen()) return;
    Quit = true;
    SetEvent(Start.Get());
    WaitForSingleObject(Thread.Get(), INFINITE);
  }

  // False when the call must run on the caller's thread instead.
  bool Call(const std::function<void()>& work, TRunHost* host) {
    if (Busy || !Ready()) return false;
    Busy = true;
    Work = &work;
    ResetEvent(Done.Get());
    SetEvent(Start.Get());
    WaitPumping(Done.Get(), INFINITE, host);
    Busy = false;
    return true;
  }

 private:
  bool Ready() {
    if (Thread.IsOpen()) return true;
    if (!Start.IsOpen()) Start.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!Done.IsOpen()) Done.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!Start.IsOpen() || !Done.IsOpen()) return false;
    Thread.Reset(CreateThread(nullptr, 0, &TCallThread::Loop, this, 0, nullptr));
    return Thread.IsOpen();
  }

  static DWORD WINAPI Loop(void* self) {
    TCallThread& t = *static_cast<TCallThread*>(self);
    for (;;) {
      WaitForSingleObject(t.Start.Get(), INFINITE);
      if (t.Quit) return 0;
      (*t.Work)();
      SetEvent(t.Done.Get());
    }
  }

  TKernelHandle Start, Done, Thread;
  const std::function<void()>* Work = nullptr;  // the caller's, alive until Call returns
  bool Busy = false;
  volatile bool Quit = false;
};

}  // namespace

void CallPumping(const std::function<void()>& work, TRunHost* host) {
  static TCallThread thread;
  if (!thread.Call(work, host)) work();
}
