#include "platform/application.h"

#include <cstdlib>

#include "platform/form.h"

namespace zin::ui {

Application* application = nullptr;

Application::Application() : Component(nullptr) {
  application = this;
}

Application::~Application() {
  destroyComponents();
  if (application == this) application = nullptr;
}

void Application::setTitle(const std::string& title) {
  title_ = title;
  platform().setApplicationTitle(title);
}

void Application::run() {
  if (showMainForm && mainForm_ && !terminated_) mainForm_->show();
  if (!terminated_) platform().runMessageLoop();
}

void Application::terminate() {
  if (terminated_) return;
  terminated_ = true;
  platform().quitMessageLoop();
}

void Application::handleException(const std::exception& error) {
  messageBox(error.what(), MessageKind::Error);
}

void Application::reportOnce(const std::string& text, MessageKind kind) {
  if (reported_.insert(text).second) messageBox(text, kind);
}

void Application::messageBox(const std::string& text, MessageKind kind) {
  ++modalDepth_;
  try {
    platform().messageBox(text, title_, kind);
  } catch (...) {
    --modalDepth_;
    throw;
  }
  --modalDepth_;
}

void Application::formShown() {
  platform().showWindow(handle(), ShowCommand::Show);
}

void Application::halt(int code) {
  destroyComponents();
  platform().exitProcess(code);
  std::abort();  // exitProcess does not return; the compiler cannot see that through a virtual
}

}  // namespace zin::ui
