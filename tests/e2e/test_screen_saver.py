"""Zintara.scr, the screen-saver build, driven the way Windows and a user drive a screen saver:
its arguments, a run that ends on input, and a Run key it never touches."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zintara_e2e as e2e  # noqa: E402
from zintara_e2e import E2EError, Session  # noqa: E402

FLY = dict(cls="TForm", title_prefix="frmPngFly")
KEPT = r"C:\kept\Zintara.exe"


def expect(condition, message):
    if not condition:
        raise E2EError(message)


def saved_and_untouched(s: Session, flies=5):
    values = s.reg_values(e2e.SETTINGS_KEY)
    expect(values == {"OnTop": ("REG_DWORD", 1), "Startup": ("REG_DWORD", 1),
                      "Flies": ("REG_DWORD", flies)}, f"saved settings {values}")
    expect(s.reg_query(e2e.RUN_KEY, e2e.RUN_VALUE) == ("REG_SZ", KEPT), "the Run key changed")


def fresh(s: Session):
    s.reset_state()
    s.reg_add(e2e.RUN_KEY, e2e.RUN_VALUE, "REG_SZ", KEPT)


def ends_at_once(s: Session, scr: str):
    for args in ((), ("/p", "1234")):
        fresh(s)
        app = s.start(*args, exe=scr)
        code = app.wait(15)
        expect(code == 0, f"exit code {code} with {args}")
        saved_and_untouched(s)


def configure(s: Session, scr: str):
    fresh(s)
    app = s.start("/c:1234", exe=scr)
    (main,) = s.wait_windows(cls="TfrmMain", visible=True, timeout=15)
    group = next(c for c in s.children(hwnd=main["hwnd"])["children"] if c["text"] == " Settings ")
    boxes = {c["text"]: c for c in s.children(hwnd=group["hwnd"])["children"]}
    expect(not boxes["Load on startup"]["visible"], "Load on startup is shown")
    expect(boxes["Always on top"]["visible"], "Always on top is hidden")
    s.screenshot("saver_settings.png")
    s.press("OK", cls="TfrmMain")
    code = app.wait(15)
    expect(code == 0, f"exit code {code} after OK")
    saved_and_untouched(s)
    expect(not s.windows(cls=e2e.TRAY_WINDOW_CLASS, visible=True), "a tray icon was shown")


def running(s: Session, scr: str, start=(300, 300)):
    s.mouse_move(*start)
    app = s.start("/s", exe=scr)
    s.wait_windows(count=3, visible=True, timeout=20, **FLY)
    expect(not s.windows(cls=e2e.TRAY_WINDOW_CLASS, visible=True), "a tray icon was shown")
    time.sleep(0.6)  # the watch looks every 500 ms from the start of the run
    return app


def still_running(app, seconds=1.5):
    time.sleep(seconds)
    return app.running


def ends_on_input(s: Session, scr: str):
    fresh(s)
    s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 3)
    app = running(s, scr)
    s.mouse_move(305, 295)
    expect(still_running(app), "a drift of 5 pixels ended the run")
    t0 = time.monotonic()
    s.mouse_move(306, 300)
    code = app.wait(5)
    e2e.log(f"figure: the run ended {time.monotonic() - t0:.2f} s after a drift of 6 pixels")
    expect(code == 0, f"exit code {code} after the mouse moved")
    saved_and_untouched(s, flies=3)

    # Keys. Under Wine a key reaches the system's key state only while a Wine window has the
    # X keyboard focus; the flies cannot take it, so a backdrop window holds it.
    backdrop = s.start("backdrop", exe=s.zdrive_exe)
    e2e.wait_until(lambda: s.x_windows("zdrive backdrop"), 10, "the backdrop")
    app = running(s, scr)
    s.xdotool("windowfocus", s.x_windows("zdrive backdrop")[0])
    for harmless in ("Escape", "space"):
        s.key(harmless)
        expect(still_running(app, 1.2), f"{harmless} ended the run")
    s.click(300, 300)  # a click without movement
    expect(still_running(app, 1.2), "a click ended the run")
    s.key("a")
    code = app.wait(5)
    expect(code == 0, f"exit code {code} after a letter key")
    backdrop.process.kill()


def idles(s: Session, scr: str):
    fresh(s)
    app = s.start("s", exe=scr)
    expect(still_running(app, 2), "a lone lower-case s ended the program")
    expect(not s.windows(visible=True, **FLY), "a lone s started a run")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    code = app.wait(15)
    expect(code == 0, f"exit code {code} after the close message")
    saved_and_untouched(s)


def main():
    with Session() as s:
        scr = os.path.join(os.path.dirname(s.exe), "Zintara.scr")
        expect(os.path.isfile(scr), f"{scr} is missing")
        ends_at_once(s, scr)
        configure(s, scr)
        ends_on_input(s, scr)
        idles(s, scr)


if __name__ == "__main__":
    e2e.main_guard(main)
