#!/usr/bin/env python3
"""The wizard against the simulated instrument, for a newcomer. tools/demo.sh builds
the programs, starts a Wine environment and runs this script in it:

    demo.py interactive   ZorviUpdate.exe on the user's display; a person presses
                          Start and answers the boxes, this script does what the
                          person's hands would do to the instrument (programming
                          mode, unplugging, plugging in) when the boxes ask for it
                          and says so; it ends when the main window is closed
    demo.py headless      gui-driver plays the operator through the whole road from
                          version 1V4, the log rows are printed as they appear and
                          the screenshots saved; exit 0 when the update succeeded

Environment (demo.sh sets it): ZORVI_WINE_STATE (the environment of wine-env.sh),
ZORVI_WINE_RUN (wine-run.sh), ZORVI_BIN (the Windows programs), ZORVI_SIM (the
simulator, a Linux program), ZORVI_UPDATE_ARCHIVE (the archive the wizard carries)
and ZORVI_SCREENSHOTS (where the screenshots go).
"""
import os
import pathlib
import signal
import sys
import threading
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests/windows/e2e"))

from road import (AWAY_FROM_LIGHT, CONNECT_DIALOG, DONE, DRIVER_NOT_FOUND, DRIVER_OK,  # noqa: E402
                  FLASHED, INFORMATION, INSTRUCTIONS, PORT, WAITING_FOR_INSTRUMENT, Bench,
                  Failure, Road, play_full_road, readable)

# The row the wizard logs when the instrument runs the new version, recalibrated.
SUCCEEDED = " Обновление успешно завершено."
# The version the simulated instrument has before the update.
OLD_VERSION = "1V4"
# A person may keep the wizard open for long; the simulator ends after this.
INTERACTIVE_SECONDS = 24 * 3600


class Terminal:
    """Lines for the person at the terminal, whole even when two threads print."""

    def __init__(self):
        self.lock = threading.Lock()

    def say(self, text):
        with self.lock:
            print(f"demo: {text}", flush=True)

    def row(self, text):
        with self.lock:
            print(f"  log |{text}", flush=True)


class LogFollower(threading.Thread):
    """Prints the main window's log rows as they appear. While the wizard waits for
    the flashing tool it answers no window message; the rows of that time come with
    the next answer."""

    POLL_SECONDS = 0.5

    def __init__(self, road, terminal):
        super().__init__(daemon=True)
        self.road = road
        self.terminal = terminal
        self.printed = []
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.wait(self.POLL_SECONDS):
            code, out, _ = self.road.run_driver("log", timeout=0)
            if code == DRIVER_OK:
                self.show(out.split("\n") if out else [])

    def show(self, rows):
        if len(rows) < len(self.printed):
            # Start empties the log: the rows are a new run's.
            self.printed = []
        for text in rows[len(self.printed):]:
            self.terminal.row(text)
        self.printed = list(rows)

    def stop(self):
        self.stopping.set()
        self.join()


def headless(bench, terminal):
    """The whole road with the driver as the operator; True when it ended with the
    update done."""
    rows = []
    try:
        with Road(bench, "demo", "--version", OLD_VERSION, say=terminal.say) as road:
            terminal.say(f"ZorviUpdate.exe runs headless; the instrument (version "
                         f"{OLD_VERSION}) is on {PORT}; the driver plays the operator")
            follower = LogFollower(road, terminal)
            follower.start()
            try:
                rows = play_full_road(road)
            finally:
                follower.stop()
            follower.show(rows)
    finally:
        shots = sorted(bench.artifacts.glob("*.png"))
        terminal.say(f"{len(shots)} screenshots in {bench.artifacts}/:")
        for shot in shots:
            terminal.say(f"  {shot.name}")
    done = bool(rows) and rows[-1] == DONE and SUCCEEDED in rows[:-1]
    terminal.say("the update succeeded" if done else "the road did not end with a finished update")
    return done


class InstrumentHands:
    """What a person's hands do to the instrument while the wizard runs, done to the
    simulated one when a box of the wizard asks for it. The "Информация" box on
    screen is looked at a few times a second; each new text is one request."""

    def __init__(self, road, terminal):
        self.road = road
        self.say = terminal.say
        self.box = None  # text of the box on screen, None while there is none
        self.programming = False  # the boot loader answers, not the instrument's software
        self.unplugged = False  # unplugged after the flashing, until the wizard waits

    def follow(self):
        while self.road.app.poll() is None:
            self.look()
            time.sleep(0.2)

    def look(self):
        code, text, _ = self.road.run_driver("wait-box", INFORMATION, timeout=500)
        if code == DRIVER_NOT_FOUND:
            text = None
        elif code != DRIVER_OK:
            return  # the wizard is busy (it waits for the flashing tool): look again later
        if text != self.box:
            self.box = text
            if text is not None:
                self.on_box(text)
        if text is None:
            if self.unplugged:
                self.plug_in_after_flashing()
            elif self.programming and self.run_over():
                # Cancelled, or the flashing failed: the instrument is used normally again.
                self.road.instrument_mode()
                self.programming = False

    def on_box(self, text):
        if text == INSTRUCTIONS:
            self.say("the wizard asks to unplug the instrument and put it into programming "
                     "mode; the demo does that for you:")
            self.road.unplug()
            self.road.programming_mode()
            self.road.replug()
            self.programming = True
            self.say("now press OK in the box (Cancel ends the run)")
        elif text == FLASHED:
            self.say("the new software is written; the wizard asks to unplug the instrument; "
                     "the demo does that for you:")
            self.road.unplug()
            self.unplugged = True
            self.say("now press OK; the instrument is plugged in again once the wizard waits "
                     "for it")
        elif text == AWAY_FROM_LIGHT:
            self.say("the wizard asks to point the instrument away from light; the simulated "
                     "one is; press OK for the recalibration (about 15 s)")
        else:
            self.say(f"box «{INFORMATION}»: {readable(text)}")

    def plug_in_after_flashing(self):
        """The wizard's connect dialog waits for the instrument; after a moment (so
        that the waiting can be seen) it comes back, running the new software."""
        self.road.driver("find", CONNECT_DIALOG, timeout=20000, check=False)
        self.road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=10000, check=False)
        time.sleep(2)
        self.road.instrument_mode()
        self.road.replug()
        self.unplugged = False
        self.programming = False

    def run_over(self):
        return self.road.driver("start-enabled", timeout=0, check=False) == "enabled"


def interactive(bench, terminal):
    with Road(bench, "demo", "--version", OLD_VERSION, time_limit=INTERACTIVE_SECONDS,
              say=terminal.say) as road:
        terminal.say(f"ZorviUpdate.exe is on your display; the simulated instrument (version "
                     f"{OLD_VERSION}) is plugged in on {PORT}")
        terminal.say("press «Старт» and answer the boxes; the demo plays the instrument's side "
                     "and tells you here what it does; close the window to end (Ctrl+C aborts)")
        InstrumentHands(road, terminal).follow()
        terminal.say("the main window is closed")
    return True


def main():
    modes = {"interactive": interactive, "headless": headless}
    if len(sys.argv) != 2 or sys.argv[1] not in modes:
        sys.exit(f"usage: demo.py {'|'.join(modes)}")
    bench = Bench(os.environ["ZORVI_WINE_STATE"], os.environ["ZORVI_WINE_RUN"],
                  os.environ["ZORVI_BIN"], os.environ["ZORVI_SIM"],
                  os.environ["ZORVI_UPDATE_ARCHIVE"], os.environ["ZORVI_SCREENSHOTS"])
    terminal = Terminal()
    # A termination (demo.sh passes Ctrl+C on as one) ends the wizard and the
    # simulator as Ctrl+C does.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    try:
        ok = modes[sys.argv[1]](bench, terminal)
    except Failure as failure:
        terminal.say(f"failed: {failure}")
        return 1
    except KeyboardInterrupt:
        terminal.say("interrupted")
        return 130
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
