"""The tray menu and the settings window, used the way a person would: right and double
clicks on the tray icon, clicks on menu items, typing into the settings window."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zintara_e2e as e2e  # noqa: E402
from zintara_e2e import E2EError, Session  # noqa: E402

FLY = dict(cls="TForm", title_prefix="frmPngFly")
WS_SYSMENU, WS_THICKFRAME = 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x00020000, 0x00010000
EM_SETSEL = 0x00B1


def expect(condition, message):
    if not condition:
        raise E2EError(message)


def open_menu(s: Session) -> dict:
    """The shell's callback for a right click on the icon, with the mouse parked where the
    menu has room. (Wine's stand-in tray drops real clicks on its icons while flies walk, so
    the tests post the callbacks as the shell would.)"""
    s.mouse_move(700, 250)
    s.post(e2e.WM_TRAYNOTIFY, 1, 0x205, cls="TfrmMain")
    (menu,) = s.wait_windows(cls="#32768", visible=True, timeout=5)
    time.sleep(0.3)
    return menu


def choose(s: Session, caption: str):
    e2e.log(f"menu: {caption}")
    menu = open_menu(s)
    s.click(*e2e.menu_item_centres(menu)[caption])
    s.wait_windows(cls="#32768", visible=True, count=0, timeout=5)


def topmost_count(s: Session) -> tuple[int, int]:
    flies = s.windows(**FLY)
    on_top = sum(1 for w in flies if w["topmost"])
    return on_top, len(flies) - on_top


def settings_window(s: Session) -> tuple[dict, dict]:
    """The shown settings window and its controls by text (group box contents included)."""
    (main,) = s.wait_windows(cls="TfrmMain", visible=True, timeout=5)
    top = s.children(hwnd=main["hwnd"])["children"]
    controls = {c["text"]: c for c in top}
    group = controls[" Settings "]
    for c in s.children(hwnd=group["hwnd"])["children"]:
        controls.setdefault(c["text"] or c["class"], c)
        if c["class"] == "Edit":
            controls["edit"] = c
    return main, controls


def layout(s: Session, shot_name: str):
    main, c = settings_window(s)
    r = main["rect"]
    expect((r["left"], r["top"]) == (527, 339), f"window at {r}")
    expect((main["client"]["width"], main["client"]["height"]) == (280, 169),
           f"client area {main['client']}")
    style = main["style"]
    expect(style & e2e.WS_CAPTION == e2e.WS_CAPTION, "no caption bar")
    expect(not style & (WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
           f"caption-bar buttons or a sizing border: style {style:#x}")
    expect(main["title"] == "Zintara 1.3", "caption")

    def at(text, left, top, width, height):
        rect = c[text]["rect"]
        got = (rect["left"], rect["top"], rect["right"] - rect["left"], rect["bottom"] - rect["top"])
        expect(got == (left, top, width, height), f"{text!r} at {got}")

    at(" Settings ", 8, 4, 265, 125)
    at("Always on top", 16, 32, 97, 17)
    at("Load on startup", 16, 56, 105, 17)
    at("Number of flies at start", 16, 88, 105, 13)
    at("More fun program...", 8, 144, 112, 13)
    at("OK", 198, 136, 75, 25)
    at("Button1", 8, 200, 41, 25)
    edit = c["edit"]["rect"]
    expect((edit["left"], edit["top"]) == (128, 80) and edit["bottom"] - edit["top"] == 22,
           f"the fly count's field at {edit}")
    expect(c["Button1"]["rect"]["top"] >= main["client"]["height"], "Button1 can be seen")
    s.screenshot(shot_name)
    return main, c


def commands(s: Session):
    s.reg_add(e2e.SETTINGS_KEY, "OnTop", "REG_DWORD", 0)
    app = s.start()
    s.wait_windows(count=5, visible=True, timeout=30, **FLY)
    expect(topmost_count(s) == (0, 5), "start-up flies are topmost with the setting off")

    menu = open_menu(s)
    rect = menu["rect"]
    expect((rect["left"], rect["top"]) == (700, 250), f"the menu opened at {rect}, not the cursor")
    s.screenshot("menu.png")
    e2e.menu_item_centres(menu)
    s.close_popup_menu()

    choose(s, "Add fly")
    choose(s, "Add 5 flies")
    # The last fly's window exists a moment before the command has made it topmost.
    e2e.wait_until(lambda: topmost_count(s) == (6, 5), 10, "six topmost flies and five others")

    s.post(e2e.WM_TRAYNOTIFY, 1, 0x203, cls="TfrmMain")
    main, c = layout(s, "settings.png")
    expect(c["Always on top"]["checked"] is False and c["Load on startup"]["checked"] is True,
           "check boxes do not show the stored settings")
    s.press("OK", cls="TfrmMain")
    s.wait_windows(cls="TfrmMain", visible=False, timeout=5)
    e2e.wait_until(lambda: topmost_count(s) == (0, 11), 5, "OK to make every fly not topmost")

    choose(s, "Close all flies")
    s.wait_windows(count=0, timeout=10, **FLY)
    expect(s.tray_icons(), "the tray icon went with the flies")

    # A right click on the settings window opens the same menu.
    choose(s, "Settings")
    (main,) = s.wait_windows(cls="TfrmMain", visible=True, timeout=5)
    client = main["client"]
    # Between the link and the picture. On a loaded machine Wine now and then loses a click
    # that arrives while it is still busy; a person would click again, and so do we.
    for attempt in range(3):
        time.sleep(0.5)
        s.right_click(client["x"] + 128, client["y"] + 150)
        try:
            s.wait_windows(cls="#32768", visible=True, timeout=4)
            break
        except E2EError:
            e2e.log(f"right click {attempt + 1} on the settings window opened no menu")
    else:
        raise E2EError("a right click on the settings window never opened the menu")
    s.close_popup_menu()
    s.press("OK", cls="TfrmMain")
    choose(s, "Add fly")
    s.wait_windows(count=1, visible=True, timeout=10, **FLY)

    # The fly count: 0 typed and left becomes 1; 150 typed stays until the program ends.
    s.post(e2e.WM_TRAYNOTIFY, 1, 0x203, cls="TfrmMain")
    main, c = settings_window(s)
    field = c["edit"]
    client = main["client"]
    group = c[" Settings "]["rect"]
    where = (client["x"] + group["left"] + field["rect"]["left"] + 10,
             client["y"] + group["top"] + field["rect"]["top"] + 10)

    def retype(text):
        s.click(*where)
        s.key("End", "BackSpace", "BackSpace", "BackSpace")
        s.type_text(text)

    def field_text():
        return settings_window(s)[1]["edit"]["text"]

    retype("0")
    s.key("Tab")
    e2e.wait_until(lambda: field_text() == "1", 5, "0 to become 1 when the field is left")
    retype("1x5")  # the letter is refused
    e2e.wait_until(lambda: field_text() == "15", 5, "only the digits to be taken")
    retype("150")
    expect(field_text() == "150", "the typed 150 is not kept while the field has the focus")
    choose(s, "Exit")
    code = app.wait(15)
    expect(code == 255, f"exit code {code} after Exit")
    expect(s.reg_query(e2e.SETTINGS_KEY, "Flies") == ("REG_DWORD", 150), "Flies not saved as 150")
    expect(s.reg_query(e2e.SETTINGS_KEY, "OnTop") == ("REG_DWORD", 0), "OnTop not saved as 0")
    expect(not s.tray_icons(timeout=0.5) if s.windows(cls=e2e.TRAY_WINDOW_CLASS, visible=True)
           else True, "the tray icon outlived Exit")

    app = s.start()
    s.wait_windows(count=99, visible=True, timeout=180, **FLY)
    s.post(e2e.WM_TRAYNOTIFY, 1, 0x203, cls="TfrmMain")
    e2e.wait_until(lambda: field_text() == "99", 10, "the window to show 99")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(30) == 0, "exit code after the close message")


def exit_while_starting(s: Session):
    """With 99 flies to make, the menu already works between two of them, and Exit ends the
    program before the rest are made."""
    s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 99)
    app = s.start()
    s.wait_windows(count=3, at_least=True, timeout=30, **FLY)
    menu = open_menu(s)
    made = len(s.windows(**FLY))
    expect(made < 99, "all 99 flies were made before the menu could open")
    s.click(*e2e.menu_item_centres(menu)["Exit"])
    code = app.wait(15)
    expect(code == 255, f"exit code {code} after Exit during the start")
    e2e.log(f"Exit chosen while the start had made {made} of 99 flies")


def high_dpi(s: Session):
    """At 144 pixels per inch the window and its controls grow by half, the text with them."""
    s.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", 144)
    s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 1)
    app = s.start()
    s.wait_windows(count=1, visible=True, timeout=30, **FLY)
    s.post(e2e.WM_TRAYNOTIFY, 1, 0x203, cls="TfrmMain")
    main, c = settings_window(s)
    expect((main["client"]["width"], main["client"]["height"]) == (420, 254),
           f"client area at 144 dpi: {main['client']}")
    r = c["Number of flies at start"]["rect"]
    expect((r["left"], r["top"], r["right"], r["bottom"]) == (24, 132, 182, 152),
           f"label at 144 dpi: {r}")
    s.screenshot("settings_144dpi.png")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(15) == 0, "exit code")


def main():
    with Session() as s:
        commands(s)
        exit_while_starting(s)
    with Session() as s:
        try:
            high_dpi(s)
        finally:
            s.reg_delete(r"HKCU\Control Panel\Desktop", "LogPixels")


if __name__ == "__main__":
    e2e.main_guard(main)
