#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds everything, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# The unit tests under AddressSanitizer and UBSan, each fuzzer for 20 s, and one very short
# run of the benchmarks that only shows they still run (they also check our pixels against
# libspng's first). Each step says how long it took.
timed() {
  local start=$SECONDS
  "$@"
  echo "test.sh: $* took $((SECONDS - start)) s"
}
timed scripts/sanitize.sh
timed scripts/fuzz.sh 20
timed build/native/bench/zin_frame_bench --benchmark_min_time=0.001
ctest --preset native "$@"
