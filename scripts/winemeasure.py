"""What perf_wine.py and soak.py share: the inputs they need, reading /proc for the processes
of one end-to-end Session, the machine's load from outside that Session, zdrive's process
counters, freezing every fly, and the tray menu.

Figures only: nothing here decides that a number is good or bad.
"""

from __future__ import annotations

import os
import re
import resource
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import zintara_e2e as e2e  # noqa: E402
from zintara_e2e import E2EError, Session  # noqa: E402, F401

FLY = dict(cls="TForm", title_prefix="frmPngFly")
WM_MOUSEMOVE = 0x0200
WM_RBUTTONUP = 0x0205
CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")

# CPU (in cores) that others on the machine, or the hypervisor, may take while we measure;
# beyond it a figure says more about them than about the program.
BUSY_CORES = 0.25


def log(message: str) -> None:
    e2e.log(message)


def setup_environment() -> list[str]:
    """Fills in ZINTARA_EXE and ZDRIVE_EXE from the default build; returns what is missing."""
    exe = os.environ.setdefault(
        "ZINTARA_EXE", os.path.join(REPO, "build", "win32-i686", "Zintara.exe"))
    zdrive = os.environ.setdefault("ZDRIVE_EXE", os.path.join(os.path.dirname(exe), "zdrive.exe"))
    problems = []
    for path, what in ((exe, "the program"), (zdrive, "the test driver")):
        if not os.path.isfile(path):
            problems.append(
                f"{what} is not built: {path}\n"
                "    build it first: "
                "cmake --preset win32-i686 && cmake --build --preset win32-i686")
    prefix = os.environ.get("WINEPREFIX", "")
    if not prefix or not os.path.isfile(os.path.join(prefix, "system.reg")):
        problems.append(
            f"WINEPREFIX {prefix or '(unset)'} is not an initialised Wine prefix\n"
            "    make one: python3 tests/e2e/make_prefix.py /tmp/zperf-prefix, then run "
            "WINEPREFIX=/tmp/zperf-prefix scripts/...")
    elif os.path.realpath(prefix).startswith(os.path.realpath(os.path.join(REPO, "build"))):
        # The test suite wipes and rebuilds its prefix; a measurement must not share it.
        problems.append(f"WINEPREFIX {prefix} belongs to the test suite: use a prefix of your own")
    else:
        # At its end the Session kills every process whose environment names its prefix, so a
        # shell or wrapper above us that exported it would go too.
        holders = _ancestors_using(os.path.abspath(prefix))
        if holders:
            problems.append(
                f"WINEPREFIX is set in {holders}, which the session would kill at its end: "
                "set it for this command only (WINEPREFIX=... scripts/...; "
                "under a wrapper: timeout N env WINEPREFIX=... scripts/...)")
    return problems


def _ancestors_using(prefix: str) -> list[str]:
    entry = b"WINEPREFIX=" + os.fsencode(prefix)
    table = e2e._proc_table()
    found, pid = [], table.get(os.getpid(), (0,))[0]
    while pid > 1 and pid in table:
        if e2e._environ_has(pid, entry):
            found.append(f"{pid} ({table[pid][2][:60]})")
        pid = table[pid][0]
    return found


def exit_if_missing(problems: list[str]) -> None:
    if problems:
        print("cannot measure:\n  " + "\n  ".join(problems), file=sys.stderr)
        sys.exit(2)


# ----------------------------------------------------------------- /proc


def cpu_seconds(pid: int) -> float | None:
    """utime + stime of a live process, in seconds; None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            stat = f.read().decode(errors="replace")
    except OSError:
        return None
    fields = stat[stat.rfind(")") + 2 :].split()
    return (int(fields[11]) + int(fields[12])) / CLK_TCK


def status_kb(pid: int) -> dict[str, int]:
    """The kB figures of /proc/PID/status (VmHWM, VmRSS, RssAnon, ...)."""
    values = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                name, _, rest = line.partition(":")
                parts = rest.split()
                if len(parts) == 2 and parts[1] == "kB":
                    values[name] = int(parts[0])
    except OSError:
        pass
    return values


def _cmdline(pid: int) -> str:
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace").strip()
    except OSError:
        return ""


def program_pid(s: Session, app: e2e.App) -> int:
    """The Unix pid of the Wine process that runs the program of this Session.

    Other engineers run the same Zintara.exe meanwhile, so the command line alone is not
    enough: the process must also use this Session's prefix."""
    name = os.path.basename(s.exe)
    pattern = re.compile(r"(^|[\\/])" + re.escape(name) + r"(\s|$)", re.IGNORECASE)
    found = [pid for pid, cmd in e2e.processes_using_prefix(s.prefix) if pattern.search(cmd)]
    if len(found) != 1:
        raise E2EError(f"expected one {name} on {s.prefix}, found {found}")
    if app.process.pid != found[0]:
        log(f"note: {name} runs as pid {found[0]}, not the launched pid {app.process.pid}")
    return found[0]


def session_roles(s: Session, program: int) -> dict[str, list[int]]:
    """Pids of this Session by role; 'wine helpers' are Wine's own programs (explorer, ...)."""
    roles = {"program": [program], "Xvfb": [s._x.pid], "wineserver": [s._server.pid],
             "openbox": [s._wm.pid] if s._wm else [], "xcompmgr": [s._comp.pid] if s._comp else []}
    known = {pid for pids in roles.values() for pid in pids}
    roles["wine helpers"] = sorted(pid for pid, _ in e2e.processes_using_prefix(s.prefix)
                                   if pid not in known and cpu_seconds(pid) is not None)
    return roles


def _machine_jiffies() -> tuple[int, int]:
    """(busy, steal) jiffies of all CPUs together since boot."""
    with open("/proc/stat") as f:
        fields = [int(v) for v in f.readline().split()[1:]]
    user, nice, system, idle, iowait, irq, softirq, steal = (fields + [0] * 8)[:8]
    return user + nice + system + irq + softirq, steal


def _our_tree_seconds() -> float:
    """CPU of this Python, of its reaped children and of every live descendant."""
    me = resource.getrusage(resource.RUSAGE_SELF)
    kids = resource.getrusage(resource.RUSAGE_CHILDREN)
    total = me.ru_utime + me.ru_stime + kids.ru_utime + kids.ru_stime
    for pid in e2e._descendants(os.getpid()):
        total += cpu_seconds(pid) or 0.0
    return total


class Meter:
    """CPU per second of wall time of each role between start() and stop(), and of the
    machine outside our process tree (the load of whoever else shares the machine)."""

    def __init__(self, roles: dict[str, list[int]]):
        self.roles = roles

    def _role_seconds(self) -> dict[str, float]:
        return {role: sum(cpu_seconds(pid) or 0.0 for pid in pids)
                for role, pids in self.roles.items()}

    def start(self) -> None:
        self.t0 = time.monotonic()
        self.roles0 = self._role_seconds()
        self.children0 = self._children_seconds()
        self.tree0 = _our_tree_seconds()
        self.machine0 = _machine_jiffies()

    @staticmethod
    def _children_seconds() -> float:
        kids = resource.getrusage(resource.RUSAGE_CHILDREN)
        return kids.ru_utime + kids.ru_stime

    def stop(self) -> dict:
        wall = time.monotonic() - self.t0
        roles = self._role_seconds()
        tree = _our_tree_seconds()
        busy, steal = _machine_jiffies()
        ours = tree - self.tree0
        result = {role: (roles[role] - self.roles0[role]) / wall for role in roles}
        # The short-lived helpers (zdrive, reg) are reaped by us and counted as our children.
        result["driver"] = (self._children_seconds() - self.children0) / wall
        result["foreign"] = max(0.0, ((busy - self.machine0[0]) / CLK_TCK - ours) / wall)
        result["steal"] = (steal - self.machine0[1]) / CLK_TCK / wall
        result["wall"] = wall
        return result


def wait_for_quiet(max_wait: float, window: float = 3) -> float:
    """Waits until the machine outside our processes, with what the hypervisor steals, takes
    under BUSY_CORES (or max_wait passes); returns the last load seen, in cores."""
    end = time.monotonic() + max_wait
    meter = Meter({})
    while True:
        meter.start()
        time.sleep(window)
        second = meter.stop()
        load = second["foreign"] + second["steal"]
        if load <= BUSY_CORES:
            return load
        if time.monotonic() >= end:
            log(f"the machine stayed busy ({load:.2f} cores taken from us): measuring anyway")
            return load
        log(f"the machine is busy ({load:.2f} cores taken from us): waiting")
        time.sleep(min(max(0.0, end - time.monotonic()), 10))


def loadavg() -> str:
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def rss_kb(pid: int) -> int:
    return status_kb(pid).get("VmRSS", 0)


def x_window_count(s: Session) -> int:
    """X windows in the display, leaked ones included (Wine makes one per visible window)."""
    r = subprocess.run(["xwininfo", "-root", "-tree"], env=s.env, capture_output=True, text=True,
                       timeout=30)
    return sum(1 for line in r.stdout.splitlines() if line.strip().startswith("0x"))


# ----------------------------------------------------------------- zdrive


def procinfo(s: Session, windows_pid: int) -> dict:
    return s.zdrive("procinfo", "--pid", windows_pid)


def windows_pid(s: Session) -> int:
    (main,) = s.windows(cls="TfrmMain")
    return main["pid"]


def freeze_all(s: Session) -> int:
    """A mouse move over every fly, as if the pointer crossed each; returns how many got one."""
    doc = s.zdrive("post", *s._filters(**FLY), "--msg", WM_MOUSEMOVE, "--lparam", 0x001E001E,
                   "--all", check=False)
    return int(doc.get("posted", 0))


# ----------------------------------------------------------------- the tray menu


def open_menu(s: Session) -> dict:
    """The shell's callback for a right click on the tray icon, with the mouse parked where
    the menu has room (Wine's stand-in tray drops real clicks while flies walk)."""
    s.mouse_move(700, 250)
    s.post(e2e.WM_TRAYNOTIFY, 1, WM_RBUTTONUP, cls="TfrmMain")
    (menu,) = s.wait_windows(cls="#32768", visible=True, timeout=5)
    time.sleep(0.3)
    return menu


def choose(s: Session, caption: str) -> None:
    menu = open_menu(s)
    s.click(*e2e.menu_item_centres(menu)[caption])
    try:
        s.wait_windows(cls="#32768", visible=True, count=0, timeout=5)
    except E2EError:
        s.close_popup_menu()
        raise


def fmt_kb(kb: float) -> str:
    return f"{kb / 1024:.1f} MiB"
