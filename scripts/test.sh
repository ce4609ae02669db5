#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds everything, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
ctest --preset native "$@"
