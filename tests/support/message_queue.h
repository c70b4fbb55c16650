// The thread's message queue in window tests (Windows only): dispatching what
// waits, going through the framework's loop, and finding or dropping the quit
// request that a closed main window leaves.
#pragma once

#include <windows.h>

// Dispatches every message waiting now.
void PumpWaiting();

// Takes every waiting message through the application's loop handling
// (dialog keys included); false when it met the quit request, which it
// leaves queued.
bool DrainThroughLoop();

// Removes every waiting message, unhandled, up to and including the first
// quit request; true when there was one, its exit code in *code.
bool QuitQueued(WPARAM* code = nullptr);

// Removes every waiting message, quit requests included, so that none is
// left behind for the next test.
void ForgetQuit();
