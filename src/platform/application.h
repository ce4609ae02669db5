// The application object: owns the forms, runs the message loop and reports errors raised
// inside message handlers without ending the program.
#pragma once

#include <exception>
#include <functional>
#include <set>
#include <string>

#include "platform/component.h"
#include "platform/platform.h"

namespace zin::ui {

class Application : public Component {
 public:
  Application();
  ~Application() override;

  const std::string& title() const { return title_; }
  void setTitle(const std::string& title);
  WindowId handle() const { return platform().applicationWindow(); }

  Form* mainForm() const { return mainForm_; }
  // The first form created through createForm() becomes the main form.
  template <class T>
  T* createForm() {
    T* form = new T(this);
    if (!mainForm_) mainForm_ = form;
    return form;
  }
  bool showMainForm = true;

  // Runs the message loop until terminate(); shows the main form first if asked to.
  void run();
  void processMessages() { platform().processMessages(); }
  void terminate();
  bool terminated() const { return terminated_; }

  // Shows an error's text in an error box captioned with the title; the program goes on.
  void handleException(const std::exception& error);
  // Runs one message's work, reporting what escapes it.
  template <class F>
  void guarded(F&& work) {
    try {
      work();
    } catch (const std::exception& error) {
      handleException(error);
    }
  }
  // Like handleException, but a text already reported this way is not shown again: an error
  // that recurs on every timer tick must not become a stream of boxes.
  void reportOnce(const std::string& text, MessageKind kind);

  // A modal box captioned with the title. Timer ticks are held back while one is open.
  void messageBox(const std::string& text, MessageKind kind);
  bool modalOpen() const { return modalDepth_ > 0; }

  std::function<void()> onDeactivate;

  // Makes the application's window visible, as happens whenever a form becomes visible.
  void formShown();

  // Frees every owned form and ends the process with `code`.
  [[noreturn]] void halt(int code);

 private:
  std::string title_;
  Form* mainForm_ = nullptr;
  bool terminated_ = false;
  int modalDepth_ = 0;
  std::set<std::string> reported_;
};

// The one application object, as the program's code reaches it.
extern Application* application;

}  // namespace zin::ui
