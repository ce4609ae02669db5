// The platform layer's own rules, on the headless back-end: timers, ownership and names,
// closing forms, and ticks held back while a box is open.
#include <gtest/gtest.h>

#include "core/error.h"
#include "platform/application.h"
#include "platform/form.h"
#include "platform/headless/headless_platform.h"
#include "platform/timer.h"

namespace zin::ui {
namespace {

class PlatformLayer : public ::testing::Test {
 protected:
  headless::HeadlessPlatform p;
  Application app;

  Timer* countingTimer(Component* owner, int interval, std::vector<std::uint64_t>& fired) {
    auto* t = new Timer(owner);
    t->setInterval(interval);
    t->setOnTimer([&fired, this] { fired.push_back(p.now()); });
    return t;
  }
};

TEST_F(PlatformLayer, TimerRestartsOnlyWhenItsSettingsChange) {
  std::vector<std::uint64_t> fired;
  Timer* t = countingTimer(&app, 100, fired);
  p.advance(60);
  t->setInterval(50);  // a new value: the count starts again from now
  p.advance(30);
  t->setInterval(50);  // the same value: nothing happens
  p.advance(30);
  EXPECT_EQ(fired, (std::vector<std::uint64_t>{110}));
  t->setEnabled(false);
  p.advance(500);
  t->setInterval(20);  // while disabled, nothing starts
  p.advance(500);
  EXPECT_EQ(fired.size(), 1u);
  t->setEnabled(true);  // counts from the moment it is enabled
  p.advance(45);
  EXPECT_EQ(fired, (std::vector<std::uint64_t>{110, 1140, 1160}));
}

TEST_F(PlatformLayer, NoTimerLeftIsAnErrorAndTheTimerStaysSilent) {
  std::vector<std::uint64_t> fired;
  Timer* t = countingTimer(&app, 100, fired);
  p.failTimers = true;
  try {
    t->setInterval(10);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Not enough timers available");
  }
  p.failTimers = false;
  p.advance(1000);
  EXPECT_TRUE(fired.empty());
  EXPECT_TRUE(t->enabled());
  t->setInterval(20);
  p.advance(20);
  EXPECT_EQ(fired.size(), 1u);
}

TEST_F(PlatformLayer, TicksWaitWhileABoxIsOpen) {
  std::vector<std::uint64_t> fired;
  countingTimer(&app, 10, fired);
  p.onBox = [&](const headless::BoxRecord&) { p.advance(100); };
  app.messageBox("reading", MessageKind::Plain);
  EXPECT_TRUE(fired.empty());
  p.onBox = nullptr;
  p.advance(10);
  EXPECT_EQ(fired.size(), 1u);
}

TEST_F(PlatformLayer, NamesAreUniqueWithoutRegardToCase) {
  auto* a = new Form(&app);
  a->setName("frmPngFly1");
  auto* b = new Form(&app);
  try {
    b->setName("FRMPNGFLY1");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "A component named FRMPNGFLY1 already exists");
  }
  EXPECT_EQ(b->name(), "");
  a->setName("frmPngFly1");  // its own name again is no clash
  b->setName("frmPngFly2");
  EXPECT_EQ(b->caption(), "frmPngFly2");  // an untitled form takes its name as caption
}

TEST_F(PlatformLayer, AnOwnerFreesWhatItOwnsNewestFirst) {
  std::vector<std::string> freed;
  auto* owner = new Form(&app);
  for (const char* name : {"first", "second", "third"}) {
    auto* f = new Form(owner);
    f->setName(name);
    f->onDestroy = [&freed, name] { freed.push_back(name); };
  }
  auto* timer = new Timer(owner);
  timer->setInterval(10);
  timer->setOnTimer([] {});
  EXPECT_EQ(p.timerCount(), 1);
  delete owner->component(1);  // freeing one leaves the others in order
  EXPECT_EQ(owner->componentCount(), 3);
  EXPECT_EQ(owner->component(1)->name(), "third");
  delete owner;
  EXPECT_EQ(freed, (std::vector<std::string>{"second", "third", "first"}));
  EXPECT_EQ(p.timerCount(), 0);
  EXPECT_EQ(app.componentCount(), 0);
}

TEST_F(PlatformLayer, ClosingHidesAFormButEndsTheApplicationForTheMainForm) {
  auto* main = app.createForm<Form>();
  auto* other = app.createForm<Form>();
  other->show();
  other->close();
  EXPECT_FALSE(other->visible());
  EXPECT_FALSE(app.terminated());

  bool allowed = false;
  main->onCloseQuery = [&](bool& canClose) { canClose = allowed; };
  main->close();
  EXPECT_FALSE(app.terminated());
  allowed = true;
  main->close();
  EXPECT_TRUE(app.terminated());
  EXPECT_TRUE(p.quitRequested());
}

TEST_F(PlatformLayer, ShowRunsOnShowBeforeTheWindowIsVisibleAndReportsItsErrors) {
  auto* form = new Form(&app);
  bool visibleDuringShow = true;
  form->onShow = [&] {
    visibleDuringShow = p.window(form->handle()).visible;
    throw Error("broken show");
  };
  form->show();
  EXPECT_FALSE(visibleDuringShow);
  EXPECT_TRUE(p.window(form->handle()).visible);
  ASSERT_EQ(p.boxes.size(), 1u);
  EXPECT_EQ(p.boxes[0].text, "broken show");
}

}  // namespace
}  // namespace zin::ui
