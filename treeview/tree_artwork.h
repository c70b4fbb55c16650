// The tree's pictures drawn for the screen's DPI.
//
// The bitmap resources (2 and 400) hold 16-pixel frames, drawn for 96 DPI.
// Stretched to the 20, 24 or 32 pixels that 120, 144 or 192 DPI ask for,
// their single-pixel lines go blurry or uneven; so on such screens the same
// pictures are drawn afresh at the size wanted, from shapes laid out on the
// 16-pixel grid. Magenta is transparent, as in the bitmaps.
#pragma once

#include <windows.h>
#include <commctrl.h>

// The size of a tree picture at `dpi` dots per inch: 16 pixels at 96.
int TreeImageSize(int dpi);

// The six normal images (closed and open folder, the computer with a hand
// twice, the notepad page twice) and the four state images (nothing, empty
// box, blue tick, grey tick), `size` pixels square, in the frame order of
// bitmaps 2 and 400. The caller owns the list (ImageList_Destroy); null when
// GDI refuses.
HIMAGELIST DrawNormalImages(int size);
HIMAGELIST DrawStateImages(int size);
