#include "platform/form.h"

#include "platform/application.h"

namespace zin::ui {

Form::Form(Component* owner) : Component(owner) {}

Form::~Form() {
  destroyComponents();
  if (onDestroy && application) application->guarded([&] { onDestroy(); });
  if (handle_) {
    const WindowId window = handle_;
    handle_ = 0;
    platform().destroyWindow(window);
  }
}

void Form::setName(const std::string& name) {
  const bool captionFollows = caption_.empty() || caption_ == this->name();
  Component::setName(name);
  if (captionFollows) setCaption(name);
}

void Form::setCaption(const std::string& caption) {
  caption_ = caption;
  if (handle_) platform().setWindowText(handle_, caption_);
}

void Form::setLeft(int left) {
  if (left == bounds_.left) return;
  bounds_ = {left, bounds_.top, left + bounds_.width(), bounds_.bottom};
  applyBounds();
}

void Form::setTop(int top) {
  if (top == bounds_.top) return;
  bounds_ = {bounds_.left, top, bounds_.right, top + bounds_.height()};
  applyBounds();
}

void Form::setWidth(int width) {
  if (width == bounds_.width()) return;
  bounds_.right = bounds_.left + width;
  applyBounds();
}

void Form::setHeight(int height) {
  if (height == bounds_.height()) return;
  bounds_.bottom = bounds_.top + height;
  applyBounds();
}

void Form::applyBounds() {
  if (handle_) platform().setWindowBounds(handle_, bounds_);
}

WindowId Form::handle() {
  if (!handle_) handle_ = platform().createWindow(*this);
  return handle_;
}

void Form::show() {
  if (visible_) {
    platform().bringToFront(handle());
    return;
  }
  const WindowId window = handle();
  if (application) application->formShown();
  if (onShow) {
    if (application) {
      application->guarded([&] { onShow(); });
    } else {
      onShow();
    }
  }
  visible_ = true;
  platform().showWindow(window, ShowCommand::ShowNormal);
  platform().bringToFront(window);
}

void Form::hide() {
  if (!visible_) return;
  visible_ = false;
  if (handle_) platform().showWindow(handle_, ShowCommand::Hide);
}

bool Form::closeQuery() {
  bool canClose = true;
  if (onCloseQuery) onCloseQuery(canClose);
  return canClose;
}

void Form::close() {
  if (!closeQuery()) return;
  const bool isMain = application && application->mainForm() == this;
  CloseAction action = isMain ? CloseAction::Free : CloseAction::Hide;
  if (onClose) onClose(action);
  if (action == CloseAction::None) return;
  if (isMain) {
    application->terminate();
  } else if (action == CloseAction::Hide) {
    hide();
  } else {
    delete this;
  }
}

void Form::nativeMouseMove(int x, int y) {
  if (onMouseMove) application->guarded([&] { onMouseMove(x, y); });
}

void Form::nativeMouseDown(int x, int y) {
  if (onMouseDown) application->guarded([&] { onMouseDown(x, y); });
}

void Form::nativeDblClick() {
  if (onDblClick) application->guarded([&] { onDblClick(); });
}

void Form::nativeRightClick(int screenX, int screenY) {
  application->guarded([&] { contextPopup(screenX, screenY); });
}

void Form::nativeCloseRequest() {
  application->guarded([&] { close(); });
}

bool Form::nativeQueryEndSession() {
  bool answer = true;
  application->guarded([&] { answer = closeQuery(); });
  return answer;
}

bool Form::nativeMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  bool handled = false;
  application->guarded([&] { handled = handleMessage(message, wParam, lParam); });
  return handled;
}

bool Form::handleMessage(std::uint32_t, std::uintptr_t, std::intptr_t) {
  return false;
}

void Form::contextPopup(int, int) {}

}  // namespace zin::ui
