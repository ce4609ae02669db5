// The fly, drawn from straight above in its own frame (head towards -y, units of sprite
// pixels) and turned onto the picture with cairo.
#pragma once

#include "image.h"

namespace artgen {

enum class Pose { Walking, Idle };

struct FlyFrame {
  double headingDeg = 0;  // clockwise from straight up, screen y growing downward
  Pose pose = Pose::Walking;
  int frame = 1;  // 1-6 walking, 1-5 idle
};

struct FlyStyle {
  int size = 60;          // square picture
  double scale = 1.0;     // picture pixels per fly unit
  double centreX = 28.5;  // where the body's centroid lands
  double centreY = 28.5;
};

// Straight-alpha RGBA; fully transparent pixels come out black.
Image drawFly(const FlyFrame& frame, const FlyStyle& style);

}  // namespace artgen
