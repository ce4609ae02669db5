#!/usr/bin/python3
"""A long run of the real Zintara.exe under Wine that churns flies through the tray menu and
watches the program's objects and memory for growth.

Usage: scripts/soak.py [--minutes N] [--interval S] [--json FILE]

Starts with 99 flies; then every --interval seconds (default 4) it alternately chooses "Close
all flies" and "Add 5 flies" in the tray menu, as the end-to-end tests do (the shell's
callback posted, the item clicked); every third round the flies are frozen (a mouse move
posted to each) around the close and after the add. After every action it samples: the
program's GDI and USER object counts and its private bytes (zdrive procinfo), its VmRSS,
RssAnon and VmHWM (/proc), its fly windows and all its top-level windows, the X windows of
the display, the RSS of the wineserver and of Xvfb, and the program's CPU since the sample
before. At the end it closes the program with its private close message (expects exit code 0
and the settings written back) and prints, per series, the first, last, minimum and maximum,
and whether the samples taken at equal fly counts (right after each close, right after each
add) stay flat. Needs the same environment as scripts/perf_wine.py.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winemeasure as wm  # noqa: E402
from winemeasure import E2EError, Session, e2e  # noqa: E402

START_FLIES = 99
STORED = {"Flies": START_FLIES, "OnTop": 1, "Startup": 0}
FREEZE_EVERY = 3
# The first rounds after the 99 flies go are the heap settling, not a trend.
WARMUP_ROUNDS = 2

# name, unit, whether any rise at all counts (object and window counts) or only a rise beyond
# the noise of a memory figure (the larger of 256 kB and 1 %).
SERIES = [
    ("flies", "", True),
    ("windows", "", True),
    ("x_windows", "", True),
    ("gdi_objects", "", True),
    ("user_objects", "", True),
    ("private_bytes", "kB", False),
    ("pagefile_usage", "kB", False),
    ("working_set", "kB", False),
    ("vm_rss", "kB", False),
    ("rss_anon", "kB", False),
    ("vm_hwm", "kB", False),
    ("wineserver_rss", "kB", False),
    ("xvfb_rss", "kB", False),
    ("cpu", "%", None),
]


class Soak:
    def __init__(self, s: Session, app: e2e.App, interval: float):
        self.s = s
        self.app = app
        self.interval = interval
        self.unix_pid = wm.program_pid(s, app)
        self.win_pid = wm.windows_pid(s)
        self.samples: list[dict] = []
        self.retries = 0
        self.t0 = time.monotonic()
        self._cpu = (time.monotonic(), wm.cpu_seconds(self.unix_pid) or 0.0)

    def sample(self, tag: str, round_no: int, frozen: bool) -> dict:
        s = self.s
        info = wm.procinfo(s, self.win_pid)
        status = wm.status_kb(self.unix_pid)
        flies = s.windows(**wm.FLY)
        now, cpu = time.monotonic(), wm.cpu_seconds(self.unix_pid) or 0.0
        row = {
            "t": round(now - self.t0, 2), "tag": tag, "round": round_no, "frozen": frozen,
            "flies": len(flies), "visible_flies": sum(1 for w in flies if w["visible"]),
            "windows": len(s.windows(pid=self.win_pid)), "x_windows": wm.x_window_count(s),
            "gdi_objects": info["gdi_objects"], "user_objects": info["user_objects"],
            "gui_error": info.get("gdi_objects_error", 0),
            "private_bytes": info["private_bytes"] // 1024,
            "pagefile_usage": info["pagefile_usage"] // 1024,
            "working_set": info["working_set"] // 1024,
            "vm_rss": status.get("VmRSS", 0), "rss_anon": status.get("RssAnon", 0),
            "vm_hwm": status.get("VmHWM", 0),
            "wineserver_rss": wm.rss_kb(s._server.pid), "xvfb_rss": wm.rss_kb(s._x.pid),
            "cpu": round(100 * (cpu - self._cpu[1]) / max(1e-6, now - self._cpu[0]), 1),
        }
        self._cpu = (now, cpu)
        self.samples.append(row)
        wm.log(f"{tag:12} round {round_no:3} flies {row['flies']:2} rss {row['vm_rss']} kB "
               f"anon {row['rss_anon']} kB windows {row['windows']} x {row['x_windows']} "
               f"cpu {row['cpu']} %{' (frozen)' if frozen else ''}")
        return row

    def act(self, caption: str, expect: int) -> None:
        """Chooses a tray-menu item until the flies number `expect` (three tries)."""
        for attempt in range(3):
            try:
                wm.choose(self.s, caption)
                self.s.wait_windows(count=expect, timeout=10, **wm.FLY)
                return
            except E2EError as e:
                self.retries += 1
                wm.log(f"{caption!r}, try {attempt + 1}: {e}")
                if self.s.windows(cls="#32768", visible=True):
                    self.s.close_popup_menu()
        raise E2EError(f"{caption!r} did not leave {expect} flies after three tries")

    def wait_round(self, due: float) -> float:
        time.sleep(max(0.0, due - time.monotonic()))
        return due + self.interval


def settle_window_manager(s: Session, x_empty: int, x_full: int) -> float:
    """Waits until openbox has dropped most frames of the closed start-up flies; returns how
    long that took. (Under Wine a shown fly is a managed window, framed by openbox, which
    falls behind the moves of 99 flies and only then gets to the closes.)"""
    t = time.monotonic()
    limit = x_empty + (x_full - x_empty) / 4
    while time.monotonic() - t < 180:
        if wm.x_window_count(s) <= limit:
            break
        time.sleep(1)
    took = time.monotonic() - t
    wm.log(f"openbox dropped the frames of the closed flies {took:.1f} s after the close")
    return took


def trend(values: list[float]) -> tuple[float, float, float]:
    """(median of the first third, median of the last third, least-squares slope per round)."""
    n = len(values)
    third = max(1, n // 3)
    first, last = statistics.median(values[:third]), statistics.median(values[-third:])
    if n < 2:
        return first, last, 0.0
    xs = range(n)
    mx, my = (n - 1) / 2, statistics.fmean(values)
    slope = sum((x - mx) * (y - my) for x, y in zip(xs, values)) / sum((x - mx) ** 2 for x in xs)
    return first, last, slope


def flat(first: float, last: float, exact: bool) -> bool:
    if exact:
        return last <= first
    return last - first <= max(256.0, 0.01 * abs(first))


def summary(samples: list[dict]) -> list[str]:
    lines = ["| Series | first | last | min | max | after each close: first third → last third "
             "(slope per round) | after each add: first third → last third (slope per round) |",
             "|---|---|---|---|---|---|---|"]
    verdicts = {}
    for name, unit, exact in SERIES:
        values = [r[name] for r in samples]
        cells = [name + (f" ({unit})" if unit else ""), *map(str, (values[0], values[-1],
                                                                  min(values), max(values)))]
        for tag in ("after-close", "after-add"):
            picked = [r[name] for r in samples if r["tag"] == tag and r["round"] >= WARMUP_ROUNDS]
            if len(picked) < 3 or exact is None:
                cells.append(f"{len(picked)} samples" if exact is not None else "-")
                continue
            first, last, slope = trend(picked)
            ok = flat(first, last, exact)
            verdicts[(name, tag)] = ok
            cells.append(f"{first:g} → {last:g} ({slope:+.2f}) {'flat' if ok else 'GROWS'}")
        lines.append("| " + " | ".join(cells) + " |")
    grows = [f"{n} {t}" for (n, t), ok in verdicts.items() if not ok]
    lines.append("")
    lines.append("Flat at equal fly counts: " + ("yes" if not grows else "no: " + ", ".join(grows)))
    return lines


def run(args) -> int:
    seconds = args.minutes * 60
    with Session(deadline=seconds + 600) as s:
        for name, value in STORED.items():
            s.reg_add(e2e.SETTINGS_KEY, name, "REG_DWORD", value)
        x_empty = wm.x_window_count(s)
        t = time.monotonic()
        app = s.start()
        s.wait_windows(count=START_FLIES, visible=True, timeout=240, **wm.FLY)
        wm.log(f"{START_FLIES} flies visible after {time.monotonic() - t:.1f} s")
        soak = Soak(s, app, args.interval)
        soak.sample("start", -1, False)
        meter = wm.Meter(wm.session_roles(s, soak.unix_pid))
        meter.start()
        end = time.monotonic() + seconds
        due = soak.wait_round(time.monotonic() + args.interval)
        round_no = 0
        settled = 0.0
        while time.monotonic() < end:
            frozen = round_no % FREEZE_EVERY == FREEZE_EVERY - 1
            if frozen:
                wm.freeze_all(s)
            soak.act("Close all flies", 0)
            soak.sample("after-close", round_no, frozen)
            if round_no == 0:
                settled = settle_window_manager(s, x_empty, soak.samples[0]["x_windows"])
                end += settled
                due = time.monotonic()
            due = soak.wait_round(due)
            soak.act("Add 5 flies", 5)
            if frozen:
                wm.freeze_all(s)
            soak.sample("after-add", round_no, frozen)
            due = soak.wait_round(due)
            round_no += 1

        load = meter.stop()
        # Still answering at the end: the close message ends it with 0 and writes the settings
        # back, which are removed first so that what is found is what it wrote.
        s.reg_delete(e2e.SETTINGS_KEY)
        t = time.monotonic()
        s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
        code = app.wait(60)
        exit_s = time.monotonic() - t
        saved = {name: s.reg_query(e2e.SETTINGS_KEY, name) for name in STORED}

    samples = soak.samples
    print(f"Soak: {args.minutes:g} min, {round_no} rounds of \"Close all flies\" + \"Add 5 flies\" "
          f"every {args.interval:g} s (every {FREEZE_EVERY}rd round frozen), "
          f"{len(samples)} samples, {soak.retries} menu actions repeated; openbox took "
          f"{settled:.1f} s to drop the frames of the {START_FLIES} closed flies.\n")
    print("\n".join(summary(samples)))
    print("\nCPU over the churn, per cent of one core: " + ", ".join(
        f"{role} {100 * load[role]:.1f}" for role in ("program", "Xvfb", "wineserver", "openbox",
                                                      "wine helpers", "driver", "foreign")
    ) + f" (foreign: the rest of the machine; load average {wm.loadavg()} at the end)")
    gui_error = samples[-1]["gui_error"]
    if samples[-1]["gdi_objects"] == 0 and gui_error:
        print(f"\nGetGuiResources returned 0 with error {gui_error} (Wine has no such counts); "
              "windows and x_windows stand in for USER objects, the memory series for GDI.")
    if all(r["private_bytes"] == 0 for r in samples):
        print("PrivateUsage is 0 (Wine fills only the basic counters for another process); "
              "pagefile_usage (its commit charge, RssAnon under Wine) stands in for it.")
    wanted = {name: ("REG_DWORD", value) for name, value in STORED.items()}
    print(f"\nAt the end: close message → exit code {code} after {exit_s:.2f} s; settings "
          f"written back: {'yes' if saved == wanted else f'no: {saved}'}")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"samples": samples, "exit_code": code, "saved": saved}, f, indent=1)
    return 0 if code == 0 and saved == wanted else 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--minutes", type=float, default=10,
                        help="length of the churn (default 10)")
    parser.add_argument("--interval", type=float, default=4,
                        help="seconds between menu actions (default 4)")
    parser.add_argument("--json", help="also write every sample to this file")
    args = parser.parse_args()
    wm.exit_if_missing(wm.setup_environment())
    wm.log(f"load average {wm.loadavg()}")
    try:
        return run(args)
    except E2EError as e:
        print(f"soak failed: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
