// The main form: the hidden settings window that owns the tray icon and its menu, receives
// the tray's callback and the private close message, and holds the settings while the
// program runs.
#pragma once

#include <cstdint>
#include <string>

#include "core/saver.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/menu.h"
#include "platform/timer.h"

namespace zin {

class TFlyForm;

inline constexpr std::uint32_t WM_TRAYNOTIFY = 1025;
inline constexpr std::uint32_t WM_CLOSEREQUEST = 1127;
inline constexpr char kHomePage[] = "http://www.zintara.example/rj/";
inline constexpr char kLikePage[] = "http://www.zintara.example/rj/zintaralikeit.html";
inline constexpr char kOtherProductPage[] = "http://www.zintara.example/rj/moths.html";

class TfrmMain : public ui::Form {
 public:
  explicit TfrmMain(ui::Component* owner);

  std::string className() const override { return "TfrmMain"; }

  // Start and end.
  void LoadSettingsAndStart();
  void SaveSettings();
  // 1 adds, 2 removes, 3 modifies the tray icon; any other action does nothing.
  void TrayIcon(int action, std::uintptr_t icon);
  void FormCloseQuery(bool& canClose);

  // The tray and the private close message.
  void WMTrayNotify(std::intptr_t lParam);
  void WMCloseRequest() { close(); }

  // Commands.
  void Settings1Click() { show(); }
  void pmiAddClick();
  void Add5flies1Click();
  void Closeallflies1Click();
  void pmiAboutClick() { openWebPage(kHomePage); }
  void pmiExitClick();
  void pmiOnTopClick();
  void pmiStartUpClick() {}
  void Button1Click() { pmiAddClick(); }
  void lbHomePageClick() { openWebPage(kHomePage); }
  void bLikeClick() { openWebPage(kLikePage); }

  // The settings window.
  void FormShow();
  void bOKClick();
  void SetFliesOnTop(bool topmost);

  // The screen saver's input watch.
  void TimerKeybTimer();

  bool trayIconShown() const { return trayIconShown_; }

  ui::Control* GroupBox1;
  ui::CheckBox* chbOnTop;
  ui::CheckBox* chbStartup;
  ui::Control* Label1;
  ui::SpinEdit* sedFly;
  ui::Control* lbHomePage;
  ui::Control* bLike;
  ui::Control* bOK;
  ui::Control* Button1;
  ui::PopupMenu* PopupMenu;
  ui::MenuItem* Settings1;
  ui::MenuItem* pmiDownload;
  ui::MenuItem* N1;
  ui::MenuItem* pmiOnTop;
  ui::MenuItem* pmiStartUp;
  ui::MenuItem* N2;
  ui::MenuItem* pmiAdd;
  ui::MenuItem* Add5flies1;
  ui::MenuItem* Closeallflies1;
  ui::MenuItem* N4;
  ui::MenuItem* pmiAbout;
  ui::MenuItem* pmiExit;
  ui::Timer* TimerKeyb;
  ScreenPoint StartCursorPos;

 protected:
  bool handleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void contextPopup(int screenX, int screenY) override;

 private:
  void createMenu();
  void createFlies(int count);
  void examineArgument();
  void openWebPage(const char* address);
  // A failed save leaves the program without its tray icon; putting it back keeps the
  // program reachable (and closable) instead of stranding its flies on the desktop.
  template <class F>
  void withIconRestoredOnFailure(F&& work);

  bool trayIconShown_ = false;
};

// Frees every fly window the application owns, shown or hidden, the newest first.
void CloseAllFlies();

// The one main form and the most recently created fly.
extern TfrmMain* frmMain;
extern TFlyForm* LastFly;

}  // namespace zin
