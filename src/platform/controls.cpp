#include "platform/controls.h"

#include "platform/application.h"
#include "platform/form.h"

namespace zin::ui {

Control::Control(Form* form, ControlKind kind, Control* parent)
    : Component(form), form_(form), kind_(kind), parent_(parent) {}

Control::~Control() {
  if (handle_) platform().releaseControl(handle_);
}

void Control::setCaption(const std::string& caption) {
  caption_ = caption;
  if (handle_) platform().setWindowText(handle_, caption_);
}

void Control::setVisible(bool visible) {
  visible_ = visible;
  if (handle_) platform().showWindow(handle_, visible ? ShowCommand::Show : ShowCommand::Hide);
}

void Control::nativeClicked() {
  if (onClick) application->guarded([&] { onClick(); });
}

void CheckBox::setChecked(bool checked) {
  checked_ = checked;
  if (handle()) platform().setControlChecked(handle(), checked);
}

void CheckBox::nativeClicked() {
  checked_ = platform().controlChecked(handle());
  Control::nativeClicked();
}

void SpinEdit::setValue(std::int64_t value) {
  value_.setValue(value);
  if (handle()) platform().setWindowText(handle(), value_.text());
}

void SpinEdit::setText(const std::string& text) {
  value_.setText(text);
  if (handle()) platform().setWindowText(handle(), value_.text());
}

bool SpinEdit::nativeKeyTyped(char c, char decimalSeparator) {
  if (SpinEditValue::acceptsChar(c, decimalSeparator)) return true;
  platform().beep();
  return false;
}

void SpinEdit::nativeStep(int delta) {
  value_.step(delta);
  if (handle()) platform().setWindowText(handle(), value_.text());
}

void SpinEdit::nativeFocusLost() {
  const std::string before = value_.text();
  value_.focusLost();
  if (handle() && value_.text() != before) platform().setWindowText(handle(), value_.text());
}

}  // namespace zin::ui
