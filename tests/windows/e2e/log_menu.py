"""The log handed on, as a technician does it with the real ZorviUpdate.exe under
Wine: a right-click on the log and "Копировать" puts every row on the clipboard, a
right-click and "Сохранить журнал..." saves them through the save dialog (proposed
in the documents folder before a run has made the work folder, in the work folder
after), Cancel in the dialog writes nothing, and a click on a row with Ctrl+C copies
that row. gui-driver does the clicks and keys with real mouse and keyboard input.

Run by CTest like the roads of e2e.py (same environment); screenshots go to
ZORVI_ARTIFACTS/log-menu/.
"""
import datetime
import os
import pwd
import re
import subprocess
import sys
import time

from road import (CONNECT_DIALOG, INFORMATION, INSTRUCTIONS, WAITING_FOR_INSTRUMENT, Bench,
                  Failure, Road, run_wine_program)

BENCH = Bench.from_environment("log-menu")
COPY = "Копировать"
SAVE = "Сохранить журнал..."
PROPOSED_NAME = re.compile(r"^ZorviUpdate-(\d{4})-(\d\d)-(\d\d)-(\d\d)(\d\d)\.log$")


def raw_driver(*arguments):
    """gui-driver's output byte for byte (--raw), decoded; None when it failed."""
    result = run_wine_program([BENCH.wine_run, str(BENCH.bin / "gui-driver.exe"), *arguments,
                               "--raw"], BENCH.env, 60)
    return result.stdout.decode("utf-8") if result.returncode == 0 else None


def log_rows():
    """Every row of the log as it is (the driver ends each with a NUL)."""
    rows = raw_driver("log")
    if rows is None:
        raise Failure("the log could not be read")
    return rows.split("\0")[:-1]


def log_text(rows):
    """What the log's menu must make of the rows: one line per row, a line break
    inside a row as a blank, every line ended by CR LF."""
    return "".join(re.sub(r"\r\n|\r|\n", " ", row) + "\r\n" for row in rows)


def documents_folder():
    profile = BENCH.windows_to_linux(r"C:\users") / pwd.getpwuid(os.getuid()).pw_name
    return profile / "Documents"


def log_files(folder):
    return sorted(p.name for p in folder.glob("ZorviUpdate-*.log")) if folder.is_dir() else []


def expect_clipboard(text, what):
    deadline = time.monotonic() + 5
    while True:
        shown = raw_driver("clipboard")
        if shown == text:
            return
        if time.monotonic() > deadline:
            raise Failure(f"{what}: the clipboard holds\n  {shown!r}\nnot\n  {text!r}")
        time.sleep(0.1)


def open_save_dialog(road, rows):
    """Right-click the last row, choose "Сохранить журнал...", check the name the
    dialog proposes (the date and time of now); returns it."""
    road.driver("log-menu", str(len(rows) - 1), SAVE)
    proposed = road.driver("wait-save-dialog")
    match = PROPOSED_NAME.match(proposed)
    if not match:
        raise Failure(f"the save dialog proposes {proposed!r}")
    stamp = datetime.datetime(*map(int, match.groups()))
    if abs((datetime.datetime.now() - stamp).total_seconds()) > 120:
        raise Failure(f"the proposed name {proposed!r} is not of now")
    return proposed


def save_and_check(road, rows, folder, shot):
    """Saves the log with the proposed name and checks the file in folder."""
    before = log_files(folder)
    proposed = open_save_dialog(road, rows)
    road.screenshot(shot)
    road.driver("press-save-dialog", "ok")
    saved = folder / proposed
    deadline = time.monotonic() + 5
    while not saved.exists():
        if time.monotonic() > deadline:
            raise Failure(f"no {proposed} in {folder}; there are {log_files(folder)}")
        time.sleep(0.1)
    time.sleep(0.3)  # written in one piece, but give the close a moment
    if saved.read_bytes() != log_text(rows).encode("utf-8"):
        raise Failure(f"{saved} holds\n{saved.read_bytes()!r}\nnot\n"
                      f"{log_text(rows).encode('utf-8')!r}")
    if log_files(folder) != sorted(before + [proposed]):
        raise Failure(f"{folder} holds {log_files(folder)} after one save")
    saved.unlink()


def main():
    with Road(BENCH, "log-menu", "--version", "1V4") as road:
        documents = documents_folder()
        work = documents / "ZorviUpdate"

        # A run that never gets to the work folder: no instrument, aborted.
        road.unplug()
        road.click_start()
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
        road.driver("press", CONNECT_DIALOG, "Прервать")
        road.wait_until_done()
        rows = log_rows()
        if work.exists():
            raise Failure("the work folder exists before any deployment")

        road.driver("log-menu", str(len(rows) - 1), COPY)
        expect_clipboard(log_text(rows), "Копировать")

        # Cancel writes nothing; Save writes the rows to the documents folder.
        before = log_files(documents)
        open_save_dialog(road, rows)
        road.driver("press-save-dialog", "cancel")
        time.sleep(0.5)
        if log_files(documents) != before:
            raise Failure(f"a cancelled save wrote {log_files(documents)}")
        save_and_check(road, rows, documents, "save-dialog-documents")

        # A run that deploys the archive: the log now proposes the work folder.
        road.replug()
        road.click_start()
        road.answer(INFORMATION, INSTRUCTIONS, "cancel", "instructions")
        road.wait_until_done()
        rows = log_rows()
        if not any("\r\n" in row for row in rows):
            raise Failure("no row with a line break inside to check")
        road.driver("log-menu", str(len(rows) - 1), COPY)
        expect_clipboard(log_text(rows), "Копировать after the run")
        save_and_check(road, rows, work, "save-dialog-work-folder")

        # Ctrl+C copies the row clicked, as one line.
        road.driver("click-log-row", "1")
        road.driver("key", "ctrl+c")
        expect_clipboard(log_text(rows[1:2])[:-2], "Ctrl+C on row 1")


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print(f"FAIL log-menu: {failure}", file=sys.stderr)
        sys.exit(1)
    print(f"PASS log-menu; screenshots in {BENCH.artifacts}")
