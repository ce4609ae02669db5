#include "core/fly_behaviour.h"

#include <cmath>
#include <limits>

#include "core/random.h"

namespace zin {

namespace {

// The 60-pixel window may hang kEdgeSlack past every edge, so its far side may reach W + 20.
constexpr int kFarEdge = 60 - kEdgeSlack;
constexpr int kPushBack = 3;

bool isInside(const FlyState& fly, FlyHost& host) {
  // The short circuit is the order of the reads: W only when the first two hold, H after W.
  return fly.posX >= -kEdgeSlack && fly.posY >= -kEdgeSlack &&
         fly.posX + kFarEdge <= host.workAreaWidth() &&
         fly.posY + kFarEdge <= host.workAreaHeight();
}

void pushBack(FlyState& fly, FlyHost& host) {
  if (fly.posX < -kEdgeSlack) fly.posX += kPushBack;
  if (fly.posY < -kEdgeSlack) fly.posY += kPushBack;
  if (fly.posX + kFarEdge > host.workAreaWidth()) fly.posX -= kPushBack;
  if (fly.posY + kFarEdge > host.workAreaHeight()) fly.posY -= kPushBack;
}

void endActivity(FlyState& fly, FlyHost& host, bool newHeading) {
  host.setTimerEnabled(false);
  pickMove(fly, host, newHeading);
}

void playIdleFrame(FlyState& fly, FlyHost& host) {
  if (fly.frame > 5) fly.frame = 1;
  fly.spriteName = idleSpriteName(fly.direction, fly.frame);
  // The last nine ticks of an idle animation show the fly standing.
  if (fly.idleTicks < 10) fly.spriteName = walkingSpriteName(fly.direction, 2);
  ++fly.frame;
  --fly.idleTicks;
  host.drawFrame();
  if (fly.idleTicks == 0) endActivity(fly, host, false);
}

void takeStep(FlyState& fly, FlyHost& host) {
  fly.spriteName = walkingSpriteName(fly.direction, fly.frame);
  if (++fly.frame > 6) fly.frame = 1;
  // The window shows where the previous tick got to; the frame trails the position by a step.
  host.setWindowLeft(roundHalfEven(fly.posX));
  host.setWindowTop(roundHalfEven(fly.posY));
  const Step& step = kSteps.at(static_cast<std::size_t>(fly.direction - 1));
  fly.posX += step.dx;
  fly.posY += step.dy;
  if (isInside(fly, host)) {
    host.drawFrame();
    if (--fly.stepsLeft < 1) endActivity(fly, host, false);
    return;
  }
  pushBack(fly, host);
  endActivity(fly, host, true);
}

}  // namespace

void flyTick(FlyState& fly, FlyHost& host) {
  // Set even on a frozen tick, so a frozen idle animation still draws its interval.
  host.setTimerInterval(fly.idleTicks > 0 ? 30 + host.random().next(80) : kWalkInterval);
  if (fly.pauseTicks > 0) {
    --fly.pauseTicks;
    return;
  }
  if (fly.idleTicks > 0) {
    playIdleFrame(fly, host);
  } else {
    takeStep(fly, host);
  }
}

void pickMove(FlyState& fly, FlyHost& host, bool newHeading) {
  RandomSource& r = host.random();
  if (newHeading) fly.heading = r.next(8) + 1;
  const int idleTicks = r.next(8) == 0 ? r.next(140) : 0;
  const int steps = r.next(100) + 10;
  // Steps and wander are drawn even for an idle animation, which keeps the draw count fixed.
  int direction = fly.heading + r.next(3) - 1;
  if (direction == 0) direction = 8;
  if (direction == 9) direction = 1;
  const int delay = r.next(10) == 0 ? r.next(5000) + 1000 : r.next(1000) + 1;
  if (idleTicks > 0) direction = fly.heading;
  startMove(fly, host, steps, direction, delay, idleTicks);
}

void startMove(FlyState& fly, FlyHost& host, int steps, int direction, int delay, int idleTicks) {
  fly.stepsLeft = steps;
  fly.direction = direction;
  fly.idleTicks = idleTicks;
  host.setTimerInterval(delay);
  host.setTimerEnabled(true);
}

void freezeFly(FlyState& fly) {
  fly.pauseTicks = kFreezeTicks;
}

int roundHalfEven(double v) {
  // Explicit rather than nearbyint: the result must not depend on the current rounding mode.
  if (std::isnan(v)) return 0;
  const double floor = std::floor(v);
  const double fraction = v - floor;
  double rounded = floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) rounded = floor + 1;
  if (rounded <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (rounded >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(rounded);
}

std::string walkingSpriteName(int direction, int frame) {
  return std::to_string(direction) + "_" + std::to_string(frame);
}

std::string idleSpriteName(int direction, int frame) {
  return "L" + walkingSpriteName(direction, frame);
}

}  // namespace zin
