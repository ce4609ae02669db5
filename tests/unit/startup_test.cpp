// Start, settings and the two orderly ends of the tray program, on the headless back-end.
#include <gtest/gtest.h>

#include "app/zintara.h"
#include "app_fixture.h"
#include "core/error.h"
#include "core/settings.h"

namespace zin {
namespace {

using headless::HeadlessExit;
using test::AppFixture;

std::optional<std::int32_t> dword(const headless::MemoryUserStore& store, const char* key,
                                  const char* name) {
  const auto v = store.value(key, name);
  if (!v || v->type != kRegDword || v->data.size() != 4) return std::nullopt;
  return static_cast<std::int32_t>(v->data[0] | v->data[1] << 8 | v->data[2] << 16 |
                                   v->data[3] << 24);
}

std::optional<std::string> runEntry(const headless::MemoryUserStore& store) {
  const auto v = store.value(kRunKey, kRunValue);
  if (!v || v->type != kRegSz) return std::nullopt;
  return std::string(v->data.begin(), v->data.end());
}

class Startup : public AppFixture {};

TEST_F(Startup, FirstStartAddsTheTrayIconThenFiveTopmostFlies) {
  createMain()->LoadSettingsAndStart();
  EXPECT_TRUE(p.store.keyExists(kSettingsKey));
  ASSERT_EQ(flyWindows().size(), 5u);
  for (ui::WindowId id : flyWindows()) {
    EXPECT_TRUE(win(id).topmost);
    EXPECT_TRUE(win(id).visible);
  }
  // The icon is there before the first fly.
  const std::vector<std::string> start(p.log.begin(), p.log.begin() + 3);
  EXPECT_EQ(start, (std::vector<std::string>{"create TfrmMain", "tray add", "create TForm"}));
  ASSERT_EQ(p.trayCalls.size(), 1u);
  const ui::TrayIconData& icon = p.trayCalls[0].data;
  EXPECT_EQ(icon.window, frmMain->handle());
  EXPECT_EQ(icon.id, 1u);
  EXPECT_EQ(icon.flags, 7u);
  EXPECT_EQ(icon.callbackMessage, 1025u);
  EXPECT_EQ(icon.icon, p.smallIcon());
  EXPECT_EQ(icon.tip, "Zintara");
  EXPECT_EQ(LastFly->Form->handle(), flyWindows().back());
  EXPECT_FALSE(win(frmMain->handle()).visible);
  EXPECT_EQ(win(frmMain->handle()).text, "Zintara 1.3");
  EXPECT_EQ(p.store.openKeyCount(), 0u);
}

TEST_F(Startup, StoredValuesSetTheControlsAndTheFlies) {
  struct Case {
    std::int32_t flies;
    std::int32_t onTop;
    std::size_t windows;
    int shown;
    bool topmost;
  } cases[] = {
      {0, 1, 1, 1, true}, {-3, 1, 1, 1, true},   {150, 0, 99, 99, false},
      {7, 2, 7, 7, true}, {99, 1, 99, 99, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flies);
    app = std::make_unique<ui::Application>();
    p.store.setDword(kSettingsKey, "Flies", c.flies);
    p.store.setDword(kSettingsKey, "OnTop", c.onTop);
    p.store.setDword(kSettingsKey, "startup", 0);
    createMain()->LoadSettingsAndStart();
    EXPECT_EQ(static_cast<std::size_t>(flyComponents()), c.windows);
    EXPECT_EQ(frmMain->sedFly->value(), c.shown);
    EXPECT_EQ(frmMain->sedFly->text(), std::to_string(c.shown));
    EXPECT_EQ(frmMain->chbOnTop->checked(), c.onTop != 0);
    EXPECT_FALSE(frmMain->chbStartup->checked());
    EXPECT_EQ(win(LastFly->Form->handle()).topmost, c.topmost);
  }
}

TEST_F(Startup, ExitRemovesTheIconSavesAndEndsWith255) {
  createMain()->LoadSettingsAndStart();
  frmMain->chbOnTop->setChecked(false);
  frmMain->sedFly->setText("150");  // typed, not yet clamped
  try {
    frmMain->pmiExitClick();
    FAIL() << "returned";
  } catch (const HeadlessExit& e) {
    EXPECT_EQ(e.code, 255);
  }
  EXPECT_FALSE(p.trayIconPresent());
  EXPECT_EQ(p.trayCalls.back().data.icon, p.applicationIcon());
  EXPECT_EQ(dword(p.store, kSettingsKey, "OnTop"), 0);
  EXPECT_EQ(dword(p.store, kSettingsKey, "Startup"), 1);
  EXPECT_EQ(dword(p.store, kSettingsKey, "Flies"), 150);
  EXPECT_EQ(runEntry(p.store), p.exePath + std::string(1, '\0'));
  EXPECT_TRUE(flyWindows().empty());
  EXPECT_EQ(app->componentCount(), 0);
}

TEST_F(Startup, CloseRequestSavesAndEndsTheLoopWhateverItsParameters) {
  createMain()->LoadSettingsAndStart();
  frmMain->chbStartup->setChecked(false);
  p.store.setString(kRunKey, kRunValue, "C:\\old\\Zintara.exe");
  p.postMessage(frmMain->handle(), WM_CLOSEREQUEST, 7, 9);
  p.processMessages();
  EXPECT_TRUE(app->terminated());
  EXPECT_TRUE(p.quitRequested());
  EXPECT_FALSE(p.trayIconPresent());
  EXPECT_EQ(dword(p.store, kSettingsKey, "OnTop"), 1);
  EXPECT_EQ(dword(p.store, kSettingsKey, "Startup"), 0);
  EXPECT_EQ(dword(p.store, kSettingsKey, "Flies"), 5);
  EXPECT_FALSE(runEntry(p.store));
  EXPECT_TRUE(p.boxes.empty());
}

TEST_F(Startup, EndOfSessionRunsTheSameCloseQuery) {
  createMain()->LoadSettingsAndStart();
  EXPECT_TRUE(frmMain->nativeQueryEndSession());
  EXPECT_FALSE(p.trayIconPresent());
  EXPECT_EQ(dword(p.store, kSettingsKey, "Flies"), 5);
  EXPECT_FALSE(app->terminated());
  // Another program refused the end of the session: the icon comes back.
  frmMain->nativeMessage(0x0016, 0, 0);
  EXPECT_TRUE(p.trayIconPresent());
}

TEST_F(Startup, RefusedSaveIsReportedAndTheProgramStaysReachable) {
  createMain()->LoadSettingsAndStart();
  p.store.refuseWrites("Startup");
  p.store.setDword(kSettingsKey, "Flies", 42);
  p.postMessage(frmMain->handle(), WM_CLOSEREQUEST, 0, 0);
  p.processMessages();
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, "Failed to set data for 'Startup'");
  EXPECT_EQ(p.boxes[0].caption, "Zintara");
  EXPECT_EQ(p.boxes[0].kind, ui::MessageKind::Error);
  EXPECT_FALSE(app->terminated());
  EXPECT_TRUE(p.trayIconPresent());
  EXPECT_EQ(dword(p.store, kSettingsKey, "OnTop"), 1);
  EXPECT_EQ(dword(p.store, kSettingsKey, "Flies"), 42);  // not reached
  EXPECT_EQ(flyWindows().size(), 5u);
  // Exit fails the same way (its menu dispatch would show the box) and ends nothing.
  EXPECT_THROW(frmMain->pmiExitClick(), Error);
  EXPECT_TRUE(p.trayIconPresent());
  EXPECT_EQ(flyWindows().size(), 5u);
}

TEST_F(Startup, ACloseDuringTheStartStopsMakingFlies) {
  p.store.setDword(kSettingsKey, "Flies", 99);
  createMain();
  p.postMessage(frmMain->handle(), WM_CLOSEREQUEST, 0, 0);
  frmMain->LoadSettingsAndStart();
  EXPECT_EQ(flyComponents(), 1);
  EXPECT_TRUE(app->terminated());
  EXPECT_EQ(dword(p.store, kSettingsKey, "Flies"), 99);
}

TEST(StartupFailure, WrongTypeEndsTheStartWithTheLastChanceReport) {
  struct Case {
    const char* what;
    std::function<void(headless::MemoryUserStore&)> seed;
    std::string text;
  } cases[] = {
      {"string of 2 bytes", [](auto& s) { s.setString(kSettingsKey, "StartUp", "1"); },
       "Invalid data type for 'StartUp'"},
      {"string of 5 bytes", [](auto& s) { s.setString(kSettingsKey, "StartUp", "True"); },
       "Failed to get data for 'StartUp'"},
      {"binary flies",
       [](auto& s) {
         s.set(kSettingsKey, "FLIES", kRegBinary, {1, 0, 0, 0});
       },
       "Invalid data type for 'Flies'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    headless::HeadlessPlatform p(ZIN_RESOURCES_DIR "/sprites");
    c.seed(p.store);
    EXPECT_EQ(ZintaraMain(), 1);
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, c.text);
    EXPECT_EQ(p.boxes[0].caption, "Application Error");
    EXPECT_TRUE(p.trayCalls.empty());
    EXPECT_TRUE(p.windowsNamed(kFlyNamePrefix).empty());
  }
}

TEST(StartupFailure, AFlyThatCannotBeMadeLeavesNoTrayIconBehind) {
  headless::HeadlessPlatform p(ZIN_RESOURCES_DIR "/sprites");
  // Every fly gets the same name: the tick count stands still and the generator is
  // reseeded from the same counter by each show.
  p.counterStep = 0;
  EXPECT_EQ(ZintaraMain(), 1);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].caption, "Application Error");
  EXPECT_NE(p.boxes[0].text.find("already exists"), std::string::npos);
  EXPECT_EQ(p.trayCalls.size(), 2u);
  EXPECT_FALSE(p.trayIconPresent());
}

}  // namespace
}  // namespace zin
