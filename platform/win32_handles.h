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

// A GDI object the program made (a brush, a pen, a bitmap); never one that
// is still selected into a device context.
struct TGdiObjectKind {
  static HGDIOBJ None() { return nullptr; }
  static bool IsValid(HGDIOBJ h) { return h != nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};
typedef TOwnedHandle<HGDIOBJ, TGdiObjectKind> TGdiObject;

// A memory device context (CreateCompatibleDC).
struct TMemoryDcKind {
  static HDC None() { return nullptr; }
  static bool IsValid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
typedef TOwnedHandle<HDC, TMemoryDcKind> TMemoryDc;

// A window's device context (GetDC; the whole screen's for a null window),
// given back when it goes.
class TWindowDc {
 public:
  explicit TWindowDc(HWND window) : Window(window), Dc(GetDC(window)) {}
  ~TWindowDc() {
    if (Dc) ReleaseDC(Window, Dc);
  }
  TWindowDc(const TWindowDc&) = delete;
  TWindowDc& operator=(const TWindowDc&) = delete;
  HDC Get() const { return Dc; }

 private:
  HWND Window;
  HDC Dc;
};

// An icon loaded with LoadImageA (not a shared one).
struct TIconKind {
  static HICON None() { return nullptr; }
  static bool IsValid(HICON h) { return h != nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
typedef TOwnedHandle<HICON, TIconKind> TIcon;

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

// The program is built for XP, whose headers stop short of SHA-256; the
// AES provider has it from XP SP3 on.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif

// CryptoAPI: a provider context, and the hashes and keys made in it. A hash
// or key must go before the context it was made in, so declare the context
// first: owners go in the reverse order.
struct TCryptProvKind {
  static HCRYPTPROV None() { return 0; }
  static bool IsValid(HCRYPTPROV h) { return h != 0; }
  static void Close(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
typedef TOwnedHandle<HCRYPTPROV, TCryptProvKind> TCryptProv;

struct TCryptHashKind {
  static HCRYPTHASH None() { return 0; }
  static bool IsValid(HCRYPTHASH h) { return h != 0; }
  static void Close(HCRYPTHASH h) { CryptDestroyHash(h); }
};
typedef TOwnedHandle<HCRYPTHASH, TCryptHashKind> TCryptHash;

struct TCryptKeyKind {
  static HCRYPTKEY None() { return 0; }
  static bool IsValid(HCRYPTKEY h) { return h != 0; }
  static void Close(HCRYPTKEY h) { CryptDestroyKey(h); }
};
typedef TOwnedHandle<HCRYPTKEY, TCryptKeyKind> TCryptKey;

// A block that a CryptoAPI call allocated with LocalAlloc for the caller
// (CryptDecodeObjectEx with CRYPT_DECODE_ALLOC_FLAG).
struct TLocalMemoryKind {
  static HLOCAL None() { return nullptr; }
  static bool IsValid(HLOCAL h) { return h != nullptr; }
  static void Close(HLOCAL h) { LocalFree(h); }
};
typedef TOwnedHandle<HLOCAL, TLocalMemoryKind> TLocalMemory;
#endif  // _WIN32
