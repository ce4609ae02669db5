#include "platform/platform.h"

#include <cassert>

namespace zin::ui {
namespace {
Platform* installed = nullptr;
}

Platform& platform() {
  assert(installed && "no platform installed");
  return *installed;
}

void setPlatform(Platform* p) {
  installed = p;
}

}  // namespace zin::ui
