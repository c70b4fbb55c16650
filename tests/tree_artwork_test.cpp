// The tree's pictures drawn for denser screens: the size per DPI, the
// frames in the bitmaps' order, transparency where the bitmaps have
// magenta, and box edges that keep their proportion instead of blurring.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "treeview/tree_artwork.h"

namespace {

const COLORREF kGround = RGB(0, 255, 0);  // in none of the pictures

// The picture `index` of `list` drawn over kGround, as a grid of colours.
class TDrawn {
 public:
  TDrawn(HIMAGELIST list, int index, int size) : Size(size) {
    HDC screen = GetDC(nullptr);
    Dc = CreateCompatibleDC(screen);
    Bitmap = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    Old = SelectObject(Dc, Bitmap);
    RECT all = {0, 0, size, size};
    HBRUSH ground = CreateSolidBrush(kGround);
    FillRect(Dc, &all, ground);
    DeleteObject(ground);
    ImageList_Draw(list, index, Dc, 0, 0, ILD_TRANSPARENT);
  }
  ~TDrawn() {
    SelectObject(Dc, Old);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
  }
  COLORREF At(int x, int y) const { return GetPixel(Dc, x, y); }
  int Count(COLORREF colour) const {
    int n = 0;
    for (int y = 0; y < Size; ++y)
      for (int x = 0; x < Size; ++x) n += At(x, y) == colour;
    return n;
  }

 private:
  int Size;
  HDC Dc;
  HBITMAP Bitmap;
  HGDIOBJ Old;
};

TEST(TreeArtwork, SizeFollowsTheDpi) {
  const struct { int dpi, size; } kTable[] = {{96, 16}, {120, 20}, {144, 24}, {192, 32}, {0, 16}};
  for (const auto& row : kTable) EXPECT_EQ(row.size, TreeImageSize(row.dpi)) << row.dpi;
}

TEST(TreeArtwork, StateAndNormalImagesAtEveryDensity) {
  for (int size : {20, 24, 32}) {
    SCOPED_TRACE(size);
    HIMAGELIST list = DrawStateImages(size);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(4, ImageList_GetImageCount(list));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(list, &cx, &cy);
    EXPECT_EQ(size, cx);
    EXPECT_EQ(size, cy);
    EXPECT_EQ(size * size, TDrawn(list, 0, size).Count(kGround)) << "frame 0 is empty";
    const int line = (size + 8) / 16;  // the edge grows with the picture, by whole pixels
    for (int frame = 1; frame <= 3; ++frame) {
      SCOPED_TRACE(frame);
      TDrawn d(list, frame, size);
      EXPECT_EQ(kGround, d.At(0, 0)) << "transparent around the box";
      EXPECT_EQ(kGround, d.At(size - 1, size - 1));
      // Across the middle row from the left: ground, grey, black, then the inside.
      const int y = size / 2, left = (size + 8) / 16;
      for (int x = left; x < left + line; ++x) EXPECT_EQ(RGB(128, 128, 128), d.At(x, y)) << x;
      for (int x = left + line; x < left + 2 * line; ++x) EXPECT_EQ(RGB(0, 0, 0), d.At(x, y)) << x;
      EXPECT_EQ(RGB(255, 255, 255), d.At(left + 2 * line, left + 2 * line));
      const int blue = d.Count(RGB(0, 0, 255)), grey = d.Count(RGB(128, 128, 128));
      if (frame == 2) {
        EXPECT_GT(blue, size);
      } else {
        EXPECT_EQ(0, blue);
      }
      if (frame == 3) {
        EXPECT_GT(grey, TDrawn(list, 1, size).Count(RGB(128, 128, 128)) + size);
      }
    }
    ImageList_Destroy(list);

    list = DrawNormalImages(size);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(6, ImageList_GetImageCount(list));
    for (int frame = 0; frame < 6; ++frame) {
      TDrawn d(list, frame, size);
      const int ground = d.Count(kGround);
      EXPECT_GT(ground, 0) << frame << ": the corners stay transparent";
      EXPECT_LT(ground, size * size / 2) << frame << ": a picture fills its frame";
    }
    // The folders are yellow, the computer is not.
    EXPECT_GT(TDrawn(list, 0, size).Count(RGB(255, 255, 0)), size * size / 5);
    EXPECT_GT(TDrawn(list, 1, size).Count(RGB(255, 255, 0)), size * size / 5);
    EXPECT_EQ(0, TDrawn(list, 2, size).Count(RGB(255, 255, 0)));
    ImageList_Destroy(list);
  }
}

}  // namespace
