#include "app/message_wait.h"

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
