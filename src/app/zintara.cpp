#include "app/zintara.h"

#include <exception>

#include "app/fly.h"
#include "app/main_form.h"
#include "platform/application.h"

namespace zin {

int ZintaraMain() {
  initializeFlyUnit();
  int exitCode = 0;
  {
    ui::Application app;
    app.setTitle("Zintara");
    try {
      frmMain = app.createForm<TfrmMain>();
      // Its window exists from the start, shown or not: other programs find it by its class
      // to send the private close message, whatever the start went on to do.
      frmMain->handle();
      app.showMainForm = false;
      frmMain->LoadSettingsAndStart();
    } catch (const std::exception& error) {
      // The last-chance report. A start that fails after the tray icon was added must not
      // leave the icon behind in the notification area.
      if (frmMain && frmMain->trayIconShown()) {
        frmMain->TrayIcon(2, ui::platform().applicationIcon());
      }
      ui::platform().messageBox(error.what(), "Application Error", ui::MessageKind::Error);
      exitCode = 1;
    }
    if (exitCode == 0) app.run();
    frmMain = nullptr;
    LastFly = nullptr;
  }
  finalizeFlyUnit();
  return exitCode;
}

}  // namespace zin
