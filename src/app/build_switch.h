// The one place the screen-saver switch is set: the build defines ZIN_SCREEN_SAVER_MODE to 1
// for Zintara.scr and to 0 for Zintara.exe, from the same sources.
#pragma once

#ifndef ZIN_SCREEN_SAVER_MODE
#error "ZIN_SCREEN_SAVER_MODE must be defined by the build"
#endif

namespace zin {
inline constexpr bool ScreenSaverMode = ZIN_SCREEN_SAVER_MODE != 0;
}
