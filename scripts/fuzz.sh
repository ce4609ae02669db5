#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, build/fuzz) and runs each for a bounded time, starting
# from its committed seeds in fuzz/corpus/<target>. Any crash, leak, sanitizer report or
# timeout fails the script; the input that caused it is kept in build/fuzz/artifacts/.
# New inputs found on the way go to a scratch folder, not to the committed corpus.
# Usage: scripts/fuzz.sh [seconds per target]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
targets=(png settings saver)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
artifacts="$PWD/build/fuzz/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
  mkdir -p "$artifacts/$t" "$scratch/$t"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "== fuzz $t for ${seconds} s"
  # -timeout: one input taking seconds is a finding too, not just a slow run.
  if ! "build/fuzz/fuzz/zin_fuzz_$t" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$t/" \
    "$scratch/$t" "fuzz/corpus/$t" >"$scratch/$t.log" 2>&1; then
    tail -n 60 "$scratch/$t.log"
    echo "fuzz $t: FAILED; the input is in $artifacts/$t/" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$scratch/$t.log" || true
done
echo "fuzz: ${#targets[@]} targets ran ${seconds} s each without a finding"
