"""The tray program's start and orderly end, driven from outside: the flies appear, the
settings reach the registry, a value of the wrong type stops the start."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zintara_e2e as e2e  # noqa: E402
from zintara_e2e import E2EError, Session  # noqa: E402

FLY = dict(cls="TForm", title_prefix="frmPngFly")


def expect(condition, message):
    if not condition:
        raise E2EError(message)


def tray_icon_count(s: Session) -> int:
    tray = s.windows(cls=e2e.TRAY_WINDOW_CLASS, visible=True)
    if not tray:
        return 0
    kids = s.children(hwnd=tray[0]["hwnd"])["children"]
    return sum(1 for c in kids if c["class"] == e2e.TRAY_ICON_CLASS and c["visible"])


def first_start(s: Session):
    t0 = time.monotonic()
    app = s.start()
    flies = s.wait_windows(count=5, visible=True, timeout=30, **FLY)
    e2e.log(f"figure: 5 flies visible {time.monotonic() - t0:.2f} s after the start")
    for w in flies:
        r = w["rect"]
        expect(w["layered"] and w["topmost"], f"fly not layered and topmost: {w}")
        expect(r["right"] - r["left"] == 60 and r["bottom"] - r["top"] == 60, f"fly size {r}")
        expect(w["style"] & e2e.WS_POPUP and not w["style"] & e2e.WS_CAPTION, f"fly style {w}")
        expect(w["title"][len("frmPngFly"):].isdigit(), f"fly name {w['title']}")
    expect(len({w["title"] for w in flies}) == 5, "fly names are not unique")
    (main,) = s.windows(cls="TfrmMain")
    expect(main["title"] == "Zintara 1.3" and not main["visible"], f"main window {main}")
    expect(e2e.wait_until(lambda: tray_icon_count(s) == 1, 10, "the tray icon"), "no tray icon")

    # They set off from the centre and stay within the work area's limits.
    metrics = s.metrics()
    area = metrics["work_area"]
    width, height = area["right"] - area["left"], area["bottom"] - area["top"]
    centre = (metrics["screen"]["width"] // 2, metrics["screen"]["height"] // 2)
    moved = set()
    deadline = time.monotonic() + 8
    while time.monotonic() < deadline and len(moved) < 5:
        for w in s.windows(visible=True, **FLY):
            x, y = w["rect"]["left"], w["rect"]["top"]
            expect(x >= -20 and y >= -20 and x + 40 <= width and y + 40 <= height,
                   f"{w['title']} at ({x}, {y}) is outside the limits of {width}x{height}")
            if (x, y) != centre:
                moved.add(w["title"])
        time.sleep(0.3)
    expect(len(moved) >= 4, f"only {len(moved)} of 5 flies left the centre in 8 s")

    s.post(e2e.WM_CLOSEREQUEST, 12, 34, cls="TfrmMain")
    code = app.wait(15)
    expect(code == 0, f"exit code {code} after the close message")
    values = s.reg_values(e2e.SETTINGS_KEY)
    expect(values == {"OnTop": ("REG_DWORD", 1), "Startup": ("REG_DWORD", 1),
                      "Flies": ("REG_DWORD", 5)}, f"saved settings {values}")
    kind, path = s.reg_query(e2e.RUN_KEY, e2e.RUN_VALUE)
    expect(kind == "REG_SZ" and path.lower().endswith("\\zintara.exe") and '"' not in path
           and path[1:3] == ":\\", f"Run entry {kind} {path!r}")
    expect(tray_icon_count(s) == 0, "the tray icon outlived the program")


def end_of_session(s: Session):
    """Log-off asks every window whether it may end: the main form's answer saves the
    settings and takes the tray icon away, as its close does."""
    s.reset_state()
    s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 2)
    app = s.start()
    s.wait_windows(count=2, visible=True, timeout=30, **FLY)
    e2e.wait_until(lambda: tray_icon_count(s) == 1, 10, "the tray icon")
    answer = s.send(0x0011, 0, 0, cls="TfrmMain")  # WM_QUERYENDSESSION
    expect(answer == 1, f"the end of the session was refused ({answer})")
    expect(s.reg_query(e2e.SETTINGS_KEY, "OnTop") == ("REG_DWORD", 1), "settings not saved")
    expect(s.reg_query(e2e.RUN_KEY, e2e.RUN_VALUE) is not None, "Run entry not written")
    e2e.wait_until(lambda: tray_icon_count(s) == 0, 10, "the tray icon to go")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(15) == 0, "exit code after the close message")


def many_flies(s: Session):
    s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 150)
    s.reg_add(e2e.SETTINGS_KEY, "startup", "REG_DWORD", 0)
    t0 = time.monotonic()
    app = s.start()
    s.wait_windows(count=99, visible=True, timeout=180, **FLY)
    e2e.log(f"figure: 99 flies visible {time.monotonic() - t0:.2f} s after the start")
    time.sleep(1)
    expect(len(s.windows(**FLY)) == 99, "more than 99 flies")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(30) == 0, "exit code after the close message")
    expect(s.reg_query(e2e.SETTINGS_KEY, "Flies") == ("REG_DWORD", 99), "Flies not saved as 99")
    expect(s.reg_query(e2e.SETTINGS_KEY, "StartUp") == ("REG_DWORD", 0), "Startup not 0")
    expect(s.reg_query(e2e.RUN_KEY, e2e.RUN_VALUE) is None, "Run entry not deleted")


def wrong_type(s: Session, data: str, text: str):
    s.reset_state()
    s.reg_add(e2e.SETTINGS_KEY, "StartUp", "REG_SZ", data)
    app = s.start()
    box = s.wait_message_box("Application Error", timeout=20)
    expect(text in box["texts"], f"the box says {box['texts']}, not {text!r}")
    expect(not s.windows(**FLY), "a fly appeared")
    expect(tray_icon_count(s) == 0, "a tray icon appeared")
    s.press("OK", caption="Application Error")
    code = app.wait(15)
    expect(code == 1, f"exit code {code} after a failed start")


def main():
    with Session() as s:
        first_start(s)
        end_of_session(s)
        s.reset_state()
        many_flies(s)
        wrong_type(s, "1", "Invalid data type for 'StartUp'")
        wrong_type(s, "True", "Failed to get data for 'StartUp'")


if __name__ == "__main__":
    e2e.main_guard(main)
