// The controls of a form. Their state lives here; a back-end that shows them keeps its
// native controls in step and reports the user's changes back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/spin_edit.h"
#include "platform/component.h"
#include "platform/platform.h"

namespace zin::ui {

class Form;

// Link: a label that takes clicks (hand cursor, underlined, hot-track colour).
// DefaultButton: the button Enter presses.
enum class ControlKind {
  GroupBox,
  CheckBox,
  Label,
  Link,
  SpinEdit,
  Button,
  DefaultButton,
  SpeedButton
};

class Control : public Component {
 public:
  // `parent` is the control it sits in (a group box), or null for the form itself.
  Control(Form* form, ControlKind kind, Control* parent = nullptr);
  ~Control() override;

  ControlKind kind() const { return kind_; }
  Form* form() const { return form_; }
  Control* parent() const { return parent_; }

  const Rect& bounds() const { return bounds_; }
  void setBounds(int left, int top, int width, int height) {
    bounds_ = {left, top, left + width, top + height};
  }
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& caption);
  bool visible() const { return visible_; }
  void setVisible(bool visible);
  int tabOrder = 0;
  bool tabStop = false;

  WindowId handle() const { return handle_; }
  void attachNative(WindowId handle) { handle_ = handle; }

  std::function<void()> onClick;
  // The native control was clicked (buttons) or toggled (check boxes).
  virtual void nativeClicked();

 protected:
  virtual void syncNative() {}

 private:
  Form* form_;
  ControlKind kind_;
  Control* parent_;
  Rect bounds_;
  std::string caption_;
  bool visible_ = true;
  WindowId handle_ = 0;
};

class CheckBox : public Control {
 public:
  CheckBox(Form* form, Control* parent) : Control(form, ControlKind::CheckBox, parent) {
    tabStop = true;
  }
  bool checked() const { return checked_; }
  void setChecked(bool checked);
  void nativeClicked() override;

 private:
  bool checked_ = false;
};

class SpinEdit : public Control {
 public:
  SpinEdit(Form* form, Control* parent, int minValue, int maxValue, int value)
      : Control(form, ControlKind::SpinEdit, parent), value_(minValue, maxValue, value) {
    tabStop = true;
  }
  std::int32_t value() const { return value_.value(); }
  void setValue(std::int64_t value);
  const std::string& text() const { return value_.text(); }
  void setText(const std::string& text);

  // Native events: the field's text changed, a key was typed (false: refused with a beep),
  // a spin button or arrow key, the field lost the focus.
  void nativeTextChanged(const std::string& text) { value_.setText(text); }
  bool nativeKeyTyped(char c, char decimalSeparator);
  void nativeStep(int delta);
  void nativeFocusLost();

 private:
  SpinEditValue value_;
};

}  // namespace zin::ui
