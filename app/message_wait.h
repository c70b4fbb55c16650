// Waiting on the window's thread without letting the window go quiet.
//
// Windows calls a window hung when its thread takes no message for five
// seconds: it greys it, adds "(未响应)" to its caption and offers to end the
// program. Every wait of a run that can last (an installer, a request whose
// answer is slow) therefore sleeps in MsgWaitForMultipleObjects and hands
// each message to the window as it arrives, never polling.
#pragma once

#include <windows.h>

#include <functional>

class TRunHost;

// Waits until `object` is signalled or `timeoutMs` has passed (INFINITE: no
// time-out), calling host->Pump() (host may be null) whenever a message (posted, sent from
// another thread or process, or input) reaches the thread. Once a quit
// request waits in the queue (the main window is gone and its loop must see
// the request) nothing is left to answer: the rest of the wait takes no
// messages. Answers WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (an invalid
// handle), as WaitForSingleObject does.
DWORD WaitPumping(HANDLE object, DWORD timeoutMs, TRunHost* host);

// Runs work() on a helper thread while this one waits with WaitPumping,
// so that a call that blocks for long (a read from a slow server) leaves
// the window answering. Returns when work has returned: what it uses may
// live on the caller's stack. The helper thread is made on first use and
// kept for the next call. A call made while another is in progress (from a
// message handled by its pump), or when no thread can be made, runs here.
void CallPumping(const std::function<void()>& work, TRunHost* host);
