// A fly's life as a function of its fields, a sequence of random draws and the size of the
// work area. The platform fires the timer and carries out the moves and draws asked for.
#pragma once

#include <array>
#include <string>

namespace zin {

class RandomSource;

struct Step {
  double dx;
  double dy;
};

// Steps of directions 1..8 (index 0 is direction 1), clockwise from up-and-a-little-left;
// screen y grows downward.
inline constexpr std::array<Step, 8> kSteps = {{
    {-1.5, -3.0},
    {1.0, -3.0},
    {3.0, -2.0},
    {2.5, 1.0},
    {2.0, 3.0},
    {-1.0, 2.5},
    {-3.0, 1.5},
    {-3.0, -1.5},
}};

inline constexpr int kWalkInterval = 10;   // ms between walking ticks
inline constexpr int kFreezeTicks = 200;   // ticks a mouse move over the fly freezes it
inline constexpr int kEdgeSlack = 20;      // a fly's window may hang this far off the edges

// The fields of a fly that its behaviour reads and writes.
struct FlyState {
  double posX = 0;
  double posY = 0;
  int heading = 0;
  int stepsLeft = 0;
  int direction = 0;
  int pauseTicks = 0;
  int idleTicks = 0;
  int frame = 1;
  std::string spriteName = "1_1";
};

// What the behaviour needs from the fly's window, its timer and the system.
class FlyHost {
 public:
  virtual ~FlyHost() = default;
  virtual RandomSource& random() = 0;
  // The work area's width and height; read afresh for every test, never kept.
  virtual int workAreaWidth() = 0;
  virtual int workAreaHeight() = 0;
  virtual void setTimerInterval(int ms) = 0;
  virtual void setTimerEnabled(bool enabled) = 0;
  virtual void setWindowLeft(int left) = 0;
  virtual void setWindowTop(int top) = 0;
  // Draws state.spriteName at the window's current position.
  virtual void drawFrame() = 0;
};

// One tick of the fly's timer.
void flyTick(FlyState& fly, FlyHost& host);
// Chooses the next activity and installs it.
void pickMove(FlyState& fly, FlyHost& host, bool newHeading);
void startMove(FlyState& fly, FlyHost& host, int steps, int direction, int delay, int idleTicks);
// A mouse move over the fly's window.
void freezeFly(FlyState& fly);

// Rounds half to even, as the processor does by default.
int roundHalfEven(double v);

// "d_f" for a walking frame, "Ld_f" for an idle frame.
std::string walkingSpriteName(int direction, int frame);
std::string idleSpriteName(int direction, int frame);

}  // namespace zin
