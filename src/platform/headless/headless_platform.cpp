#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/form.h"
#include "platform/timer.h"

namespace zin::headless {
namespace {

class MemoryBitmap final : public ui::Bitmap {
 public:
  void setSize(int width, int height) override {
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0xCD);
  }
  BitmapView pixels() override { return {pixels_.data(), width_, height_, width_ * 4}; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};

}  // namespace

HeadlessPlatform::HeadlessPlatform(std::string resourceDir) : resourceDir_(std::move(resourceDir)) {
  appWindow_ = nextWindow_++;
  WindowRecord& app = windows_[appWindow_];
  app.className = "TApplication";
  ui::setPlatform(this);
}

HeadlessPlatform::~HeadlessPlatform() {
  ui::setPlatform(nullptr);
}

void HeadlessPlatform::setApplicationTitle(const std::string& title) {
  windows_[appWindow_].text = title;
}

ui::WindowId HeadlessPlatform::createWindow(ui::Form& form) {
  const ui::WindowId id = nextWindow_++;
  WindowRecord& w = windows_[id];
  w.form = &form;
  w.className = form.className();
  w.text = form.caption();
  w.bounds = form.bounds();
  w.owner = appWindow_;
  log.push_back("create " + w.className);
  return id;
}

void HeadlessPlatform::destroyWindow(ui::WindowId window) {
  WindowRecord& w = windows_.at(window);
  w.destroyed = true;
  w.visible = false;
  w.form = nullptr;
}

void HeadlessPlatform::setWindowBounds(ui::WindowId window, const ui::Rect& bounds) {
  windows_.at(window).bounds = bounds;
}

void HeadlessPlatform::setWindowText(ui::WindowId window, const std::string& text) {
  if (auto it = windows_.find(window); it != windows_.end()) it->second.text = text;
}

void HeadlessPlatform::showWindow(ui::WindowId window, ui::ShowCommand command) {
  windows_.at(window).visible = command != ui::ShowCommand::Hide;
}

void HeadlessPlatform::bringToFront(ui::WindowId) {}

std::uint32_t HeadlessPlatform::windowExStyle(ui::WindowId window) {
  return windows_.at(window).exStyle;
}

std::uint32_t HeadlessPlatform::setWindowExStyle(ui::WindowId window, std::uint32_t exStyle) {
  if (failExStyle) return 0;
  WindowRecord& w = windows_.at(window);
  const std::uint32_t previous = w.exStyle;
  w.exStyle = exStyle;
  return previous;
}

void HeadlessPlatform::setWindowOwner(ui::WindowId window, ui::WindowId owner) {
  windows_.at(window).owner = owner;
}

void HeadlessPlatform::setWindowZOrder(ui::WindowId window, ui::ZOrder order) {
  windows_.at(window).topmost = order == ui::ZOrder::Topmost;
}

void HeadlessPlatform::setForegroundWindow(ui::WindowId window) {
  foreground_ = window;
  ++windows_.at(window).foregroundCount;
}

void HeadlessPlatform::postMessage(ui::WindowId window, std::uint32_t message,
                                   std::uintptr_t wParam, std::intptr_t lParam) {
  queue_.push_back({window, message, wParam, lParam});
}

std::unique_ptr<ui::Bitmap> HeadlessPlatform::createBitmap() {
  return std::make_unique<MemoryBitmap>();
}

ui::DrawContext HeadlessPlatform::acquireDrawContext(ui::Bitmap& bitmap) {
  ui::DrawContext dc{nextContext_, nextContext_ + 1, nextContext_ + 2};
  nextContext_ += 3;
  contexts_[dc.memDC] = &bitmap;
  ++openContexts_;
  return dc;
}

bool HeadlessPlatform::updateLayeredWindow(ui::WindowId window, const ui::DrawContext& dc, int x,
                                           int y, int width, int height,
                                           const ui::BlendFunction& blend) {
  if (failLayeredUpdate) return false;
  WindowRecord& w = windows_.at(window);
  const BitmapView src = contexts_.at(dc.memDC)->pixels();
  w.image.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  for (int r = 0; r < height && r < src.height; ++r) {
    std::copy_n(src.row(r), std::min(width, src.width) * 4,
                w.image.begin() + static_cast<std::ptrdiff_t>(r) * width * 4);
  }
  w.imageWidth = width;
  w.imageHeight = height;
  w.layeredX = x;
  w.layeredY = y;
  w.blend = blend;
  ++w.layeredUpdates;
  return true;
}

void HeadlessPlatform::releaseDrawContext(const ui::DrawContext& dc) {
  contexts_.erase(dc.memDC);
  --openContexts_;
}

bool HeadlessPlatform::startTimer(ui::Timer& timer, int intervalMs) {
  if (failTimers) return false;
  timers_[&timer] = {intervalMs, now_ + static_cast<std::uint64_t>(intervalMs), timerOrder_++};
  return true;
}

void HeadlessPlatform::stopTimer(ui::Timer& timer) {
  timers_.erase(&timer);
}

int HeadlessPlatform::timerCount() const {
  return static_cast<int>(timers_.size());
}

std::optional<int> HeadlessPlatform::timerInterval(const ui::Timer& timer) const {
  auto it = timers_.find(const_cast<ui::Timer*>(&timer));
  if (it == timers_.end()) return std::nullopt;
  return it->second.interval;
}

void HeadlessPlatform::fireTimer(ui::Timer& timer) {
  auto it = timers_.find(&timer);
  if (it != timers_.end()) it->second.due = now_ + static_cast<std::uint64_t>(it->second.interval);
  timer.fire();
}

void HeadlessPlatform::advance(std::uint64_t ms) {
  const std::uint64_t target = now_ + ms;
  for (;;) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due > target) continue;
      if (next == timers_.end() || it->second.due < next->second.due ||
          (it->second.due == next->second.due && it->second.order < next->second.order)) {
        next = it;
      }
    }
    if (next == timers_.end()) break;
    now_ = std::max(now_, next->second.due);
    ui::Timer* timer = next->first;
    next->second.due = now_ + static_cast<std::uint64_t>(std::max(1, next->second.interval));
    timer->fire();
    processMessages();
  }
  now_ = target;
}

void HeadlessPlatform::processMessages() {
  while (!queue_.empty()) {
    const Posted posted = queue_.front();
    queue_.pop_front();
    deliver(posted);
  }
}

void HeadlessPlatform::deliver(const Posted& posted) {
  auto it = windows_.find(posted.window);
  if (it == windows_.end() || it->second.destroyed || !it->second.form) return;
  it->second.form->nativeMessage(posted.message, posted.wParam, posted.lParam);
}

void HeadlessPlatform::runMessageLoop() {
  // Nothing blocks here: pending messages are handled and the loop returns, whether or not
  // the program asked to end. Tests drive time themselves.
  processMessages();
}

void HeadlessPlatform::exitProcess(int code) {
  throw HeadlessExit{code};
}

void HeadlessPlatform::messageBox(const std::string& text, const std::string& caption,
                                  ui::MessageKind kind) {
  boxes.push_back({text, caption, kind});
  log.push_back("box " + text);
  if (onBox) onBox(boxes.back());
}

int HeadlessPlatform::trackPopupMenu(ui::PopupMenu& menu, int x, int y, ui::WindowId) {
  return menuChooser ? menuChooser(menu, x, y) : 0;
}

std::uint16_t HeadlessPlatform::asyncKeyState(int virtualKey) {
  auto it = keyStates.find(virtualKey);
  if (it == keyStates.end()) return 0;
  const std::uint16_t state = it->second;
  it->second &= 0x8000;  // the pressed-since bit is cleared by the query
  return state;
}

std::optional<std::span<const std::uint8_t>> HeadlessPlatform::findResource(
    const std::string& name) {
  resourceLookups.push_back(name);
  if (std::find(missingResources.begin(), missingResources.end(), name) != missingResources.end()) {
    return std::nullopt;
  }
  if (auto it = resources.find(name); it != resources.end()) {
    return std::span<const std::uint8_t>(it->second);
  }
  if (auto it = loaded_.find(name); it != loaded_.end()) {
    return std::span<const std::uint8_t>(it->second);
  }
  if (resourceDir_.empty()) return std::nullopt;
  std::ifstream file(resourceDir_ + "/" + name + ".png", std::ios::binary);
  if (!file) return std::nullopt;
  auto& bytes = loaded_[name];
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return std::span<const std::uint8_t>(bytes);
}

void HeadlessPlatform::notifyIcon(ui::TrayAction action, const ui::TrayIconData& data) {
  trayCalls.push_back({action, data});
  log.push_back(action == ui::TrayAction::Add      ? "tray add"
                : action == ui::TrayAction::Delete ? "tray delete"
                                                   : "tray modify");
}

bool HeadlessPlatform::trayIconPresent() const {
  bool present = false;
  for (const TrayRecord& call : trayCalls) {
    if (call.action == ui::TrayAction::Add) present = true;
    if (call.action == ui::TrayAction::Delete) present = false;
  }
  return present;
}

void HeadlessPlatform::shellExecute(const std::string& verb, const std::string& file,
                                    int showCommand) {
  shellCalls.push_back({verb, file, showCommand});
}

std::vector<ui::WindowId> HeadlessPlatform::windowsOfClass(const std::string& className) const {
  std::vector<ui::WindowId> ids;
  for (const auto& [id, w] : windows_) {
    if (!w.destroyed && w.className == className) ids.push_back(id);
  }
  return ids;
}

std::vector<ui::WindowId> HeadlessPlatform::windowsNamed(const std::string& prefix) const {
  std::vector<ui::WindowId> ids;
  for (const auto& [id, w] : windows_) {
    if (!w.destroyed && w.text.rfind(prefix, 0) == 0) ids.push_back(id);
  }
  return ids;
}

}  // namespace zin::headless
