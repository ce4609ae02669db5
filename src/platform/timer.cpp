#include "platform/timer.h"

#include "core/error.h"
#include "platform/application.h"

namespace zin::ui {

Timer::~Timer() {
  if (running_) platform().stopTimer(*this);
}

void Timer::setInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  update();
}

void Timer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  update();
}

void Timer::setOnTimer(std::function<void()> handler) {
  onTimer_ = std::move(handler);
  update();
}

void Timer::update() {
  if (running_) {
    platform().stopTimer(*this);
    running_ = false;
  }
  if (interval_ != 0 && enabled_ && onTimer_) {
    if (!platform().startTimer(*this, interval_)) throw Error("Not enough timers available");
    running_ = true;
  }
}

void Timer::fire() {
  if (!running_ || !onTimer_) return;
  // Ticks wait while a modal box is open, so a failure that recurs on every tick cannot
  // pile up boxes behind the one the user is reading.
  if (application && application->modalOpen()) return;
  // A copy: the handler may free this timer (with its owner) before it returns.
  const std::function<void()> handler = onTimer_;
  try {
    handler();
  } catch (const std::exception& error) {
    if (application) application->reportOnce(error.what(), MessageKind::Error);
  }
}

}  // namespace zin::ui
