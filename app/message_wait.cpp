#include "app/message_wait.h"

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

DWORD WaitPumping(HANDLE object, DWORD timeoutMs, TMessagePump pump, void* context) {
  const DWORD start = GetTickCount();
  // Messages that came before the wait are taken first: MsgWaitForMultipleObjects
  // only wakes for what arrives after the queue was last looked at.
  if (pump && !QuitPending()) pump(context);
  for (;;) {
    if (!pump || QuitPending()) return WaitForSingleObject(object, Remaining(start, timeoutMs));
    // MWMO_INPUTAVAILABLE: also wake for input that a pump left in the
    // queue (a message that arrived while it dispatched the last one).
    DWORD woken = MsgWaitForMultipleObjectsEx(1, &object, Remaining(start, timeoutMs), QS_ALLINPUT,
                                              MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1) return woken;  // the object, the time-out or a failure
    pump(context);
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
  bool Call(void (*work)(void*), void* arg, TMessagePump pump, void* context) {
    if (Busy || !Ready()) return false;
    Busy = true;
    Work = work;
    Arg = arg;
    ResetEvent(Done.Get());
    SetEvent(Start.Get());
    WaitPumping(Done.Get(), INFINITE, pump, context);
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
      t.Work(t.Arg);
      SetEvent(t.Done.Get());
    }
  }

  TKernelHandle Start, Done, Thread;
  void (*Work)(void*) = nullptr;
  void* Arg = nullptr;
  bool Busy = false;
  volatile bool Quit = false;
};

}  // namespace

void CallPumping(void (*work)(void* arg), void* arg, TMessagePump pump, void* context) {
  static TCallThread thread;
  if (!thread.Call(work, arg, pump, context)) work(arg);
}
