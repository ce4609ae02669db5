// The tray menu, its commands and the settings window's own logic, on the headless back-end.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "core/settings.h"
#include "platform/timer.h"

namespace zin {
namespace {

using headless::HeadlessExit;
using test::AppFixture;

constexpr std::intptr_t kDoubleClick = 0x203;
constexpr std::intptr_t kRightUp = 0x205;

std::vector<std::string> visibleCaptions(const ui::PopupMenu& menu) {
  std::vector<std::string> captions;
  for (const ui::MenuItem* item : menu.items()) {
    if (item->visible) captions.push_back(item->caption + (item->isDefault ? " (bold)" : ""));
  }
  return captions;
}

class Commands : public AppFixture {
 protected:
  Commands() {
    createMain()->LoadSettingsAndStart();
    p.log.clear();
  }
  // Answers the next menu with `item` (null: clicked elsewhere) and right-clicks the icon.
  void choose(ui::MenuItem* item) {
    p.menuChooser = [item](ui::PopupMenu&, int, int) { return item ? item->command() : 0; };
    p.postMessage(frmMain->handle(), WM_TRAYNOTIFY, 1, kRightUp);
    p.processMessages();
  }
  std::vector<bool> topmostFlags() const {
    std::vector<bool> flags;
    for (ui::WindowId id : flyWindows()) flags.push_back(win(id).topmost);
    return flags;
  }
};

TEST_F(Commands, RightClickOpensTheMenuAtTheCursorAfterTakingTheForeground) {
  p.cursor = {1250, 790};
  std::vector<std::string> seen;
  int x = 0, y = 0;
  ui::WindowId foregroundWhileOpen = 0;
  p.menuChooser = [&](ui::PopupMenu& menu, int mx, int my) {
    seen = visibleCaptions(menu);
    x = mx;
    y = my;
    foregroundWhileOpen = p.foreground();
    return 0;
  };
  frmMain->WMTrayNotify(kRightUp);
  EXPECT_EQ(seen, (std::vector<std::string>{"Settings (bold)", "-", "Add fly", "Add 5 flies",
                                            "Close all flies", "-", "About...", "Exit"}));
  EXPECT_EQ(x, 1250);
  EXPECT_EQ(y, 790);
  EXPECT_EQ(foregroundWhileOpen, frmMain->handle());
  // The null message follows, so the menu closes properly when the user clicks elsewhere.
  p.menuChooser = [](ui::PopupMenu&, int, int) -> int {
    ADD_FAILURE() << "the null message opened a menu";
    return 0;
  };
  p.processMessages();
  EXPECT_EQ(flyWindows().size(), 5u);
}

TEST_F(Commands, OnlyTheDoubleClickAndTheRightButtonDoAnything) {
  p.menuChooser = [](ui::PopupMenu&, int, int) -> int {
    ADD_FAILURE() << "menu opened";
    return 0;
  };
  for (std::intptr_t event : {0x200, 0x201, 0x202, 0x204, 0x206, 0x207}) {
    frmMain->WMTrayNotify(event);
  }
  EXPECT_FALSE(frmMain->visible());
  frmMain->WMTrayNotify(kDoubleClick);
  EXPECT_TRUE(frmMain->visible());
  EXPECT_EQ(p.focus(), frmMain->handle());
  frmMain->WMTrayNotify(kDoubleClick);  // shown already: brought to the front
  EXPECT_TRUE(frmMain->visible());
}

TEST_F(Commands, MenuAddsTopmostFliesWhateverTheSettingAndOkAppliesItToAll) {
  frmMain->chbOnTop->setChecked(false);
  choose(frmMain->pmiAdd);
  for (int i = 0; i < 5; ++i) choose(frmMain->Add5flies1);
  ASSERT_EQ(flyWindows().size(), 5u + 1 + 25);
  EXPECT_EQ(LastFly->Form->handle(), flyWindows().back());
  const auto flags = topmostFlags();
  EXPECT_TRUE(std::all_of(flags.begin(), flags.end(), [](bool t) { return t; }));

  // A hidden fly is reached too, and stays hidden.
  const ui::WindowId hidden = flyWindows()[2];
  win(hidden).form->nativeDblClick();
  frmMain->show();
  frmMain->bOKClick();
  EXPECT_FALSE(frmMain->visible());
  for (bool t : topmostFlags()) EXPECT_FALSE(t);
  EXPECT_FALSE(win(hidden).visible);
  EXPECT_EQ(win(hidden).owner, p.desktopWindow());
  frmMain->chbOnTop->setChecked(true);
  frmMain->bOKClick();
  for (bool t : topmostFlags()) EXPECT_TRUE(t);
  // OK writes nothing and neither adds nor removes flies.
  EXPECT_FALSE(p.store.value(kSettingsKey, "OnTop"));
  EXPECT_EQ(flyWindows().size(), 31u);
}

TEST_F(Commands, CloseAllFliesFreesEveryFlyWindowAndNothingElse) {
  win(flyWindows()[1]).form->nativeDblClick();  // hidden flies go too
  auto* lookalike = new ui::Form(app.get());
  lookalike->setName("frmPngFlyNotAFly");  // a form with the prefix counts as a fly window
  auto* timer = new ui::Timer(app.get());
  timer->setName("frmPngFly7");  // not a form
  auto* other = new ui::Form(app.get());
  other->setName("xfrmPngFly8");  // the prefix must be at the start
  choose(frmMain->Closeallflies1);
  EXPECT_TRUE(flyWindows().empty());
  EXPECT_EQ(flyComponents(), 1);  // the timer
  EXPECT_EQ(app->componentCount(), 3);
  EXPECT_EQ(p.timerCount(), 0);
  EXPECT_TRUE(p.trayIconPresent());
  choose(frmMain->Closeallflies1);  // none left: nothing happens
  choose(frmMain->pmiAdd);
  EXPECT_EQ(flyWindows().size(), 1u);
  p.advance(7000);
  EXPECT_GT(win(flyWindows()[0]).layeredUpdates, 1);
}

TEST_F(Commands, ClosingAllFliesWhileATickShowsABoxIsSafe) {
  p.failLayeredUpdate = true;
  p.onBox = [](const headless::BoxRecord&) { CloseAllFlies(); };
  LastFly->state().idleTicks = 5;
  LastFly->Timer->fire();
  EXPECT_EQ(p.boxes.size(), 1u);
  EXPECT_TRUE(flyWindows().empty());
  EXPECT_EQ(p.timerCount(), 0);
}

TEST_F(Commands, WebPagesOpenMaximizedInTheDefaultBrowser) {
  choose(frmMain->pmiAbout);
  frmMain->lbHomePage->nativeClicked();
  frmMain->bLike->nativeClicked();
  ASSERT_EQ(p.shellCalls.size(), 3u);
  for (const auto& call : p.shellCalls) {
    EXPECT_EQ(call.verb, "open");
    EXPECT_EQ(call.showCommand, 3);
    EXPECT_EQ(call.file.rfind("http://", 0), 0u);
  }
  EXPECT_EQ(p.shellCalls[0].file, p.shellCalls[1].file);
  EXPECT_EQ(p.shellCalls[0].file.substr(p.shellCalls[0].file.size() - 4), "/rj/");
  const std::string like = p.shellCalls[2].file;
  EXPECT_EQ(like.substr(like.size() - 22), "/rj/zintaralikeit.html");
}

TEST_F(Commands, HiddenItemsToggleTheirMarksOnly) {
  frmMain->PopupMenu->findCommand(frmMain->pmiOnTop->command())->click();
  EXPECT_FALSE(frmMain->pmiOnTop->checked);
  EXPECT_FALSE(win(frmMain->handle()).topmost);
  frmMain->pmiOnTop->click();
  EXPECT_TRUE(win(frmMain->handle()).topmost);
  frmMain->pmiStartUp->click();
  EXPECT_FALSE(frmMain->pmiStartUp->checked);
  EXPECT_TRUE(frmMain->chbStartup->checked());  // no tie to the setting of the same name
}

TEST_F(Commands, TheHiddenButtonAndARightClickOnTheWindowReachTheSameCommands) {
  frmMain->show();
  frmMain->Button1->nativeClicked();
  EXPECT_EQ(flyWindows().size(), 6u);
  EXPECT_TRUE(win(flyWindows().back()).topmost);
  bool opened = false;
  p.menuChooser = [&](ui::PopupMenu&, int, int) {
    opened = true;
    return frmMain->pmiAdd->command();
  };
  frmMain->nativeRightClick(600, 400);
  EXPECT_TRUE(opened);
  EXPECT_EQ(flyWindows().size(), 7u);
}

TEST_F(Commands, ExitFromTheMenuEndsWith255AfterSaving) {
  frmMain->sedFly->setText("150");
  try {
    choose(frmMain->pmiExit);
    FAIL() << "still running";
  } catch (const HeadlessExit& e) {
    EXPECT_EQ(e.code, 255);
  }
  const auto flies = p.store.value(kSettingsKey, "Flies");
  ASSERT_TRUE(flies);
  EXPECT_EQ(flies->data, (std::vector<std::uint8_t>{150, 0, 0, 0}));
  EXPECT_FALSE(p.trayIconPresent());
}

TEST(CommandsDuringStart, ExitChosenWhileFliesAppearEndsBeforeTheRest) {
  headless::HeadlessPlatform p(ZIN_RESOURCES_DIR "/sprites");
  initializeFlyUnit();
  {
    ui::Application app;
    p.store.setDword(kSettingsKey, "Flies", 99);
    frmMain = app.createForm<TfrmMain>();
    p.menuChooser = [](ui::PopupMenu&, int, int) { return frmMain->pmiExit->command(); };
    p.postMessage(frmMain->handle(), WM_TRAYNOTIFY, 1, kRightUp);
    try {
      frmMain->LoadSettingsAndStart();
      FAIL() << "all flies made";
    } catch (const HeadlessExit& e) {
      EXPECT_EQ(e.code, 255);
    }
    EXPECT_EQ(p.windowsOfClass("TForm").size(), 0u);  // the one fly made is gone with the rest
    EXPECT_EQ(std::count(p.log.begin(), p.log.end(), "create TForm"), 1);
    EXPECT_EQ(p.log.back(), "tray delete");
  }
  frmMain = nullptr;
  LastFly = nullptr;
  finalizeFlyUnit();
}

}  // namespace
}  // namespace zin
