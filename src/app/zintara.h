#pragma once

namespace zin {

// The program: start, message loop, end. The caller has installed the platform; the
// result is the exit code.
int ZintaraMain();

}  // namespace zin
