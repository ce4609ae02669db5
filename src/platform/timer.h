// A periodic timer on the user-interface thread. A changed interval restarts the count, the
// same value changes nothing, disabling stops; when the system has no timer left the change
// raises zin::Error "Not enough timers available" and the timer stays silent.
#pragma once

#include <functional>

#include "platform/component.h"

namespace zin::ui {

class Timer : public Component {
 public:
  explicit Timer(Component* owner) : Component(owner) {}
  ~Timer() override;

  int interval() const { return interval_; }
  void setInterval(int ms);
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  void setOnTimer(std::function<void()> handler);

  // Called by the back-end when the timer fires.
  void fire();

 private:
  void update();

  int interval_ = 1000;
  bool enabled_ = true;
  bool running_ = false;
  std::function<void()> onTimer_;
};

}  // namespace zin::ui
