// Thread-local last error, as Win32 keeps it per thread.
#include <windows.h>

namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }
