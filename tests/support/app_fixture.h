// A program on the headless back-end: the application object, the shared fly objects with a
// generator whose draws a test can script, and the real sprites.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "app/fly.h"
#include "app/main_form.h"
#include "core/random.h"
#include "platform/application.h"
#include "platform/form.h"
#include "platform/headless/headless_platform.h"

namespace zin::test {

// Scripted draws first, then a fixed generator; reseeds are recorded.
class QueueRandom final : public RandomSource {
 public:
  std::deque<int> scripted;
  std::vector<std::uint32_t> seeds;

  int next(int n) override {
    if (!scripted.empty()) {
      const int v = scripted.front();
      scripted.pop_front();
      return v;
    }
    return fallback_.next(n);
  }
  void reseed(std::uint32_t seed) override {
    seeds.push_back(seed);
    fallback_.reseed(seed);
  }

 private:
  LcgRandom fallback_{42};
};

class AppFixture : public ::testing::Test {
 protected:
  AppFixture() : p(ZIN_RESOURCES_DIR "/sprites") {
    initializeFlyUnit();
    flyUnit().random = &rng;
    app = std::make_unique<ui::Application>();
    app->setTitle("Zintara");
  }
  ~AppFixture() override {
    app.reset();
    frmMain = nullptr;
    LastFly = nullptr;
    finalizeFlyUnit();
  }

  TfrmMain* createMain() {
    frmMain = app->createForm<TfrmMain>();
    app->showMainForm = false;
    return frmMain;
  }

  std::vector<ui::WindowId> flyWindows() const { return p.windowsNamed(kFlyNamePrefix); }
  const headless::WindowRecord& win(ui::WindowId id) const { return p.window(id); }
  int flyComponents() const {
    int n = 0;
    for (int i = 0; i < app->componentCount(); ++i) {
      if (isFlyWindowName(app->component(i)->name())) ++n;
    }
    return n;
  }

  headless::HeadlessPlatform p;
  QueueRandom rng;
  std::unique_ptr<ui::Application> app;
};

}  // namespace zin::test
