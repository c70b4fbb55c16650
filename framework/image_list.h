// TImageList: owner of one HIMAGELIST, destroyed with the object.
#pragma once

#include <windows.h>
#include <commctrl.h>

class TImageList {
 public:
  // Loads a bitmap strip resource: frames of `width` pixels, growth `grow`,
  // mask colour `mask` transparent (ImageList_LoadImageA, IMAGE_BITMAP, no
  // flags). GetHandle() is null when the resource is missing.
  TImageList(HINSTANCE module, int resId, int width, int grow, COLORREF mask);
  // Takes `handle` (may be null), owned from now on.
  explicit TImageList(HIMAGELIST handle) : Handle(handle) {}
  ~TImageList();
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;

  HIMAGELIST GetHandle() const { return Handle; }
  // Destroys the list held and takes `handle` (owned from now on).
  void Reset(HIMAGELIST handle);
  // Gives the list up to the caller, who must destroy it; null stays held.
  HIMAGELIST Release() {
    HIMAGELIST handle = Handle;
    Handle = nullptr;
    return handle;
  }

 private:
  HIMAGELIST Handle;
};
