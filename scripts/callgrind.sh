#!/usr/bin/env bash
# Instruction counts (callgrind's Ir) of frame draws in a Release tree (build/bench): one
# whole draw as the program does it, our reader alone and libspng alone on the same sprite.
# Counts do not depend on the machine's load, so a change can be judged by them.
# Usage: scripts/callgrind.sh [SPRITE] [DRAWS]   (default: 1_1, 1)
set -euo pipefail
cd "$(dirname "$0")/.."
sprite="${1:-1_1}"
draws="${2:-1}"
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Only what runs inside zin_measured_draws is counted: no start-up, no file reading. The
# driver itself counts the heap allocations made there.
count() {
  valgrind --tool=callgrind --toggle-collect=zin_measured_draws \
    --callgrind-out-file="$out/callgrind.out" build/bench/bench/zin_frame_driver "$@" \
    2>"$out/log" >"$out/stdout" || { cat "$out/log" >&2; exit 1; }
  echo "$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$out/log")" \
    "$(sed -n 's/.*, \([0-9]*\) heap allocation.*/\1/p' "$out/stdout")"
}
line=$(count "$sprite" "$draws")
read -r pipeline pipeline_allocs <<<"$line"
line=$(count --reader "$sprite" "$draws")
read -r reader reader_allocs <<<"$line"
line=$(count --spng "$sprite" "$draws")
read -r spng spng_allocs <<<"$line"
echo "sprite $sprite, $draws draw(s):"
printf '%-9s %12s %12s %12s\n' "" "total Ir" "Ir per draw" "allocations"
for what in pipeline reader spng; do
  allocs="${what}_allocs"
  printf '%-9s %12d %12d %12d\n' "$what" "${!what}" $((${!what} / draws)) "${!allocs}"
done
awk -v p="$pipeline" -v r="$reader" -v s="$spng" \
  'BEGIN { printf "reader / spng = %.2f, pipeline / spng = %.2f\n", r / s, p / s }'
