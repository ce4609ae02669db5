"""Creates a fresh Wine prefix for one run of the end-to-end tests.

Usage: python3 make_prefix.py PREFIX

The prefix is wiped and rebuilt (wineboot --init) without any X display, and the command
returns once the prefix's wineserver has ended, so that nothing of it is left running.
"""

import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zintara_e2e as e2e  # noqa: E402


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    prefix = os.path.abspath(sys.argv[1])
    if not os.access("/usr/lib/wine/wine", os.X_OK):
        e2e.log("wine32 is not installed: a 32-bit program would not start")
        return 1
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "WINESERVER", "WINELOADER"):
        env.pop(name, None)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES=e2e.WINE_OVERRIDES)
    t0 = time.monotonic()
    try:
        error = build(prefix, env)
    except subprocess.TimeoutExpired as e:
        error = f"timed out: {e}"
    if error:
        subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
    left = e2e.processes_using_prefix(prefix)
    if left:
        error = error or f"still running on the prefix: {left}"
        for pid, _ in left:
            try:
                os.kill(pid, 9)
            except OSError:
                pass
    if error:
        e2e.log(f"cannot make the Wine prefix {prefix}: {error}")
        return 1
    e2e.log(f"prefix {prefix} ready in {time.monotonic() - t0:.1f} s")
    return 0


def build(prefix: str, env: dict) -> str:
    # A server still running on an older prefix at this path would serve the deleted files.
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    r = e2e.run_to_files(["wineboot", "--init"], env, 300)
    if r.returncode != 0:
        err = r.stderr.decode(errors="replace").strip()
        return f"wineboot --init failed ({r.returncode}): {err}"
    subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=120)
    if not os.path.isfile(os.path.join(prefix, "system.reg")):
        return "wineboot left no system.reg"
    # Windows has "MS Sans Serif" and Tahoma; Debian's Wine keeps them outside the prefix, and
    # without them the settings window is drawn in a stand-in font of other metrics.
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    source = "/usr/share/wine/fonts"
    if not os.path.isdir(source):
        return f"{source} is missing (Debian package fonts-wine)"
    for name in os.listdir(source):
        shutil.copy2(os.path.join(source, name), fonts)
    return ""


if __name__ == "__main__":
    sys.exit(main())
