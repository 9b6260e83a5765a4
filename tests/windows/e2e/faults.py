"""End-to-end roads of an update when the world misbehaves, on the bench of the other
roads (road.py): the real ZorviUpdate.exe under Wine, the simulated instrument behind
COM5, the stand-in flashing tool, gui-driver.exe for the operator. Each road is one
CTest test:

    faults.py ROAD     ROAD: documents-folder-faults, console-closed, second-copy,
                       user-folder-characters, foreign-device-zero

Run by CTest like e2e.py (same environment); screenshots go to ZORVI_ARTIFACTS/faults/.
"""
import contextlib
import os
import pathlib
import re
import subprocess
import sys
import time

from e2e import (CLOSING, CONNECT, NEEDS_UPDATE, VERSION_CHECK, check_work_folder, connect_rows,
                 deployment_rows, expect_rows, flash_pass_rows, recalibration_rows, row,
                 without_waiting, work_dir_of)
from road import (ALREADY_CURRENT, AWAY_FROM_LIGHT, CONNECT_DIALOG, FLASHED, INFORMATION,
                  INSTRUCTIONS, QUESTION, WAITING_FOR_INSTRUMENT, Bench, Failure, Road,
                  documents_folder, documents_registry, play_full_road)

BENCH = Bench.from_environment("faults")

FAILED_FLASH = [row("Обновление программного обеспечения..."), row("   Загрузка ПО в прибор..."),
                row("   Ошибка при выполнении обновления ПО!"), row("Операция завершена")]
CLOSE_DURING_FLASH = ("Выполняется загрузка ПО в прибор. Дождитесь её завершения или прервите "
                      "загрузку, закрыв окно \"Обновление ПО...\".")
FLASHED_FIRMWARE = "flashed firmware started: version 1V5"


def zorvi_folders():
    """Every folder or file whose name holds ZorviUpdate, in the prefix's C: drive
    and in the folder the program runs in (the roads' own current folder)."""
    found = set()
    for root in (BENCH.prefix / "drive_c", pathlib.Path.cwd()):
        for folder, names, files in os.walk(root):
            found.update(os.path.join(folder, name) for name in names + files
                         if "zorviupdate" in name.lower() and not name.lower().endswith(".exe"))
    return found


@contextlib.contextmanager
def read_only_folder(folder):
    """The folder made read-only for the block: its permissions, or, for a user the
    permissions do not bind (root), its immutable attribute."""
    folder.chmod(0o555)
    immutable = False
    try:
        probe = folder / "probe"
        try:
            probe.mkdir()
        except PermissionError:
            pass
        else:
            probe.rmdir()
            if subprocess.run(["chattr", "+i", str(folder)], capture_output=True).returncode != 0:
                raise Failure(f"{folder} cannot be made read-only on this machine")
            immutable = True
        yield
    finally:
        if immutable:
            subprocess.run(["chattr", "-i", str(folder)], check=True)
        folder.chmod(0o755)


def deployment_failure_rows(folder_line, reason):
    """The version check, then a deployment that fails at the folder with a reason."""
    return (CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
            + [row("Распаковка архива..."), row("   Создание директории..."), folder_line,
               row("      Ошибка!"), reason, row("Операция завершена")])


def documents_folder_faults():
    """Documents folders the work folder cannot be made in, one run each: a profile
    redirected to a drive that is not there (the shell then names no usable folder),
    a read-only documents folder, a file named ZorviUpdate in the work folder's
    place, a documents folder so deep that the tool could not open its files. Each
    run ends at the folder step with "Ошибка!" and one line saying why, and makes
    nothing anywhere."""
    own_texts = ("Папка документов", "Слишком длинный", "Ошибка", "Успешно")
    system_reason = re.compile(r"^       (?!" + "|".join(own_texts) + r")\S.*$")
    with Road(BENCH, "documents-folder-faults", "--version", "1V4") as road:
        before = zorvi_folders()
        with documents_registry(BENCH, r"Q:\Documents"):
            road.click_start()
            rows = road.wait_until_done()
        # What the shell answers for an absent drive is its own affair (Wine gives
        # bytes of no meaning); the run says it is no documents folder.
        expect_rows(deployment_failure_rows(
            re.compile(r"^       .*\\ZorviUpdate\\$"),
            re.compile(r"^       Папка документов пользователя (задана неполным путём\."
                       r"|недоступна: \S.*)$")), rows)
        print(f"absent drive: {rows[-2].strip()}")
        if zorvi_folders() != before:
            raise Failure(f"the run made {sorted(zorvi_folders() - before)}")

        # The system's own words for the folder it could not make.
        read_only = r"C:\users\readonly\Documents"
        with documents_folder(BENCH, read_only) as folder:
            with read_only_folder(folder):
                road.click_start()
                rows = road.wait_until_done()
        expect_rows(deployment_failure_rows(row("      " + read_only + "\\ZorviUpdate\\"),
                                            system_reason), rows)
        print(f"read-only: {rows[-2].strip()}")

        taken = r"C:\users\taken\Documents"
        with documents_folder(BENCH, taken) as folder:
            (folder / "ZorviUpdate").write_text("not a folder")
            road.click_start()
            rows = road.wait_until_done()
            if not (folder / "ZorviUpdate").is_file():
                raise Failure("the file in the work folder's place is gone")
        expect_rows(deployment_failure_rows(row("      " + taken + "\\ZorviUpdate\\"),
                                            system_reason), rows)
        print(f"a file in its place: {rows[-2].strip()}")
        if rows[-2] == rows[-9]:
            raise Failure("the same reason for a read-only folder and a file in the way")

        # 230 characters of documents folder: a work folder of 243.
        deep = r"C:\users\deep" + "\\" + "d" * 120 + "\\" + "e" * (230 - 14 - 121 - 10) + r"\Documents"
        if len(deep) != 230:
            raise Failure(f"the deep folder has {len(deep)} characters")
        before = zorvi_folders()
        with documents_folder(BENCH, deep):
            road.click_start()
            rows = road.wait_until_done()
        expect_rows(deployment_failure_rows(
            row("      " + deep + "\\ZorviUpdate\\"),
            row("      Слишком длинный путь к рабочей папке (длина 243, допустимо не более 242).")),
            rows)
        if zorvi_folders() != before:
            raise Failure(f"the run made {sorted(zorvi_folders() - before)}")


def close_console(when, on_ready):
    """Closes the batch's console window with its close box once the batch is at its
    key prompt ("at-prompt") or runs the tool ("while-tool"); on_ready() is what the
    operator does first."""
    closer = subprocess.Popen([BENCH.wine_run, str(BENCH.bin / "e2e-close-console.exe"), "90000",
                               when, "--confirm"], env=BENCH.env, stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if closer.stdout.readline().strip() != b"ready":
        closer.wait()
        raise Failure(f"the batch did not come to '{when}': "
                      + closer.stderr.read().decode(errors="replace"))
    on_ready()
    out, err = closer.communicate(b"\n", timeout=60)
    if closer.returncode != 0:
        raise Failure(f"the console was not closed ({closer.returncode}): "
                      + (out + err).decode(errors="replace"))


def console_closed():
    """The operator closes the flashing batch's console window: first at the key
    prompt after a failed tool run, then while the tool waits on a chip that takes
    20 s to erase (after pressing the main window's close box, whose notice says
    what to do while the tool runs). Neither counts as a finished flash: the run
    ends with the failure line, never with "Загрузка завершена"."""
    with Road(BENCH, "console-closed", "--version", "1V4", "--isp-delay", "20000") as road:
        road.click_start()
        # OK without programming mode: the tool finds no boot loader and fails.
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions")
        close_console("at-prompt", lambda: road.screenshot("tool-failed-console"))
        rows = road.wait_until_done()
        work_dir = work_dir_of(rows)
        head = (CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                + deployment_rows(work_dir))
        expect_rows(head + FAILED_FLASH, rows)

        road.click_start()
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions-again",
                    before=road.programming_mode)

        def close_box_first():
            time.sleep(2)  # the tool has sent the erase and waits
            road.driver("close-main")
            road.answer(INFORMATION, CLOSE_DURING_FLASH, "ok", "close-during-flash")
            road.wait_box_gone(INFORMATION, CLOSE_DURING_FLASH)
            road.driver("wait-main", timeout=5000)
        close_console("while-tool", close_box_first)
        rows = road.wait_until_done()
        expect_rows(head + FAILED_FLASH, rows)
        if FLASHED_FIRMWARE in road.sim_log.read_text(errors="replace"):
            raise Failure("the simulator started flashed firmware")


def second_copy():
    """While the first copy flashes (a slow chip: about ten seconds), the operator
    starts the program again. The second copy brings the first one's window to the
    front and ends at once, without a window and without asking any port; the flash
    goes on undisturbed and the whole road ends as always."""
    with Road(BENCH, "second-copy", "--version", "1V4", "--isp-delay", "400") as road:
        road.click_start()
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions", before=road.programming_mode)
        road.driver("find", " Обновление ПО...", timeout=30000)
        road.wait_for_instrument("boot loader", seconds=30)
        print(f"in the foreground before: {road.driver('foreground')}")
        status, took = road.start_second_copy()
        if status != 0:
            raise Failure(f"the second copy ended with {status} after {took:.1f} s")
        print(f"the second copy ended after {took:.1f} s")
        foreground = road.driver("foreground")
        if not foreground.startswith("ZorviMainForm\t"):
            raise Failure(f"the first copy's window is not in the front: {foreground}")
        main_windows = [w for w in road.driver("windows").split("\n")
                        if w.startswith("ZorviMainForm\t")]
        if len(main_windows) != 1:
            raise Failure(f"{len(main_windows)} main windows: {main_windows}")
        road.screenshot("after-second-copy")

        road.answer(INFORMATION, FLASHED, "ok", "flashed", before=road.unplug)
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
        road.replug()
        road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light")
        rows, _ = without_waiting(road.wait_until_done())
        work_dir = work_dir_of(rows)
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir) + flash_pass_rows(True) + connect_rows("1V5")
                    + [row("   Подключение к прибору выполнено."),
                       row(" Обновление программного обеспечения до версии 1V5 выполнено."),
                       row("   Начало перекалибровки...")]
                    + recalibration_rows() + CLOSING, rows)
        if FLASHED_FIRMWARE not in road.sim_log.read_text(errors="replace"):
            raise Failure("the simulator did not start the flashed firmware")


def user_folder_characters():
    """Documents folders of users named 100%, Q&A (x) and a^b!c, and one on a
    network share whose name holds a % too, one flash each: the batch runs the tool
    in the work folder every time and the flash succeeds."""
    with Road(BENCH, "user-folder-characters", "--version", "1V4") as road:
        for number, documents in enumerate((r"C:\users\100%\Documents",
                                            r"C:\users\Q&A (x)\Documents",
                                            r"C:\users\a^b!c\Documents",
                                            r"\\zorvi-e2e\share\Q&A 100% (x)\Documents"), start=1):
            with documents_folder(BENCH, documents):
                if number > 1:
                    road.replug()
                road.click_start()
                if number > 1:
                    road.answer(QUESTION, ALREADY_CURRENT, "yes", f"question-{number}")
                road.answer(INFORMATION, INSTRUCTIONS, "ok", f"instructions-{number}",
                            before=road.programming_mode)
                road.answer(INFORMATION, FLASHED, "ok", f"flashed-{number}", before=road.unplug)
                road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
                road.driver("press", CONNECT_DIALOG, "Прервать")
                rows, _ = without_waiting(road.wait_until_done())
                work_dir = work_dir_of(rows)
                if work_dir != documents + "\\ZorviUpdate\\":
                    raise Failure(f"work folder {work_dir}")
                version = ("1V4", "12.03.2019") if number == 1 else ("1V5", "07.09.2015")
                decision = (NEEDS_UPDATE if number == 1 else
                            [row("   Обновление программного обеспечения не требуется."), row("")])
                expect_rows(CONNECT + connect_rows(*version) + VERSION_CHECK + decision
                            + deployment_rows(work_dir) + flash_pass_rows(True)
                            + [row("   Операция прервана."), row("Операция завершена")], rows)
                check_work_folder(work_dir)
                started = road.sim_log.read_text(errors="replace").count(FLASHED_FIRMWARE)
                if started != number:
                    raise Failure(f"the simulator started flashed firmware {started} times")


def foreign_device_zero():
    """A foreign device on COM3, listed before the instrument's COM5, answers every
    query with binary frames, zero bytes among them. It answers alone for a few
    ticks; then the instrument is plugged in and found at the next tick, and the
    whole road runs with the neighbour answering at every tick of every wait: the
    log is the full road's, with the neighbour's three lines before each probe of
    COM5 and at each tick without the instrument."""
    with Road(BENCH, "foreign-device-zero", "--version", "1V4") as road:
        neighbour = road.add_device("COM3", "--binary")
        road.unplug()
        road.click_start()
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        none_answers = row("Нет приборов, допускающих перепрограммирование.")
        wait_for_rows = time.monotonic() + 30
        while road.log_rows().count(none_answers) < 3:
            if time.monotonic() > wait_for_rows:
                raise Failure("the neighbour alone was not probed three times")
            time.sleep(0.5)
        road.screenshot("foreign-device-only")
        road.replug()
        rows, waiting = without_waiting(play_rest_of_full_road(road))
        if waiting < 6:
            raise Failure("the connect dialog logged too few waiting lines")

        # The neighbour's lines, each probe of COM3: its port, the verdict, its bytes.
        probe = row("      Подключение к порту COM3 выполнено.")
        verdict = row(" Прибор обнаружен, но это- не прибор из списка:\r\nZorvi-41K6UV!")
        others, probes = [], 0
        i = 0
        while i < len(rows):
            if rows[i] == probe:
                if rows[i + 1:i + 2] != [verdict] or not rows[i + 2].startswith(" Обнаружен:"):
                    raise Failure(f"the neighbour's probe at row {i}: {rows[i:i + 3]}")
                probes, i = probes + 1, i + 3
            else:
                others.append(rows[i])
                i += 1
        if probes < 6:
            raise Failure(f"the neighbour was probed {probes} times")
        work_dir = work_dir_of(others)
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir) + flash_pass_rows(True) + connect_rows("1V5")
                    + [row("   Подключение к прибору выполнено."),
                       row(" Обновление программного обеспечения до версии 1V5 выполнено."),
                       row("   Начало перекалибровки...")]
                    + recalibration_rows() + CLOSING, others)
        # The instrument is found at the very tick it answers: the probe of COM5 just
        # after the neighbour's is the one that finds it, in both waits.
        for found in (i for i, r in enumerate(rows) if r == row("      Подключение к порту COM5 выполнено.")):
            if rows[found + 1] != row(" Прибор обнаружен, Модель:Zorvi-41K6UV\r\n"):
                raise Failure(f"the instrument was not found at row {found}: {rows[found + 1]}")
        print(f"the neighbour was probed {probes} times, answered "
              f"{neighbour.read_text(errors='replace').count('identification sent')} times")
        check_work_folder(work_dir)
        if FLASHED_FIRMWARE not in road.sim_log.read_text(errors="replace"):
            raise Failure("the simulator did not start the flashed firmware")


def play_rest_of_full_road(road):
    """The full road from the connect dialog on: instructions with programming mode,
    flashing, unplugged and plugged in again, the recalibration. The log rows."""
    road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions", before=road.programming_mode)
    road.answer(INFORMATION, FLASHED, "ok", "flashed", before=road.unplug)
    road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
    road.replug()
    road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light")
    return road.wait_until_done()


ROADS = {
    "documents-folder-faults": documents_folder_faults,
    "console-closed": console_closed,
    "second-copy": second_copy,
    "user-folder-characters": user_folder_characters,
    "foreign-device-zero": foreign_device_zero,
}

if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ROADS:
        sys.exit(f"usage: faults.py {'|'.join(ROADS)}")
    try:
        ROADS[sys.argv[1]]()
    except Failure as failure:
        print(f"FAIL {sys.argv[1]}: {failure}", file=sys.stderr)
        sys.exit(1)
    print(f"PASS {sys.argv[1]}; screenshots in {BENCH.artifacts}")
