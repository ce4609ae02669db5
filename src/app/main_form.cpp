#include "app/main_form.h"

#include "app/build_switch.h"
#include "app/fly.h"
#include "core/registry.h"
#include "core/settings.h"
#include "platform/application.h"

namespace zin {

TfrmMain* frmMain = nullptr;
TFlyForm* LastFly = nullptr;

namespace {

constexpr std::uint32_t WM_ENDSESSION = 0x0016;
constexpr int kMinFlies = 1;
constexpr int kMaxFlies = 99;
constexpr int kDefaultFlies = 5;

template <class T>
T* place(T* control, const char* name, int left, int top, int width, int height,
         const char* caption, int tabOrder = 0) {
  control->setName(name);
  control->setBounds(left, top, width, height);
  control->setCaption(caption);
  control->tabOrder = tabOrder;
  return control;
}

}  // namespace

TfrmMain::TfrmMain(ui::Component* owner) : ui::Form(owner) {
  setName("frmMain");
  setCaption("Zintara 1.3");
  setBorderStyle(ui::BorderStyle::Single);
  setLeft(527);
  setTop(339);
  setClientSize(280, 169);

  using ui::ControlKind;
  Button1 =
      place(new ui::Control(this, ControlKind::Button), "Button1", 8, 200, 41, 25, "Button1", 0);
  GroupBox1 = place(new ui::Control(this, ControlKind::GroupBox), "GroupBox1", 8, 4, 265, 125,
                    " Settings ", 1);
  chbOnTop =
      place(new ui::CheckBox(this, GroupBox1), "chbOnTop", 16, 32, 97, 17, "Always on top", 0);
  chbStartup =
      place(new ui::CheckBox(this, GroupBox1), "chbStartup", 16, 56, 105, 17, "Load on startup", 1);
  Label1 = place(new ui::Control(this, ControlKind::Label, GroupBox1), "Label1", 16, 88, 105, 13,
                 "Number of flies at start");
  sedFly = place(new ui::SpinEdit(this, GroupBox1, kMinFlies, kMaxFlies, kDefaultFlies), "sedFly",
                 128, 80, 49, 22, "", 2);
  lbHomePage = place(new ui::Control(this, ControlKind::Label), "lbHomePage", 8, 144, 112, 13,
                     "More fun program...");
  bLike = place(new ui::Control(this, ControlKind::SpeedButton), "bLike", 136, 136, 53, 25, "");
  bOK = place(new ui::Control(this, ControlKind::Button), "bOK", 198, 136, 75, 25, "OK", 2);
  chbOnTop->setChecked(true);
  chbStartup->setChecked(true);

  onCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
}

void TfrmMain::LoadSettingsAndStart() {
  {
    Registry registry(ui::platform().userStore());
    const StoredSettings stored = readStoredSettings(registry);
    if (stored.startup) chbStartup->setChecked(*stored.startup);
    if (stored.onTop) chbOnTop->setChecked(*stored.onTop);
    if (stored.flies) sedFly->setValue(*stored.flies);
  }
  if constexpr (!ScreenSaverMode) {
    TrayIcon(1, ui::platform().smallIcon());
    createFlies(sedFly->value());
  }
}

void TfrmMain::createFlies(int count) {
  // A close that arrives while flies are still being made ends the start: flies made after
  // it would only flash up and vanish with the program.
  for (int i = 0; i < count && !ui::application->terminated(); ++i) {
    LastFly = new TFlyForm();
    LastFly->SetOnTop(chbOnTop->checked());
    ui::application->processMessages();
  }
}

void TfrmMain::SaveSettings() {
  Registry registry(ui::platform().userStore());
  writeSettings(registry, {chbOnTop->checked(), chbStartup->checked(), sedFly->value()});
  if constexpr (!ScreenSaverMode) {
    writeAutoStart(registry, chbStartup->checked(), ui::platform().modulePath());
  }
}

void TfrmMain::TrayIcon(int action, std::uintptr_t icon) {
  ui::TrayAction what;
  switch (action) {
    case 1:
      what = ui::TrayAction::Add;
      break;
    case 2:
      what = ui::TrayAction::Delete;
      break;
    case 3:
      what = ui::TrayAction::Modify;
      break;
    default:
      return;
  }
  ui::TrayIconData data;
  data.window = handle();
  data.id = 1;
  data.flags = 7;  // message, icon and tip
  data.callbackMessage = WM_TRAYNOTIFY;
  data.icon = icon;
  data.tip = "Zintara";
  ui::platform().notifyIcon(what, data);
  if (what == ui::TrayAction::Add) trayIconShown_ = true;
  if (what == ui::TrayAction::Delete) trayIconShown_ = false;
}

template <class F>
void TfrmMain::withIconRestoredOnFailure(F&& work) {
  const bool hadIcon = trayIconShown_;
  try {
    work();
  } catch (...) {
    if (hadIcon && !trayIconShown_) TrayIcon(1, ui::platform().smallIcon());
    throw;
  }
}

void TfrmMain::FormCloseQuery(bool&) {
  withIconRestoredOnFailure([this] {
    if constexpr (!ScreenSaverMode) TrayIcon(2, ui::platform().applicationIcon());
    SaveSettings();
  });
}

void TfrmMain::pmiExitClick() {
  withIconRestoredOnFailure([this] {
    if constexpr (!ScreenSaverMode) TrayIcon(2, ui::platform().applicationIcon());
    SaveSettings();
  });
  ui::application->halt(255);
}

bool TfrmMain::handleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
  switch (message) {
    case WM_CLOSEREQUEST:
      WMCloseRequest();
      return true;
    case WM_ENDSESSION:
      // The session goes on after all (another program refused to end it): the close query
      // already removed the icon, so put it back.
      if (wParam == 0 && !ScreenSaverMode && !trayIconShown_) {
        TrayIcon(1, ui::platform().smallIcon());
      }
      return false;
    default:
      return false;
  }
}

}  // namespace zin
