// The native controls of a form and its popup menus: standard Button, Static, Edit and
// up-down controls laid out at the designed 96-DPI positions, scaled to the display's DPI,
// with the form's "MS Sans Serif" 8-point font.
// windows.h (through our header) must come before commctrl.h.
#include "platform/win32/win32_platform.h"
// clang-format off
#include <commctrl.h>
// clang-format on

#include <algorithm>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/menu.h"

namespace zin::win32 {
namespace {

constexpr char kOriginalProc[] = "Zintara.WndProc";
constexpr int kFirstControlId = 100;

ui::Control* controlOf(HWND window) {
  return reinterpret_cast<ui::Control*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Subclassing the classic way: SetWindowSubclass is exported by name only from version 6
// of the common controls, which a program without a manifest does not load.
void subclass(HWND window, WNDPROC proc) {
  const LONG_PTR original =
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
  SetPropA(window, kOriginalProc, reinterpret_cast<HANDLE>(original));
}

LRESULT original(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto proc = reinterpret_cast<WNDPROC>(GetPropA(window, kOriginalProc));
  if (message == WM_NCDESTROY) {
    RemovePropA(window, kOriginalProc);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
  }
  return CallWindowProcA(proc, window, message, wParam, lParam);
}

char decimalSeparator() {
  char buffer[8] = {};
  return GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 0 ? buffer[0]
                                                                                         : '.';
}

// A group box is the real parent of its controls; what they tell their parent goes on to
// the form, as the form is where their handlers live.
LRESULT CALLBACK groupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_DRAWITEM:
      return SendMessageA(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    case WM_ERASEBKGND: {
      // The form clips its children, so nothing else paints behind the group's controls.
      RECT r;
      GetClientRect(window, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
      return TRUE;
    }
    default:
      return original(window, message, wParam, lParam);
  }
}

// The spin edit's field: typed characters, arrow keys and the loss of focus follow the
// value rules.
LRESULT CALLBACK spinFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* spin = static_cast<ui::SpinEdit*>(controlOf(window));
  if (!spin) return original(window, message, wParam, lParam);
  switch (message) {
    case WM_CHAR:
      if (!spin->nativeKeyTyped(static_cast<char>(wParam), decimalSeparator())) return 0;
      break;
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN) {
        ui::application->guarded([&] { spin->nativeStep(wParam == VK_UP ? 1 : -1); });
        return 0;
      }
      break;
    case WM_KILLFOCUS: {
      const LRESULT result = original(window, message, wParam, lParam);
      ui::application->guarded([&] { spin->nativeFocusLost(); });
      return result;
    }
    default:
      break;
  }
  return original(window, message, wParam, lParam);
}

// Labels that take clicks show the hand; the flat picture button draws its frame only
// while the mouse is over it.
LRESULT CALLBACK hotProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      SetCursor(LoadCursor(nullptr, IDC_HAND));
      return TRUE;
    case WM_MOUSEMOVE:
      if (!GetPropA(window, "hot")) {
        SetPropA(window, "hot", reinterpret_cast<HANDLE>(1));
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window, 0};
        TrackMouseEvent(&track);
        InvalidateRect(window, nullptr, TRUE);
      }
      break;
    case WM_MOUSELEAVE:
      RemovePropA(window, "hot");
      InvalidateRect(window, nullptr, TRUE);
      break;
    case WM_NCDESTROY:
      RemovePropA(window, "hot");
      break;
    default:
      break;
  }
  return original(window, message, wParam, lParam);
}

}  // namespace

int Win32Platform::scaled(int value) const {
  return MulDiv(value, dpi_, 96);
}

namespace {

HFONT makeFont(int height, int weight, bool underline) {
  return CreateFontA(height, 0, 0, 0, weight, FALSE, underline, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

// The width a control needs for its text in `font`.
int neededWidth(HDC dc, HFONT font, const ui::Control& control) {
  const std::string& text = control.caption();
  if (text.empty()) return 0;
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  if (control.kind() == ui::ControlKind::CheckBox) {
    return size.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4;
  }
  return size.cx;
}

bool isTextControl(const ui::Control& control) {
  return control.kind() == ui::ControlKind::Label || control.kind() == ui::ControlKind::Link ||
         control.kind() == ui::ControlKind::CheckBox;
}

}  // namespace

void Win32Platform::createFonts() {
  font_ = makeFont(-MulDiv(8, dpi_, 72), FW_NORMAL, false);
  linkFont_ = makeFont(-MulDiv(8, dpi_, 72), FW_BOLD, true);
}

// The window keeps its designed size (scaled for the DPI), so the text must fit it: where
// "MS Sans Serif" is missing and a wider font stands in, or a DPI's font runs wider than
// the layout, the font steps down until every caption fits its control.
void Win32Platform::fitFonts(ui::Form& form) {
  HDC dc = GetDC(nullptr);
  int height = MulDiv(8, dpi_, 72);
  const int smallest = std::max(7, height * 3 / 4);
  for (;; --height) {
    bool fits = true;
    for (int i = 0; i < form.componentCount() && fits; ++i) {
      const auto* control = dynamic_cast<const ui::Control*>(form.component(i));
      if (!control || !isTextControl(*control)) continue;
      const HFONT font = control->kind() == ui::ControlKind::Link ? linkFont_ : font_;
      fits = neededWidth(dc, font, *control) <= scaled(control->bounds().width());
    }
    if (fits || height <= smallest) break;
    DeleteObject(font_);
    DeleteObject(linkFont_);
    font_ = makeFont(-(height - 1), FW_NORMAL, false);
    linkFont_ = makeFont(-(height - 1), FW_BOLD, true);
  }
  ReleaseDC(nullptr, dc);
}

void Win32Platform::createControls(ui::Form& form, HWND formWindow) {
  fitFonts(form);
  SendMessageA(formWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  int nextId = kFirstControlId;
  for (int i = 0; i < form.componentCount(); ++i) {
    auto* control = dynamic_cast<ui::Control*>(form.component(i));
    if (!control) continue;
    const HWND parent = control->parent() ? hwnd(control->parent()->handle()) : formWindow;
    const char* cls = "BUTTON";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    if (control->visible()) style |= WS_VISIBLE;
    if (control->tabStop) style |= WS_TABSTOP;
    switch (control->kind()) {
      case ui::ControlKind::GroupBox:
        style |= BS_GROUPBOX;
        exStyle |= WS_EX_CONTROLPARENT;
        break;
      case ui::ControlKind::CheckBox:
        style |= BS_AUTOCHECKBOX;
        break;
      case ui::ControlKind::Label:
        cls = "STATIC";
        style |= SS_LEFT | SS_NOPREFIX;
        break;
      case ui::ControlKind::Link:
        cls = "STATIC";
        style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
        break;
      case ui::ControlKind::SpinEdit:
        cls = "EDIT";
        style |= ES_LEFT | ES_AUTOHSCROLL;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
      case ui::ControlKind::Button:
        style |= BS_PUSHBUTTON;
        break;
      case ui::ControlKind::DefaultButton:
        style |= BS_DEFPUSHBUTTON;
        defaultButtons_[formWindow] = nextId;
        break;
      case ui::ControlKind::SpeedButton:
        cls = "STATIC";
        style |= SS_OWNERDRAW | SS_NOTIFY;
        break;
    }
    const ui::Rect& b = control->bounds();
    HWND window = CreateWindowExA(exStyle, cls, control->caption().c_str(), style, scaled(b.left),
                                  scaled(b.top), scaled(b.width()), scaled(b.height()), parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)),
                                  instance_, nullptr);
    if (!window) continue;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    SendMessageA(
        window, WM_SETFONT,
        reinterpret_cast<WPARAM>(control->kind() == ui::ControlKind::Link ? linkFont_ : font_),
        FALSE);
    control->attachNative(id(window));
    switch (control->kind()) {
      case ui::ControlKind::GroupBox:
        subclass(window, groupProc);
        break;
      case ui::ControlKind::CheckBox:
        setControlChecked(id(window), static_cast<ui::CheckBox*>(control)->checked());
        break;
      case ui::ControlKind::SpinEdit: {
        auto* spin = static_cast<ui::SpinEdit*>(control);
        SetWindowTextA(window, spin->text().c_str());
        subclass(window, spinFieldProc);
        HWND buttons = CreateWindowExA(
            0, UPDOWN_CLASSA, "", WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_NOTHOUSANDS, 0, 0, 0,
            0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)), instance_, nullptr);
        SendMessageA(buttons, UDM_SETRANGE32, 0, 100);  // only the direction is used
        SendMessageA(buttons, UDM_SETBUDDY, reinterpret_cast<WPARAM>(window), 0);
        break;
      }
      case ui::ControlKind::Link:
      case ui::ControlKind::SpeedButton:
        subclass(window, hotProc);
        break;
      default:
        break;
    }
  }
}

bool Win32Platform::controlMessage(HWND formWindow, UINT message, WPARAM wParam, LPARAM lParam,
                                   LRESULT& result) {
  switch (message) {
    case WM_COMMAND: {
      const HWND from = reinterpret_cast<HWND>(lParam);
      const UINT code = HIWORD(wParam);
      if (!from && LOWORD(wParam) == IDOK) {
        // Enter, through the dialog manager: the default button's click.
        if (auto it = defaultButtons_.find(formWindow); it != defaultButtons_.end()) {
          if (HWND button = GetDlgItem(formWindow, it->second)) {
            if (ui::Control* c = controlOf(button)) c->nativeClicked();
          }
        }
        result = 0;
        return true;
      }
      ui::Control* control = from ? controlOf(from) : nullptr;
      if (!control) return false;
      if (code == BN_CLICKED || code == STN_CLICKED) {
        control->nativeClicked();
      } else if (code == EN_CHANGE && control->kind() == ui::ControlKind::SpinEdit) {
        char text[64] = {};
        GetWindowTextA(from, text, sizeof text);
        static_cast<ui::SpinEdit*>(control)->nativeTextChanged(text);
      }
      result = 0;
      return true;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code != UDN_DELTAPOS) return false;
      const auto buddy = reinterpret_cast<HWND>(SendMessageA(header->hwndFrom, UDM_GETBUDDY, 0, 0));
      auto* spin = buddy ? dynamic_cast<ui::SpinEdit*>(controlOf(buddy)) : nullptr;
      if (!spin) return false;
      const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
      spin->nativeStep(change->iDelta > 0 ? 1 : -1);
      result = TRUE;  // the value is ours, not the up-down control's
      return true;
    }
    case DM_GETDEFID:
      if (auto it = defaultButtons_.find(formWindow); it != defaultButtons_.end()) {
        result = MAKELONG(it->second, DC_HASDEFID);
        return true;
      }
      return false;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      const ui::Control* control = controlOf(reinterpret_cast<HWND>(lParam));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (control && control->kind() == ui::ControlKind::Link) {
        SetTextColor(dc, GetSysColor(COLOR_HOTLIGHT));
        SetBkMode(dc, TRANSPARENT);
      } else {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      }
      result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      return true;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType != ODT_STATIC) return false;
      drawPictureButton(*item);
      result = TRUE;
      return true;
    }
    default:
      return false;
  }
}

void Win32Platform::drawPictureButton(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (!likeBitmap_) {
    likeBitmap_ =
        static_cast<HBITMAP>(LoadImageA(instance_, "BLIKE", IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  }
  if (likeBitmap_) {
    BITMAP info{};
    GetObjectA(likeBitmap_, sizeof info, &info);
    HDC mem = CreateCompatibleDC(item.hDC);
    HGDIOBJ old = SelectObject(mem, likeBitmap_);
    const int x = r.left + (r.right - r.left - info.bmWidth) / 2;
    const int y = r.top + (r.bottom - r.top - info.bmHeight) / 2;
    BitBlt(item.hDC, x, y, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  if (GetPropA(item.hwndItem, "hot")) DrawEdge(item.hDC, &r, BDR_RAISEDINNER, BF_RECT);
}

HMENU Win32Platform::buildMenu(const std::vector<ui::MenuItem*>& items) {
  HMENU menu = CreatePopupMenu();
  for (const ui::MenuItem* item : items) {
    if (!item->visible) continue;
    if (item->isSeparator()) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (!item->enabled) flags |= MF_GRAYED;
    if (item->checked) flags |= MF_CHECKED;
    if (!item->items().empty()) {
      AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(buildMenu(item->items())),
                  item->caption.c_str());
    } else {
      AppendMenuA(menu, flags, static_cast<UINT_PTR>(item->command()), item->caption.c_str());
    }
    if (item->isDefault) SetMenuDefaultItem(menu, static_cast<UINT>(item->command()), FALSE);
  }
  return menu;
}

int Win32Platform::trackPopupMenu(ui::PopupMenu& menu, int x, int y, ui::WindowId owner) {
  flushMoves();
  HMENU native = buildMenu(menu.items());
  const int chosen = static_cast<int>(
      TrackPopupMenu(native, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y,
                     0, hwnd(owner), nullptr));
  DestroyMenu(native);
  return chosen;
}

}  // namespace zin::win32
