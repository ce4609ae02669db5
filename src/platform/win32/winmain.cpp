// The entry of the Windows program.
#include <windows.h>

#include "app/zintara.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  zin::win32::Win32Platform platform(instance);
  return zin::ZintaraMain();
}
