#include "core/fly_behaviour.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/random.h"

namespace zin {
namespace {

// Replays scripted draws and records everything the behaviour asks of its window, timer and
// work area, in one log so that the order of the calls can be checked.
class RecordingHost final : public FlyHost, public RandomSource {
 public:
  explicit RecordingHost(FlyState& fly) : fly_(fly) {}

  std::deque<int> draws;
  std::vector<int> ranges;  // the n of every R(n), in order
  std::vector<std::string> log;
  std::vector<std::string> drawn;
  std::vector<int> lefts;
  int width = 1920;
  int height = 1080;
  int widthReads = 0;
  int heightReads = 0;

  void script(std::initializer_list<int> values) { draws.insert(draws.end(), values); }

  int next(int n) override {
    ranges.push_back(n);
    if (draws.empty()) {
      ADD_FAILURE() << "unscripted draw R(" << n << ")";
      return 0;
    }
    const int v = draws.front();
    draws.pop_front();
    EXPECT_TRUE(v >= 0 && v < n) << "scripted " << v << " for R(" << n << ")";
    log.push_back("R" + std::to_string(n) + "=" + std::to_string(v));
    return v;
  }
  void reseed(std::uint32_t) override {}

  RandomSource& random() override { return *this; }
  int workAreaWidth() override {
    ++widthReads;
    log.push_back("W");
    return width;
  }
  int workAreaHeight() override {
    ++heightReads;
    log.push_back("H");
    return height;
  }
  void setTimerInterval(int ms) override { log.push_back("interval " + std::to_string(ms)); }
  void setTimerEnabled(bool enabled) override { log.push_back(enabled ? "enable" : "disable"); }
  void setWindowLeft(int left) override {
    lefts.push_back(left);
    log.push_back("left " + std::to_string(left));
  }
  void setWindowTop(int top) override { log.push_back("top " + std::to_string(top)); }
  void drawFrame() override {
    drawn.push_back(fly_.spriteName);
    log.push_back("draw " + fly_.spriteName);
  }

 private:
  FlyState& fly_;
};

FlyState walkingFly(double x, double y, int direction, int stepsLeft = 50) {
  FlyState fly;
  fly.posX = x;
  fly.posY = y;
  fly.heading = direction;
  fly.direction = direction;
  fly.stepsLeft = stepsLeft;
  return fly;
}

// Draws for a PickMove that picks a walk of 10 steps along the heading after 1 ms.
void scriptPlainWalk(RecordingHost& host, bool newHeading, int heading = 1) {
  if (newHeading) host.script({heading - 1});
  host.script({1, 0, 1, 1, 0});
}

TEST(FlyTick, BounceOffTheLeftEdgePushesBackAndPicksANewHeading) {
  FlyState fly = walkingFly(-19, 300, 8, 40);
  fly.frame = 2;
  RecordingHost host(fly);
  host.script({5, 1, 20, 2, 1, 99});  // heading 6, walk of 30 steps in direction 7, 100 ms

  flyTick(fly, host);

  EXPECT_DOUBLE_EQ(fly.posX, -19);
  EXPECT_DOUBLE_EQ(fly.posY, 298.5);
  EXPECT_TRUE(host.drawn.empty());
  EXPECT_EQ(fly.spriteName, "8_2");
  EXPECT_EQ(fly.frame, 3);
  EXPECT_EQ(fly.heading, 6);
  EXPECT_EQ(fly.direction, 7);
  EXPECT_EQ(fly.stepsLeft, 30);
  const std::vector<std::string> expected = {
      "interval 10", "left -19", "top 300", "W",     "H",        "disable",      "R8=5",
      "R8=1",        "R100=20",  "R3=2",    "R10=1", "R1000=99", "interval 100", "enable"};
  EXPECT_EQ(host.log, expected);
}

TEST(FlyTick, AStepEndingOnALimitIsInside) {
  struct Case {
    const char* name;
    double x, y;
    int direction;
    int width, height;
    bool drawn;
    double endX, endY;
  } cases[] = {
      {"left limit reached", -17, 500, 8, 1920, 1080, true, -20, 498.5},
      {"top limit reached", 500, -17, 1, 1920, 1080, true, 498.5, -20},
      {"right limit reached", 1877, 500, 3, 1920, 1080, true, 1880, 498},
      {"right limit passed", 1878, 500, 3, 1920, 1080, false, 1878, 498},
      {"bottom limit reached", 500, 997, 5, 1920, 1040, true, 502, 1000},
      {"bottom limit passed", 500, 998, 5, 1920, 1040, false, 502, 998},
      {"top-left corner passed", -19, -19, 1, 1920, 1080, false, -17.5, -19},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlyState fly = walkingFly(c.x, c.y, c.direction);
    RecordingHost host(fly);
    host.width = c.width;
    host.height = c.height;
    if (!c.drawn) scriptPlainWalk(host, true);

    flyTick(fly, host);

    EXPECT_EQ(host.drawn.size(), c.drawn ? 1u : 0u);
    EXPECT_DOUBLE_EQ(fly.posX, c.endX);
    EXPECT_DOUBLE_EQ(fly.posY, c.endY);
    EXPECT_TRUE(host.draws.empty());
  }
}

TEST(FlyTick, ReadsTheWorkAreaOnlyWhereTheLimitTestGetsTo) {
  // The log shows which reads belong to the test and which to the push-back.
  struct Case {
    const char* name;
    double x, y;
    int direction;
    std::vector<std::string> reads;
  } cases[] = {
      {"inside", 500, 500, 4, {"W", "H", "draw 4_1"}},
      {"past the left limit", -19, 500, 8, {"W", "H", "disable"}},
      {"past the top limit", 500, -19, 1, {"W", "H", "disable"}},
      {"past the right limit", 1879, 500, 3, {"W", "W", "H", "disable"}},
      {"past the bottom limit", 500, 1039, 5, {"W", "H", "W", "H", "disable"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlyState fly = walkingFly(c.x, c.y, c.direction);
    RecordingHost host(fly);
    if (c.reads.back() == "disable") scriptPlainWalk(host, true);

    flyTick(fly, host);

    const std::vector<std::string> afterMove(host.log.begin() + 3,
                                             host.log.begin() + 3 + c.reads.size());
    EXPECT_EQ(afterMove, c.reads);
  }
}

TEST(FlyTick, AFlyLeftOutsideByAShrunkWorkAreaGainsThreePixelsPerAttempt) {
  FlyState fly = walkingFly(1900, 500, 2);
  RecordingHost host(fly);
  host.width = 1800;
  for (double expected : {1898.0, 1896.0, 1894.0}) {
    scriptPlainWalk(host, true, 2);  // keeps walking in direction 2, one pixel right per step
    flyTick(fly, host);
    EXPECT_DOUBLE_EQ(fly.posX, expected);
  }
  EXPECT_TRUE(host.drawn.empty());
}

TEST(FlyTick, WindowPositionsRoundHalvesToEven) {
  struct Case {
    int direction;
    std::vector<int> lefts;
  } cases[] = {
      {1, {100, 98, 97, 96, 94, 92, 91, 90, 88}},
      {4, {100, 102, 105, 108, 110, 112, 115, 118}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.direction);
    FlyState fly = walkingFly(100, 500, c.direction);
    RecordingHost host(fly);
    for (std::size_t i = 0; i < c.lefts.size(); ++i) flyTick(fly, host);
    EXPECT_EQ(host.lefts, c.lefts);
  }
}

TEST(RoundHalfEven, GoesToTheEvenNeighbourOnAHalf) {
  const std::pair<double, int> cases[] = {{0.5, 0},   {1.5, 2},           {2.5, 2},  {-0.5, 0},
                                          {-1.5, -2}, {-2.5, -2},         {3.25, 3}, {-3.75, -4},
                                          {7.0, 7},   {1e300, 2147483647}};
  for (const auto& [v, expected] : cases) EXPECT_EQ(roundHalfEven(v), expected) << v;
}

TEST(FlyTick, TheShownFrameTrailsThePositionByOneStep) {
  FlyState fly = walkingFly(100, 200, 4);
  RecordingHost host(fly);

  flyTick(fly, host);
  EXPECT_EQ(host.log,
            (std::vector<std::string>{"interval 10", "left 100", "top 200", "W", "H", "draw 4_1"}));
  EXPECT_DOUBLE_EQ(fly.posX, 102.5);
  EXPECT_DOUBLE_EQ(fly.posY, 201);

  host.log.clear();
  flyTick(fly, host);
  EXPECT_EQ(host.log[1], "left 102");
  EXPECT_EQ(host.log[2], "top 201");
}

TEST(FlyTick, TheLastStepOfAWalkPicksTheNextMoveOnTheSameHeading) {
  FlyState fly = walkingFly(500, 500, 3, 1);
  fly.heading = 2;
  fly.frame = 6;
  RecordingHost host(fly);
  host.script({1, 0, 0, 1, 0});

  flyTick(fly, host);

  EXPECT_EQ(host.drawn, std::vector<std::string>{"3_6"});
  EXPECT_EQ(fly.frame, 1);
  EXPECT_EQ(fly.heading, 2);
  EXPECT_EQ(fly.direction, 1);
  const std::vector<std::string> tail(host.log.end() - 9, host.log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"draw 3_6", "disable", "R8=1", "R100=0", "R3=0",
                                            "R10=1", "R1000=0", "interval 1", "enable"}));
}

TEST(FlyTick, IdleAnimationEndsStandingAndKeepsTheHeading) {
  FlyState fly;
  fly.heading = 5;
  fly.direction = 5;
  fly.idleTicks = 12;
  fly.frame = 6;
  RecordingHost host(fly);
  std::vector<std::string> intervals;
  for (int i = 0; i < 12; ++i) {
    host.script({i * 6});
    intervals.push_back("interval " + std::to_string(30 + i * 6));
  }
  host.script({1, 0, 1, 1, 0});

  for (int i = 0; i < 12; ++i) flyTick(fly, host);

  std::vector<std::string> expected = {"L5_1", "L5_2", "L5_3"};
  expected.insert(expected.end(), 9, "5_2");
  EXPECT_EQ(host.drawn, expected);
  EXPECT_EQ(fly.frame, 3);
  EXPECT_EQ(fly.heading, 5);
  EXPECT_TRUE(host.lefts.empty());
  std::vector<std::string> shownIntervals;
  for (const auto& entry : host.log) {
    if (entry.rfind("interval", 0) == 0) shownIntervals.push_back(entry);
  }
  intervals.push_back("interval 1");  // the start delay of the next move
  EXPECT_EQ(shownIntervals, intervals);
  EXPECT_EQ(host.ranges.size(), 12u + 5u);  // no R(8) for a new heading
  EXPECT_TRUE(host.draws.empty());
}

TEST(FlyTick, ShortIdleAnimationsShowOnlyTheStandingFrame) {
  for (int ticks : {1, 5, 9}) {
    SCOPED_TRACE(ticks);
    FlyState fly;
    fly.heading = 3;
    fly.direction = 3;
    fly.idleTicks = ticks;
    RecordingHost host(fly);
    for (int i = 0; i < ticks; ++i) host.script({0});
    host.script({1, 0, 1, 1, 0});

    for (int i = 0; i < ticks; ++i) flyTick(fly, host);

    EXPECT_EQ(host.drawn, std::vector<std::string>(static_cast<std::size_t>(ticks), "3_2"));
  }
}

TEST(PickMove, DrawsInOrderAndInstallsTheMove) {
  struct Case {
    const char* name;
    int heading;
    bool newHeading;
    std::vector<int> draws;
    int endHeading, steps, direction, delay, idle;
  } cases[] = {
      {"worked example, wraps 9 to 1", 8, false, {3, 0, 2, 4, 499}, 8, 10, 1, 500, 0},
      {"wraps 0 to 8", 1, false, {1, 99, 0, 1, 999}, 1, 109, 8, 1000, 0},
      {"R(140) of 0 is a walk", 4, false, {0, 0, 5, 0, 3, 10}, 4, 15, 3, 11, 0},
      {"idle faces the heading", 6, false, {0, 7, 20, 2, 1, 0}, 6, 30, 6, 1, 7},
      {"longest idle", 6, false, {0, 139, 0, 0, 1, 0}, 6, 10, 6, 1, 139},
      {"new heading", 2, true, {4, 1, 0, 1, 1, 0}, 5, 10, 5, 1, 0},
      {"shortest long delay", 3, false, {1, 0, 1, 0, 0}, 3, 10, 3, 1000, 0},
      {"longest long delay", 3, false, {1, 0, 1, 0, 4999}, 3, 10, 3, 5999, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlyState fly;
    fly.heading = c.heading;
    RecordingHost host(fly);
    host.draws.assign(c.draws.begin(), c.draws.end());

    pickMove(fly, host, c.newHeading);

    EXPECT_EQ(fly.heading, c.endHeading);
    EXPECT_EQ(fly.stepsLeft, c.steps);
    EXPECT_EQ(fly.direction, c.direction);
    EXPECT_EQ(fly.idleTicks, c.idle);
    EXPECT_EQ(host.log.end()[-2], "interval " + std::to_string(c.delay));
    EXPECT_EQ(host.log.back(), "enable");
    EXPECT_TRUE(host.draws.empty());
  }
}

TEST(PickMove, AsksForTheRangesInOrder) {
  struct Case {
    bool newHeading;
    std::vector<int> draws;
    std::vector<int> ranges;
  } cases[] = {
      {true, {0, 0, 5, 0, 1, 0, 0}, {8, 8, 140, 100, 3, 10, 5000}},
      {false, {1, 0, 1, 1, 0}, {8, 100, 3, 10, 1000}},
  };
  for (const Case& c : cases) {
    FlyState fly;
    fly.heading = 1;
    RecordingHost host(fly);
    host.draws.assign(c.draws.begin(), c.draws.end());
    pickMove(fly, host, c.newHeading);
    EXPECT_EQ(host.ranges, c.ranges);
  }
}

TEST(FlyTick, AFrozenFlyOnlyCountsDown) {
  FlyState fly = walkingFly(500, 500, 4);
  fly.pauseTicks = 17;
  freezeFly(fly);
  EXPECT_EQ(fly.pauseTicks, kFreezeTicks);
  RecordingHost host(fly);

  for (int i = 0; i < kFreezeTicks; ++i) flyTick(fly, host);
  EXPECT_EQ(host.log, std::vector<std::string>(kFreezeTicks, "interval 10"));
  EXPECT_DOUBLE_EQ(fly.posX, 500);

  flyTick(fly, host);
  EXPECT_EQ(host.drawn, std::vector<std::string>{"4_1"});
}

TEST(FlyTick, AFrozenIdleAnimationDrawsAFreshIntervalEachTick) {
  FlyState fly;
  fly.direction = 2;
  fly.idleTicks = 20;
  fly.pauseTicks = 3;
  RecordingHost host(fly);
  host.script({0, 40, 79});

  for (int i = 0; i < 3; ++i) flyTick(fly, host);

  EXPECT_EQ(host.log, (std::vector<std::string>{"R80=0", "interval 30", "R80=40", "interval 70",
                                                "R80=79", "interval 109"}));
  EXPECT_EQ(fly.idleTicks, 20);
  EXPECT_EQ(fly.pauseTicks, 0);
}

TEST(SpriteNames, NameDirectionAndFrame) {
  EXPECT_EQ(walkingSpriteName(3, 5), "3_5");
  EXPECT_EQ(idleSpriteName(7, 2), "L7_2");
}

TEST(LcgRandom, FollowsTheClassicSequence) {
  // The first draws of R(100) from seed 0 of the generator this one reproduces.
  LcgRandom random;
  std::vector<int> draws;
  for (int i = 0; i < 10; ++i) draws.push_back(random.next(100));
  EXPECT_EQ(draws, (std::vector<int>{0, 3, 86, 20, 27, 67, 31, 16, 37, 42}));
}

TEST(LcgRandom, StaysInRangeAndReplaysAfterAReseed) {
  LcgRandom random(0xDEADBEEF);
  std::vector<int> first;
  for (int i = 0; i < 1000; ++i) {
    const int v = random.next(7);
    ASSERT_TRUE(v >= 0 && v < 7) << v;
    first.push_back(v);
  }
  EXPECT_EQ(random.next(0), 0);
  EXPECT_EQ(random.next(-5), 0);
  random.reseed(0xDEADBEEF);
  for (int expected : first) ASSERT_EQ(random.next(7), expected);
}

}  // namespace
}  // namespace zin
