#include "framework/decorated_frame.h"

namespace {

// A template's popup dialog becomes a plain bordered child of the frame.
const DWORD kClientStylesMask = ~static_cast<DWORD>(WS_POPUP | WS_DLGFRAME | WS_THICKFRAME);
const DWORD kClientStylesAdded = WS_CHILD | WS_VISIBLE | WS_BORDER;
static_assert(kClientStylesMask == 0x7FBBFFFF, "the client's removed styles");
static_assert(kClientStylesAdded == 0x50800000, "the client's added styles");

}  // namespace

TDecoratedFrame::TDecoratedFrame(TWindow* parent, const char* title, TWindow* client, HINSTANCE module)
    : TWindow(parent, title, module), Client(client) {
  if (Client) Client->SetParentObject(this);
}

TDecoratedFrame::~TDecoratedFrame() {
  // The window goes before the icons it shows.
  Destroy();
}

void TDecoratedFrame::SetIcon(HINSTANCE module, int resId) {
  BigIconModule = module;
  BigIconId = resId;
  if (HWindow) ApplyIcons();
}

void TDecoratedFrame::SetIconSm(HINSTANCE module, int resId) {
  SmallIconModule = module;
  SmallIconId = resId;
  if (HWindow) ApplyIcons();
}

void TDecoratedFrame::ApplyIcons() {
  // LoadImageA picks the image of the resource closest to the asked size.
  if (BigIconId && !BigIcon.IsOpen()) {
    BigIcon.Reset(static_cast<HICON>(LoadImageA(BigIconModule, MAKEINTRESOURCEA(BigIconId), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
  }
  if (SmallIconId && !SmallIcon.IsOpen()) {
    SmallIcon.Reset(static_cast<HICON>(LoadImageA(SmallIconModule, MAKEINTRESOURCEA(SmallIconId), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), 0)));
  }
  if (BigIcon.IsOpen()) SendMessageA(HWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(BigIcon.Get()));
  if (SmallIcon.IsOpen())
    SendMessageA(HWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallIcon.Get()));
}

bool TDecoratedFrame::Create() {
  if (!TWindow::Create()) return false;
  // The style set before creation wins over what CreateWindowEx adds on its
  // own (WS_CLIPSIBLINGS, for instance); WS_VISIBLE is left to ShowWindow.
  SetWindowLongA(HWindow, GWL_STYLE, Attr.Style & ~WS_VISIBLE);
  SetWindowPos(HWindow, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  FitClient();
  ApplyIcons();
  return true;
}

void TDecoratedFrame::SetupWindow() {
  TWindow::SetupWindow();  // makes the client
  FitClient();
}

void TDecoratedFrame::FitClient() {
  if (!Client || !Client->GetHandle() || !HWindow || Fitting) return;
  Fitting = true;
  HWND client = Client->GetHandle();
  RECT inner;
  GetClientRect(client, &inner);
  LONG style = GetWindowLongA(client, GWL_STYLE);
  if (!(style & WS_CHILD)) {
    // First fit: from a template's popup (owned by us, so GetParent already
    // answers our handle) to a plain child whose thin border lies just
    // outside our client area. It becomes visible only once it is our
    // child: in between it would be a top-level window with our caption,
    // flashing on the screen and found by whoever looks for us by name.
    style = (style & kClientStylesMask) | kClientStylesAdded;
    SetWindowLongA(client, GWL_STYLE, style & ~WS_VISIBLE);
    LONG exStyle = GetWindowLongA(client, GWL_EXSTYLE);
    exStyle &= ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE);
    SetWindowLongA(client, GWL_EXSTYLE, exStyle);
    SetParent(client, HWindow);
    ShowWindow(client, SW_SHOWNA);
  }
  int bx = GetSystemMetrics(SM_CXBORDER), by = GetSystemMetrics(SM_CYBORDER);
  int width = inner.right - inner.left, height = inner.bottom - inner.top;
  SetWindowPos(client, nullptr, -bx, -by, width + 2 * bx, height + 2 * by,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (ShrinkToClient) {
    RECT outer = {0, 0, width, height};
    AdjustWindowRectEx(&outer, GetWindowLongA(HWindow, GWL_STYLE), FALSE,
                       GetWindowLongA(HWindow, GWL_EXSTYLE));
    SetWindowPos(HWindow, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Fitting = false;
}

void TDecoratedFrame::ChildResized(TWindow& child) {
  if (&child == Client) FitClient();
}

bool TDecoratedFrame::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  static const TMessageEntry kTable[] = {
      {WM_CLOSE, 0,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         if (w.CanClose()) w.Destroy();
         return true;
       }},
      {WM_QUERYENDSESSION, 0,
       [](TWindow& w, WPARAM, LPARAM, LRESULT& r) {
         r = w.CanClose() ? TRUE : FALSE;
         return true;
       }},
      // Keyboard focus belongs in the client's controls, not on the frame.
      {WM_SETFOCUS, 0,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         TWindow* client = static_cast<TDecoratedFrame&>(w).Client;
         if (!client || !client->GetHandle()) return false;
         SetFocus(client->GetHandle());
         return true;
       }},
      {WM_DESTROY, 0,
       [](TWindow& w, WPARAM, LPARAM, LRESULT&) {
         if (static_cast<TDecoratedFrame&>(w).IsMainWindow) PostQuitMessage(0);
         return false;
       }},
  };
  return SearchMessageTable(kTable, *this, msg, wParam, lParam, result) ||
         TWindow::Dispatch(msg, wParam, lParam, result);
}
