#include "platform/win32/win32_platform.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdlib>
#include <exception>

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/menu.h"
#include "platform/timer.h"

namespace zin::win32 {
namespace {

constexpr char kAppClass[] = "TApplication";
Win32Platform* self = nullptr;

// A 32-bit top-down DIB section; rows are addressed directly.
class DibBitmap final : public ui::Bitmap {
 public:
  ~DibBitmap() override { release(); }

  void setSize(int width, int height) override {
    if (bitmap_ && width == width_ && height == height_) return;
    release();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (!bitmap_) throw std::bad_alloc();
    width_ = width;
    height_ = height;
  }

  BitmapView pixels() override {
    return {static_cast<std::uint8_t*>(bits_), width_, height_, width_ * 4};
  }

  HBITMAP handle() const { return bitmap_; }

 private:
  void release() {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    bits_ = nullptr;
  }

  HBITMAP bitmap_ = nullptr;
  void* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// What escapes a handler must not unwind through the system's frames.
template <class F>
LRESULT guardedCall(F&& work) {
  try {
    return work();
  } catch (const std::exception& error) {
    if (ui::application) ui::application->handleException(error);
  } catch (...) {
  }
  return 0;
}

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
  self = this;
  ui::setPlatform(this);
  // Aware of the display's DPI: the settings window is laid out for it, and the flies stay
  // crisp instead of being stretched by the system.
  if (HMODULE user32 = GetModuleHandleA("user32.dll")) {
    using SetAware = BOOL(WINAPI*)();
    if (auto setAware = reinterpret_cast<SetAware>(
            reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetProcessDPIAware")))) {
      setAware();
    }
  }
  if (HDC screen = GetDC(nullptr)) {
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpi_ <= 0) dpi_ = 96;
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&controls);
  createFonts();
  appIcon_ = LoadIconA(instance_, "MAINICON");
  smallIcon_ = static_cast<HICON>(LoadImageA(instance_, "SETTINGSICON", IMAGE_ICON, 16, 16, 0));
  if (!smallIcon_) smallIcon_ = appIcon_;

  WNDCLASSA wc{};
  wc.lpfnWndProc = appProc;
  wc.hInstance = instance_;
  wc.hIcon = appIcon_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kAppClass;
  RegisterClassA(&wc);
  // As the VCL makes it: a captioned popup of no size at the screen centre, never shown
  // unless a form becomes visible.
  appWindow_ = CreateWindowExA(
      0, kAppClass, "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
      instance_, nullptr);
}

Win32Platform::~Win32Platform() {
  if (appWindow_) DestroyWindow(appWindow_);
  if (font_) DeleteObject(font_);
  if (linkFont_) DeleteObject(linkFont_);
  if (likeBitmap_) DeleteObject(likeBitmap_);
  ui::setPlatform(nullptr);
  self = nullptr;
}

void Win32Platform::setApplicationTitle(const std::string& title) {
  SetWindowTextA(appWindow_, title.c_str());
}

void Win32Platform::registerFormClass(const std::string& name) {
  if (classes_.count(name)) return;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = formProc;
  wc.hInstance = instance_;
  wc.hIcon = appIcon_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  classes_[name] = RegisterClassA(&wc);
}

ui::WindowId Win32Platform::createWindow(ui::Form& form) {
  const std::string className = form.className();
  registerFormClass(className);
  DWORD style = WS_CLIPSIBLINGS;
  const DWORD exStyle = WS_EX_CONTROLPARENT;
  if (form.borderStyle() == ui::BorderStyle::None) {
    style |= WS_POPUP;
  } else {
    style |= WS_CAPTION | WS_BORDER;
  }
  ui::Rect r = form.bounds();
  if (form.clientSize()) {
    RECT wanted{0, 0, scaled(form.clientSize()->width()), scaled(form.clientSize()->height())};
    AdjustWindowRectEx(&wanted, style, FALSE, exStyle);
    r.right = r.left + (wanted.right - wanted.left);
    r.bottom = r.top + (wanted.bottom - wanted.top);
    form.nativeBoundsChanged(r);
  }
  HWND window =
      CreateWindowExA(exStyle, className.c_str(), form.caption().c_str(), style, r.left, r.top,
                      r.width(), r.height(), appWindow_, nullptr, instance_, &form);
  if (!window) throw std::runtime_error("Error creating window");
  bool hasControls = false;
  for (int i = 0; i < form.componentCount() && !hasControls; ++i) {
    hasControls = dynamic_cast<ui::Control*>(form.component(i)) != nullptr;
  }
  if (hasControls) {
    createControls(form, window);
    dialogForms_.insert(window);
  }
  return id(window);
}

void Win32Platform::destroyWindow(ui::WindowId window) {
  SetWindowLongPtrA(hwnd(window), GWLP_USERDATA, 0);
  dialogForms_.erase(hwnd(window));
  placed_.erase(hwnd(window));
  pendingMoves_.erase(hwnd(window));
  defaultButtons_.erase(hwnd(window));
  DestroyWindow(hwnd(window));
}

void Win32Platform::setWindowBounds(ui::WindowId window, const ui::Rect& b) {
  const HWND h = hwnd(window);
  if (GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_LAYERED) {
    auto it = placed_.find(h);
    if (it != placed_.end() && it->second.right - it->second.left == b.width() &&
        it->second.bottom - it->second.top == b.height()) {
      pendingMoves_[h] = {b.left, b.top};
      return;
    }
    placed_[h] = {b.left, b.top, b.right, b.bottom};
  }
  pendingMoves_.erase(h);
  SetWindowPos(h, nullptr, b.left, b.top, b.width(), b.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Platform::flushMoves() {
  while (!pendingMoves_.empty()) {
    const auto [h, p] = *pendingMoves_.begin();
    pendingMoves_.erase(pendingMoves_.begin());
    RECT& r = placed_[h];
    OffsetRect(&r, p.x - r.left, p.y - r.top);
    SetWindowPos(h, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Platform::setWindowText(ui::WindowId window, const std::string& text) {
  SetWindowTextA(hwnd(window), text.c_str());
}

void Win32Platform::showWindow(ui::WindowId window, ui::ShowCommand command) {
  int cmd = SW_HIDE;
  if (command == ui::ShowCommand::ShowNormal) cmd = SW_SHOWNORMAL;
  if (command == ui::ShowCommand::Show) cmd = SW_SHOW;
  ShowWindow(hwnd(window), cmd);
}

void Win32Platform::bringToFront(ui::WindowId window) {
  SetWindowPos(hwnd(window), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

std::uint32_t Win32Platform::windowExStyle(ui::WindowId window) {
  return static_cast<std::uint32_t>(GetWindowLongA(hwnd(window), GWL_EXSTYLE));
}

std::uint32_t Win32Platform::setWindowExStyle(ui::WindowId window, std::uint32_t exStyle) {
  return static_cast<std::uint32_t>(
      SetWindowLongA(hwnd(window), GWL_EXSTYLE, static_cast<LONG>(exStyle)));
}

void Win32Platform::setWindowOwner(ui::WindowId window, ui::WindowId owner) {
  SetWindowLongPtrA(hwnd(window), GWLP_HWNDPARENT, static_cast<LONG_PTR>(owner));
}

void Win32Platform::setWindowZOrder(ui::WindowId window, ui::ZOrder order) {
  SetWindowPos(hwnd(window), order == ui::ZOrder::Topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
               0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32Platform::postMessage(ui::WindowId window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  PostMessageA(hwnd(window), message, wParam, lParam);
}

std::string Win32Platform::lastErrorText() {
  const DWORD code = GetLastError();
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length ? std::string(buffer, length) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "System error " + std::to_string(code);
  return text;
}

void Win32Platform::setControlChecked(ui::WindowId control, bool checked) {
  SendMessageA(hwnd(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Platform::controlChecked(ui::WindowId control) {
  return SendMessageA(hwnd(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::unique_ptr<ui::Bitmap> Win32Platform::createBitmap() {
  return std::make_unique<DibBitmap>();
}

ui::DrawContext Win32Platform::acquireDrawContext(ui::Bitmap& bitmap) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, static_cast<DibBitmap&>(bitmap).handle());
  return {reinterpret_cast<std::uintptr_t>(screen), reinterpret_cast<std::uintptr_t>(mem),
          reinterpret_cast<std::uintptr_t>(old)};
}

bool Win32Platform::updateLayeredWindow(ui::WindowId window, const ui::DrawContext& dc, int x,
                                        int y, int width, int height,
                                        const ui::BlendFunction& blend) {
  pendingMoves_.erase(hwnd(window));
  placed_[hwnd(window)] = {x, y, x + width, y + height};
  POINT destination{x, y};
  SIZE size{width, height};
  POINT source{0, 0};
  BLENDFUNCTION bf{blend.blendOp, blend.blendFlags, blend.sourceConstantAlpha, blend.alphaFormat};
  return UpdateLayeredWindow(hwnd(window), reinterpret_cast<HDC>(dc.screenDC), &destination, &size,
                             reinterpret_cast<HDC>(dc.memDC), &source, 0, &bf, ULW_ALPHA) != 0;
}

void Win32Platform::releaseDrawContext(const ui::DrawContext& dc) {
  SelectObject(reinterpret_cast<HDC>(dc.memDC), reinterpret_cast<HGDIOBJ>(dc.oldBitmap));
  DeleteDC(reinterpret_cast<HDC>(dc.memDC));
  ReleaseDC(nullptr, reinterpret_cast<HDC>(dc.screenDC));
}

bool Win32Platform::startTimer(ui::Timer& timer, int intervalMs) {
  UINT_PTR timerId;
  if (auto it = timerIds_.find(&timer); it != timerIds_.end()) {
    timerId = it->second;
  } else {
    timerId = nextTimerId_++;
  }
  if (!SetTimer(appWindow_, timerId, static_cast<UINT>(intervalMs), nullptr)) return false;
  timers_[timerId] = &timer;
  timerIds_[&timer] = timerId;
  return true;
}

void Win32Platform::stopTimer(ui::Timer& timer) {
  auto it = timerIds_.find(&timer);
  if (it == timerIds_.end()) return;
  KillTimer(appWindow_, it->second);
  timers_.erase(it->second);
  timerIds_.erase(it);
}

bool Win32Platform::dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    quit_ = true;
    return false;
  }
  if (!dialogForms_.empty()) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && dialogForms_.count(root) && IsDialogMessageA(root, &msg)) {
      flushMoves();
      return true;
    }
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  flushMoves();
  return true;
}

void Win32Platform::processMessages() {
  // Pending means queued before this call: a message stamped later is handled and ends the
  // round. With many flies whose ticks cost more than their interval (a slow display), the
  // queue never runs dry, and the start must still get on with the next fly.
  const DWORD start = GetTickCount();
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    const bool later = static_cast<LONG>(msg.time - start) > 0;
    if (!dispatch(msg) || later) break;
  }
}

void Win32Platform::runMessageLoop() {
  MSG msg;
  while (!quit_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit_ = true;
      break;
    }
    if (got < 0) break;
    dispatch(msg);
  }
}

void Win32Platform::quitMessageLoop() {
  PostQuitMessage(0);
}

void Win32Platform::exitProcess(int code) {
  ExitProcess(static_cast<UINT>(code));
}

void Win32Platform::messageBox(const std::string& text, const std::string& caption,
                               ui::MessageKind kind) {
  flushMoves();
  UINT flags = MB_OK | MB_SETFOREGROUND;
  if (kind == ui::MessageKind::Error) flags |= MB_ICONERROR;
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

ui::Rect Win32Platform::workArea() {
  RECT r{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  return {r.left, r.top, r.right, r.bottom};
}

ScreenPoint Win32Platform::cursorPos() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

std::uint64_t Win32Platform::performanceCounter() {
  LARGE_INTEGER counter{};
  if (!QueryPerformanceCounter(&counter)) return 0;
  return static_cast<std::uint64_t>(counter.QuadPart);
}

std::string Win32Platform::modulePath() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::optional<std::span<const std::uint8_t>> Win32Platform::findResource(const std::string& name) {
  HRSRC info = FindResourceA(instance_, name.c_str(), MAKEINTRESOURCEA(10));
  if (!info) return std::nullopt;
  HGLOBAL loaded = LoadResource(instance_, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return std::nullopt;
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data),
                                       SizeofResource(instance_, info));
}

void Win32Platform::notifyIcon(ui::TrayAction action, const ui::TrayIconData& data) {
  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = hwnd(data.window);
  record.uID = data.id;
  record.uFlags = data.flags;
  record.uCallbackMessage = data.callbackMessage;
  record.hIcon = reinterpret_cast<HICON>(data.icon);
  lstrcpynA(record.szTip, data.tip.c_str(), 64);
  DWORD message = NIM_ADD;
  if (action == ui::TrayAction::Modify) message = NIM_MODIFY;
  if (action == ui::TrayAction::Delete) message = NIM_DELETE;
  Shell_NotifyIconA(message, &record);
}

void Win32Platform::shellExecute(const std::string& verb, const std::string& file,
                                 int showCommand) {
  ShellExecuteA(nullptr, verb.c_str(), file.c_str(), nullptr, nullptr, showCommand);
}

LRESULT CALLBACK Win32Platform::appProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && self) {
    auto it = self->timers_.find(wParam);
    if (it != self->timers_.end()) {
      ui::Timer* timer = it->second;
      const LRESULT result = guardedCall([&] {
        timer->fire();
        return LRESULT{0};
      });
      // Ticks also arrive through loops that are not ours (an open popup menu's).
      self->flushMoves();
      return result;
    }
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Win32Platform::formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<ui::Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!form || !self) return DefWindowProcA(hwnd, message, wParam, lParam);
  return guardedCall([&] { return self->formMessage(*form, hwnd, message, wParam, lParam); });
}

LRESULT Win32Platform::formMessage(ui::Form& form, HWND hwnd, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  if (LRESULT result = 0; controlMessage(hwnd, message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_MOUSEMOVE:
      form.nativeMouseMove(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return 0;
    case WM_LBUTTONDOWN:
      form.nativeMouseDown(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return 0;
    case WM_LBUTTONDBLCLK:
      form.nativeDblClick();
      return 0;
    case WM_CONTEXTMENU: {
      POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (p.x == -1 && p.y == -1) GetCursorPos(&p);  // from the keyboard
      form.nativeRightClick(p.x, p.y);
      return 0;
    }
    case WM_CLOSE:
      form.nativeCloseRequest();
      return 0;
    case WM_QUERYENDSESSION:
      return form.nativeQueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
      form.nativeMessage(message, wParam, lParam);
      return 0;
    case WM_MOVE: {
      RECT r;
      GetWindowRect(hwnd, &r);
      form.nativeBoundsChanged({r.left, r.top, r.right, r.bottom});
      break;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      form.nativeDestroyed();
      break;
    default:
      if (message >= WM_USER && form.nativeMessage(message, wParam, lParam)) return 0;
      break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace zin::win32
