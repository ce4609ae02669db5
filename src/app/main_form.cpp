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

constexpr std::uint32_t WM_NULL = 0x0000;
constexpr std::uint32_t WM_ENDSESSION = 0x0016;
constexpr std::intptr_t WM_LBUTTONDBLCLK = 0x0203;
constexpr std::intptr_t WM_RBUTTONUP = 0x0205;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int kMinFlies = 1;
constexpr int kMaxFlies = 99;
constexpr int kDefaultFlies = 5;
constexpr int kKeyWatchInterval = 500;

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

  // Created in tab order: the hidden button first, then the group with its three controls,
  // then OK. The labels and the picture button take no focus.
  using ui::ControlKind;
  Button1 =
      place(new ui::Control(this, ControlKind::Button), "Button1", 8, 200, 41, 25, "Button1", 0);
  Button1->tabStop = true;
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
  lbHomePage = place(new ui::Control(this, ControlKind::Link), "lbHomePage", 8, 144, 112, 13,
                     "More fun program...");
  bLike = place(new ui::Control(this, ControlKind::SpeedButton), "bLike", 136, 136, 53, 25, "");
  bOK = place(new ui::Control(this, ControlKind::DefaultButton), "bOK", 198, 136, 75, 25, "OK", 2);
  bOK->tabStop = true;
  chbOnTop->setChecked(true);
  chbStartup->setChecked(true);

  Button1->onClick = [this] { Button1Click(); };
  lbHomePage->onClick = [this] { lbHomePageClick(); };
  bLike->onClick = [this] { bLikeClick(); };
  bOK->onClick = [this] { bOKClick(); };
  onShow = [this] { FormShow(); };
  onCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };

  createMenu();

  TimerKeyb = new ui::Timer(this);
  TimerKeyb->setName("TimerKeyb");
  TimerKeyb->setEnabled(false);
  TimerKeyb->setInterval(kKeyWatchInterval);
  TimerKeyb->setOnTimer([this] { TimerKeybTimer(); });
}

void TfrmMain::createMenu() {
  PopupMenu = new ui::PopupMenu(this);
  PopupMenu->setName("PopupMenu");
  ui::PopupMenu& m = *PopupMenu;
  Settings1 = m.add("Settings1", "Settings");
  Settings1->isDefault = true;
  Settings1->onClick = [this] { Settings1Click(); };
  // An advertisement for another product, kept in the menu but never shown.
  pmiDownload = m.add("pmiDownload", "Download");
  pmiDownload->visible = false;
  ui::MenuItem* software =
      m.add("Software1", std::string(22, ' ') + ">>> Software <<<", pmiDownload);
  software->enabled = false;
  m.add("N3", "-", pmiDownload);
  for (const char* name : {"Moths1", "DownloadMoths1"}) {
    ui::MenuItem* item =
        m.add(name, name[0] == 'M' ? "Moths on the desktop" : "Download Moths", pmiDownload);
    item->onClick = [this] { openWebPage(kOtherProductPage); };
  }
  N1 = m.add("N1", "-");
  N1->visible = false;
  pmiOnTop = m.add("pmiOnTop", "OnTop");
  pmiOnTop->visible = false;
  pmiOnTop->checked = true;
  pmiOnTop->autoCheck = true;
  pmiOnTop->onClick = [this] { pmiOnTopClick(); };
  pmiStartUp = m.add("pmiStartUp", "Load on startup");
  pmiStartUp->visible = false;
  pmiStartUp->checked = true;
  pmiStartUp->autoCheck = true;
  pmiStartUp->onClick = [this] { pmiStartUpClick(); };
  N2 = m.add("N2", "-");
  pmiAdd = m.add("pmiAdd", "Add fly");
  pmiAdd->onClick = [this] { pmiAddClick(); };
  Add5flies1 = m.add("Add5flies1", "Add 5 flies");
  Add5flies1->onClick = [this] { Add5flies1Click(); };
  Closeallflies1 = m.add("Closeallflies1", "Close all flies");
  Closeallflies1->onClick = [this] { Closeallflies1Click(); };
  N4 = m.add("N4", "-");
  pmiAbout = m.add("pmiAbout", "About...");
  pmiAbout->onClick = [this] { pmiAboutClick(); };
  pmiExit = m.add("pmiExit", "Exit");
  pmiExit->onClick = [this] { pmiExitClick(); };
}

void TfrmMain::LoadSettingsAndStart() {
  {
    Registry registry(ui::platform().userStore());
    const StoredSettings stored = readStoredSettings(registry);
    if (stored.startup) chbStartup->setChecked(*stored.startup);
    if (stored.onTop) chbOnTop->setChecked(*stored.onTop);
    if (stored.flies) sedFly->setValue(*stored.flies);
  }
  if constexpr (ScreenSaverMode) {
    examineArgument();
  } else {
    TrayIcon(1, ui::platform().smallIcon());
    createFlies(sedFly->value());
  }
}

void TfrmMain::examineArgument() {
  switch (saverAction(firstArgument(ui::platform().commandLine()))) {
    case SaverAction::Close:
      close();
      break;
    case SaverAction::Configure:
      show();
      break;
    case SaverAction::Run:
      StartCursorPos = ui::platform().cursorPos();
      createFlies(sedFly->value());
      TimerKeyb->setEnabled(true);
      break;
    case SaverAction::Idle:
      break;
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

void TfrmMain::WMTrayNotify(std::intptr_t lParam) {
  const ScreenPoint cursor = ui::platform().cursorPos();
  if (lParam == WM_LBUTTONDBLCLK) {
    Settings1Click();
  } else if (lParam == WM_RBUTTONUP) {
    ui::platform().setForegroundWindow(handle());
    PopupMenu->popup(cursor.x, cursor.y, handle());
    ui::platform().postMessage(handle(), WM_NULL, 0, 0);
  }
}

void TfrmMain::contextPopup(int screenX, int screenY) {
  PopupMenu->popup(screenX, screenY, handle());
}

void TfrmMain::pmiAddClick() {
  LastFly = new TFlyForm();
  LastFly->SetOnTop(true);
}

void TfrmMain::Add5flies1Click() {
  for (int i = 0; i < 5; ++i) pmiAddClick();
}

void TfrmMain::Closeallflies1Click() {
  CloseAllFlies();
}

void CloseAllFlies() {
  for (int i = ui::application->componentCount() - 1; i >= 0; --i) {
    ui::Form* form = ui::application->component(i)->asForm();
    if (form && isFlyWindowName(form->name())) delete form;
  }
}

void TfrmMain::pmiOnTopClick() {
  ui::platform().setWindowZOrder(handle(),
                                 pmiOnTop->checked ? ui::ZOrder::Topmost : ui::ZOrder::NotTopmost);
}

void TfrmMain::openWebPage(const char* address) {
  ui::platform().shellExecute("open", address, SW_SHOWMAXIMIZED);
}

void TfrmMain::FormShow() {
  ui::platform().setFocus(handle());
  if constexpr (ScreenSaverMode) chbStartup->setVisible(false);
}

void TfrmMain::bOKClick() {
  if constexpr (ScreenSaverMode) close();
  SetFliesOnTop(chbOnTop->checked());
  hide();
}

void TfrmMain::SetFliesOnTop(bool topmost) {
  ui::Platform& p = ui::platform();
  for (int i = ui::application->componentCount() - 1; i >= 0; --i) {
    ui::Form* form = ui::application->component(i)->asForm();
    if (!form || !isFlyWindowName(form->name())) continue;
    const ui::WindowId window = form->handle();
    p.setWindowOwner(window, p.desktopWindow());
    p.setWindowZOrder(window, topmost ? ui::ZOrder::Topmost : ui::ZOrder::NotTopmost);
  }
}

void TfrmMain::TimerKeybTimer() {
  const ScreenPoint now = ui::platform().cursorPos();
  const bool input = saverInputSeen(StartCursorPos, now,
                                    [](int key) { return ui::platform().asyncKeyState(key); });
  if (input) close();
}

bool TfrmMain::handleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  switch (message) {
    case WM_TRAYNOTIFY:
      WMTrayNotify(lParam);
      return true;
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
