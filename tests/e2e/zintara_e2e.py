"""End-to-end harness: runs the Windows build under Wine in a private X display.

A test script does

    with Session() as s:
        app = s.start()
        s.wait_windows(cls="TForm", count=5, visible=True)
        ...

Each Session owns its whole world: an Xvfb display, openbox, optionally xcompmgr and a
wineserver for the prefix named by WINEPREFIX. All of them are stopped on every way out of
the `with` block, and a Session that finds anything of its own still running after its
orderly shutdown kills it and fails the test.

Environment (set by CTest): ZINTARA_EXE, ZDRIVE_EXE (default: zdrive.exe next to
ZINTARA_EXE), WINEPREFIX (a prefix made by wineboot). ZINTARA_E2E_DEADLINE (seconds, default
240) bounds a whole session; ZINTARA_E2E_KEEP=1 keeps the work directory (screenshots, program
output) even when the test passes.
"""

from __future__ import annotations

import ctypes
import json
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

WM_CLOSE = 0x0010
WM_CANCELMODE = 0x001F
WM_COMMAND = 0x0111
WM_USER = 0x0400
WM_TRAYNOTIFY = WM_USER + 1
WM_CLOSEREQUEST = WM_USER + 103

WS_VISIBLE = 0x10000000
WS_POPUP = 0x80000000
WS_CAPTION = 0x00C00000
WS_EX_TOPMOST = 0x00000008
WS_EX_LAYERED = 0x00080000

SETTINGS_KEY = r"HKCU\Software\ZintaraPro"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "ZintaraPro"

TRAY_WINDOW_CLASS = "__winex11_standalone_tray"
TRAY_WINDOW_TITLE = "Wine System Tray"
TRAY_ICON_CLASS = "__winex11_tray_icon"

WINE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

_PR_SET_CHILD_SUBREAPER = 36
_PR_SET_PDEATHSIG = 1


class E2EError(AssertionError):
    """A failed expectation or a broken test world; fails the test."""


class E2ETimeout(E2EError):
    """The session ran past its deadline."""


def log(message: str) -> None:
    print(f"[e2e {time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def wait_until(predicate, timeout: float, what: str, interval: float = 0.1):
    """Polls predicate until it returns something truthy; returns that value."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= end:
            raise E2EError(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def _libc():
    return ctypes.CDLL(None, use_errno=True)


def _die_with_parent() -> None:
    # If the harness itself is killed hard, the X server and window manager must not outlive it.
    _libc().prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def _proc_table() -> dict[int, tuple[int, str, str]]:
    """pid -> (ppid, state, command line) for every process visible in /proc."""
    table = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat", "rb") as f:
                stat = f.read().decode(errors="replace")
            with open(f"/proc/{name}/cmdline", "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
        # The command name may hold spaces and parentheses: split after the last ')'.
        rest = stat[stat.rfind(")") + 2 :].split()
        comm = stat[stat.find("(") : stat.rfind(")") + 1]
        table[int(name)] = (int(rest[1]), rest[0], cmd or comm)
    return table


def _descendants(root: int) -> dict[int, tuple[str, str]]:
    table = _proc_table()
    children: dict[int, list[int]] = {}
    for pid, (ppid, _, _) in table.items():
        children.setdefault(ppid, []).append(pid)
    found, todo = {}, list(children.get(root, []))
    while todo:
        pid = todo.pop()
        found[pid] = table[pid][1:]
        todo.extend(children.get(pid, []))
    return found


def _environ_has(pid: int, entry: bytes) -> bool:
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return entry in f.read().split(b"\0")
    except OSError:
        return False


def processes_using_prefix(prefix: str) -> list[tuple[int, str]]:
    """Live processes (any parent) whose environment names this Wine prefix."""
    entry = b"WINEPREFIX=" + os.fsencode(prefix)
    return [
        (pid, cmd)
        for pid, (_, state, cmd) in _proc_table().items()
        if state != "Z" and pid != os.getpid() and _environ_has(pid, entry)
    ]


def run_to_files(argv: list[str], env: dict, timeout: float) -> subprocess.CompletedProcess:
    """subprocess.run with output captured through files, never pipes.

    The first Wine program of a session starts Wine's helper processes (services, explorer),
    which inherit its output; through a pipe they would keep it open and the read would wait
    for them, i.e. until the session ends.
    """
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        r = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                           timeout=timeout)
        out.seek(0)
        err.seek(0)
        r.stdout, r.stderr = out.read(), err.read()
    return r


def png_size(path: str) -> tuple[int, int]:
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise E2EError(f"{path} is not a PNG file")
    return struct.unpack(">II", head[16:24])


def _parse_reg_data(kind: str, text: str):
    if kind in ("REG_DWORD", "REG_QWORD"):
        return int(text, 16)
    if kind == "REG_BINARY":
        return bytes.fromhex(text)
    return text


def _parse_reg_query(output: str) -> dict[str, tuple[str, object]]:
    values = {}
    for line in output.replace("\r", "").split("\n"):
        # A value line is indented by four spaces; its fields are separated by four spaces.
        if not line.startswith("    "):
            continue
        parts = line[4:].split("    ", 2)
        if len(parts) == 2:
            parts.append("")
        if len(parts) != 3 or not parts[1].startswith("REG_"):
            continue
        name, kind, data = parts
        values[name] = (kind, _parse_reg_data(kind, data))
    return values


class App:
    """The program under test, started by Session.start."""

    def __init__(self, process: subprocess.Popen, out_path: str, args: tuple[str, ...]):
        self.process = process
        self.out_path = out_path
        self.args = args
        self.started = time.monotonic()

    @property
    def running(self) -> bool:
        return self.process.poll() is None

    def wait(self, timeout: float = 15) -> int:
        """Waits for the program to end; returns its exit code (0..255)."""
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise E2EError(f"program {self.args} still running after {timeout:g} s") from None
        return code & 0xFF if code >= 0 else code

    def output(self) -> str:
        with open(self.out_path, "r", errors="replace") as f:
            return f.read()


class Session:
    """One test's private world: X display, window manager, wineserver, the program."""

    def __init__(
        self,
        size: tuple[int, int] = (1280, 800),
        depth: int = 24,
        compositor: bool = False,
        window_manager: bool = True,
        reset: bool = True,
        deadline: float | None = None,
    ):
        self.size = size
        self.depth = depth
        self.compositor = compositor
        self.window_manager = window_manager
        self.reset = reset
        if deadline is None:
            deadline = float(os.environ.get("ZINTARA_E2E_DEADLINE", "240"))
        self.deadline = deadline
        self.exe = os.environ.get("ZINTARA_EXE", "")
        self.zdrive_exe = os.environ.get("ZDRIVE_EXE") or os.path.join(
            os.path.dirname(self.exe), "zdrive.exe"
        )
        self.prefix = os.environ.get("WINEPREFIX", "")
        self.display = ""
        self.env: dict[str, str] = {}
        self.workdir = ""
        self.timings: dict[str, float] = {}
        self.screen_metrics: dict = {}
        self.leftovers: list[tuple[int, str]] = []
        self.apps: list[App] = []
        self._x = self._wm = self._comp = self._server = self._watchdog = None
        self._old_handlers: dict[int, object] = {}
        self._closed = False

    # ----------------------------------------------------------------- life cycle

    def __enter__(self) -> "Session":
        self._check_inputs()
        self._install_guards()
        try:
            self._open()
        except BaseException:
            signal.setitimer(signal.ITIMER_REAL, 0)
            try:
                self.close(keep=True)
            finally:
                self._restore_guards()
            raise
        return self

    def __exit__(self, exc_type, exc, tb) -> None:
        failed = exc_type is not None
        # The shutdown has timeouts of its own; a deadline firing inside it would cut it short.
        signal.setitimer(signal.ITIMER_REAL, 0)
        try:
            self.close(keep=failed)
        finally:
            self._restore_guards()
        if not failed and self.leftovers:
            raise E2EError(f"left running after the test: {self.leftovers}")

    def _check_inputs(self) -> None:
        problems = []
        if not self.exe:
            problems.append("ZINTARA_EXE is not set")
        elif not os.path.isfile(self.exe):
            problems.append(
                f"the program under test does not exist: {self.exe} "
                "(build the win32-i686 preset first)"
            )
        if not os.path.isfile(self.zdrive_exe):
            problems.append(
                f"the test driver does not exist: {self.zdrive_exe} (it is built with the program)"
            )
        if not self.prefix:
            problems.append("WINEPREFIX is not set")
        elif not os.path.isfile(os.path.join(self.prefix, "system.reg")):
            problems.append(f"WINEPREFIX {self.prefix} is not an initialised Wine prefix")
        if not os.access("/usr/lib/wine/wine", os.X_OK):
            problems.append("wine32 is not installed: a 32-bit program would not start")
        for tool in ("wine", "wineserver", "Xvfb", "xdotool", "xprop", "import", "convert"):
            if not shutil.which(tool):
                problems.append(f"{tool} is not installed")
        if self.window_manager and not shutil.which("openbox"):
            problems.append("openbox is not installed")
        if self.compositor and not shutil.which("xcompmgr"):
            problems.append("xcompmgr is not installed")
        if problems:
            raise E2EError("cannot run the end-to-end test:\n  " + "\n  ".join(problems))
        self.prefix = os.path.abspath(self.prefix)

    def _install_guards(self) -> None:
        # Orphaned Wine helpers are re-parented to us, so we can see and stop all of them.
        _libc().prctl(_PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)

        def on_alarm(signum, frame):
            raise E2ETimeout(f"the test ran past its deadline of {self.deadline:g} s")

        def on_term(signum, frame):
            raise E2EError(f"stopped by signal {signum}")

        handlers = ((signal.SIGALRM, on_alarm), (signal.SIGTERM, on_term), (signal.SIGHUP, on_term))
        for sig, handler in handlers:
            self._old_handlers[sig] = signal.signal(sig, handler)
        signal.setitimer(signal.ITIMER_REAL, self.deadline)

    def _restore_guards(self) -> None:
        signal.setitimer(signal.ITIMER_REAL, 0)
        for sig, handler in self._old_handlers.items():
            signal.signal(sig, handler)
        self._old_handlers.clear()

    def _open(self) -> None:
        base = os.environ.get("ZINTARA_E2E_WORKDIR") or None
        if base:
            os.makedirs(base, exist_ok=True)
        self.workdir = tempfile.mkdtemp(prefix="zintara-e2e-", dir=base)
        t0 = time.monotonic()
        self._start_x()
        self.timings["x"] = time.monotonic() - t0
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "XAUTHORITY", "WINESERVER", "WINELOADER"):
            self.env.pop(name, None)
        self.env.update(
            DISPLAY=self.display,
            WINEPREFIX=self.prefix,
            WINEDEBUG="-all",
            WINEDLLOVERRIDES=WINE_OVERRIDES,
        )
        if self.window_manager:
            t = time.monotonic()
            self._wm = self._spawn(["openbox", "--sm-disable"], "openbox.log")
            wait_until(self._wm_ready, 15, "openbox to manage the display")
            self.timings["window_manager"] = time.monotonic() - t
        if self.compositor:
            self._comp = self._spawn(["xcompmgr"], "xcompmgr.log")
            time.sleep(0.3)
            if self._comp.poll() is not None:
                raise E2EError(f"xcompmgr exited at once: {self._read('xcompmgr.log')}")
        t = time.monotonic()
        self._start_wineserver()
        self.timings["wineserver"] = time.monotonic() - t
        # The first Wine program starts Wine's helpers and its desktop; do it before the test.
        t = time.monotonic()
        self.screen_metrics = self.metrics()
        self.timings["first_program"] = time.monotonic() - t
        if self.reset:
            t = time.monotonic()
            self.reset_state()
            self.timings["reset"] = time.monotonic() - t
        self.timings["open"] = time.monotonic() - t0
        log(f"world ready on {self.display} in {self.timings['open']:.1f} s ({self.workdir})")

    def _spawn(self, argv: list[str], log_name: str, env=None, die_with_us=True,
               **kwargs) -> subprocess.Popen:
        out = open(os.path.join(self.workdir, log_name), "wb")
        try:
            return subprocess.Popen(
                argv,
                stdin=subprocess.DEVNULL,
                stdout=out,
                stderr=subprocess.STDOUT,
                env=env if env is not None else self.env,
                preexec_fn=_die_with_parent if die_with_us else None,
                **kwargs,
            )
        finally:
            out.close()

    def _read(self, log_name: str) -> str:
        try:
            with open(os.path.join(self.workdir, log_name), "r", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def _start_x(self) -> None:
        read_fd, write_fd = os.pipe()
        try:
            w, h = self.size
            self._x = self._spawn(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{w}x{h}x{self.depth}",
                 "-nolisten", "tcp", "-noreset"],
                "xvfb.log",
                env=dict(os.environ),
                pass_fds=(write_fd,),
            )
            os.close(write_fd)
            write_fd = -1
            data = b""
            end = time.monotonic() + 15
            while not data.endswith(b"\n"):
                left = end - time.monotonic()
                if left <= 0 or not select.select([read_fd], [], [], left)[0]:
                    raise E2EError(f"Xvfb did not report a display: {self._read('xvfb.log')}")
                chunk = os.read(read_fd, 64)
                if not chunk:
                    raise E2EError(f"Xvfb exited: {self._read('xvfb.log')}")
                data += chunk
            self.display = ":" + data.decode().strip()
        finally:
            os.close(read_fd)
            if write_fd >= 0:
                os.close(write_fd)

    def _wm_ready(self) -> bool:
        if self._wm.poll() is not None:
            raise E2EError(f"openbox exited: {self._read('openbox.log')}")
        r = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                           capture_output=True, text=True, timeout=10)
        return "window id" in r.stdout

    def _server_socket(self) -> str:
        # Debian's wineserver keeps its directory in a random temporary folder and writes that
        # folder's name into the prefix; upstream Wine uses /tmp/.wine-UID.
        base = f"/tmp/.wine-{os.getuid()}"
        try:
            with open(os.path.join(self.prefix, "wineserver"), "r") as f:
                name = f.read().strip()
            if name:
                base = os.path.join(os.environ.get("TMPDIR") or "/tmp", name)
        except OSError:
            pass
        st = os.stat(self.prefix)
        return f"{base}/server-{st.st_dev:x}-{st.st_ino:x}/socket"

    def _start_wineserver(self) -> None:
        # A server left by an earlier, killed test would carry that test's display: stop it.
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=30)
        # Persistent, so that short-lived helpers (reg, zdrive) do not restart Wine each time.
        self._start_watchdog()
        # No parent-death signal here: the watchdog stops the server in order instead.
        self._server = self._spawn(["wineserver", "-f", "-p"], "wineserver.log", die_with_us=False)

        def ready():
            if self._server.poll() is not None:
                raise E2EError(f"wineserver exited: {self._read('wineserver.log')}")
            return os.path.exists(self._server_socket())

        wait_until(ready, 15, "the wineserver socket", interval=0.05)

    def _start_watchdog(self) -> None:
        # X and openbox die with us (parent-death signal); a wineserver killed by a signal would
        # orphan Wine's helpers instead. So a detached guard waits for our end, seen as the end
        # of its stdin, and then stops the server in order. close() dismisses it first.
        self._watchdog = subprocess.Popen(
            [sys.executable, "-B", "-c", _WATCHDOG, os.path.dirname(os.path.abspath(__file__))],
            stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            env=self.env,
            start_new_session=True,
        )

    def close(self, keep: bool = False) -> None:
        """Stops everything this session started; safe to call more than once."""
        if self._closed:
            return
        self._closed = True
        if self._watchdog is not None:
            self._watchdog.kill()
            self._watchdog.wait()
            self._watchdog.stdin.close()
        if self.env and self._server is not None:
            try:
                subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)
            except (subprocess.TimeoutExpired, OSError) as e:
                log(f"wineserver -k failed: {e}")
        for proc in (self._server, *(a.process for a in self.apps), self._comp, self._wm, self._x):
            _stop(proc)
        # Whatever is still ours now was not stopped by the orderly shutdown above.
        time.sleep(0.2)
        strays = _descendants(os.getpid())
        strays = {pid: v for pid, v in strays.items() if v[0] != "Z"}
        if self.prefix:
            for pid, cmd in processes_using_prefix(self.prefix):
                strays.setdefault(pid, ("?", cmd))
        self.leftovers = sorted((pid, cmd) for pid, (_, cmd) in strays.items())
        for pid in strays:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        _reap_orphans()
        if self.leftovers:
            log(f"killed processes left running: {self.leftovers}")
        if self.workdir:
            if keep or os.environ.get("ZINTARA_E2E_KEEP"):
                log(f"kept work directory {self.workdir}")
            else:
                shutil.rmtree(self.workdir, ignore_errors=True)

    # ----------------------------------------------------------------- the program

    def start(self, *args: str, exe: str | None = None) -> App:
        """Starts the program under test (or another Windows exe) with wine."""
        path = exe or self.exe
        out_name = f"app{len(self.apps)}.log"
        process = self._spawn(["wine", path, *args], out_name)
        app = App(process, os.path.join(self.workdir, out_name), args)
        self.apps.append(app)
        log(f"started {os.path.basename(path)} {' '.join(args)}")
        return app

    def wine(
        self, *args: str, timeout: float = 60, check: bool = True
    ) -> subprocess.CompletedProcess:
        """Runs a Windows command line tool (wine ARGS) and returns its completed process."""
        r = run_to_files(["wine", *args], self.env, timeout)
        r.stdout = r.stdout.decode(errors="replace").replace("\r", "")
        r.stderr = r.stderr.decode(errors="replace").replace("\r", "")
        if check and r.returncode != 0:
            raise E2EError(f"wine {' '.join(args)} failed ({r.returncode}): {r.stderr.strip()}")
        return r

    # ----------------------------------------------------------------- zdrive

    def zdrive(self, *args: str, check: bool = True, timeout: float = 60) -> dict:
        """Runs zdrive and returns its JSON document; raises unless it reports ok (when check)."""
        r = run_to_files(["wine", self.zdrive_exe, *map(str, args)], self.env, timeout)
        text = r.stdout.decode("utf-8", errors="replace")
        start = text.find("{")
        try:
            doc = json.loads(text[start:]) if start >= 0 else None
        except json.JSONDecodeError:
            doc = None
        if doc is None:
            raise E2EError(f"zdrive {' '.join(args)} printed no JSON (exit {r.returncode}): "
                           f"{text!r} {r.stderr.decode(errors='replace')!r}")
        if r.returncode == 2 or (check and not doc.get("ok")):
            raise E2EError(f"zdrive {' '.join(args)}: {doc.get('error')}")
        return doc

    @staticmethod
    def _filters(cls=None, title=None, title_prefix=None, hwnd=None, pid=None, exe=None,
                 visible=None) -> list[str]:
        args = []
        for flag, value in (("--class", cls), ("--title", title), ("--title-prefix", title_prefix),
                            ("--hwnd", hwnd), ("--pid", pid), ("--exe", exe)):
            if value is not None:
                args += [flag, str(value)]
        if visible is True:
            args.append("--visible")
        elif visible is False:
            args.append("--hidden")
        return args

    def windows(self, **filters) -> list[dict]:
        """Top-level windows; filters: cls, title, title_prefix, hwnd, pid, exe, visible."""
        return self.zdrive("list", *self._filters(**filters))["windows"]

    def wait_windows(self, count: int = 1, at_least: bool = False, timeout: float = 10,
                     **filters) -> list[dict]:
        """Waits until exactly (or at least) count windows match; returns them."""
        args = ["wait", *self._filters(**filters), "--count", str(count),
                "--timeout", str(int(timeout * 1000))]
        if at_least:
            args.append("--at-least")
        doc = self.zdrive(*args, check=False, timeout=timeout + 30)
        if not doc["ok"]:
            found = [(w["class"], w["title"]) for w in doc["windows"]]
            how = "at least " if at_least else ""
            raise E2EError(
                f"waiting for {how}{count} windows {filters}: {doc['error']}; found {found}"
            )
        return doc["windows"]

    def children(self, **filters) -> dict:
        """{'window': the first matching top-level window, 'children': its direct children}."""
        doc = self.zdrive("children", *self._filters(**filters))
        return {"window": doc["window"], "children": doc["children"]}

    def post(self, msg: int, wparam: int = 0, lparam: int = 0, child_id: int | None = None,
             **filters) -> int:
        """Posts a message to the first matching window (or its control); returns that hwnd."""
        args = ["post", *self._filters(**filters), "--msg", str(msg), "--wparam", str(wparam),
                "--lparam", str(lparam)]
        if child_id is not None:
            args += ["--child-id", str(child_id)]
        return self.zdrive(*args)["hwnd"]

    def send(self, msg: int, wparam: int = 0, lparam: int = 0, text: str | None = None,
             child_id: int | None = None, timeout: float = 5, **filters) -> int:
        """Sends a message (text: lParam points to that string); returns the result."""
        args = ["send", *self._filters(**filters), "--msg", str(msg), "--wparam", str(wparam),
                "--timeout", str(int(timeout * 1000))]
        args += ["--text", text] if text is not None else ["--lparam", str(lparam)]
        if child_id is not None:
            args += ["--child-id", str(child_id)]
        return self.zdrive(*args, timeout=timeout + 30)["result"]

    def message_boxes(self, caption: str | None = None, timeout: float | None = None,
                      **filters) -> list[dict]:
        """Visible dialogs (class #32770): caption, texts, buttons; waits for one if timeout."""
        args = ["msgboxes", *self._filters(title=caption, **filters)]
        if timeout is not None:
            args += ["--timeout", str(int(timeout * 1000))]
        doc = self.zdrive(*args, check=False, timeout=(timeout or 0) + 30)
        if timeout is not None and not doc["ok"]:
            name = f" {caption!r}" if caption else ""
            raise E2EError(f"no dialog{name} appeared in {timeout:g} s")
        return doc["dialogs"]

    def wait_message_box(self, caption: str | None = None, timeout: float = 10, **filters) -> dict:
        return self.message_boxes(caption, timeout=timeout, **filters)[0]

    def press(self, button: str | None = None, id: int | None = None, via: str = "click",
              caption: str | None = None, timeout: float | None = None, cls: str | None = None,
              **filters) -> dict:
        """Presses a dialog's button by text (without '&') or control id; returns the dialog."""
        args = ["press", *self._filters(cls=cls, title=caption, **filters), "--via", via]
        args += ["--button", button] if button is not None else ["--id", str(id)]
        if timeout is not None:
            args += ["--timeout", str(int(timeout * 1000))]
        return self.zdrive(*args, timeout=(timeout or 0) + 30)["dialog"]

    def metrics(self) -> dict:
        """work_area, screen, virtual_screen and cursor as the Windows side sees them."""
        return self.zdrive("metrics")

    # ----------------------------------------------------------------- registry

    def reg_values(self, key: str) -> dict[str, tuple[str, object]] | None:
        """All values of a key as name -> (type, data); None when the key does not exist."""
        r = self.wine("reg", "query", key, check=False)
        if r.returncode != 0:
            return None
        return _parse_reg_query(r.stdout)

    def reg_query(self, key: str, value: str) -> tuple[str, object] | None:
        """(type, data) of one value, DWORDs as int; None when the key or value is missing."""
        r = self.wine("reg", "query", key, "/v", value, check=False)
        if r.returncode != 0:
            return None
        values = _parse_reg_query(r.stdout)
        # Names are case-insensitive in the registry; reg prints the stored spelling.
        for name, item in values.items():
            if name.lower() == value.lower():
                return item
        raise E2EError(f"reg query {key} /v {value} printed no such value: {r.stdout!r}")

    def reg_add(self, key: str, value: str, kind: str = "REG_SZ", data: object = "") -> None:
        self.wine("reg", "add", key, "/v", value, "/t", kind, "/d", str(data), "/f")

    def reg_delete(self, key: str, value: str | None = None) -> bool:
        """Deletes a value (or the whole key); returns False when there was nothing to delete."""
        args = ["reg", "delete", key] + (["/v", value] if value is not None else []) + ["/f"]
        return self.wine(*args, check=False).returncode == 0

    def reset_state(self) -> None:
        """Forgets the program's per-user state: its settings key and its Run entry."""
        self.reg_delete(SETTINGS_KEY)
        self.reg_delete(RUN_KEY, RUN_VALUE)
        if self.reg_values(SETTINGS_KEY) is not None or self.reg_query(RUN_KEY, RUN_VALUE):
            raise E2EError("could not reset the program's registry state")

    # ----------------------------------------------------------------- X input and screen

    def xdotool(self, *args) -> str:
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True,
                           text=True, timeout=30)
        if r.returncode != 0:
            raise E2EError(f"xdotool {' '.join(map(str, args))} failed: {r.stderr.strip()}")
        return r.stdout

    def mouse_position(self) -> tuple[int, int]:
        out = self.xdotool("getmouselocation", "--shell")
        fields = dict(line.split("=", 1) for line in out.split())
        return int(fields["X"]), int(fields["Y"])

    def mouse_move(self, x: int, y: int) -> None:
        # Not "mousemove --sync": it waits for a motion event, and none comes (for about 15 s)
        # when the pointer is already there.
        self.xdotool("mousemove", x, y)
        wait_until(lambda: self.mouse_position() == (x, y), 5, f"the pointer to reach {x},{y}",
                   interval=0.02)

    def click(self, x: int, y: int, button: int = 1, repeat: int = 1) -> None:
        self.mouse_move(x, y)
        # A short pause lets Wine see the pointer arrive before the button goes down.
        time.sleep(0.1)
        self.xdotool("click", "--repeat", repeat, "--delay", 80, button)

    def double_click(self, x: int, y: int) -> None:
        self.click(x, y, 1, repeat=2)

    def right_click(self, x: int, y: int) -> None:
        self.click(x, y, 3)

    def key(self, *keys: str) -> None:
        self.xdotool("key", "--delay", 50, *keys)

    def type_text(self, text: str) -> None:
        self.xdotool("type", "--delay", 50, text)

    def x_windows(self, name: str) -> list[int]:
        """X window ids whose name matches the regular expression (xdotool search --name)."""
        r = subprocess.run(["xdotool", "search", "--name", name], env=self.env,
                           capture_output=True, text=True, timeout=30)
        return [int(line) for line in r.stdout.split()]

    def screenshot(self, name: str = "screen.png") -> str:
        """Grabs the whole display into the work directory; returns the file's path."""
        path = os.path.join(self.workdir, name)
        r = subprocess.run(["import", "-window", "root", path], env=self.env,
                           capture_output=True, text=True, timeout=60)
        if r.returncode != 0 or not os.path.isfile(path):
            raise E2EError(f"screenshot failed: {r.stderr.strip()}")
        return path

    @staticmethod
    def pixel(path: str, x: int, y: int) -> tuple[int, int, int]:
        """The (r, g, b) of one pixel of an image file, 8 bits per channel."""
        argv = ["convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "-alpha", "off", "rgb:-"]
        r = subprocess.run(argv, capture_output=True, timeout=60)
        if r.returncode != 0 or len(r.stdout) != 3:
            err = r.stderr.decode(errors="replace")
            raise E2EError(f"cannot read pixel {x},{y} of {path}: {err}")
        return tuple(r.stdout)

    # ----------------------------------------------------------------- the tray

    def tray_window(self, timeout: float = 10) -> dict:
        """Wine's stand-in tray (no X tray in the display), as zdrive lists it."""
        return self.wait_windows(cls=TRAY_WINDOW_CLASS, title=TRAY_WINDOW_TITLE, visible=True,
                                 timeout=timeout)[0]

    def tray_icons(self, timeout: float = 10) -> list[tuple[int, int]]:
        """Screen centres of the icons in the tray, left to right."""

        def icons():
            tray = self.tray_window(timeout)
            kids = self.children(hwnd=tray["hwnd"])["children"]
            rects = [c["rect"] for c in kids if c["class"] == TRAY_ICON_CLASS and c["visible"]]
            rects.sort(key=lambda r: (r["top"], r["left"]))
            origin = tray["client"]
            return [
                (origin["x"] + (r["left"] + r["right"]) // 2,
                 origin["y"] + (r["top"] + r["bottom"]) // 2)
                for r in rects
            ]

        return wait_until(icons, timeout, "an icon in the tray", interval=0.2)

    def tray_icon_position(self, index: int = 0, timeout: float = 10) -> tuple[int, int]:
        icons = self.tray_icons(timeout)
        if index >= len(icons):
            raise E2EError(f"the tray holds {len(icons)} icons, not {index + 1}")
        return icons[index]

    def close_popup_menu(self, owner_cls: str = "TfrmMain", timeout: float = 5) -> None:
        """Closes an open popup menu of the program, as a click elsewhere would.

        Under Wine the X focus stays with the tray window, so Escape never reaches the menu;
        WM_CANCELMODE to the menu's owner ends it.
        """
        self.post(WM_CANCELMODE, cls=owner_cls)
        self.wait_windows(cls="#32768", visible=True, count=0, timeout=timeout)

    def right_click_tray(self, index: int = 0) -> None:
        self.right_click(*self.tray_icon_position(index))

    def double_click_tray(self, index: int = 0) -> None:
        self.double_click(*self.tray_icon_position(index))


# The tray menu as it is shown: the hidden items take no room.
MENU_ITEMS = ["Settings", "-", "Add fly", "Add 5 flies", "Close all flies", "-", "About...",
              "Exit"]


def menu_item_centres(menu: dict) -> dict[str, tuple[int, int]]:
    """Where each shown item of the tray menu (a #32768 window as zdrive lists it) sits. The
    menu's height must hold exactly the six items and two separators shown (9 pixels each),
    within a 3-pixel frame."""
    rect = menu["rect"]
    height = rect["bottom"] - rect["top"] - 6
    separator = 9
    item = (height - 2 * separator) / 6
    if item != int(item) or not 14 <= item <= 30:
        raise E2EError(f"a menu {height} pixels high does not hold six items and two separators")
    centres, y = {}, rect["top"] + 3
    for caption in MENU_ITEMS:
        size = separator if caption == "-" else int(item)
        if caption != "-":
            centres[caption] = (rect["left"] + 30, y + size // 2)
        y += size
    return centres


_WATCHDOG = """
import os, signal, subprocess, sys, time
signal.signal(signal.SIGINT, signal.SIG_IGN)
signal.signal(signal.SIGTERM, signal.SIG_IGN)
sys.stdin.buffer.read()
sys.path.insert(0, sys.argv[1])
import zintara_e2e
subprocess.run(["wineserver", "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
               timeout=60)
time.sleep(1)
for pid, _ in zintara_e2e.processes_using_prefix(os.environ["WINEPREFIX"]):
    try:
        os.kill(pid, signal.SIGKILL)
    except OSError:
        pass
"""


def _stop(proc: subprocess.Popen | None, grace: float = 5) -> None:
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(grace)


def _reap_orphans() -> None:
    """Collects exited processes that were re-parented to us (we are a child subreaper)."""
    me = os.getpid()
    for pid, (ppid, state, _) in _proc_table().items():
        if ppid == me and state == "Z":
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass


def main_guard(test) -> None:
    """Runs test() and turns its outcome into the exit status CTest expects."""
    t0 = time.monotonic()
    try:
        test()
    except E2EError as e:
        log(f"FAIL after {time.monotonic() - t0:.1f} s: {e}")
        sys.exit(1)
    log(f"PASS in {time.monotonic() - t0:.1f} s")
