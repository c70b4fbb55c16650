#include "framework/image_list.h"

TImageList::TImageList(HINSTANCE module, int resId, int width, int grow, COLORREF mask)
    : Handle(ImageList_LoadImageA(module, MAKEINTRESOURCEA(resId), width, grow, mask,
                                  IMAGE_BITMAP, 0)) {}

TImageList::~TImageList() {
  if (Handle) ImageList_Destroy(Handle);
}

void TImageList::Reset(HIMAGELIST handle) {
  if (Handle && Handle != handle) ImageList_Destroy(Handle);
  Handle = handle;
}
