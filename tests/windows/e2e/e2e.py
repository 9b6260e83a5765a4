#!/usr/bin/env python3
"""End-to-end roads of an update: the real ZorviUpdate.exe under Wine, a simulated
instrument on a pseudo-terminal behind COM5 of the bridge, and gui-driver.exe
answering the boxes as a person would. Each road is one CTest test:

    e2e.py ROAD        ROAD: full-road, already-current, cancel-instructions,
                       flash-failure, recalibration-retry, abort-connect

Run by CTest (zorvi_add_wine_script_test), which provides ZORVI_WINE_STATE,
ZORVI_WINE_RUN, ZORVI_BIN and ZORVI_ARTIFACTS; ZORVI_SIM names the simulator (a
Linux program) and ZORVI_UPDATE_ARCHIVE the archive the program carries.
Screenshots of every window met on the road go to ZORVI_ARTIFACTS/e2e/.
"""
import os
import pathlib
import pwd
import re
import signal
import subprocess
import sys
import time
import zipfile

STATE = pathlib.Path(os.environ["ZORVI_WINE_STATE"])
WINE_RUN = os.environ["ZORVI_WINE_RUN"]
BIN = pathlib.Path(os.environ["ZORVI_BIN"])
ARTIFACTS = pathlib.Path(os.environ["ZORVI_ARTIFACTS"]) / "e2e"
SIM = os.environ["ZORVI_SIM"]
ARCHIVE = pathlib.Path(os.environ["ZORVI_UPDATE_ARCHIVE"])

PORT = "COM5"
BRIDGE_DEVICE = r"\Device\Silabser0"
SERIALCOMM = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"

# Captions and texts of the boxes, as the driver prints them (CR as \r, LF as \n).
INFORMATION = "Информация"
QUESTION = "Вопрос"
CONNECT_DIALOG = "Подключение к прибору"
INSTRUCTIONS = ("1. Отключите прибор от компьютера.\\r\\r2. Переведите прибор в режим "
                "программирования согласно инструкции.\\r\\r3. Нажмите кнопку \"OK\" для "
                "продолжения или \"Отмена\" для прерывания операции.\\r\\r")
FLASHED = 'Загрузка завершена. Отключите прибор от компьютера и нажмите кнопку "OK".'
AWAY_FROM_LIGHT = "Направьте прибор в сторону от источника света(в пол)"
ALREADY_CURRENT = "Обновление ПО не требуется. Все равно выполнить процедуру обновления?"


class Failure(Exception):
    pass


def wine_environment():
    """The run's Wine environment (WINEPREFIX, DISPLAY, ...) from wine-env.sh."""
    env = dict(os.environ)
    for line in (STATE / "env").read_text().splitlines():
        match = re.match(r"export (\w+)='(.*)'$", line) or re.match(r"export (\w+)=(.*)$", line)
        if match:
            env[match.group(1)] = match.group(2)
    return env


ENV = wine_environment()
PREFIX = pathlib.Path(ENV["WINEPREFIX"])


def windows_to_linux(path):
    """A path on the prefix's drive C: as a Linux path."""
    drive, rest = path[:2].lower(), path[3:]
    root = (PREFIX / "dosdevices" / drive).resolve()
    return root.joinpath(*[part for part in rest.split("\\") if part])


def descendants(pid):
    """Process ids below pid (the Windows programs a wine-run.sh wrapper started)."""
    children = {}
    for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(stat.parent.name))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def find_ignoring_case(folder, name):
    for entry in folder.iterdir():
        if entry.name.lower() == name.lower():
            return entry
    raise Failure(f"{name} is not in {folder}")


class Road:
    """One run of the wizard against one simulated instrument."""

    def __init__(self, name, *sim_arguments):
        self.name = name
        self.work = pathlib.Path(f"/tmp/zorvi-e2e-{name}-{os.getpid()}")
        self.work.mkdir(parents=True, exist_ok=True)
        self.control = self.work / "sim.ctl"
        self.sim_log = self.work / "sim.log"
        self.link = PREFIX / "dosdevices" / PORT.lower()
        self.commands = 0
        self.processes = []
        self.shots = 0
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        self.sim_arguments = sim_arguments

    # ---- the bench -----------------------------------------------------------------

    def __enter__(self):
        self.clear_work_folder()
        sim = self.background("sim", [SIM, "--control", str(self.control), "--log",
                                      str(self.sim_log), "--link", str(self.link),
                                      "--time-limit", "600", *self.sim_arguments],
                              stdout=subprocess.PIPE)
        self.pty = sim.stdout.readline().decode().strip()
        if not self.pty:
            raise Failure("instrument-sim did not start")
        self.wait_for(lambda: (self.control.parent / "sim.ctl.ack").exists(), 5, "the simulator")
        # The bench has one bridge port: whatever an earlier test left in the list goes.
        subprocess.run([WINE_RUN, "reg", "delete", SERIALCOMM, "/va", "/f"], env=ENV,
                       capture_output=True)
        self.plug_registry(True)
        self.background("app", [WINE_RUN, str(BIN / "ZorviUpdate.exe")])
        self.driver("wait-main", timeout=30000)
        return self

    def __exit__(self, kind, value, trace):
        if kind is not None:
            self.screenshot("failure")
            print("log at the failure:\n" + "\n".join(self.log_rows(check=False)), file=sys.stderr)
        self.driver("close-main", check=False, timeout=2000)
        self.driver("wait-closed", check=False, timeout=10000)
        self.plug_registry(False)
        for process in reversed(self.processes):
            if process.poll() is None:
                for pid in descendants(process.pid):
                    os.kill(pid, signal.SIGKILL)
                process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
        for pidfile in STATE.glob(f"e2e-{self.name}-*.bgpid"):
            pidfile.unlink()
        if self.sim_log.exists():
            (ARTIFACTS / f"{self.name}-sim.log").write_bytes(self.sim_log.read_bytes())
        return False

    def background(self, role, command, **options):
        process = subprocess.Popen(command, env=ENV, **options)
        self.processes.append(process)
        # wine-env.sh stop ends it, should this script be killed first.
        (STATE / f"e2e-{self.name}-{role}.bgpid").write_text(str(process.pid))
        return process

    @staticmethod
    def clear_work_folder():
        """A fresh work folder in a documents folder of the prefix's own. Wine links
        the profile's Documents to the Linux home folder, which every prefix on the
        machine shares; the roads must neither write there nor clear another run's
        work folder, so the link is replaced by a folder of this prefix."""
        profile = windows_to_linux(r"C:\users") / pwd.getpwuid(os.getuid()).pw_name
        documents = profile / "Documents"
        if documents.is_symlink():
            documents.unlink()
        documents.mkdir(exist_ok=True)
        folder = documents / "ZorviUpdate"
        if folder.is_dir():
            for entry in folder.iterdir():
                entry.unlink()
            folder.rmdir()

    @staticmethod
    def wait_for(condition, seconds, what):
        end = time.monotonic() + seconds
        while not condition():
            if time.monotonic() > end:
                raise Failure(f"{what} did not come in {seconds} s")
            time.sleep(0.05)

    # ---- the instrument --------------------------------------------------------------

    def sim(self, command):
        """Tells the simulator one command and waits until it has been carried out."""
        with self.control.open("a") as control:
            control.write(command + "\n")
        self.commands += 1
        ack = self.control.parent / "sim.ctl.ack"
        self.wait_for(lambda: ack.exists() and ack.read_text().strip().isdigit()
                      and int(ack.read_text().strip()) >= self.commands, 10, f"'{command}'")

    def programming_mode(self):
        """The operator resets the instrument with its boot pin held."""
        self.sim("mode programming")

    def plug_registry(self, present):
        arguments = (["add", SERIALCOMM, "/v", BRIDGE_DEVICE, "/d", PORT, "/f"] if present
                     else ["delete", SERIALCOMM, "/v", BRIDGE_DEVICE, "/f"])
        subprocess.run([WINE_RUN, "reg", *arguments], env=ENV, capture_output=True)

    def unplug(self):
        """The bridge goes away: its COM link and its registry value."""
        self.link.unlink(missing_ok=True)
        self.plug_registry(False)

    def replug(self):
        self.link.symlink_to(self.pty)
        self.plug_registry(True)

    # ---- the operator ----------------------------------------------------------------

    def driver(self, *arguments, timeout=None, check=True):
        command = [WINE_RUN, str(BIN / "gui-driver.exe"), *arguments]
        if timeout is not None:
            command += ["--timeout", str(timeout)]
        try:
            # A program blocked in a tool run answers no window message: never wait
            # on the driver much longer than its own time limit.
            limit = (timeout or 10000) / 1000 + 30
            result = subprocess.run(command, env=ENV, capture_output=True, timeout=limit)
        except subprocess.TimeoutExpired:
            if check:
                raise Failure(f"gui-driver {' '.join(arguments)} did not end")
            return ""
        out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        if check and result.returncode != 0:
            raise Failure(f"gui-driver {' '.join(arguments)}: exit {result.returncode} {out}"
                          + result.stderr.decode("utf-8", "replace"))
        return out[:-1] if out.endswith("\n") else out

    def screenshot(self, step):
        """The screen as the operator sees it. A capture of the root window misses
        the dialogs and message boxes on this display (they show black), so each
        visible top-level window is captured by itself and laid over the root
        capture, bottom to top."""
        time.sleep(0.7)  # a window that has just appeared needs a moment to be painted
        self.shots += 1
        path = ARTIFACTS / f"{self.name}-{self.shots:02d}-{step}.png"
        display = ["-display", ENV["DISPLAY"]]
        layers = [("-root", 0, 0)]
        tree = subprocess.run(["xwininfo", "-root", "-children", *display],
                              capture_output=True, text=True).stdout
        # Children are listed top first; "+x+y" after the size is the position.
        for match in reversed(re.findall(r"^\s+(0x[0-9a-f]+) .*?(\d+)x(\d+)\+(-?\d+)\+(-?\d+)",
                                         tree, re.M)):
            window, width, height, x, y = match
            if int(width) > 1 and int(height) > 1 and "IsViewable" in subprocess.run(
                    ["xwininfo", "-id", window, *display], capture_output=True, text=True).stdout:
                layers.append((window, int(x), int(y)))
        command = ["convert"]
        for number, (window, x, y) in enumerate(layers):
            picture = self.work / f"layer{number}.xwd"
            source = ["-root"] if window == "-root" else ["-id", window]
            with picture.open("wb") as out:
                subprocess.run(["xwd", *source, "-silent", *display], stdout=out)
            command += [f"xwd:{picture}"] if number == 0 else \
                [f"xwd:{picture}", "-geometry", f"+{x}+{y}", "-composite"]
        subprocess.run(command + [f"png:{path}"])

    def answer(self, caption, text, button, shot, before=None):
        """Waits for the box, checks its text, takes its picture, does what the
        operator does before answering, and presses button."""
        shown = self.driver("wait-box", caption, timeout=120000)
        if shown != text:
            raise Failure(f"box '{caption}': expected\n  {text!r}\ngot\n  {shown!r}")
        self.screenshot(shot)
        if before:
            before()
        self.driver("press-box", caption, button)

    def log_rows(self, check=True):
        rows = self.driver("log", check=check)
        return rows.split("\n") if rows else []

    def wait_until_done(self, seconds=120):
        self.driver("wait-log", " Операция завершена", "--exact", timeout=seconds * 1000)
        if self.driver("start-enabled", check=False) != "enabled":
            raise Failure("Start is not enabled after the run")
        self.screenshot("done")
        return self.log_rows()


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
    folder = windows_to_linux(work_dir)
    if find_ignoring_case(folder, "update.zip").read_bytes() != ARCHIVE.read_bytes():
        raise Failure("update.zip differs from the archive the program carries")
    fmconfig, start = job_files(work_dir)
    replaced = {"fmconfig.txt": fmconfig, "start.bat": start}
    with zipfile.ZipFile(ARCHIVE) as archive:
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
    with Road("full-road", "--version", "1V4") as road:
        road.screenshot("main-window")
        road.driver("click-start")
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions", before=road.programming_mode)
        road.answer(INFORMATION, FLASHED, "ok", "flashed", before=road.unplug)
        # The connect dialog waits for the instrument to be plugged in again.
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        road.driver("wait-log", "Ждём подключения прибора", timeout=20000)
        road.screenshot("connect-dialog-waiting")
        road.replug()
        road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light")
        rows, waiting = without_waiting(road.wait_until_done())
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
    with Road("already-current", "--version", "1V5") as road:
        road.driver("click-start")
        road.answer(QUESTION, ALREADY_CURRENT, "no", "question")
        rows = road.wait_until_done()
        expect_rows(CONNECT + connect_rows("1V5", "12.03.2019") + VERSION_CHECK
                    + [row("   Обновление программного обеспечения не требуется."), row(""),
                       row("Операция завершена")], rows)


def cancel_instructions():
    """Cancel in the first instruction box ends the run before any job file."""
    with Road("cancel-instructions", "--version", "1V4") as road:
        road.driver("click-start")
        road.answer(INFORMATION, INSTRUCTIONS, "cancel", "instructions")
        rows = road.wait_until_done()
        work_dir = work_dir_of(rows)
        expect_rows(CONNECT + connect_rows("1V4", "12.03.2019") + VERSION_CHECK + NEEDS_UPDATE
                    + deployment_rows(work_dir)
                    + [row("Обновление программного обеспечения..."),
                       row("Операция завершена")], rows)
        # The archive's sample job file is still there: none was written.
        sample = find_ignoring_case(windows_to_linux(work_dir), "fmconfig.txt").read_bytes()
        if sample.startswith(b"COM(5,115200)"):
            raise Failure("a job file was written although the operator cancelled")


def flash_failure():
    """OK without putting the instrument into programming mode: the tool fails, the
    batch's key prompt is answered, the run ends."""
    with Road("flash-failure", "--version", "1V4") as road:
        road.driver("click-start")
        road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions")
        # The operator reads the tool's complaint in the console, then presses a key.
        presser = subprocess.Popen([WINE_RUN, str(BIN / "e2e-press-key.exe"), "90000",
                                    "--confirm"], env=ENV, stdin=subprocess.PIPE,
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
    with Road("recalibration-retry", "--version", "1V4", "--no-calc") as road:
        road.driver("click-start")
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
    with Road("abort-connect", "--version", "1V4") as road:
        road.unplug()
        road.driver("click-start")
        road.driver("find", CONNECT_DIALOG, timeout=20000)
        road.driver("wait-log", "Ждём подключения прибора", timeout=20000)
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
    print(f"PASS {sys.argv[1]}; screenshots in {ARTIFACTS}")
