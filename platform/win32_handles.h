// Owners of Win32 handles: one small non-copyable object per open handle,
// closed when it goes. Every layer closes its handles through these, so this
// header lives at the bottom, beside the native stand-in: the kernel handles
// (files, processes, threads) serve the portable zip layer too, the rest only
// the Windows program.
//
// Closing keeps GetLastError() as it was, so that a caller can read the error
// of the call that failed even when an owner goes out of scope on the way.
#pragma once

#include <windows.h>

// An owned handle of one kind. TKind says what "no handle" is and how to
// close one: static Handle None(), bool IsValid(Handle), void Close(Handle).
template <typename THandleType, typename TKind>
class TOwnedHandle {
 public:
  TOwnedHandle() = default;
  explicit TOwnedHandle(THandleType handle) : Handle(handle) {}
  ~TOwnedHandle() { Close(); }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;

  bool IsOpen() const { return TKind::IsValid(Handle); }
  THandleType Get() const { return Handle; }
  // Closes the handle held and takes another one.
  void Reset(THandleType handle) {
    Close();
    Handle = handle;
  }
  // Closes the handle held and gives its slot to a function that returns a
  // new handle through a pointer (RegCreateKeyExA, CryptCreateHash).
  THandleType* Receive() {
    Close();
    return &Handle;
  }
  void Close() {
    if (!IsOpen()) return;
    DWORD error = GetLastError();
    TKind::Close(Handle);
    SetLastError(error);
    Handle = TKind::None();
  }

 private:
  THandleType Handle = TKind::None();
};

// Files, processes and threads. CreateFileA fails with INVALID_HANDLE_VALUE,
// CreateProcessA's handles are null when absent: neither is ever closed.
struct TKernelHandleKind {
  static HANDLE None() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
typedef TOwnedHandle<HANDLE, TKernelHandleKind> TKernelHandle;

#ifdef _WIN32
#include <wincrypt.h>
#include <wininet.h>

// A WinINet session, connection or request handle.
struct TInternetHandleKind {
  static HINTERNET None() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static void Close(HINTERNET h) { InternetCloseHandle(h); }
};
typedef TOwnedHandle<HINTERNET, TInternetHandleKind> TInternetHandle;

// An open registry key.
struct TRegKeyKind {
  static HKEY None() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
typedef TOwnedHandle<HKEY, TRegKeyKind> TRegKey;
#endif  // _WIN32
