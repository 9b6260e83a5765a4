"""The real ZorviUpdate.exe at 96, 144 and 192 DPI (the prefix's LogPixels): for
each, the connect dialog over a log fuller than the window shows, then the main
window alone with the whole log of a run, as screenshots in ZORVI_ARTIFACTS/dpi/;
every control's rectangle (from gui-driver) exactly the layout's size scaled,
edge by edge, which at 96 DPI is the size of old; the dialog 300 layout pixels
below the main window's top and centred on it; both windows wholly on the screen.

The test has a Wine environment of its own (tools/wine/wine-env.sh) on a virtual
screen large enough for the window at 200 % (1418 x 1114 pixels with its frame),
so the run's shared prefix keeps its DPI and its screen. CTest provides
ZORVI_WINE_RUN, ZORVI_BIN, ZORVI_ARTIFACTS, ZORVI_SIM, ZORVI_UPDATE_ARCHIVE and
ZORVI_DPI_STATE (the folder of this test's environment).
"""
import os
import pathlib
import re
import subprocess
import sys

from road import (CONNECT_DIALOG, INFORMATION, INSTRUCTIONS, WAITING_FOR_INSTRUMENT, Bench,
                  Failure, Road)

SCREEN = (1920, 1200)
MAIN_CAPTION = "ЗОРВИ-41K6УФ. Обновление ПО. Версия 1.008.14.08.2015"
# Rows the log shows at once at any DPI (491 / 24 layout pixels); a full log has more.
VISIBLE_ROWS = 20


def scaled(length, dpi):
    """A length in layout pixels at dpi, rounded half away from zero."""
    return (length * dpi + 48) // 96


def scaled_rect(rect, dpi):
    return tuple(scaled(edge, dpi) for edge in rect)


class Layout:
    """What gui-driver's "controls" prints of a window."""

    def __init__(self, text):
        self.window = self.client = None
        self.controls = []  # (id, parent id, class, (left, top, right, bottom))
        for line in text.splitlines():
            words = line.split()
            if words[0] == "window":
                self.window = tuple(map(int, words[1:5]))
            elif words[0] == "client":
                self.client = tuple(map(int, words[1:3]))
            elif words[0] == "control":
                self.controls.append((int(words[1]), int(words[2]), words[3],
                                      tuple(map(int, words[4:8]))))

    def rects(self):
        return sorted((cls, rect) for _id, _parent, cls, rect in self.controls)


def expect(what, wanted, got):
    if wanted != got:
        raise Failure(f"{what}: expected {wanted}, got {got}")


def check_on_screen(what, window):
    left, top, right, bottom = window
    if left < 0 or top < 0 or right > SCREEN[0] or bottom > SCREEN[1]:
        raise Failure(f"{what} {window} is not wholly on the {SCREEN} screen")


def check_layouts(main, dialog, dpi):
    expect("main window's client area", (scaled(705, dpi), scaled(532, dpi)), main.client)
    expect("main window's controls", sorted([
        ("ZorviPanel", scaled_rect((0, 0, 705, 41), dpi)),
        ("ZorviFlatButton", scaled_rect((4, 4, 97, 37), dpi)),
        ("ListBox", scaled_rect((0, 41, 705, 532), dpi)),
    ]), main.rects())
    expect("dialog's client area", (scaled(370, dpi), scaled(82, dpi)), dialog.client)
    expect("dialog's controls", sorted([
        ("ZorviPanel", scaled_rect((0, 0, 370, 41), dpi)),
        ("ZorviPanel", scaled_rect((0, 41, 370, 82), dpi)),
        ("ZorviFlatButton", scaled_rect((4, 4, 366, 37), dpi)),
    ]), dialog.rects())
    main_width = main.window[2] - main.window[0]
    dialog_width = dialog.window[2] - dialog.window[0]
    expect("dialog's top", main.window[1] + scaled(300, dpi), dialog.window[1])
    expect("dialog's left", main.window[0] + (main_width - dialog_width) // 2, dialog.window[0])
    check_on_screen("the main window", main.window)
    check_on_screen("the dialog", dialog.window)


def run_at(bench, dpi):
    bench.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
               "REG_DWORD", "/d", str(dpi), "/f", capture_output=True, check=True)
    with Road(bench, f"dpi-{dpi}", "--version", "1V4") as road:
        road.unplug()
        road.click_start()
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
        # Two rows a second while the dialog waits.
        while int(road.driver("log-count")) <= VISIBLE_ROWS + 2:
            road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=5000)
        check_layouts(Layout(road.driver("controls", MAIN_CAPTION)),
                      Layout(road.driver("controls", CONNECT_DIALOG)), dpi)
        road.screenshot("connect-dialog-over-full-log")
        road.replug()
        road.answer(INFORMATION, INSTRUCTIONS, "cancel", "instructions")
        rows = road.wait_until_done()  # its screenshot: the main window with the whole log
        if len(rows) <= VISIBLE_ROWS:
            raise Failure(f"only {len(rows)} rows: the log is not full")


def main():
    state = pathlib.Path(os.environ["ZORVI_DPI_STATE"])
    env_script = pathlib.Path(os.environ["ZORVI_WINE_RUN"]).with_name("wine-env.sh")
    os.environ["ZORVI_WINE_STATE"] = str(state)
    started = subprocess.run([str(env_script), "start", str(state)],
                             env={**os.environ, "ZORVI_WINE_SCREEN": f"{SCREEN[0]}x{SCREEN[1]}",
                                  "ZORVI_WINE_ARCH": "win64", "DISPLAY": ""},
                             capture_output=True, text=True)
    if started.returncode != 0:
        raise Failure("the Wine environment did not start: " + started.stderr)
    try:
        bench = Bench(state, os.environ["ZORVI_WINE_RUN"], os.environ["ZORVI_BIN"],
                      os.environ["ZORVI_SIM"], os.environ["ZORVI_UPDATE_ARCHIVE"],
                      pathlib.Path(os.environ["ZORVI_ARTIFACTS"]) / "dpi")
        for old in bench.artifacts.glob("dpi-*"):
            old.unlink()
        for dpi in (96, 144, 192):
            run_at(bench, dpi)
        print("screenshots:", *sorted(p.name for p in bench.artifacts.glob("dpi-*.png")))
    finally:
        subprocess.run([str(env_script), "stop", str(state)], capture_output=True)


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print(f"FAIL dpi: {failure}", file=sys.stderr)
        sys.exit(1)
    print("PASS dpi")
