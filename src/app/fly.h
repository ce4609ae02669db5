// A fly: a plain object that owns nothing itself but creates a borderless window (owned by
// the application) and a timer (owned by that window), and lives on the timer's ticks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/fly_behaviour.h"
#include "core/png_reader.h"
#include "core/random.h"
#include "platform/platform.h"

namespace zin::ui {
class Form;
class Timer;
}  // namespace zin::ui

namespace zin {

class TFlyForm : private FlyHost {
 public:
  // Creates the fly and shows it at once; on failure nothing is left behind.
  TFlyForm();
  ~TFlyForm() override;
  TFlyForm(const TFlyForm&) = delete;
  TFlyForm& operator=(const TFlyForm&) = delete;

  void SetOnTop(bool onTop);

  void FlyShow();
  void DrawFrame();
  void FlyTimer();
  void FlyMouseMove() { freezeFly(state_); }
  void FlyDblClick();
  void PickMove(bool newHeading) { pickMove(state_, *this, newHeading); }

  ui::Form* Form = nullptr;
  ui::Timer* Timer = nullptr;
  // Live only while DrawFrame runs.
  std::uintptr_t OldBitmap = 0;
  std::uintptr_t ScreenDC = 0;
  std::uintptr_t MemDC = 0;
  std::uint8_t Opacity = 0;

  const FlyState& state() const { return state_; }
  FlyState& state() { return state_; }

 private:
  friend class FlyWindow;

  RandomSource& random() override;
  int workAreaWidth() override;
  int workAreaHeight() override;
  void setTimerInterval(int ms) override;
  void setTimerEnabled(bool enabled) override;
  void setWindowLeft(int left) override;
  void setWindowTop(int top) override;
  void drawFrame() override { DrawFrame(); }

  FlyState state_;
  // A tick that opens a box runs a nested message loop, in which a command may free this
  // fly's window; the fly then finishes its tick without touching the window and goes.
  int busy_ = 0;
  bool orphaned_ = false;
};

// The work objects all flies share for drawing: a draw overwrites both completely, and
// draws never interleave, so one of each is enough.
struct FlyUnit {
  std::unique_ptr<ui::Bitmap> FrameBitmap;
  PngImage SpriteImage;
  LcgRandom defaultRandom;
  RandomSource* random = &defaultRandom;
};

// Made once the platform is installed, before the first fly; freed after the last.
void initializeFlyUnit();
void finalizeFlyUnit();
FlyUnit& flyUnit();

inline constexpr char kFlyNamePrefix[] = "frmPngFly";

// Whether `name` is a fly window's: the prefix at the very start, compared with case.
bool isFlyWindowName(const std::string& name);

}  // namespace zin
