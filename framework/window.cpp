#include "framework/window.h"

#include <algorithm>

namespace {

// The property under which a window keeps its object. A property (not
// GWLP_USERDATA) because controls and dialogs use their user data themselves.
const char kObjectProp[] = "IzWindowObject";
const char kFrameClass[] = "IzFrameWindow";

}  // namespace

bool SearchMessageTable(const TMessageEntry* table, size_t count, TWindow& window,
                        UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (size_t i = 0; i < count; ++i) {
    const TMessageEntry& e = table[i];
    if (e.Msg != msg) continue;
    if (msg == WM_COMMAND && (e.Id != LOWORD(wParam) || HIWORD(wParam) > 1)) continue;
    if (e.Handler(window, wParam, lParam, result)) return true;
  }
  return false;
}

TWindow::TWindow(TWindow* parent, const char* title, HINSTANCE module)
    : Parent(parent), Title(title ? title : ""),
      Module(module ? module : GetModuleHandleA(nullptr)) {
  if (Parent) Parent->Children.push_back(this);
}

TWindow::~TWindow() {
  Destroy();
  // Children may still point at us through Parent: cut them loose first.
  std::vector<TWindow*> children;
  children.swap(Children);
  for (TWindow* child : children) {
    child->Parent = nullptr;
    delete child;
  }
  if (Parent) {
    auto& siblings = Parent->Children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void TWindow::SetParentObject(TWindow* parent) {
  if (Parent == parent) return;
  if (Parent) {
    auto& siblings = Parent->Children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  Parent = parent;
  if (Parent) Parent->Children.push_back(this);
}

const char* TWindow::FrameClassName() { return kFrameClass; }

const char* TWindow::RegisterFrameClass(HINSTANCE module) {
  WNDCLASSEXA wc = {};
  if (GetClassInfoExA(module, kFrameClass, &wc)) return kFrameClass;
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = module;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFrameClass;
  RegisterClassExA(&wc);
  return kFrameClass;
}

bool TWindow::Create() {
  if (HWindow) return true;
  HWND parentHwnd = Parent ? Parent->HWindow : nullptr;
  if (Attr.Id && parentHwnd) {
    HWND control = GetDlgItem(parentHwnd, Attr.Id);
    if (!control) return false;
    Attach(control);
  } else {
    // Made hidden: the owner shows it once the set-up is done, so nothing
    // half-built is ever on screen.
    HWND hwnd = CreateWindowExA(Attr.ExStyle, RegisterFrameClass(Module), Title.c_str(),
                                Attr.Style & ~WS_VISIBLE, Attr.X, Attr.Y, Attr.W, Attr.H,
                                parentHwnd, nullptr, Module, nullptr);
    if (!hwnd) return false;
    Attach(hwnd);
  }
  SetupWindow();
  return HWindow != nullptr;
}

void TWindow::Destroy() {
  if (HWindow) DestroyWindow(HWindow);  // WM_NCDESTROY detaches
}

bool TWindow::CanClose() {
  for (TWindow* child : Children) {
    if (!child->CanClose()) return false;
  }
  return true;
}

void TWindow::SetupWindow() {
  for (TWindow* child : Children) {
    if (!child->HWindow) child->Create();
  }
}

void TWindow::ChildResized(TWindow&) {}

void TWindow::Attach(HWND hwnd) {
  HWindow = hwnd;
  SetPropA(hwnd, kObjectProp, this);
  OldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWindow::WindowProc)));
  if (OldProc == &TWindow::WindowProc) OldProc = DefWindowProcA;
}

void TWindow::Detach() {
  if (!HWindow) return;
  RemovePropA(HWindow, kObjectProp);
  SetWindowLongPtrA(HWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldProc));
  HWindow = nullptr;
}

LRESULT TWindow::DefaultProcessing(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = HWindow;
  if (!hwnd || !OldProc) return 0;
  return CallWindowProcA(OldProc, hwnd, msg, wParam, lParam);
}

bool TWindow::Dispatch(UINT msg, WPARAM, LPARAM lParam, LRESULT&) {
  if (msg == WM_SIZE && Parent && lParam) Parent->ChildResized(*this);
  return false;
}

LRESULT CALLBACK TWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<TWindow*>(GetPropA(hwnd, kObjectProp));
  if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    WNDPROC old = self->OldProc;
    self->Detach();
    return CallWindowProcA(old, hwnd, msg, wParam, lParam);
  }
  LRESULT result = 0;
  if (self->Dispatch(msg, wParam, lParam, result)) return result;
  // The handler may have destroyed the window; the original procedure was
  // kept in the object, which outlives its window.
  WNDPROC old = self->OldProc;
  return old ? CallWindowProcA(old, hwnd, msg, wParam, lParam)
             : DefWindowProcA(hwnd, msg, wParam, lParam);
}
