"""End-to-end roads of an update: the real ZorviUpdate.exe under Wine, a simulated
instrument on a pseudo-terminal behind COM5 of the bridge, and gui-driver.exe
answering the boxes as a person would (the bench is road.py's). Each road is one
CTest test:

    e2e.py ROAD        ROAD: full-road, already-current, cancel-instructions,
                       flash-failure, recalibration-retry, abort-connect,
                       instrument-lost, slow-flash-user-folders

Run by CTest (zorvi_add_wine_script_test), which provides ZORVI_WINE_STATE,
ZORVI_WINE_RUN, ZORVI_BIN and ZORVI_ARTIFACTS; ZORVI_SIM names the simulator (a
Linux program) and ZORVI_UPDATE_ARCHIVE the archive the program carries.
Screenshots of every window met on the road go to ZORVI_ARTIFACTS/e2e/.
"""
import re
import subprocess
import sys
import time
import zipfile

from road import (ALREADY_CURRENT, AWAY_FROM_LIGHT, CONNECT_DIALOG, FLASHED, INFORMATION,
                  INSTRUCTIONS, PORT, QUESTION, WAITING_FOR_INSTRUMENT, Bench, Failure, Road,
                  documents_folder, find_ignoring_case, play_full_road)

BENCH = Bench.from_environment("e2e")


# ---- what the log must hold -----------------------------------------------------------

def row(text):
    """The row AddLogLine makes of a text, as the driver prints it."""
    return " " + text.replace("\r", r"\r").replace("\n", r"\n")


def connect_rows(version, date=None):
    """A wait that finds the instrument at the first tick (the device link's lines)."""
    return [row(f"      Подключение к порту {PORT} выполнено."),
            row(" Прибор обнаружен, Модель:Zorvi-41K6UV\r\n"),
            re.compile(re.escape(row(f"      Текущая версия прибора: {version} от "))
                       + (re.escape(date) if date else r"\d\d\.\d\d\.\d{4}") + "$")]


WAITING = {row(" не подключен НИ ОДИН требуемый прибор."),
           row("Нет приборов, допускающих перепрограммирование."),
           row("Ждём подключения прибора.... ")}


def without_waiting(rows):
    """The rows without the connect dialog's per-tick waiting lines, and their count."""
    kept = [r for r in rows if r not in WAITING]
    return kept, len(rows) - len(kept)


def expect_rows(expected, rows):
    if len(rows) == len(expected) and all(
            (e.match(r) if isinstance(e, re.Pattern) else e == r) for e, r in zip(expected, rows)):
        return
    lines = ["the log differs:"]
    for i in range(max(len(expected), len(rows))):
        e = expected[i] if i < len(expected) else "<none>"
        r = rows[i] if i < len(rows) else "<none>"
        e = e.pattern if isinstance(e, re.Pattern) else e
        lines.append(f"{'  ' if e == r else '! '}{i:3}: expected {e!r}\n       got      {r!r}")
    raise Failure("\n".join(lines))


CONNECT = [row("Подключение к прибору...")]
VERSION_CHECK = [row("   Подключение к прибору выполнено."), row("Сверка версий ПО...")]
NEEDS_UPDATE = [row("   Требуется обновление ПО до версии 1V5."), row("")]


def deployment_rows(work_dir):
    return [row("Распаковка архива..."), row("   Создание директории..."),
            row("      " + work_dir), row("      Успешно."), row("   Копирование архива..."),
            row("      " + work_dir + "update.zip"), row("      Успешно."),
            row("   Распаковка успешно завершена."), row("")]


def flash_pass_rows(first_pass):
    head = [row("Обновление программного обеспечения...")] if first_pass else []
    return head + [row("   Загрузка ПО в прибор..."), row("   Загрузка ПО завершена. Проверка...")]


def recalibration_rows():
    return ([row(f"Подключение к порту {PORT} выполнено. начало калибровки...")]
            + [row(f"{n}...") for n in range(14, -1, -1)])


CLOSING = [row("   Калибровка проведена. Прибор готов к работе! "), row(""),
           row("Обновление успешно завершено."), row(""),
           row("Отключите прибор от компьютера."), row("Операция завершена")]


def work_dir_of(rows):
    for r in rows:
        match = re.match(r"^       ((?:[A-Za-z]:|\\\\).*\\ZorviUpdate\\)$", r)
        if match:
            return match.group(1)
    raise Failure("no work folder in the log")


def job_files(work_dir):
    fmconfig = ("COM(5,115200)\r\nDEVICE(LPC2138,14.318180)\r\nHARDWARE(BOOTEXEC,50,100)\r\n"
                "HIGHSPEED(0,115200)\r\nERASEUSED(Data.hex,PROTECTISP)\r\n"
                "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)\r\n")
    # The batch never holds the work folder's path. A local one is started there; a
    # network one changes there through the variable, in the form its % leaves alone.
    tool = ("FM.EXE @fmconfig.txt\r\nif ERRORLEVEL 1 goto 100\r\nif not ERRORLEVEL 0 goto 100\r\n"
            "echo ok>flash-ok.txt\r\n")
    if not work_dir.startswith("\\\\"):
        start = "@echo off\r\n" + tool + "exit /B 0\r\n:100\r\npause\r\nexit /B 1\r\n"
    else:
        delayed = "%" in work_dir
        start = ("@echo off\r\nsetlocal " + ("Enable" if delayed else "Disable") + "DelayedExpansion\r\n"
                 + ('pushd "!ZORVI_WORK_FOLDER!"' if delayed else 'pushd "%ZORVI_WORK_FOLDER%"')
                 + "\r\nif ERRORLEVEL 1 goto 100\r\n" + tool
                 + "popd\r\nexit /B 0\r\n:100\r\npause\r\npopd\r\nexit /B 1\r\n")
    return fmconfig.encode("cp1251"), start.encode("cp1251")


def check_work_folder(work_dir):
    """update.zip as carried, the entries with their sizes and times, the job files."""
    folder = BENCH.windows_to_linux(work_dir)
    if find_ignoring_case(folder, "update.zip").read_bytes() != BENCH.archive.read_bytes():
        raise Failure("update.zip differs from the archive the program carries")
    fmconfig, start = job_files(work_dir)
    replaced = {"fmconfig.txt": fmconfig, "start.bat": start}
    with zipfile.ZipFile(BENCH.archive) as archive:
        for entry in archive.infolist():
            path = find_ignoring_case(folder, entry.filename)
            if entry.filename.lower() in replaced:
                if path.read_bytes() != replaced[entry.filename.lower()]:
                    raise Failure(f"{entry.filename}: not the job file expected:\n"
                                  f"{path.read_bytes()!r}")
                continue
            stat = path.stat()
            if stat.st_size != entry.file_size:
                raise Failure(f"{entry.filename}: {stat.st_size} bytes, not {entry.file_size}")
            # Extracted files are dated with the archived time taken as local time.
            archived = time.mktime(entry.date_time + (0, 0, -1))
            if abs(stat.st_mtime - archived) > 2:
                raise Failure(f"{entry.filename}: modified {time.ctime(stat.st_mtime)}, "
                              f"archived {time.ctime(archived)}")


# ---- the roads -------------------------------------------------------------------------

def full_road():
    """From version 1V4 to "Операция завершена", the instrument reconnected between."""
    with Road(BENCH, "full-road", "--version", "1V4") as road:
        rows, waiting = without_waiting(play_full_road(road))
        if waiting < 2:
            raise Failure("the connect dialog logged no waiting lines while unplugged")
        work_dir = work_dir_of(rows)
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir) + flash_pass_rows(True) + connect_rows("1V5")
                    + [row("   Подключение к прибору выполнено."),
                       row(" Обновление программного обеспечения до версии 1V5 выполнено."),
                       row("   Начало перекалибровки...")]
                    + recalibration_rows() + CLOSING, rows)
        check_work_folder(work_dir)
        if "flashed firmware started: version 1V5" not in road.sim_log.read_text(errors="replace"):
            raise Failure("the simulator did not start the flashed firmware")


def already_current():
    """An instrument at 1V5; the operator answers No to the question."""
    with Road(BENCH, "already-current", "--version", "1V5") as road:
        road.click_start()
        road.answer(QUESTION, ALREADY_CURRENT, "no", "question")
        rows = road.wait_until_done()
        expect_rows(CONNECT + connect_rows("1V5", "12.03.2019") + VERSION_CHECK
                    + [row("   Обновление программного обеспечения не требуется."), row(""),
                       row("Операция завершена")], rows)


def cancel_instructions():
    """Cancel in the first instruction box ends the run before any job file."""
    with Road(BENCH, "cancel-instructions", "--version", "1V4") as road:
        road.click_start()
        road.answer(INFORMATION, INSTRUCTIONS, "cancel", "instructions")
        rows = road.wait_until_done()
        work_dir = work_dir_of(rows)
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir)
                    + [row("Обновление программного обеспечения..."),
                       row("Операция завершена")], rows)
        # The archive's sample job file is still there: none was written.
        sample = find_ignoring_case(BENCH.windows_to_linux(work_dir), "fmconfig.txt").read_bytes()
        if sample.startswith(b"COM(5,115200)"):
            raise Failure("a job file was written although the operator cancelled")


def flash_failure():
    """OK without putting the instrument into programming mode: the tool fails, the
    batch's key prompt is answered, the run ends."""
    with Road(BENCH, "flash-failure", "--version", "1V4") as road:
        road.click_start()
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions")
        # The operator reads the tool's complaint in the console, then presses a key.
        presser = subprocess.Popen([BENCH.wine_run, str(BENCH.bin / "e2e-press-key.exe"),
                                    "90000", "--confirm"], env=BENCH.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if presser.stdout.readline().strip() != b"waiting":
            presser.wait()
            raise Failure("the batch's key prompt did not come: "
                          + presser.stderr.read().decode(errors="replace"))
        road.screenshot("tool-failed-console")
        presser.communicate(b"\n", timeout=30)
        if presser.returncode != 0:
            raise Failure("the key could not be pressed")
        rows = road.wait_until_done()
        work_dir = work_dir_of(rows)
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir)
                    + [row("Обновление программного обеспечения..."),
                       row("   Загрузка ПО в прибор..."),
                       row("   Ошибка при выполнении обновления ПО!"),
                       row("Операция завершена")], rows)


def recalibration_retry():
    """The first recalibration never reports "Calc.": back to the instructions, a
    second flashing, then a recalibration that runs through."""
    with Road(BENCH, "recalibration-retry", "--version", "1V4", "--no-calc") as road:
        road.click_start()
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions", before=road.programming_mode)
        road.answer(INFORMATION, FLASHED, "ok", "flashed")
        road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light")
        road.driver("wait-log", " Калибровка не выполнена. Повтор ....", timeout=60000)
        road.sim("set no-calc=0")
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions-again",
                    before=road.programming_mode)
        road.answer(INFORMATION, FLASHED, "ok", "flashed-again")
        road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light-again")
        rows = road.wait_until_done()
        work_dir = work_dir_of(rows)
        found_flashed = connect_rows("1V5") + [
            row("   Подключение к прибору выполнено."),
            row(" Обновление программного обеспечения до версии 1V5 выполнено."),
            row("   Начало перекалибровки...")]
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir) + flash_pass_rows(True) + found_flashed
                    + [row(f"Подключение к порту {PORT} выполнено. начало калибровки..."),
                       row("14..."),
                       row("Ошибка! Калибровка не стартовала!\r\n"
                           "Попробуйте сначала или обратитесь к Прoизводителю!"),
                       row(" Калибровка не выполнена. Повтор ....")]
                    + flash_pass_rows(False) + found_flashed + recalibration_rows() + CLOSING,
                    rows)
        check_work_folder(work_dir)


def abort_connect():
    """No instrument: the operator aborts the connect dialog."""
    with Road(BENCH, "abort-connect", "--version", "1V4") as road:
        road.unplug()
        road.click_start()
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
        road.screenshot("connect-dialog")
        road.driver("press", CONNECT_DIALOG, "Прервать")
        rows, waiting = without_waiting(road.wait_until_done())
        if waiting < 2:
            raise Failure("the connect dialog logged no waiting lines")
        expect_rows(CONNECT + [row("   Операция прервана."), row("Операция завершена")], rows)


NOT_UPDATED_UNKNOWN = "Обновление НЕ выполнено!\\r\\nВерсия ПО в приборе:неизвестна"
CLOSE_DURING_RUN = ("Выполняется операция. Дождитесь её завершения или прервите операцию кнопкой "
                    "\"Прервать\" в окне подключения к прибору либо кнопкой \"Отмена\" в окне с "
                    "инструкцией.")
LINK_LOST = row("Ошибка! Связь с прибором потеряна!\r\n"
                "Попробуйте сначала или обратитесь к Прoизводителю!")


def instrument_lost():
    """"Update anyway" from 1V5: the instrument comes back answering without a
    readable version, which does not confirm the flashing. After a second flashing
    it reports 1V5; in the recalibration's countdown the close box is pressed (the
    window and the run stay), then the instrument is pulled out: the recalibration
    fails and the instructions come again, never the success lines."""
    with Road(BENCH, "instrument-lost", "--version", "1V5") as road:
        road.click_start()
        road.answer(QUESTION, ALREADY_CURRENT, "yes", "question")
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions", before=road.programming_mode)
        road.answer(INFORMATION, FLASHED, "ok", "flashed",
                    before=lambda: road.sim("set unreadable-version=1"))
        road.answer(INFORMATION, NOT_UPDATED_UNKNOWN, "ok", "not-updated")
        road.wait_box_gone(INFORMATION, NOT_UPDATED_UNKNOWN)

        def readable_again():
            road.sim("set unreadable-version=0")
            road.programming_mode()
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions-again", before=readable_again)
        road.answer(INFORMATION, FLASHED, "ok", "flashed-again")
        road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light")

        # Reading the log takes a second a row while the countdown handles messages
        # only once a second: the simulator tells when the countdown has begun.
        road.wait_for_instrument("calibration started")
        road.driver("close-main")
        road.answer(INFORMATION, CLOSE_DURING_RUN, "ok", "close-during-run")
        road.wait_box_gone(INFORMATION, CLOSE_DURING_RUN)
        road.driver("wait-main", timeout=5000)
        time.sleep(2.5)  # a few cycles on
        road.pull_out()
        road.answer(INFORMATION, INSTRUCTIONS, "cancel", "instructions-after-loss")
        rows = road.wait_until_done()

        work_dir = work_dir_of(rows)
        head = (CONNECT + connect_rows("1V5", "12.03.2019") + VERSION_CHECK
                + [row("   Обновление программного обеспечения не требуется."), row("")]
                + deployment_rows(work_dir) + flash_pass_rows(True)
                + [row(f"      Подключение к порту {PORT} выполнено."),
                   row(" Прибор обнаружен, Модель:Zorvi-41K6UV\r\n"),
                   row("      Текущая версия прибора: неизвестна"),
                   row("   Подключение к прибору выполнено."),
                   row("   Обновление программного обеспечения НЕ выполнено! Повтор...")]
                + flash_pass_rows(False) + connect_rows("1V5")
                + [row("   Подключение к прибору выполнено."),
                   row(" Обновление программного обеспечения до версии 1V5 выполнено."),
                   row("   Начало перекалибровки..."),
                   row(f"Подключение к порту {PORT} выполнено. начало калибровки...")])
        # The countdown goes on until a serial call fails or, at its end, the
        # instrument does not answer; which of them tells depends on the driver.
        counted = len(rows) - len(head) - 3
        if not 1 <= counted <= 15:
            raise Failure(f"{counted} countdown rows")
        expect_rows(head + [row(f"{n}...") for n in range(14, 14 - counted, -1)]
                    + [LINK_LOST, row(" Калибровка не выполнена. Повтор ...."),
                       row("Операция завершена")], rows)


# The batch's console shows the tool's own lines and nothing else (an interpreter
# that misread the batch would complain first).
TOOL_LINES = ("FM.EXE - ", "Job file: ", "HEX file: ", "Port: ", "  ", "Flashing completed.")


def slow_flash_user_folders():
    """Documents folders of a user named in Cyrillic and of one named in Chinese,
    one run each. The chip is slow (its boot loader answers each erase and copy
    400 ms late, so the flashing lasts about ten seconds): the main window answers
    a null message within 2 s every time it is asked meanwhile, the batch's console
    shows only the tool's own lines, and the flash succeeds."""
    with Road(BENCH, "slow-flash-user-folders", "--version", "1V4", "--isp-delay", "400") as road:
        for number, user in enumerate(("Иван Петров", "张伟"), start=1):
            with documents_folder(BENCH, rf"C:\users\{user}\Documents"):
                if number > 1:
                    road.replug()
                road.click_start()
                if number > 1:
                    road.answer(QUESTION, ALREADY_CURRENT, "yes", f"question-{number}")
                console = []

                def start_flashing():
                    road.programming_mode()
                    console.append(subprocess.Popen(
                        [BENCH.wine_run, str(BENCH.bin / "e2e-batch-console.exe"), "60000"],
                        env=BENCH.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE))
                road.answer(INFORMATION, INSTRUCTIONS, "ok", f"instructions-{number}",
                            before=start_flashing)
                reader = console[0]
                started, pings, slowest = time.monotonic(), 0, 0
                while reader.poll() is None:
                    if time.monotonic() - started > 120:
                        raise Failure("the batch did not end in 120 s")
                    code, took, err = road.run_driver("ping", timeout=2000)
                    if code != 0:
                        raise Failure(f"the main window did not answer within 2 s while the "
                                      f"tool ran ({pings} answers before): {took}{err}")
                    pings, slowest = pings + 1, max(slowest, int(took))
                flashing = time.monotonic() - started
                print(f"{user}: flashing {flashing:.1f} s, {pings} pings answered, the slowest "
                      f"in {slowest} ms")
                out, err = reader.communicate()
                lines = out.decode("utf-8", "replace").splitlines()
                if reader.returncode != 0 or not lines:
                    raise Failure(f"the batch's console was not read: {err.decode(errors='replace')}")
                if flashing < 7 or pings < 5:
                    raise Failure(f"the flashing took {flashing:.1f} s with {pings} pings: "
                                  "not the slow run wanted")
                if not lines[0].startswith(TOOL_LINES[0]) or not all(
                        line.startswith(TOOL_LINES) for line in lines):
                    raise Failure("the batch's console holds more than the tool's lines:\n"
                                  + "\n".join(lines))

                road.answer(INFORMATION, FLASHED, "ok", f"flashed-{number}", before=road.unplug)
                road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
                road.driver("press", CONNECT_DIALOG, "Прервать")
                rows, _ = without_waiting(road.wait_until_done())
                work_dir = work_dir_of(rows)
                if work_dir != f"C:\\users\\{user}\\Documents\\ZorviUpdate\\":
                    raise Failure(f"work folder {work_dir}")
                version = ("1V4", "12.03.2019") if number == 1 else ("1V5", "07.09.2015")
                decision = (NEEDS_UPDATE if number == 1 else
                            [row("   Обновление программного обеспечения не требуется."), row("")])
                expect_rows(CONNECT + connect_rows(*version) + VERSION_CHECK + decision
                            + deployment_rows(work_dir) + flash_pass_rows(True)
                            + [row("   Операция прервана."), row("Операция завершена")], rows)
                check_work_folder(work_dir)
                started = road.sim_log.read_text(errors="replace").count(
                    "flashed firmware started: version 1V5")
                if started != number:
                    raise Failure(f"the simulator started flashed firmware {started} times")


ROADS = {
    "full-road": full_road,
    "already-current": already_current,
    "cancel-instructions": cancel_instructions,
    "flash-failure": flash_failure,
    "recalibration-retry": recalibration_retry,
    "abort-connect": abort_connect,
    "instrument-lost": instrument_lost,
    "slow-flash-user-folders": slow_flash_user_folders,
}

if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ROADS:
        sys.exit(f"usage: e2e.py {'|'.join(ROADS)}")
    try:
        ROADS[sys.argv[1]]()
    except Failure as failure:
        print(f"FAIL {sys.argv[1]}: {failure}", file=sys.stderr)
        sys.exit(1)
    print(f"PASS {sys.argv[1]}; screenshots in {BENCH.artifacts}")
