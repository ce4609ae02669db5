// The two pictures that are too small to draw with vector shapes: at 16 or 23 pixels any
// smooth rendering of a fly, a hand or text turns to mush, while hand-placed pixels stay
// sharp at 100 %.
#pragma once

#include "image.h"

namespace artgen {

// 49 × 23, opaque: a blue thumbs-up and the word "Like" in a light rounded frame.
Image drawLikeButton();

// 16 × 16: the fly from above, head up, on a transparent background.
Image drawSmallFly();

}  // namespace artgen
