// A fly on the headless desktop: its window, its first frame, its draws and its failures.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app_fixture.h"
#include "core/error.h"
#include "core/png_reader.h"
#include "platform/timer.h"

namespace zin {
namespace {

using test::AppFixture;

std::vector<std::uint8_t> spriteFile(const std::string& name) {
  std::ifstream in(std::string(ZIN_RESOURCES_DIR) + "/sprites/" + name + ".png", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The premultiplied BGRA a layered window must receive for a sprite, worked out here from
// the decoded PNG alone.
std::vector<std::uint8_t> expectedFrame(const std::string& name) {
  const PngImage sprite = decodePng(spriteFile(name));
  std::vector<std::uint8_t> out;
  for (int y = 0; y < sprite.height(); ++y) {
    for (int x = 0; x < sprite.width(); ++x) {
      const unsigned a = sprite.alphaRow(y)[x];
      const std::uint8_t* rgb = sprite.colourRow(y) + x * 3;
      out.push_back(static_cast<std::uint8_t>(rgb[2] * a / 255));
      out.push_back(static_cast<std::uint8_t>(rgb[1] * a / 255));
      out.push_back(static_cast<std::uint8_t>(rgb[0] * a / 255));
      out.push_back(static_cast<std::uint8_t>(a));
    }
  }
  return out;
}

std::vector<std::string> allSpriteNames() {
  std::vector<std::string> names;
  for (int d = 1; d <= 8; ++d) {
    for (int f = 1; f <= 6; ++f) names.push_back(walkingSpriteName(d, f));
    for (int f = 1; f <= 5; ++f) names.push_back(idleSpriteName(d, f));
  }
  return names;
}

class FlyWindow : public AppFixture {};

TEST_F(FlyWindow, NewFlyStandsAtTheScreenCentreShowingItsFirstFrame) {
  struct Case {
    int width, height, left, top;
  } cases[] = {{1920, 1080, 960, 540}, {1366, 768, 683, 384}, {1365, 768, 682, 384}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    p.screenW = c.width;
    p.screenH = c.height;
    p.resourceLookups.clear();
    auto* fly = new TFlyForm();
    const headless::WindowRecord& w = win(fly->Form->handle());
    EXPECT_EQ(w.bounds, (ui::Rect{c.left, c.top, c.left + 60, c.top + 60}));
    EXPECT_EQ(fly->state().posX, c.left);
    EXPECT_EQ(fly->state().posY, c.top);
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.className, "TForm");
    EXPECT_EQ(w.owner, p.desktopWindow());
    EXPECT_EQ(w.exStyle, ui::kWsExControlParent | ui::kWsExLayered);
    EXPECT_EQ(p.resourceLookups, std::vector<std::string>{"1_1"});
    EXPECT_EQ(w.layeredX, c.left);
    EXPECT_EQ(w.layeredY, c.top);
    EXPECT_EQ(w.blend.sourceConstantAlpha, 255);
    EXPECT_EQ(w.blend.alphaFormat, 1);
    EXPECT_EQ(w.image, expectedFrame("1_1"));
    EXPECT_EQ(p.openDrawContexts(), 0);
    // Waiting for its first activity, and off the taskbar.
    EXPECT_TRUE(fly->Timer->enabled());
    EXPECT_EQ(p.timerInterval(*fly->Timer), fly->Timer->interval());
    EXPECT_FALSE(win(app->handle()).visible);
  }
  EXPECT_EQ(rng.seeds.size(), 3u);
  EXPECT_EQ(rng.seeds.back(), static_cast<std::uint32_t>(p.counter));  // the last read
}

TEST_F(FlyWindow, NoPixelWithZeroAlphaReachesTheScreen) {
  // Every sprite stores colours in its transparent pixels; premultiplied, they must vanish.
  auto* fly = new TFlyForm();
  for (const char* name : {"3_4", "L6_2", "8_6"}) {
    fly->state().spriteName = name;
    fly->DrawFrame();
    const auto& image = win(fly->Form->handle()).image;
    ASSERT_EQ(image, expectedFrame(name));
    int transparent = 0;
    for (std::size_t i = 0; i < image.size(); i += 4) {
      if (image[i + 3] == 0) {
        ++transparent;
        EXPECT_EQ(image[i] | image[i + 1] | image[i + 2], 0) << name << " pixel " << i / 4;
      }
    }
    EXPECT_GT(transparent, 1800) << name;
  }
}

TEST_F(FlyWindow, NameJoinsTheUnsignedTickCountAndARandomNumber) {
  p.ticks = 2147483653u;  // past 2^31: must not turn negative
  rng.scripted = {46};
  auto* fly = new TFlyForm();
  EXPECT_EQ(fly->Form->name(), "frmPngFly214748365346");
  EXPECT_EQ(fly->Form->caption(), "frmPngFly214748365346");
  EXPECT_EQ(win(fly->Form->handle()).text, "frmPngFly214748365346");
}

TEST_F(FlyWindow, TakenNameFailsTheCreationAndLeavesNothingBehind) {
  p.ticks = 812;
  rng.scripted = {46};
  new TFlyForm();
  const int components = app->componentCount();
  const auto windows = flyWindows();
  // Names are compared without regard to case.
  (new ui::Form(app.get()))->setName("FRMPNGFLY81247");
  rng.scripted = {47};
  try {
    new TFlyForm();
    FAIL() << "created";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "A component named frmPngFly81247 already exists");
  }
  EXPECT_EQ(app->componentCount(), components + 1);
  EXPECT_EQ(flyWindows(), windows);
}

TEST_F(FlyWindow, SetOnTopOwnsByTheDesktopAndPicksTheZOrderGroup) {
  auto* fly = new TFlyForm();
  const ui::WindowId id = fly->Form->handle();
  p.setWindowOwner(id, 0);
  fly->SetOnTop(true);
  EXPECT_TRUE(win(id).topmost);
  EXPECT_EQ(win(id).owner, p.desktopWindow());
  const ui::Rect before = win(id).bounds;
  fly->SetOnTop(false);
  EXPECT_FALSE(win(id).topmost);
  EXPECT_EQ(win(id).bounds, before);
}

TEST_F(FlyWindow, WalksAfterItsStartDelayDrawingItsDirection) {
  // PickMove(true) at the show: heading 3, no idle, 10 steps, R(3) 1 keeps direction 3, a
  // short delay of 250 ms.
  rng.scripted = {0, 2, 5, 0, 1, 3, 249};
  auto* fly = new TFlyForm();
  const ui::WindowId id = fly->Form->handle();
  EXPECT_EQ(fly->state().direction, 3);
  p.resourceLookups.clear();
  p.advance(249);
  EXPECT_TRUE(p.resourceLookups.empty());
  p.advance(1);
  EXPECT_EQ(p.resourceLookups, std::vector<std::string>{"3_1"});
  EXPECT_EQ(win(id).bounds.left, 640);
  p.advance(10);
  EXPECT_EQ(p.resourceLookups.back(), "3_2");
  EXPECT_EQ(win(id).bounds.left, 643);
  EXPECT_EQ(win(id).bounds.top, 398);
  EXPECT_EQ(p.timerInterval(*fly->Timer), 10);
}

TEST_F(FlyWindow, MouseMoveFreezesAndDoubleClickOnlyHides) {
  rng.scripted = {0, 2, 5, 0, 1, 3, 0};
  auto* fly = new TFlyForm();
  const ui::WindowId id = fly->Form->handle();
  p.advance(1);  // the first step
  const int drawsBefore = win(id).layeredUpdates;
  fly->Form->nativeMouseMove(30, 30);
  p.advance(200 * 10);
  EXPECT_EQ(win(id).layeredUpdates, drawsBefore);
  p.advance(10);
  EXPECT_EQ(win(id).layeredUpdates, drawsBefore + 1);

  fly->Form->nativeDblClick();
  EXPECT_FALSE(win(id).visible);
  EXPECT_FALSE(win(id).destroyed);
  EXPECT_EQ(flyComponents(), 1);
  p.advance(30);
  EXPECT_EQ(win(id).layeredUpdates, drawsBefore + 4);  // still walking, unseen
}

TEST_F(FlyWindow, DrawFailuresAreReportedOncePerCauseAndTheFlyGoesOn) {
  auto* fly = new TFlyForm();
  const ui::WindowId id = fly->Form->handle();
  struct Case {
    const char* what;
    std::function<void()> breakIt;
    std::function<void()> mendIt;
    std::string text;
    ui::MessageKind kind;
    bool stillDrawn;
  } cases[] = {
      {"layered style refused", [&] { p.failExStyle = true; }, [&] { p.failExStyle = false; },
       p.lastError, ui::MessageKind::Plain, true},
      {"update refused", [&] { p.failLayeredUpdate = true; }, [&] { p.failLayeredUpdate = false; },
       "No!!!!!", ui::MessageKind::Plain, false},
      {"sprite missing", [&] { p.missingResources = allSpriteNames(); },
       [&] { p.missingResources.clear(); },
       "The png image could not be loaded from the resource ID.", ui::MessageKind::Error, false},
      {"sprite damaged",
       [&] {
         for (const auto& name : allSpriteNames()) p.resources[name] = {0x89, 'P', 'N', 'G'};
       },
       [&] { p.resources.clear(); }, "The data is not a PNG image (the PNG signature is missing)",
       ui::MessageKind::Error, false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    p.boxes.clear();
    c.breakIt();
    const int updates = win(id).layeredUpdates;
    for (int i = 0; i < 5; ++i) fly->Timer->fire();  // idle or walking: each tick draws, or waits
    fly->state().idleTicks = 3;
    fly->state().pauseTicks = 0;
    for (int i = 0; i < 3; ++i) fly->Timer->fire();
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, c.text);
    EXPECT_EQ(p.boxes[0].caption, "Zintara");
    EXPECT_EQ(p.boxes[0].kind, c.kind);
    EXPECT_EQ(win(id).layeredUpdates > updates, c.stillDrawn);
    EXPECT_EQ(p.openDrawContexts(), 0);
    c.mendIt();
    EXPECT_TRUE(fly->Timer->enabled());
    const int mended = win(id).layeredUpdates;
    fly->state().idleTicks = 20;
    fly->Timer->fire();
    EXPECT_EQ(win(id).layeredUpdates, mended + 1);
  }
}

}  // namespace
}  // namespace zin
