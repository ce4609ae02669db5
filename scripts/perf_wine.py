#!/usr/bin/python3
"""CPU and memory of the real Zintara.exe under Wine, with 5 and with 99 flies, walking and
frozen, and how long the start takes; prints a markdown table for the README.

Usage: scripts/perf_wine.py [--seconds N] [--retries N] [--quiet-wait S] [--compositor]
                            [--json FILE]

Needs the win32-i686 build (Zintara.exe, zdrive.exe) and WINEPREFIX naming a prefix of your
own (python3 tests/e2e/make_prefix.py /tmp/zperf-prefix). ZINTARA_EXE and ZDRIVE_EXE default to
the build. Each fly count gets its own X display, window manager and wineserver (the end-to-end
harness's Session). CPU is utime + stime from /proc per second of wall time, in per cent of one
core; "others" is what the rest of the machine used meanwhile, outside this script's processes,
and "steal" what the hypervisor kept from this machine. Each run first waits (a while) until
the two together take less than a quarter of a core; a count measured while they took more is
measured again, and the quietest run is kept.

Per count: the start (until the first and until all flies are visible); then every fly frozen
(a mouse move posted to each once a second), measured once openbox has caught up with the
start; then, once the freeze has run out, every fly walking; then the private close message.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import shlex
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winemeasure as wm  # noqa: E402
from winemeasure import E2EError, Session, e2e  # noqa: E402

COUNTS = (5, 99)
# How long openbox may take to catch up with the start before the frozen figures are taken.
SETTLE_LIMIT = 120
COLUMNS = ("program", "Xvfb", "wineserver", "openbox", "xcompmgr", "wine helpers", "driver")


def moved(before: list[dict], after: list[dict]) -> int:
    where = {w["hwnd"]: (w["rect"]["left"], w["rect"]["top"]) for w in before}
    return sum(1 for w in after
               if w["hwnd"] in where and where[w["hwnd"]] != (w["rect"]["left"], w["rect"]["top"]))


def measure_count(count: int, seconds: float, compositor: bool) -> dict:
    start_budget = 30 + 2 * count
    deadline = start_budget + 2 * seconds + SETTLE_LIMIT + 120
    result: dict = {"flies": count, "loadavg_before": wm.loadavg()}
    with Session(compositor=compositor, deadline=deadline) as s:
        s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", count)
        t0 = time.monotonic()
        app = s.start()
        s.wait_windows(count=1, at_least=True, visible=True, timeout=start_budget, **wm.FLY)
        result["first_visible_s"] = time.monotonic() - t0
        s.wait_windows(count=count, visible=True, timeout=start_budget, **wm.FLY)
        result["all_visible_s"] = time.monotonic() - t0
        pid = wm.program_pid(s, app)
        meter = wm.Meter(wm.session_roles(s, pid))

        # Frozen first. Under Wine a shown fly is a managed window: openbox frames it and
        # falls behind the moves of many flies, and while it catches up Wine moves the
        # frozen flies' windows to the places it reports. A minute of walking first would
        # leave minutes of that; the start leaves seconds, which pass before the measurement.
        # A freeze lasts 200 of a fly's ticks, about two seconds: a round a second holds it.
        window_manager = {role: meter.roles[role] for role in ("openbox", "Xvfb")}
        settle_start = time.monotonic()
        quiet = 0
        while quiet < 2 and time.monotonic() - settle_start < SETTLE_LIMIT:
            wm.freeze_all(s)
            probe = wm.Meter(window_manager)
            probe.start()
            time.sleep(1)
            second = probe.stop()
            quiet = quiet + 1 if second["openbox"] + second["Xvfb"] < 0.1 else 0
        result["frozen_settle_s"] = time.monotonic() - settle_start
        wm.freeze_all(s)
        flies0 = s.windows(**wm.FLY)
        posted = [wm.freeze_all(s)]
        meter.start()
        end = meter.t0 + seconds
        next_round = meter.t0
        while True:
            next_round += 1
            time.sleep(max(0.0, next_round - time.monotonic()))
            if next_round >= end:
                break
            posted.append(wm.freeze_all(s))
        frozen = meter.stop()
        flies1 = s.windows(**wm.FLY)
        frozen["moved"] = moved(flies0, flies1)
        frozen["posted_min"] = min(posted) if posted else 0
        frozen["memory_kb"] = wm.status_kb(pid)
        result["frozen"] = frozen

        # The last freeze runs out within about two seconds; then every fly walks again.
        time.sleep(3)
        flies0 = s.windows(**wm.FLY)
        meter.start()
        time.sleep(seconds)
        walking = meter.stop()
        flies1 = s.windows(**wm.FLY)
        walking["moved"] = moved(flies0, flies1)
        walking["memory_kb"] = wm.status_kb(pid)
        result["walking"] = walking

        t = time.monotonic()
        s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
        result["exit_code"] = app.wait(60)
        result["exit_s"] = time.monotonic() - t
    result["loadavg_after"] = wm.loadavg()
    return result


def busiest(result: dict) -> float:
    """The most the rest of the machine and the hypervisor took in either state. Steal counts:
    it is other tenants of the host, and a program driven by timers does less work a second
    when it gets less CPU (99 walking flies: about 70 % of a core with little steal, 44 % with
    80 % steal)."""
    return max(m["foreign"] + m["steal"] for m in (result["walking"], result["frozen"]))


def pct(v: float) -> str:
    return f"{100 * v:.1f} %"


def table(results: list[dict], compositor: bool) -> str:
    columns = [c for c in COLUMNS if c != "xcompmgr" or compositor]
    names = {"program": "Zintara.exe", "driver": "zdrive etc."}
    head = ["Flies", "Flies are", *[names.get(c, c) for c in columns], "others on the machine",
            "hypervisor steal", "VmHWM", "VmRSS"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for r in results:
        for state in ("frozen", "walking"):
            m = r[state]
            cells = [str(r["flies"]), state, *[pct(m.get(c, 0.0)) for c in columns],
                     pct(m["foreign"]), pct(m["steal"]), wm.fmt_kb(m["memory_kb"].get("VmHWM", 0)),
                     wm.fmt_kb(m["memory_kb"].get("VmRSS", 0))]
            lines.append("| " + " | ".join(cells) + " |")
    lines += ["", "| Flies | first fly visible | all flies visible | close message to exit |",
              "|---|---|---|---|"]
    for r in results:
        lines.append(f"| {r['flies']} | {r['first_visible_s']:.2f} s | {r['all_visible_s']:.2f} s "
                     f"| {r['exit_s']:.2f} s (exit code {r['exit_code']}) |")
    return "\n".join(lines)


def notes(results: list[dict]) -> list[str]:
    out = []
    by = {r["flies"]: r for r in results}
    if 5 in by and 99 in by:
        for state in ("walking", "frozen"):
            a, b = by[5][state]["program"], by[99][state]["program"]
            if a > 0:
                out.append(f"- Zintara.exe CPU, 99 flies / 5 flies, {state}: {b / a:.1f}x")
        for count in (5, 99):
            w, f = by[count]["walking"]["program"], by[count]["frozen"]["program"]
            if w > 0:
                out.append(f"- Zintara.exe CPU, {count} flies, frozen / walking: {f / w:.2f}")
    for r in results:
        out.append(f"- {r['flies']} flies: flies that moved in the measured time: walking "
                   f"{r['walking']['moved']}, frozen {r['frozen']['moved']} (of {r['flies']}); "
                   f"freeze posts reached at least {r['frozen']['posted_min']} windows a round; "
                   f"openbox and Xvfb took {r['frozen_settle_s']:.0f} s to go quiet after the "
                   "start with the flies frozen (not measured); "
                   f"load average {r['loadavg_before']} before, {r['loadavg_after']} after"
                   + (f"; measured {r['attempts']} times, the quietest kept"
                      if r["attempts"] > 1 else ""))
    return out


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=20,
                        help="measured time per state once all flies are visible (default 20)")
    parser.add_argument("--retries", type=int, default=2,
                        help="extra runs of a count measured while the machine was busy")
    parser.add_argument("--quiet-wait", type=float, default=180,
                        help="seconds to wait for a quiet machine before each run (default 180)")
    parser.add_argument("--compositor", action="store_true", help="run xcompmgr as well")
    parser.add_argument("--json", help="also write the raw figures to this file")
    args = parser.parse_args()
    wm.exit_if_missing(wm.setup_environment())

    results = []
    try:
        for count in COUNTS:
            runs = []
            for attempt in range(1 + max(0, args.retries)):
                wm.wait_for_quiet(args.quiet_wait)
                wm.log(f"{count} flies, run {attempt + 1}")
                runs.append(measure_count(count, args.seconds, args.compositor))
                load = busiest(runs[-1])
                if load <= wm.BUSY_CORES:
                    break
                wm.log(f"others and the hypervisor took {pct(load)} of a core meanwhile: again")
            best = min(runs, key=busiest)
            best["attempts"] = len(runs)
            results.append(best)
    except E2EError as e:
        print(f"measurement failed: {e}", file=sys.stderr)
        return 1

    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    env = [f"WINEPREFIX={shlex.quote(os.environ['WINEPREFIX'])}"]
    if os.path.abspath(os.environ["ZINTARA_EXE"]) != os.path.join(wm.REPO, "build", "win32-i686",
                                                                   "Zintara.exe"):
        env.append(f"ZINTARA_EXE={shlex.quote(os.environ['ZINTARA_EXE'])}")
    command = " ".join([*env, "scripts/perf_wine.py", f"--seconds {args.seconds:g}"]
                       + (["--compositor"] if args.compositor else []))
    print(f"CPU in per cent of one core, {args.seconds:g} s per row; {wine}, "
          f"{os.cpu_count()} CPUs, {platform.machine()}, Xvfb 1280x800x24, openbox"
          + (", xcompmgr" if args.compositor else ", no compositor") + ".\n")
    print(table(results, args.compositor))
    print()
    print("\n".join(notes(results)))
    print(f"\nReproduce: `{command}`")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
    return 0 if all(r["exit_code"] == 0 for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
