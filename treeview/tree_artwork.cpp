#include "treeview/tree_artwork.h"

#include <initializer_list>

#include "framework/image_list.h"
#include "platform/win32_handles.h"

namespace {

const COLORREF kMagenta = RGB(255, 0, 255);
const COLORREF kBlack = RGB(0, 0, 0), kGrey = RGB(128, 128, 128), kSilver = RGB(192, 192, 192);
const COLORREF kWhite = RGB(255, 255, 255), kYellow = RGB(255, 255, 0), kOlive = RGB(128, 128, 0);
const COLORREF kNavy = RGB(0, 0, 128), kTeal = RGB(0, 128, 128), kBlue = RGB(0, 0, 255);

// One frame being drawn: shapes are given on the 16-unit grid of the
// bitmaps and land on whole pixels of the frame's size.
class TFrame {
 public:
  TFrame(HDC dc, int left, int size) : Dc(dc), Left(left), Size(size) {}

  int Px(double units) const { return static_cast<int>(units * Size / 16.0 + 0.5); }
  // At least one pixel: outlines stay visible and grow with the size.
  int Line() const { return Px(1) > 0 ? Px(1) : 1; }

  // Fills [x0, x1) x [y0, y1) in units.
  void Fill(double x0, double y0, double x1, double y1, COLORREF colour) const {
    FillPixels(Px(x0), Px(y0), Px(x1), Px(y1), colour);
  }
  // The same in pixels of the frame.
  void FillPixels(int x0, int y0, int x1, int y1, COLORREF colour) const {
    RECT r = {Left + x0, y0, Left + x1, y1};
    TGdiObject brush(CreateSolidBrush(colour));
    FillRect(Dc, &r, static_cast<HBRUSH>(brush.Get()));
  }
  // A filled rectangle with an outline of Line() pixels inside its edge.
  void Box(double x0, double y0, double x1, double y1, COLORREF fill, COLORREF edge) const {
    Fill(x0, y0, x1, y1, edge);
    const int l = Line();
    RECT r = {Left + Px(x0) + l, Px(y0) + l, Left + Px(x1) - l, Px(y1) - l};
    TGdiObject brush(CreateSolidBrush(fill));
    FillRect(Dc, &r, static_cast<HBRUSH>(brush.Get()));
  }
  // A filled polygon with an outline, points in units.
  void Shape(const double (*points)[2], int count, COLORREF fill, COLORREF edge) const {
    POINT p[8];
    for (int i = 0; i < count && i < 8; ++i) p[i] = {Left + Px(points[i][0]), Px(points[i][1])};
    TGdiObject pen(CreatePen(PS_SOLID, Line(), edge));
    TGdiObject brush(CreateSolidBrush(fill));
    HGDIOBJ oldPen = SelectObject(Dc, pen.Get()), oldBrush = SelectObject(Dc, brush.Get());
    Polygon(Dc, p, count < 8 ? count : 8);
    SelectObject(Dc, oldPen);
    SelectObject(Dc, oldBrush);
  }
  // A thick stroke through points in units, `width` units wide.
  void Stroke(const double (*points)[2], int count, double width, COLORREF colour) const {
    POINT p[8];
    for (int i = 0; i < count && i < 8; ++i) p[i] = {Left + Px(points[i][0]), Px(points[i][1])};
    LOGBRUSH lb = {BS_SOLID, colour, 0};
    int w = Px(width) > 1 ? Px(width) : 1;
    TGdiObject pen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_MITER, w, &lb, 0, nullptr));
    HGDIOBJ old = SelectObject(Dc, pen.Get());
    Polyline(Dc, p, count < 8 ? count : 8);
    SelectObject(Dc, old);
  }

 private:
  HDC Dc;
  int Left, Size;
};

void ClosedFolder(const TFrame& f) {
  f.Box(0, 3, 7, 7, kYellow, kOlive);     // the tab
  f.Box(0, 5, 15, 14, kYellow, kOlive);   // the body
  f.Fill(1, 14, 16, 15, kBlack);          // its shadow
  f.Fill(15, 7, 16, 15, kBlack);
  f.Fill(2, 6, 6, 7, kWhite);             // light on the upper edge
}

void OpenFolder(const TFrame& f) {
  f.Box(0, 3, 7, 7, kYellow, kOlive);
  f.Box(0, 5, 14, 14, kYellow, kOlive);
  f.Fill(2, 6, 6, 7, kWhite);
  static const double kFront[][2] = {{0.5, 14}, {3.5, 8.5}, {15, 8.5}, {12, 14}};  // inside the frame, pen included
  f.Shape(kFront, 4, kYellow, kOlive);    // the front flap, open
  f.Fill(1, 14, 14, 15, kBlack);
}

void ComputerWithHand(const TFrame& f) {
  f.Box(2, 0, 15, 8, kWhite, kBlack);     // the monitor
  f.Fill(13, 1, 14, 7, kSilver);
  f.Box(4, 2, 12, 7, kTeal, kNavy);       // its screen
  f.Box(6, 8, 11, 10, kSilver, kBlack);   // the stand
  f.Box(4, 10, 14, 12, kSilver, kBlack);  // the case
  f.Box(2, 12, 15, 15, kWhite, kBlack);   // the keyboard
  f.Fill(0, 12, 2.5, 16, kNavy);          // the hand that offers it
  f.Fill(2, 14, 5, 16, kNavy);
}

void Notepad(const TFrame& f) {
  f.Box(1, 2, 13, 14, kWhite, kBlack);
  f.Fill(13, 3, 14, 15, kGrey);
  f.Fill(2, 14, 14, 15, kGrey);
  for (double y : {5.0, 7.0, 9.0, 11.0}) f.Fill(3, y, y == 11.0 ? 8 : 11, y + 1, kNavy);
  for (double x : {2.0, 4.0, 6.0, 8.0, 10.0}) f.Fill(x, 1, x + 1, 2, kBlack);  // the rings
}

// The sunken box of the state images, with a tick of `tick` (or none). Its
// four edges are whole lines of one width each, so that the bevel looks
// the same on every side at any size.
void CheckBox(const TFrame& f, const COLORREF* tick) {
  const int l = f.Line(), a = f.Px(1), b = f.Px(1) + f.Px(13);
  f.FillPixels(a, a, b, b, kWhite);                   // light on the lower and right edges
  f.FillPixels(a, a, b - l, b - l, kGrey);            // shade on the upper and left edges
  f.FillPixels(a + l, a + l, b - l, b - l, kSilver);
  f.FillPixels(a + l, a + l, b - 2 * l, b - 2 * l, kBlack);
  f.FillPixels(a + 2 * l, a + 2 * l, b - 2 * l, b - 2 * l, kWhite);  // the inside
  if (!tick) return;
  static const double kTick[][2] = {{4.5, 6.5}, {6.5, 8.8}, {10.5, 4.6}};
  f.Stroke(kTick, 3, 2.2, *tick);
}

// Draws `frames` frames of `size` pixels with draw(frame, index) and makes
// the masked image list of them.
HIMAGELIST DrawList(int size, int frames, void (*draw)(const TFrame&, int)) {
  if (size <= 0) return nullptr;
  TWindowDc screen(nullptr);
  // Declared before the bitmap: the bitmap is deleted first, once it is no
  // longer selected into the context.
  TMemoryDc dc(CreateCompatibleDC(screen.Get()));
  TGdiObject strip(CreateCompatibleBitmap(screen.Get(), size * frames, size));
  if (!dc.IsOpen() || !strip.IsOpen()) return nullptr;
  HGDIOBJ old = SelectObject(dc.Get(), strip.Get());
  RECT all = {0, 0, size * frames, size};
  {
    TGdiObject magenta(CreateSolidBrush(kMagenta));
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(magenta.Get()));
  }
  for (int i = 0; i < frames; ++i) draw(TFrame(dc.Get(), i * size, size), i);
  SelectObject(dc.Get(), old);
  TImageList list(ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, frames, 1));
  if (!list.GetHandle() || ImageList_AddMasked(list.GetHandle(), static_cast<HBITMAP>(strip.Get()), kMagenta) < 0)
    return nullptr;
  return list.Release();
}

}  // namespace

int TreeImageSize(int dpi) { return dpi > 0 ? MulDiv(16, dpi, 96) : 16; }

HIMAGELIST DrawNormalImages(int size) {
  return DrawList(size, 6, [](const TFrame& f, int i) {
    if (i == 0) ClosedFolder(f);
    else if (i == 1) OpenFolder(f);
    else if (i < 4) ComputerWithHand(f);
    else Notepad(f);
  });
}

HIMAGELIST DrawStateImages(int size) {
  return DrawList(size, 4, [](const TFrame& f, int i) {
    static const COLORREF kBlueTick = kBlue, kGreyTick = kGrey;
    if (i == 1) CheckBox(f, nullptr);
    else if (i == 2) CheckBox(f, &kBlueTick);
    else if (i == 3) CheckBox(f, &kGreyTick);
  });
}
