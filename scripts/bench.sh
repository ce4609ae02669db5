#!/usr/bin/env bash
# Runs the benchmarks in a Release tree (build/bench) and prints every figure as a ratio to
# libspng decoding the same sprites in the same run, with the targets beside the two that
# have one. Only ratios are worth reading: absolute times on a shared machine are noise.
# Extra arguments go to the benchmark program (e.g. --benchmark_repetitions=15).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
# Interleaved repetitions spread a burst of load on the machine over every benchmark alike.
build/bench/bench/zin_frame_bench --benchmark_format=json --benchmark_repetitions=9 \
  --benchmark_enable_random_interleaving=true --benchmark_min_time=0.05 "$@" >"$json"
python3 - "$json" <<'PY'
import json, statistics, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
times = {}
for r in runs:
    if r.get("run_type") == "iteration" and "error_occurred" not in r:
        times.setdefault(r["run_name"], []).append(r["cpu_time"])
median = {name: statistics.median(t) for name, t in times.items()}

print(f"{'benchmark':<16}{'runs':>5}{'median ns':>12}{'/ libspng':>11}{'/ copy':>9}")
for name in sorted(median):
    sprite = name.split("/", 1)[1]
    spng = median.get("spng/" + sprite)
    ratio = f"{median[name] / spng:.2f}" if spng else "-"
    print(f"{name:<16}{len(times[name]):>5}{median[name]:>12.0f}{ratio:>11}"
          f"{median[name] / median['copy/14400']:>9.0f}")

print()
for sprite in ("1_1", "all"):
    for what, target in (("reader", 1.0), ("pipeline", 1.5)):
        r = median[f"{what}/{sprite}"] / median[f"spng/{sprite}"]
        verdict = "within" if r <= target else "OVER"
        print(f"{what}/{sprite} / spng/{sprite} = {r:.2f} (target <= {target}: {verdict})")
PY
