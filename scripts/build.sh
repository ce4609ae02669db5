#!/usr/bin/env bash
# Builds the Windows program (32-bit release target and the 64-bit variant) and the native
# tree with the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win32-i686 win64 native; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
