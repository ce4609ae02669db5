"""A fly under the real mouse: it freezes while the mouse moves over it, a double click hides
it, and on a compositing desktop it blends with what lies below, with no fringe from the
colours its sprite keeps in fully transparent pixels."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zintara_e2e as e2e  # noqa: E402
from zintara_e2e import E2EError, Session  # noqa: E402

FLY = dict(cls="TForm", title_prefix="frmPngFly")
SPRITES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                       "sprites")
CHECKER = [(232, 192, 64), (32, 80, 176)]  # zdrive backdrop's colours, 16-pixel cells


def expect(condition, message):
    if not condition:
        raise E2EError(message)


def raw(path: str, crop: str, fmt: str) -> bytes:
    argv = ["convert", path, *(["-crop", crop] if crop else []), "-depth", "8", f"{fmt}:-"]
    return subprocess.run(argv, capture_output=True, check=True, timeout=60).stdout


def jiggle(s: Session, x: int, y: int, seconds: float):
    """Keeps the mouse moving over (x, y), a pixel either way."""
    end = time.monotonic() + seconds
    step = 1
    while time.monotonic() < end:
        s.xdotool("mousemove", x + step, y)
        step = -step
        time.sleep(0.15)


def caught_fly(s: Session, centre):
    """Starts one fly under the mouse at its body; returns its window once it is frozen there.
    A fly whose start delay runs out before the first mouse move walks off: try again."""
    body = (centre[0] + 28, centre[1] + 28)
    for attempt in range(4):
        s.mouse_move(*body)
        app = s.start()
        (fly,) = s.wait_windows(count=1, visible=True, timeout=20, **FLY)
        jiggle(s, *body, 0.6)
        (fly,) = s.windows(hwnd=fly["hwnd"])
        if (fly["rect"]["left"], fly["rect"]["top"]) == centre:
            return app, fly
        e2e.log(f"attempt {attempt}: the fly set off before the mouse reached it")
        s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
        app.wait(15)
    raise E2EError("never caught a fly at the centre")


def frozen_and_hidden(s: Session, centre):
    app, fly = caught_fly(s, centre)
    # Without a freeze a fly leaves within its start delay (at most 6 s).
    body = (centre[0] + 28, centre[1] + 28)
    jiggle(s, *body, 7)
    (now,) = s.windows(hwnd=fly["hwnd"])
    expect((now["rect"]["left"], now["rect"]["top"]) == centre,
           f"the fly moved under a moving mouse: {now['rect']}")
    s.double_click(*body)
    e2e.wait_until(lambda: not s.windows(hwnd=fly["hwnd"])[0]["visible"], 5,
                   "the fly to vanish after a double click")
    expect(len(s.windows(**FLY)) == 1, "the double click freed the window instead of hiding it")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(15) == 0, "exit code")


def blends_without_fringe(s: Session, centre):
    backdrop = s.start("backdrop", exe=s.zdrive_exe)
    e2e.wait_until(lambda: s.windows(title="zdrive backdrop", visible=True), 10, "the backdrop")
    app, fly = caught_fly(s, centre)
    jiggle(s, centre[0] + 28, centre[1] + 28, 1)
    shot = s.screenshot("fly_on_checkerboard.png")
    x0, y0 = centre
    seen = raw(shot, f"60x60+{x0}+{y0}", "rgb")
    sprite = raw(os.path.join(SPRITES, "1_1.png"), "", "rgba")
    expect(len(seen) == 60 * 60 * 3 and len(sprite) == 60 * 60 * 4, "image sizes")
    worst = 0
    for i in range(3600):
        x, y = x0 + i % 60, y0 + i // 60
        below = CHECKER[((x // 16) + (y // 16)) % 2]
        a = sprite[i * 4 + 3]
        for c in range(3):
            premultiplied = sprite[i * 4 + c] * a // 255
            expected = premultiplied + below[c] * (255 - a) // 255
            worst = max(worst, abs(seen[i * 3 + c] - expected))
            if a == 0 and seen[i * 3 + c] != below[c]:
                raise E2EError(f"pixel {i % 60},{i // 60} (alpha 0) shows {seen[i*3:i*3+3]!r}")
    e2e.log(f"figure: largest channel difference from the exact blend: {worst}")
    expect(worst <= 3, f"a pixel differs from the blend by {worst}")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(15) == 0, "exit code")

    # Several flies walking, for the eye (kept when ZINTARA_E2E_KEEP=1).
    s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 8)
    s.mouse_move(5, 5)
    app = s.start()
    s.wait_windows(count=8, visible=True, timeout=20, **FLY)
    time.sleep(4)
    s.screenshot("flies_on_checkerboard.png")
    s.post(e2e.WM_CLOSEREQUEST, cls="TfrmMain")
    expect(app.wait(15) == 0, "exit code")
    backdrop.process.kill()


def main():
    with Session() as s:
        s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 1)
        screen = s.metrics()["screen"]
        centre = (screen["width"] // 2, screen["height"] // 2)
        frozen_and_hidden(s, centre)
    with Session(compositor=True) as s:
        s.reg_add(e2e.SETTINGS_KEY, "Flies", "REG_DWORD", 1)
        blends_without_fringe(s, centre)


if __name__ == "__main__":
    e2e.main_guard(main)
