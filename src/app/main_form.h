// The main form: the hidden settings window that owns the tray icon, receives the tray's
// callback and the private close message, and holds the settings while the program runs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/controls.h"
#include "platform/form.h"

namespace zin {

class TFlyForm;

inline constexpr std::uint32_t WM_TRAYNOTIFY = 1025;
inline constexpr std::uint32_t WM_CLOSEREQUEST = 1127;

class TfrmMain : public ui::Form {
 public:
  explicit TfrmMain(ui::Component* owner);

  std::string className() const override { return "TfrmMain"; }

  void LoadSettingsAndStart();
  void SaveSettings();
  // 1 adds, 2 removes, 3 modifies the tray icon; any other action does nothing.
  void TrayIcon(int action, std::uintptr_t icon);
  void FormCloseQuery(bool& canClose);
  void pmiExitClick();
  void WMCloseRequest() { close(); }

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

 protected:
  bool handleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

 private:
  void createFlies(int count);
  // A failed save leaves the program without its tray icon; putting it back keeps the
  // program reachable (and closable) instead of stranding its flies on the desktop.
  template <class F>
  void withIconRestoredOnFailure(F&& work);

  bool trayIconShown_ = false;
};

// The one main form and the most recently created fly.
extern TfrmMain* frmMain;
extern TFlyForm* LastFly;

}  // namespace zin
