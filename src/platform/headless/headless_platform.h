// The headless back-end: in-process and deterministic, for tests. It keeps the state a real
// desktop would (windows with bounds, styles, owner, z-order group and the last layered
// image; timers; the tray; the store) and records what the program asked for. Time only
// moves when a test advances it.
//
// Implements: windows, layered drawing, timers on manual time, posted messages, message
// boxes (recorded, answered at once), popup menus (answered by a test-supplied chooser),
// screen and input (settable), the process (exit raises HeadlessExit), resources (the
// sprite files from a folder), the tray and shell (recorded), the store (in memory).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/memory_store.h"
#include "platform/platform.h"

namespace zin::headless {

// Thrown by exitProcess: a test catches it where the real process would have ended.
struct HeadlessExit {
  int code;
};

struct WindowRecord {
  ui::Form* form = nullptr;
  std::string className;
  std::string text;
  ui::Rect bounds;
  bool visible = false;
  std::uint32_t exStyle = ui::kWsExControlParent;
  ui::WindowId owner = 0;
  bool topmost = false;
  bool destroyed = false;
  // The last layered update: premultiplied BGRA pixels, top row first.
  std::vector<std::uint8_t> image;
  int imageWidth = 0;
  int imageHeight = 0;
  int layeredX = 0;
  int layeredY = 0;
  ui::BlendFunction blend;
  int layeredUpdates = 0;
  int foregroundCount = 0;
};

struct BoxRecord {
  std::string text;
  std::string caption;
  ui::MessageKind kind;
};

struct TrayRecord {
  ui::TrayAction action;
  ui::TrayIconData data;
};

struct ShellRecord {
  std::string verb;
  std::string file;
  int showCommand;
};

class HeadlessPlatform final : public ui::Platform {
 public:
  // `resourceDir` holds the sprites as <name>.png.
  explicit HeadlessPlatform(std::string resourceDir = "");
  ~HeadlessPlatform() override;

  // --- test controls
  // Moves time forward, firing due timers in order.
  void advance(std::uint64_t ms);
  std::uint64_t now() const { return now_; }
  int timerCount() const;
  // The timer's interval while it runs, nothing while it is stopped.
  std::optional<int> timerInterval(const ui::Timer& timer) const;
  // Fires `timer` now, as if its interval had passed.
  void fireTimer(ui::Timer& timer);

  const WindowRecord& window(ui::WindowId id) const { return windows_.at(id); }
  WindowRecord& window(ui::WindowId id) { return windows_.at(id); }
  std::vector<ui::WindowId> windowsOfClass(const std::string& className) const;
  std::vector<ui::WindowId> windowsNamed(const std::string& prefix) const;

  MemoryUserStore store;
  std::vector<BoxRecord> boxes;
  std::vector<TrayRecord> trayCalls;
  std::vector<ShellRecord> shellCalls;
  std::vector<std::string> resourceLookups;  // names asked for, in order: the sprites drawn
  int beeps = 0;
  // One line per notable call, in order: "tray add", "create TForm", "box <text>", ...
  std::vector<std::string> log;

  int screenW = 1280;
  int screenH = 800;
  ui::Rect work{0, 0, 1280, 800};
  int workAreaReads = 0;
  ScreenPoint cursor;
  std::map<int, std::uint16_t> keyStates;  // read and cleared like the pressed-since bit
  // The clocks: the tick count follows manual time from `ticks`; the performance counter
  // moves on by `counterStep` at every read, as a real one would between two reads.
  std::uint32_t ticks = 1000;
  std::uint64_t counter = 123456789;
  std::uint64_t counterStep = 1234567;
  std::string exePath = "C:\\Program Files\\Zintara\\Zintara.exe";
  std::string cmdLine = "Zintara.exe";
  std::map<std::string, std::vector<std::uint8_t>> resources;  // overrides and additions
  std::vector<std::string> missingResources;

  bool failTimers = false;
  bool failExStyle = false;
  bool failLayeredUpdate = false;
  std::string lastError = "Access is denied";
  // Chooses a popup menu's item: returns its command id (0: none). Runs while the menu is
  // "open", so it may also post or deliver messages.
  std::function<int(ui::PopupMenu&, int x, int y)> menuChooser;
  // Called while a box is "open", before it is answered.
  std::function<void(const BoxRecord&)> onBox;

  // --- ui::Platform
  ui::WindowId applicationWindow() override { return appWindow_; }
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
  ui::WindowId desktopWindow() override { return kDesktop; }
  void setWindowZOrder(ui::WindowId window, ui::ZOrder order) override;
  void setFocus(ui::WindowId window) override { focus_ = window; }
  void setForegroundWindow(ui::WindowId window) override;
  void postMessage(ui::WindowId window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) override;
  std::string lastErrorText() override { return lastError; }
  void releaseControl(ui::WindowId) override {}
  void setControlChecked(ui::WindowId, bool) override {}
  bool controlChecked(ui::WindowId) override { return false; }
  std::unique_ptr<ui::Bitmap> createBitmap() override;
  ui::DrawContext acquireDrawContext(ui::Bitmap& bitmap) override;
  bool updateLayeredWindow(ui::WindowId window, const ui::DrawContext& dc, int x, int y, int width,
                           int height, const ui::BlendFunction& blend) override;
  void releaseDrawContext(const ui::DrawContext& dc) override;
  bool startTimer(ui::Timer& timer, int intervalMs) override;
  void stopTimer(ui::Timer& timer) override;
  void processMessages() override;
  void runMessageLoop() override;
  void quitMessageLoop() override { quit_ = true; }
  [[noreturn]] void exitProcess(int code) override;
  void messageBox(const std::string& text, const std::string& caption,
                  ui::MessageKind kind) override;
  int trackPopupMenu(ui::PopupMenu& menu, int x, int y, ui::WindowId owner) override;
  void beep() override { ++beeps; }
  int screenWidth() override { return screenW; }
  int screenHeight() override { return screenH; }
  ui::Rect workArea() override {
    ++workAreaReads;
    return work;
  }
  ScreenPoint cursorPos() override { return cursor; }
  std::uint16_t asyncKeyState(int virtualKey) override;
  std::uint32_t tickCount() override { return ticks + static_cast<std::uint32_t>(now_); }
  std::uint64_t performanceCounter() override { return counter += counterStep; }
  std::string modulePath() override { return exePath; }
  std::string commandLine() override { return cmdLine; }
  std::optional<std::span<const std::uint8_t>> findResource(const std::string& name) override;
  std::uintptr_t applicationIcon() override { return kAppIcon; }
  std::uintptr_t smallIcon() override { return kSmallIcon; }
  void notifyIcon(ui::TrayAction action, const ui::TrayIconData& data) override;
  void shellExecute(const std::string& verb, const std::string& file, int showCommand) override;
  UserStore& userStore() override { return store; }

  static constexpr ui::WindowId kDesktop = 0x10010;
  static constexpr std::uintptr_t kAppIcon = 0x501;
  static constexpr std::uintptr_t kSmallIcon = 0x502;

  bool quitRequested() const { return quit_; }
  int openDrawContexts() const { return openContexts_; }
  ui::WindowId foreground() const { return foreground_; }
  ui::WindowId focus() const { return focus_; }
  // Whether the tray holds an icon for (window, id) now.
  bool trayIconPresent() const;

 private:
  struct TimerState {
    int interval;
    std::uint64_t due;
    std::uint64_t order;  // start order, to break ties the way a queue would
  };
  struct Posted {
    ui::WindowId window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };

  void deliver(const Posted& posted);

  std::string resourceDir_;
  std::map<ui::WindowId, WindowRecord> windows_;
  ui::WindowId nextWindow_ = 0x20000;
  ui::WindowId appWindow_;
  ui::WindowId foreground_ = 0;
  ui::WindowId focus_ = 0;
  std::map<ui::Timer*, TimerState> timers_;
  std::uint64_t timerOrder_ = 0;
  std::uint64_t now_ = 0;
  std::deque<Posted> queue_;
  bool quit_ = false;
  int openContexts_ = 0;
  std::map<std::uintptr_t, ui::Bitmap*> contexts_;
  std::uintptr_t nextContext_ = 0x7000;
  std::map<std::string, std::vector<std::uint8_t>> loaded_;
};

}  // namespace zin::headless
