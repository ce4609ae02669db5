// A top-level window with the events the program binds. The native window is made on
// first need (usually the first show) and lives until the form is freed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/component.h"
#include "platform/platform.h"

namespace zin::ui {

enum class BorderStyle { None, Single };
enum class CloseAction { None, Hide, Free };

class Form : public Component {
 public:
  explicit Form(Component* owner);
  ~Form() override;

  Form* asForm() override { return this; }
  // The native window class name.
  virtual std::string className() const { return "TForm"; }

  // A form whose caption still equals its name (or is empty) takes the new name as caption.
  void setName(const std::string& name) override;
  const std::string& caption() const { return caption_; }
  void setCaption(const std::string& caption);

  BorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(BorderStyle style) { borderStyle_ = style; }

  int left() const { return bounds_.left; }
  int top() const { return bounds_.top; }
  int width() const { return bounds_.width(); }
  int height() const { return bounds_.height(); }
  // Each moves or sizes the window at once; the value it already has changes nothing.
  void setLeft(int left);
  void setTop(int top);
  void setWidth(int width);
  void setHeight(int height);
  const Rect& bounds() const { return bounds_; }
  // A designed client size: the back-end makes the window large enough for it.
  void setClientSize(int width, int height) { clientSize_ = {0, 0, width, height}; }
  const std::optional<Rect>& clientSize() const { return clientSize_; }

  bool visible() const { return visible_; }
  // Makes the form visible and brings it to the front: creates the window if needed, runs
  // onShow (an error there is reported and the show goes on), then shows the window.
  void show();
  void hide();
  // Asks onCloseQuery and onClose; a main form's close ends the application, any other
  // form is hidden.
  void close();
  bool closeQuery();

  WindowId handle();
  bool handleAllocated() const { return handle_ != 0; }

  std::function<void()> onShow;
  std::function<void()> onDblClick;
  std::function<void(int x, int y)> onMouseMove;
  std::function<void(int x, int y)> onMouseDown;
  std::function<void(bool& canClose)> onCloseQuery;
  std::function<void(CloseAction& action)> onClose;
  std::function<void()> onDestroy;

  // Entry points for the back-end's native events; each is one message's work.
  void nativeMouseMove(int x, int y);
  void nativeMouseDown(int x, int y);
  void nativeDblClick();
  void nativeRightClick(int screenX, int screenY);
  void nativeCloseRequest();
  bool nativeQueryEndSession();
  // Messages the form handles itself (private and user messages); true when handled.
  bool nativeMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  // The window is gone (destroyed by the system, not by us).
  void nativeDestroyed() { handle_ = 0; }
  // The user moved or sized the window.
  void nativeBoundsChanged(const Rect& bounds) { bounds_ = bounds; }

 protected:
  virtual bool handleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  virtual void contextPopup(int screenX, int screenY);

 private:
  void applyBounds();

  std::string caption_;
  BorderStyle borderStyle_ = BorderStyle::Single;
  Rect bounds_{0, 0, 320, 240};
  std::optional<Rect> clientSize_;
  bool visible_ = false;
  WindowId handle_ = 0;
};

}  // namespace zin::ui
