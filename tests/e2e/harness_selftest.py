"""Checks the harness and zdrive against a stand-in program, not against Zintara itself.

The stand-in (ZINTARA_EXE) must: create a hidden window of class TfrmMain titled "Zintara 1.3"
with a tray icon; show three 60x60 topmost layered popups of class TForm titled "frmPngFly123"
at (200,300), (300,300), (400,300), each a disc of opaque (200,30,30) within radius 15, owned
by the TfrmMain window; on a right click of the tray icon open a popup menu whose second item
stores MenuResult=1101 (REG_DWORD) under HKCU\\Software\\ZintaraPro (1000 when the menu is
dismissed); count double clicks on the icon in DoubleClicks there; on message 1127 remove
the icon, store Flies=5 (REG_DWORD) there and exit with 0; started with "fail", show a
message box "Application Error" reading "Probe failed on purpose." and exit with 1 after OK.
Started with "dialog", it shows a window of class TestDlg whose client area holds a label
(id 12), an edit box (id 10, "5", at 100,10 sized 60x22), an auto check box (id 11, checked),
a hidden disabled button (id 13) and an OK button (id 1); OK stores the edit text as DlgText
and the check state as DlgCheck and exits with 7.
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zintara_e2e as e2e  # noqa: E402
from zintara_e2e import E2EError, Session  # noqa: E402

FLY_CLASS, FLY_TITLE = "TForm", "frmPngFly123"
FLY_LEFTS = [200, 300, 400]
FLY_TOP = 300
DISC = (200, 30, 30)
timings = {}


def expect(condition, message):
    if not condition:
        raise E2EError(message)


def expect_raises(call, what):
    try:
        call()
    except E2EError:
        return
    raise E2EError(f"{what} did not fail")


def check_clean(s: Session):
    """Nothing of the session may survive it."""
    expect(s.leftovers == [], f"the orderly shutdown left {s.leftovers}")
    expect(e2e.processes_using_prefix(s.prefix) == [], "a Wine process still uses the prefix")
    for proc in (p for p in (s._x, s._wm, s._comp, s._server) if p is not None):
        expect(proc.poll() is not None, f"{proc.args} still running")
    expect(not os.path.exists(f"/tmp/.X11-unix/X{s.display[1:]}"), "the X socket is still there")
    expect(not os.path.exists(s.workdir), "the work directory was not removed")


def registry(s: Session):
    key = e2e.SETTINGS_KEY
    expect(s.reg_values(key) is None, "reset_state left the settings key")
    s.reg_add(key, "Text", "REG_SZ", "two  spaces and\ttab")
    s.reg_add(key, "Number", "REG_DWORD", 4000000000)
    s.reg_add(e2e.RUN_KEY, e2e.RUN_VALUE, "REG_SZ", r"C:\x\Zintara.exe")
    expect(s.reg_query(key, "text") == ("REG_SZ", "two  spaces and\ttab"), "REG_SZ round trip")
    expect(s.reg_query(key, "Number") == ("REG_DWORD", 4000000000), "REG_DWORD round trip")
    expect(s.reg_query(key, "Missing") is None, "a missing value was found")
    expect(s.reg_delete(key, "Number") and not s.reg_delete(key, "Number"), "reg_delete result")
    expect(set(s.reg_values(key)) == {"Text"}, "reg_values after the delete")
    s.reset_state()
    expect(s.reg_query(e2e.RUN_KEY, e2e.RUN_VALUE) is None, "reset_state left the Run value")


def windows_and_screen(s: Session):
    t = time.monotonic()
    flies = s.wait_windows(cls=FLY_CLASS, title=FLY_TITLE, count=3, visible=True, timeout=20)
    timings["program start to 3 visible windows"] = time.monotonic() - t
    (main,) = s.windows(cls="TfrmMain")
    expect(main["title"] == "Zintara 1.3" and not main["visible"], f"main window {main}")
    expect(not main["topmost"] and not main["layered"], "main window styles")
    expect(main["style"] & e2e.WS_CAPTION == e2e.WS_CAPTION, "main window has no caption")
    lefts = sorted(w["rect"]["left"] for w in flies)
    expect(lefts == FLY_LEFTS, f"fly positions {lefts}")
    for w in flies:
        r = w["rect"]
        size = (r["right"] - r["left"], r["bottom"] - r["top"])
        expect(size == (60, 60) and r["top"] == FLY_TOP, f"rect {r}")
        expect((w["client"]["width"], w["client"]["height"]) == (60, 60), f"client {w['client']}")
        expect(w["topmost"] and w["layered"] and w["visible"], f"fly styles {w}")
        expect(w["exstyle"] & e2e.WS_EX_LAYERED and w["style"] & e2e.WS_POPUP, "raw styles")
        expect(w["owner"] == main["hwnd"] and w["pid"] == main["pid"], f"owner/pid {w}")
        expect(w["exe"].lower() == os.path.basename(s.exe).lower(), f"exe {w['exe']}")
    by_prefix = s.windows(cls=FLY_CLASS, title_prefix="frmPngFly", visible=True)
    expect(len(by_prefix) == 3, "title prefix")
    expect(s.windows(cls=FLY_CLASS, title_prefix="frmPngFlx") == [], "a wrong prefix matched")
    expect(s.windows(cls=FLY_CLASS, visible=False) == [], "hidden filter matched visible windows")
    expect_raises(lambda: s.wait_windows(cls=FLY_CLASS, count=4, timeout=1), "waiting for 4 of 3")
    expect(len(s.wait_windows(cls=FLY_CLASS, count=2, at_least=True, timeout=1)) == 3, "at least")

    m = s.metrics()
    expect(m["screen"] == {"width": 1280, "height": 800}, f"screen {m['screen']}")
    expect(m["work_area"] == {"left": 0, "top": 0, "right": 1280, "bottom": 800}, f"work area {m}")
    s.mouse_move(77, 555)
    m = s.metrics()
    expect(m["cursor"] == {"x": 77, "y": 555}, f"cursor {m['cursor']} after moving to 77,555")

    shot = s.screenshot("flies.png")
    expect(e2e.png_size(shot) == (1280, 800), f"screenshot size {e2e.png_size(shot)}")
    for left in FLY_LEFTS:
        centre = s.pixel(shot, left + 30, FLY_TOP + 30)
        expect(all(abs(a - b) <= 2 for a, b in zip(centre, DISC)), f"fly centre pixel {centre}")
        corner = s.pixel(shot, left + 1, FLY_TOP + 1)
        expect(corner == (0, 0, 0), f"a transparent corner shows {corner}")


def tray(s: Session):
    tray_window = s.tray_window()
    expect(tray_window["title"] == e2e.TRAY_WINDOW_TITLE, "tray title")
    expect(s.x_windows(e2e.TRAY_WINDOW_TITLE), "xdotool does not find the tray")
    (x, y) = s.tray_icon_position()
    client = tray_window["client"]
    expect(client["x"] <= x < client["x"] + client["width"], f"icon x {x} outside {client}")
    expect(client["y"] <= y < client["y"] + client["height"], f"icon y {y} outside {client}")
    s.double_click_tray()
    e2e.wait_until(lambda: s.reg_query(e2e.SETTINGS_KEY, "DoubleClicks"), 10, "a double click")
    expect(s.reg_query(e2e.SETTINGS_KEY, "DoubleClicks") == ("REG_DWORD", 1), "one double click")
    s.right_click_tray()
    s.wait_windows(cls="#32768", visible=True, timeout=10)
    s.close_popup_menu()
    expect(s.reg_query(e2e.SETTINGS_KEY, "MenuResult") == ("REG_DWORD", 1000), "menu dismissed")
    s.reg_delete(e2e.SETTINGS_KEY, "MenuResult")
    s.right_click_tray()
    (menu,) = s.wait_windows(cls="#32768", visible=True, timeout=10)
    r = menu["rect"]
    # The second of two items lies in the lower half of the menu.
    s.click((r["left"] + r["right"]) // 2, r["top"] + (r["bottom"] - r["top"]) * 3 // 4)
    e2e.wait_until(lambda: s.reg_query(e2e.SETTINGS_KEY, "MenuResult"), 10, "the menu command")
    expect(s.reg_query(e2e.SETTINGS_KEY, "MenuResult") == ("REG_DWORD", 1101), "menu result")
    s.wait_windows(cls="#32768", visible=True, count=0, timeout=5)


def close_request(s: Session, app):
    expect(s.reg_query(e2e.SETTINGS_KEY, "Flies") is None, "Flies stored before the close")
    t = time.monotonic()
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain", title="Zintara 1.3")
    code = app.wait(15)
    timings["close request posted (zdrive run) to exit"] = time.monotonic() - t
    expect(code == 0, f"exit code {code} after the close request")
    expect(s.reg_query(e2e.SETTINGS_KEY, "Flies") == ("REG_DWORD", 5), "Flies after the close")
    s.wait_windows(cls=FLY_CLASS, count=0, timeout=5)
    expect_raises(lambda: s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain"), "posting to a gone window")
    expect_raises(lambda: s.tray_icons(timeout=1), "finding the removed tray icon")


def message_box(s: Session):
    expect(s.message_boxes() == [], "a message box before any was shown")
    expect_raises(lambda: s.press("OK", timeout=0.5), "pressing a button of no dialog")
    app = s.start("fail")
    box = s.wait_message_box("Application Error", timeout=15)
    expect(box["texts"] == ["Probe failed on purpose."], f"message box texts {box['texts']}")
    expect([b["text"] for b in box["buttons"]] == ["OK"], f"message box buttons {box['buttons']}")
    expect(app.running, "the program ended while its message box was up")
    expect_raises(lambda: s.press("Cancel", caption="Application Error"), "pressing no button")
    s.press("OK", caption="Application Error")
    code = app.wait(15)
    expect(code == 1, f"exit code {code} after the error box")


WM_SETTEXT = 0x000C
BM_SETCHECK = 0x00F1


def dialog(s: Session):
    app = s.start("dialog")
    (win,) = s.wait_windows(cls="TestDlg", visible=True, timeout=15)

    def controls():
        return {c["id"]: c for c in s.children(cls="TestDlg")["children"]}

    kids = controls()
    expect(set(kids) == {1, 10, 11, 12, 13}, f"control ids {sorted(kids)}")
    edit, check, hidden = kids[10], kids[11], kids[13]
    expect((edit["class"].lower(), edit["text"]) == ("edit", "5"), f"edit {edit}")
    expect(edit["rect"] == {"left": 100, "top": 10, "right": 160, "bottom": 32}, f"{edit['rect']}")
    expect(check["text"] == "&Always on top" and check["checked"] is True, f"check box {check}")
    expect(not hidden["visible"] and not hidden["enabled"], f"hidden button {hidden}")
    expect(hidden["checked"] is None, "a push button has a check state")
    expect(kids[1]["checked"] is None and kids[1]["visible"] and kids[1]["enabled"], "OK button")
    expect(s.send(WM_SETTEXT, text="42", cls="TestDlg", child_id=10) == 1, "WM_SETTEXT result")
    s.send(BM_SETCHECK, 0, cls="TestDlg", child_id=11)
    kids = controls()
    expect(kids[10]["text"] == "42" and kids[11]["checked"] is False, "text and check after send")
    origin = win["client"]
    s.click(origin["x"] + 130, origin["y"] + 21)
    s.key("End", "BackSpace", "BackSpace")
    s.type_text("77")
    e2e.wait_until(lambda: controls()[10]["text"] == "77", 10, "the typed text in the edit box")
    s.press("OK", cls="TestDlg", via="command")
    code = app.wait(15)
    expect(code == 7, f"exit code {code} after OK")
    expect(s.reg_query(e2e.SETTINGS_KEY, "DlgText") == ("REG_SZ", "77"), "DlgText")
    expect(s.reg_query(e2e.SETTINGS_KEY, "DlgCheck") == ("REG_DWORD", 0), "DlgCheck")


def step(name, check, *args):
    t = time.monotonic()
    check(*args)
    timings[name] = time.monotonic() - t


def main_session():
    t = time.monotonic()
    with Session() as s:
        timings["open the world (X, openbox, wineserver, reset)"] = s.timings["open"]
        step("registry helpers", registry, s)
        app = s.start()
        step("windows, metrics and screenshot", windows_and_screen, s)
        step("tray, menu and double click", tray, s)
        step("close request and exit code", close_request, s, app)
        step("message box", message_box, s)
        step("dialog controls and keyboard", dialog, s)
    timings["whole main session"] = time.monotonic() - t
    check_clean(s)


def failure_paths():
    """A test that fails, or runs out of time, still stops everything (a compositor too)."""
    s = Session(compositor=True)
    try:
        with s:
            s.start()
            s.wait_windows(cls=FLY_CLASS, count=3, visible=True, timeout=20)
            centre = s.pixel(s.screenshot(), FLY_LEFTS[0] + 30, FLY_TOP + 30)
            expect(all(abs(a - b) <= 2 for a, b in zip(centre, DISC)), f"composited {centre}")
            raise RuntimeError("deliberate failure")
    except RuntimeError:
        pass
    expect(s.leftovers == [], f"the shutdown after a failure left {s.leftovers}")
    expect(e2e.processes_using_prefix(s.prefix) == [], "a Wine process survived a failed test")
    expect(s._comp.poll() is not None and s._x.poll() is not None, "xcompmgr or Xvfb survived")
    shutil.rmtree(s.workdir, ignore_errors=True)

    t = time.monotonic()
    s = Session(deadline=8)
    try:
        with s:
            s.start()
            time.sleep(60)
        raise E2EError("the deadline did not fire")
    except e2e.E2ETimeout:
        pass
    expect(time.monotonic() - t < 30, "the deadline fired late")
    expect(e2e.processes_using_prefix(s.prefix) == [], "a Wine process survived the deadline")
    shutil.rmtree(s.workdir, ignore_errors=True)


def main():
    main_session()
    step("failure and deadline paths (two more worlds)", failure_paths)
    for what, seconds in timings.items():
        e2e.log(f"timing: {what}: {seconds:.2f} s")


if __name__ == "__main__":
    e2e.main_guard(main)
