// The Win32 back-end: the real program.
//
// Implements: the application window ("TApplication"), form windows of their own class
// names with the VCL's styles, their events (mouse, double-click, close, end of session,
// private messages), layered drawing through a 32-bit DIB section, window timers, the
// message loop, message boxes, popup menus, the tray icon, ShellExecute, screen metrics,
// the raw-data resources of the module and the registry of the current user.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zin::ui {
class MenuItem;
}

namespace zin::win32 {

class RegistryStore final : public UserStore {
 public:
  Key createKey(const std::string& path) override;
  void closeKey(Key key) override;
  Value queryValue(Key key, const std::string& name, std::size_t capacity) override;
  bool setValue(Key key, const std::string& name, std::uint32_t type,
                std::span<const std::uint8_t> data) override;
  bool deleteValue(Key key, const std::string& name) override;
};

class Win32Platform final : public ui::Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override;

  ui::WindowId applicationWindow() override { return id(appWindow_); }
  void setApplicationTitle(const std::string& title) override;
  ui::WindowId createWindow(ui::Form& form) override;
  void destroyWindow(ui::WindowId window) override;
  void setWindowBounds(ui::WindowId window, const ui::Rect& bounds) override;
  void setWindowText(ui::WindowId window, const std::string& text) override;
  void showWindow(ui::WindowId window, ui::ShowCommand command) override;
  void bringToFront(ui::WindowId window) override;
  std::uint32_t windowExStyle(ui::WindowId window) override;
  std::uint32_t setWindowExStyle(ui::WindowId window, std::uint32_t exStyle) override;
  void setWindowOwner(ui::WindowId window, ui::WindowId owner) override;
  ui::WindowId desktopWindow() override { return id(GetDesktopWindow()); }
  void setWindowZOrder(ui::WindowId window, ui::ZOrder order) override;
  void setFocus(ui::WindowId window) override { SetFocus(hwnd(window)); }
  void setForegroundWindow(ui::WindowId window) override { SetForegroundWindow(hwnd(window)); }
  void postMessage(ui::WindowId window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) override;
  std::string lastErrorText() override;
  void releaseControl(ui::WindowId control) override {
    SetWindowLongPtrA(hwnd(control), GWLP_USERDATA, 0);
  }
  void setControlChecked(ui::WindowId control, bool checked) override;
  bool controlChecked(ui::WindowId control) override;
  std::unique_ptr<ui::Bitmap> createBitmap() override;
  ui::DrawContext acquireDrawContext(ui::Bitmap& bitmap) override;
  bool updateLayeredWindow(ui::WindowId window, const ui::DrawContext& dc, int x, int y, int width,
                           int height, const ui::BlendFunction& blend) override;
  void releaseDrawContext(const ui::DrawContext& dc) override;
  bool startTimer(ui::Timer& timer, int intervalMs) override;
  void stopTimer(ui::Timer& timer) override;
  void processMessages() override;
  void runMessageLoop() override;
  void quitMessageLoop() override;
  [[noreturn]] void exitProcess(int code) override;
  void messageBox(const std::string& text, const std::string& caption,
                  ui::MessageKind kind) override;
  int trackPopupMenu(ui::PopupMenu& menu, int x, int y, ui::WindowId owner) override;
  void beep() override { MessageBeep(0); }
  int screenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
  int screenHeight() override { return GetSystemMetrics(SM_CYSCREEN); }
  ui::Rect workArea() override;
  ScreenPoint cursorPos() override;
  std::uint16_t asyncKeyState(int virtualKey) override {
    return static_cast<std::uint16_t>(GetAsyncKeyState(virtualKey));
  }
  std::uint32_t tickCount() override { return GetTickCount(); }
  std::uint64_t performanceCounter() override;
  std::string modulePath() override;
  std::string commandLine() override { return GetCommandLineA(); }
  std::optional<std::span<const std::uint8_t>> findResource(const std::string& name) override;
  std::uintptr_t applicationIcon() override { return reinterpret_cast<std::uintptr_t>(appIcon_); }
  std::uintptr_t smallIcon() override { return reinterpret_cast<std::uintptr_t>(smallIcon_); }
  void notifyIcon(ui::TrayAction action, const ui::TrayIconData& data) override;
  void shellExecute(const std::string& verb, const std::string& file, int showCommand) override;
  UserStore& userStore() override { return store_; }

  static HWND hwnd(ui::WindowId id) { return reinterpret_cast<HWND>(id); }
  static ui::WindowId id(HWND hwnd) { return reinterpret_cast<ui::WindowId>(hwnd); }

 private:
  static LRESULT CALLBACK appProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK formProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT formMessage(ui::Form& form, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void registerFormClass(const std::string& name);
  bool dispatch(MSG& msg);
  // Moves of a layered window are held until its next layered update (which places it) or
  // the end of the message in hand: one trip to the window system per fly tick, not three.
  void flushMoves();

  // Controls (win32_controls.cpp).
  int scaled(int value) const;
  void createFonts();
  void fitFonts(ui::Form& form);
  void createControls(ui::Form& form, HWND formWindow);
  bool controlMessage(HWND formWindow, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void drawPictureButton(const DRAWITEMSTRUCT& item);
  HMENU buildMenu(const std::vector<ui::MenuItem*>& items);

  HINSTANCE instance_;
  HWND appWindow_ = nullptr;
  HICON appIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool quit_ = false;
  std::map<std::string, ATOM> classes_;
  std::map<UINT_PTR, ui::Timer*> timers_;
  std::map<ui::Timer*, UINT_PTR> timerIds_;
  UINT_PTR nextTimerId_ = 1;
  RegistryStore store_;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  HFONT linkFont_ = nullptr;
  HBITMAP likeBitmap_ = nullptr;
  std::map<HWND, int> defaultButtons_;  // form window to its default button's id
  std::set<HWND> dialogForms_;          // forms with controls: Tab, Enter and arrows work
  std::map<HWND, RECT> placed_;         // layered windows: where the system has them
  std::map<HWND, POINT> pendingMoves_;  // layered windows: where they go next
};

}  // namespace zin::win32
