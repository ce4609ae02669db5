#!/usr/bin/env bash
# Every unit test built with AddressSanitizer and UBSan (clang, build/asan); any report of
# either fails the test that made it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan "$@"
