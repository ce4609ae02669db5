// The screen-saver build of the program, on the headless back-end: what each argument does,
// the input watch, and that the tray and the Run key are never touched.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "core/settings.h"

namespace zin {
namespace {

using headless::HeadlessExit;
using test::AppFixture;

class SaverBuild : public AppFixture {
 protected:
  void start(const std::string& commandLine) {
    p.cmdLine = commandLine;
    p.store.setString(kRunKey, kRunValue, "C:\\kept\\Zintara.exe");
    createMain()->LoadSettingsAndStart();
  }
  void expectSavedAndUntouched(std::int32_t flies = 5) {
    EXPECT_TRUE(p.trayCalls.empty());
    const auto value = p.store.value(kSettingsKey, "Flies");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, kRegDword);
    EXPECT_EQ(value->data, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(flies), 0, 0, 0}));
    EXPECT_TRUE(p.store.value(kSettingsKey, "OnTop"));
    EXPECT_TRUE(p.store.value(kSettingsKey, "Startup"));
    const auto run = p.store.value(kRunKey, kRunValue);
    ASSERT_TRUE(run);
    EXPECT_EQ(std::string(run->data.begin(), run->data.end() - 1), "C:\\kept\\Zintara.exe");
  }
};

TEST_F(SaverBuild, NoArgumentOrPreviewEndsAtOnceAfterSaving) {
  for (const char* line : {"Zintara.scr", "Zintara.scr /p 1234", "\"C:\\x y\\Zintara.scr\" /P"}) {
    SCOPED_TRACE(line);
    app = std::make_unique<ui::Application>();
    start(line);
    EXPECT_TRUE(app->terminated());
    EXPECT_TRUE(flyWindows().empty());
    EXPECT_FALSE(frmMain->visible());
    expectSavedAndUntouched();
  }
}

TEST_F(SaverBuild, ConfigureShowsTheSettingsWithoutLoadOnStartupAndOkEnds) {
  start("Zintara.scr /c:1234");
  EXPECT_TRUE(frmMain->visible());
  EXPECT_FALSE(frmMain->chbStartup->visible());
  EXPECT_TRUE(frmMain->chbOnTop->visible());
  EXPECT_FALSE(app->terminated());
  frmMain->chbStartup->setChecked(false);  // kept out of reach, but its value is written back
  frmMain->bOKClick();
  EXPECT_TRUE(app->terminated());
  EXPECT_FALSE(frmMain->visible());
  expectSavedAndUntouched();
}

TEST_F(SaverBuild, RunEndsOnACursorDriftOfSixOrAKeyButNotOnFive) {
  p.store.setDword(kSettingsKey, "Flies", 3);
  p.cursor = {-1500, -20};  // on a monitor left of and above the primary one
  start("Zintara.scr /s");
  EXPECT_EQ(flyWindows().size(), 3u);
  EXPECT_TRUE(p.trayCalls.empty());
  EXPECT_TRUE(frmMain->TimerKeyb->enabled());
  EXPECT_EQ(p.timerInterval(*frmMain->TimerKeyb), 500);
  p.cursor = {-1495, -15};
  p.keyStates[0x1B] = 0x8001;  // Esc
  p.keyStates[0x20] = 0x8000;  // Space
  p.keyStates[0x01] = 0x8000;  // a mouse button
  p.advance(2000);
  EXPECT_FALSE(app->terminated());
  p.cursor = {-1495, -14};
  p.advance(499);
  EXPECT_FALSE(app->terminated());
  p.advance(1);
  EXPECT_TRUE(app->terminated());
  expectSavedAndUntouched(3);
}

TEST_F(SaverBuild, AKeyTappedBetweenTwoLooksEndsTheRun) {
  start("Zintara.scr -s");
  p.advance(500);
  EXPECT_FALSE(app->terminated());
  p.keyStates[0xA2] = 0x0001;  // left Ctrl, pressed and released since the last look
  p.advance(500);
  EXPECT_TRUE(app->terminated());
}

TEST_F(SaverBuild, UnknownArgumentsIdleUntilTheCloseMessage) {
  for (const char* line :
       {"Zintara.scr s", "Zintara.scr /x", "Zintara.scr /s:1", "Zintara.scr c"}) {
    SCOPED_TRACE(line);
    app = std::make_unique<ui::Application>();
    p.store = {};
    start(line);
    EXPECT_FALSE(app->terminated());
    EXPECT_TRUE(flyWindows().empty());
    EXPECT_FALSE(frmMain->visible());
    EXPECT_FALSE(p.store.value(kSettingsKey, "Flies"));
    p.postMessage(frmMain->handle(), WM_CLOSEREQUEST, 0, 0);
    p.processMessages();
    EXPECT_TRUE(app->terminated());
    expectSavedAndUntouched();
  }
}

TEST_F(SaverBuild, ExitFromTheWindowMenuSavesAndEndsWith255WithoutATray) {
  start("Zintara.scr /c");
  try {
    frmMain->pmiExitClick();
    FAIL() << "still running";
  } catch (const HeadlessExit& e) {
    EXPECT_EQ(e.code, 255);
  }
  expectSavedAndUntouched();
}

}  // namespace
}  // namespace zin
