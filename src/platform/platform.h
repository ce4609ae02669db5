// The seam between the program and the operating system: everything the program needs from
// the OS, in one interface, grouped by concern. A back-end is chosen at build time
// (win32 for the real program, headless for tests) and installed with setPlatform().
//
// Conventions: window handles are opaque WindowId values (0 = none); calls whose results
// the program ignores return nothing; failures the program reports return false/0.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/frame_pipeline.h"
#include "core/registry.h"
#include "core/saver.h"

namespace zin::ui {

using WindowId = std::uintptr_t;

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

class Form;
class Timer;
class PopupMenu;

enum class ShowCommand { Hide, ShowNormal, Show };
enum class ZOrder { Topmost, NotTopmost };
enum class MessageKind { Plain, Error };
enum class TrayAction { Add, Modify, Delete };

inline constexpr std::uint32_t kWsExLayered = 0x80000;
inline constexpr std::uint32_t kWsExControlParent = 0x10000;

// The notification-area icon record, field for field as the shell takes it.
struct TrayIconData {
  WindowId window = 0;
  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::uint32_t callbackMessage = 0;
  std::uintptr_t icon = 0;
  std::string tip;  // at most 63 characters reach the shell
};

// A 32-bit bitmap whose pixels the program writes directly (see BitmapView's invariant).
class Bitmap {
 public:
  virtual ~Bitmap() = default;
  // Makes the bitmap width × height; the content is undefined afterwards.
  virtual void setSize(int width, int height) = 0;
  virtual BitmapView pixels() = 0;
};

// The device contexts one layered draw takes and gives back, in the order it takes them.
struct DrawContext {
  std::uintptr_t screenDC = 0;
  std::uintptr_t memDC = 0;
  std::uintptr_t oldBitmap = 0;
};

struct BlendFunction {
  std::uint8_t blendOp = 0;  // AC_SRC_OVER
  std::uint8_t blendFlags = 0;
  std::uint8_t sourceConstantAlpha = 255;
  std::uint8_t alphaFormat = 1;  // AC_SRC_ALPHA
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- windows
  // The application's own hidden window: it carries the title and owns the forms.
  virtual WindowId applicationWindow() = 0;
  virtual void setApplicationTitle(const std::string& title) = 0;
  // Creates the native window of `form` (hidden) from its class name, caption, bounds and
  // border style; the back-end routes the window's events to the form.
  virtual WindowId createWindow(Form& form) = 0;
  virtual void destroyWindow(WindowId window) = 0;
  // Moves and sizes without changing the z-order or activating.
  virtual void setWindowBounds(WindowId window, const Rect& bounds) = 0;
  virtual void setWindowText(WindowId window, const std::string& text) = 0;
  virtual void showWindow(WindowId window, ShowCommand command) = 0;
  virtual void bringToFront(WindowId window) = 0;
  virtual std::uint32_t windowExStyle(WindowId window) = 0;
  // Returns the previous extended style, 0 on failure.
  virtual std::uint32_t setWindowExStyle(WindowId window, std::uint32_t exStyle) = 0;
  virtual void setWindowOwner(WindowId window, WindowId owner) = 0;
  virtual WindowId desktopWindow() = 0;
  virtual void setWindowZOrder(WindowId window, ZOrder order) = 0;
  virtual void setFocus(WindowId window) = 0;
  virtual void setForegroundWindow(WindowId window) = 0;
  virtual void postMessage(WindowId window, std::uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) = 0;
  // The system's text for the calling thread's last error code.
  virtual std::string lastErrorText() = 0;

  // --- controls (children of a form's window)
  // The control object is going; its native control (destroyed with the form) must not
  // reach it any more.
  virtual void releaseControl(WindowId control) = 0;
  virtual void setControlChecked(WindowId control, bool checked) = 0;
  virtual bool controlChecked(WindowId control) = 0;

  // --- layered drawing
  virtual std::unique_ptr<Bitmap> createBitmap() = 0;
  virtual DrawContext acquireDrawContext(Bitmap& bitmap) = 0;
  // Nonzero on success, as the system reports it.
  virtual bool updateLayeredWindow(WindowId window, const DrawContext& dc, int x, int y, int width,
                                   int height, const BlendFunction& blend) = 0;
  virtual void releaseDrawContext(const DrawContext& dc) = 0;

  // --- timers: the back-end calls Timer::fire() on the user-interface thread
  virtual bool startTimer(Timer& timer, int intervalMs) = 0;
  virtual void stopTimer(Timer& timer) = 0;

  // --- message loop
  // Dispatches every pending message and returns when none is left.
  virtual void processMessages() = 0;
  // Runs until quitMessageLoop(); returns at once when that was asked for already.
  virtual void runMessageLoop() = 0;
  virtual void quitMessageLoop() = 0;
  // Ends the process; the caller has already done its clean-up.
  [[noreturn]] virtual void exitProcess(int code) = 0;

  // --- dialogs and menus
  virtual void messageBox(const std::string& text, const std::string& caption,
                          MessageKind kind) = 0;
  // Shows `menu` at a screen point and returns when it has closed: the chosen item's
  // command id, 0 when nothing was chosen.
  virtual int trackPopupMenu(PopupMenu& menu, int x, int y, WindowId owner) = 0;
  virtual void beep() = 0;

  // --- screen and input
  virtual int screenWidth() = 0;
  virtual int screenHeight() = 0;
  virtual Rect workArea() = 0;
  virtual ScreenPoint cursorPos() = 0;
  virtual std::uint16_t asyncKeyState(int virtualKey) = 0;

  // --- process and system
  virtual std::uint32_t tickCount() = 0;
  virtual std::uint64_t performanceCounter() = 0;
  virtual std::string modulePath() = 0;
  virtual std::string commandLine() = 0;
  // A raw-data resource of the program's own module by name.
  virtual std::optional<std::span<const std::uint8_t>> findResource(const std::string& name) = 0;
  virtual std::uintptr_t applicationIcon() = 0;
  virtual std::uintptr_t smallIcon() = 0;
  virtual void notifyIcon(TrayAction action, const TrayIconData& data) = 0;
  virtual void shellExecute(const std::string& verb, const std::string& file, int showCommand) = 0;
  virtual UserStore& userStore() = 0;
};

Platform& platform();
void setPlatform(Platform* platform);

}  // namespace zin::ui
