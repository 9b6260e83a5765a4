"""End-to-end roads of an update: the real ZorviUpdate.exe under Wine, a simulated
instrument on a pseudo-terminal behind COM5 of the bridge, and gui-driver.exe
answering the boxes as a person would (the bench is road.py's). Each road is one
CTest test:

    e2e.py ROAD        ROAD: full-road, already-current, cancel-instructions,
                       flash-failure, recalibration-retry, abort-connect

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
                  find_ignoring_case, play_full_road)

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
        match = re.match(r"^       ([A-Za-z]:\\.*\\ZorviUpdate\\)$", r)
        if match:
            return match.group(1)
    raise Failure("no work folder in the log")


def job_files(work_dir):
    fmconfig = ("COM(5,115200)\r\nDEVICE(LPC2138,14.318180)\r\nHARDWARE(BOOTEXEC,50,100)\r\n"
                "HIGHSPEED(0,115200)\r\nERASEUSED(Data.hex,PROTECTISP)\r\n"
                "HEXFILE(Data.hex,NOCHECKSUMS,NOFILL,PROTECTISP)\r\n")
    start = ("@echo off\r\n" f'cd "{work_dir}"\r\n' f"{work_dir[:2]}\r\n"
             "FM.EXE @fmconfig.txt\r\nif ERRORLEVEL 1 goto 100\r\nif not ERRORLEVEL 0 goto 100\r\n"
             "exit /B 0\r\n:100\r\npause\r\nexit /B 1\r\n")
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


ROADS = {
    "full-road": full_road,
    "already-current": already_current,
    "cancel-instructions": cancel_instructions,
    "flash-failure": flash_failure,
    "recalibration-retry": recalibration_retry,
    "abort-connect": abort_connect,
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
