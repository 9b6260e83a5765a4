"""The bench of an update road: the real ZorviUpdate.exe under Wine, a simulated
instrument on a pseudo-terminal behind COM5 of the bridge, and gui-driver.exe for
what a person does with the windows. Shared by the end-to-end tests (e2e.py) and
the newcomer's demo (tools/demo.py).

A Bench names the Wine environment and the programs; a Road is one run of the
wizard on that bench, with the instrument's physical side (programming mode,
unplugging, replugging) and the operator's side (boxes, Start, the log) as methods.
"""
import contextlib
import os
import pathlib
import pwd
import re
import shutil
import signal
import subprocess
import sys
import time

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

# The connect dialog's line while no instrument answers, and the run's last line.
WAITING_FOR_INSTRUMENT = "Ждём подключения прибора"
DONE = " Операция завершена"

# gui-driver's exit codes (gui-driver -h).
DRIVER_OK, DRIVER_NO, DRIVER_USAGE, DRIVER_NOT_FOUND, DRIVER_NO_ANSWER = range(5)


class Failure(Exception):
    pass


def read_wine_environment(state):
    """The Wine environment (WINEPREFIX, DISPLAY, ...) wine-env.sh wrote for a run."""
    env = dict(os.environ)
    for line in (state / "env").read_text().splitlines():
        match = re.match(r"export (\w+)='(.*)'$", line) or re.match(r"export (\w+)=(.*)$", line)
        if match:
            env[match.group(1)] = match.group(2)
    return env


class Bench:
    """Where everything is: the run's Wine state (tools/wine/wine-env.sh), the
    Windows programs, the simulator (a Linux program), the archive the wizard
    carries, and the folder the screenshots and simulator logs go to."""

    def __init__(self, state, wine_run, bin_dir, sim, archive, artifacts):
        self.state = pathlib.Path(state)
        self.wine_run = str(wine_run)
        self.bin = pathlib.Path(bin_dir)
        self.sim = str(sim)
        self.archive = pathlib.Path(archive)
        self.artifacts = pathlib.Path(artifacts)
        self.env = read_wine_environment(self.state)
        self.prefix = pathlib.Path(self.env["WINEPREFIX"])

    @classmethod
    def from_environment(cls, artifacts_subfolder):
        """The bench a CTest run describes (zorvi_add_wine_script_test and the test's
        ZORVI_SIM and ZORVI_UPDATE_ARCHIVE)."""
        return cls(os.environ["ZORVI_WINE_STATE"], os.environ["ZORVI_WINE_RUN"],
                   os.environ["ZORVI_BIN"], os.environ["ZORVI_SIM"],
                   os.environ["ZORVI_UPDATE_ARCHIVE"],
                   pathlib.Path(os.environ["ZORVI_ARTIFACTS"]) / artifacts_subfolder)

    def windows_to_linux(self, path):
        """A path on one of the prefix's drives, or on a share \\\\server\\share of the
        prefix (Wine finds those in dosdevices/unc/server/share), as a Linux path."""
        if path.startswith("\\\\"):
            server, share, *rest = [part for part in path[2:].split("\\") if part]
            return (self.prefix / "dosdevices" / "unc" / server.lower() / share).joinpath(*rest)
        drive, rest = path[:2].lower(), path[3:]
        root = (self.prefix / "dosdevices" / drive).resolve()
        return root.joinpath(*[part for part in rest.split("\\") if part])

    def wine(self, *command, **options):
        return subprocess.run([self.wine_run, *command], env=self.env, **options)


# What Wine's launcher says when it could not start a program at all (seen on a loaded
# machine, with "ShellExecuteEx failed: Internal error."): the program never ran, so its
# run is tried again instead of being taken for the program's answer.
WINE_COULD_NOT_START = "Application could not be started"


def run_wine_program(command, env, timeout):
    """subprocess.run of a wine-run.sh command, captured, started again (up to three
    attempts) when Wine could not start the program."""
    for attempt in range(3):
        result = subprocess.run(command, env=env, capture_output=True, timeout=timeout)
        said = (result.stdout + result.stderr).decode("utf-8", "replace")
        if result.returncode == 0 or WINE_COULD_NOT_START not in said:
            break
        time.sleep(1)
    return result


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


def wait_for(condition, seconds, what):
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            raise Failure(f"{what} did not come in {seconds} s")
        time.sleep(0.05)


def quiet(_text):
    pass


def readable(text):
    """A box text as the driver prints it, on one line for a terminal: its line
    breaks (escaped as \\r and \\n) become blanks."""
    return " ".join(re.sub(r"\\[rn]", "\n", text).split())


class Road:
    """One run of the wizard against one simulated instrument. say() is told, in a
    sentence, each thing done to the instrument or the windows (the demo prints
    it; the tests keep quiet)."""

    def __init__(self, bench, name, *sim_arguments, time_limit=600, say=quiet):
        self.bench = bench
        self.name = name
        self.say = say
        self.work = pathlib.Path(f"/tmp/zorvi-road-{name}-{os.getpid()}")
        self.work.mkdir(parents=True, exist_ok=True)
        self.control = self.work / "sim.ctl"
        self.sim_log = self.work / "sim.log"
        self.link = bench.prefix / "dosdevices" / PORT.lower()
        self.commands = 0
        self.processes = []
        self.app = None
        self.shots = 0
        bench.artifacts.mkdir(parents=True, exist_ok=True)
        self.sim_arguments = [*sim_arguments, "--time-limit", str(time_limit)]

    # ---- the bench -----------------------------------------------------------------

    def __enter__(self):
        self.clear_work_folder()
        sim = self.background("sim", [self.bench.sim, "--control", str(self.control), "--log",
                                      str(self.sim_log), "--link", str(self.link),
                                      *self.sim_arguments],
                              stdout=subprocess.PIPE)
        self.pty = sim.stdout.readline().decode().strip()
        if not self.pty:
            raise Failure("instrument-sim did not start")
        wait_for(lambda: (self.control.parent / "sim.ctl.ack").exists(), 5, "the simulator")
        # The bench has one bridge port: whatever an earlier run left in the list goes.
        self.bench.wine("reg", "delete", SERIALCOMM, "/va", "/f", capture_output=True)
        self.plug_registry(True)
        self.app = self.background("app", [self.bench.wine_run,
                                           str(self.bench.bin / "ZorviUpdate.exe")])
        self.driver("wait-main", timeout=30000)
        return self

    def __exit__(self, kind, value, trace):
        # An interruption (Ctrl+C, a termination) is no failure worth a picture.
        if kind is not None and issubclass(kind, Exception):
            self.screenshot("failure")
            print("log at the failure:\n" + "\n".join(self.log_rows(check=False)), file=sys.stderr)
        if self.app is not None and self.app.poll() is None:
            self.driver("close-main", check=False, timeout=2000)
            self.driver("wait-closed", check=False, timeout=10000)
        self.plug_registry(False)
        for process in reversed(self.processes):
            if process.poll() is None:
                for pid in descendants(process.pid):
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
        for pidfile in self.bench.state.glob(f"road-{self.name}-*.bgpid"):
            pidfile.unlink()
        if self.sim_log.exists():
            (self.bench.artifacts / f"{self.name}-sim.log").write_bytes(self.sim_log.read_bytes())
        shutil.rmtree(self.work, ignore_errors=True)
        return False

    def add_device(self, port, *sim_arguments):
        """A second device on the bridge, behind port, played by a simulator of its own
        (sim_arguments say what it is); the registry lists it before the instrument's
        port, so it is probed first."""
        control, log = self.work / f"sim-{port}.ctl", self.work / f"sim-{port}.log"
        link = self.bench.prefix / "dosdevices" / port.lower()
        sim = self.background(f"sim-{port}", [self.bench.sim, "--control", str(control), "--log",
                                               str(log), "--link", str(link), *sim_arguments],
                              stdout=subprocess.PIPE)
        if not sim.stdout.readline().strip():
            raise Failure(f"instrument-sim for {port} did not start")
        wait_for(lambda: (self.work / f"sim-{port}.ctl.ack").exists(), 5, f"the simulator on {port}")
        self.bench.wine("reg", "delete", SERIALCOMM, "/va", "/f", capture_output=True)
        self.bench.wine("reg", "add", SERIALCOMM, "/v", rf"\Device\Silabser{port[3:]}", "/d", port,
                        "/f", capture_output=True)
        self.plug_registry(True)
        return log

    def start_second_copy(self, seconds=60):
        """Starts ZorviUpdate.exe once more, as the operator would with its icon, and
        waits for that copy to end: its exit status and the seconds it ran (None as the
        status when it was still running after `seconds`)."""
        started = time.monotonic()
        try:
            result = run_wine_program([self.bench.wine_run, str(self.bench.bin / "ZorviUpdate.exe")],
                                      self.bench.env, seconds)
        except subprocess.TimeoutExpired:
            return None, time.monotonic() - started
        return result.returncode, time.monotonic() - started

    def background(self, role, command, **options):
        process = subprocess.Popen(command, env=self.bench.env, **options)
        self.processes.append(process)
        # wine-env.sh stop ends it, should this script be killed first.
        (self.bench.state / f"road-{self.name}-{role}.bgpid").write_text(str(process.pid))
        return process

    def clear_work_folder(self):
        """A fresh work folder in a documents folder of the prefix's own. Wine links
        the profile's Documents to the Linux home folder, which every prefix on the
        machine shares; a road must neither write there nor clear another run's
        work folder, so the link is replaced by a folder of this prefix."""
        profile = self.bench.windows_to_linux(r"C:\users") / pwd.getpwuid(os.getuid()).pw_name
        documents = profile / "Documents"
        if documents.is_symlink():
            documents.unlink()
        documents.mkdir(exist_ok=True)
        folder = documents / "ZorviUpdate"
        if folder.is_dir():
            for entry in folder.iterdir():
                entry.unlink()
            folder.rmdir()

    # ---- the instrument --------------------------------------------------------------

    def sim(self, command):
        """Tells the simulator one command and waits until it has been carried out."""
        with self.control.open("a") as control:
            control.write(command + "\n")
        self.commands += 1
        ack = self.control.parent / "sim.ctl.ack"
        wait_for(lambda: ack.exists() and ack.read_text().strip().isdigit()
                 and int(ack.read_text().strip()) >= self.commands, 10, f"'{command}'")

    def programming_mode(self):
        """The operator resets the instrument with its boot pin held."""
        self.say("instrument: reset into programming mode (its boot loader answers now)")
        self.sim("mode programming")

    def instrument_mode(self):
        """The instrument powers up normally and runs whatever its flash holds."""
        self.say("instrument: powered up normally (it runs the software in its flash)")
        self.sim("mode instrument")

    def plug_registry(self, present):
        arguments = (["add", SERIALCOMM, "/v", BRIDGE_DEVICE, "/d", PORT, "/f"] if present
                     else ["delete", SERIALCOMM, "/v", BRIDGE_DEVICE, "/f"])
        self.bench.wine("reg", *arguments, capture_output=True)

    def unplug(self):
        """The bridge goes away: its COM link and its registry value."""
        self.say(f"instrument: unplugged ({PORT} is gone)")
        self.link.unlink(missing_ok=True)
        self.plug_registry(False)

    def wait_for_instrument(self, event, seconds=30):
        """Waits until the simulator's log tells of the event (its own words)."""
        wait_for(lambda: event in self.sim_log.read_text(errors="replace"), seconds,
                 f"the instrument's '{event}'")

    def pull_out(self):
        """The bridge is pulled out while the program has its port open: the
        simulator's line hangs up for good (the open port fails or goes silent) and
        the COM link and registry value go."""
        self.say(f"instrument: pulled out while in use ({PORT} is gone)")
        self.sim("unplug")
        self.unplug()

    def replug(self):
        self.say(f"instrument: plugged in again ({PORT} is back)")
        self.link.unlink(missing_ok=True)
        self.link.symlink_to(self.pty)
        self.plug_registry(True)

    # ---- the operator ----------------------------------------------------------------

    def run_driver(self, *arguments, timeout=None):
        """Runs gui-driver once: its exit code and what it printed (None as the code
        when it did not end in time)."""
        command = [self.bench.wine_run, str(self.bench.bin / "gui-driver.exe"), *arguments]
        if timeout is not None:
            command += ["--timeout", str(timeout)]
        try:
            # A program blocked in a tool run answers no window message: never wait
            # on the driver much longer than its own time limit.
            limit = (timeout or 10000) / 1000 + 30
            result = run_wine_program(command, self.bench.env, limit)
        except subprocess.TimeoutExpired:
            return None, "", "did not end"
        out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        return (result.returncode, out[:-1] if out.endswith("\n") else out,
                result.stderr.decode("utf-8", "replace"))

    def driver(self, *arguments, timeout=None, check=True):
        code, out, err = self.run_driver(*arguments, timeout=timeout)
        if check and code != DRIVER_OK:
            raise Failure(f"gui-driver {' '.join(arguments)}: exit {code} {out}{err}")
        return out

    def screenshot(self, step):
        """The screen as the operator sees it. A capture of the root window misses
        the dialogs and message boxes on this display (they show black), so each
        visible top-level window is captured by itself and laid over the root
        capture, bottom to top."""
        time.sleep(0.7)  # a window that has just appeared needs a moment to be painted
        self.shots += 1
        path = self.bench.artifacts / f"{self.name}-{self.shots:02d}-{step}.png"
        display = ["-display", self.bench.env["DISPLAY"]]
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
        return path

    def click_start(self):
        self.say("operator: presses Start")
        self.driver("click-start")

    def answer(self, caption, text, button, shot, before=None):
        """Waits for the box, checks its text, takes its picture, does what the
        operator does before answering, and presses button."""
        shown = self.driver("wait-box", caption, timeout=120000)
        if shown != text:
            raise Failure(f"box '{caption}': expected\n  {text!r}\ngot\n  {shown!r}")
        self.say(f"box «{caption}»: {readable(shown)}")
        self.screenshot(shot)
        if before:
            before()
        self.say(f"operator: presses {button.upper()}")
        self.driver("press-box", caption, button)

    def wait_box_gone(self, caption, text, seconds=10):
        """Waits until the box with that text is no longer shown (answered), so the
        next box of the same caption is not mistaken for it."""
        end = time.monotonic() + seconds
        while True:
            code, shown, _ = self.run_driver("wait-box", caption, timeout=0)
            if code != DRIVER_OK or shown != text:
                return
            if time.monotonic() > end:
                raise Failure(f"box '{caption}' stayed after it was answered")
            time.sleep(0.05)

    def log_rows(self, check=True, timeout=None):
        rows = self.driver("log", check=check, timeout=timeout)
        return rows.split("\n") if rows else []

    def wait_until_done(self, seconds=120):
        self.driver("wait-log", DONE, "--exact", timeout=seconds * 1000)
        if self.driver("start-enabled", check=False) != "enabled":
            raise Failure("Start is not enabled after the run")
        self.screenshot("done")
        return self.log_rows()


USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


@contextlib.contextmanager
def documents_registry(bench, path):
    """The shell's documents folder named as path in the registry, whether or not
    there is such a folder, for the time of the block; afterwards the prefix's own
    again."""
    before = bench.wine("reg", "query", USER_SHELL_FOLDERS, "/v", "Personal",
                        capture_output=True).stdout.decode("utf-8", "replace")
    match = re.search(r"Personal\s+REG_EXPAND_SZ\s+(.*?)\s*$", before, re.M)
    if not match:
        raise Failure(f"no documents folder in the registry:\n{before}")

    def point_to(value):
        bench.wine("reg", "add", USER_SHELL_FOLDERS, "/v", "Personal", "/t", "REG_EXPAND_SZ",
                   "/d", value, "/f", capture_output=True, check=True)

    point_to(path)
    try:
        yield
    finally:
        point_to(match.group(1))


@contextlib.contextmanager
def documents_folder(bench, path):
    """The shell's documents folder at path (a Windows path on the prefix's C:
    drive or on a share of the prefix, made here, emptied of an earlier work folder)
    for the time of the block; afterwards the prefix's own again."""
    folder = bench.windows_to_linux(path)
    shutil.rmtree(folder / "ZorviUpdate", ignore_errors=True)
    folder.mkdir(parents=True, exist_ok=True)
    with documents_registry(bench, path):
        yield folder


def play_full_road(road):
    """The operator's part of the whole road from version 1V4: Start, the instrument
    into programming mode at the instructions, unplugged when the flashing is done,
    plugged in again while the connect dialog waits, the recalibration. Returns the
    log rows once the run is over."""
    road.screenshot("main-window")
    road.click_start()
    road.answer(INFORMATION, INSTRUCTIONS, "ok", "instructions", before=road.programming_mode)
    road.answer(INFORMATION, FLASHED, "ok", "flashed", before=road.unplug)
    # The connect dialog waits for the instrument to be plugged in again.
    road.driver("find", CONNECT_DIALOG, timeout=20000)
    road.driver("wait-log", WAITING_FOR_INSTRUMENT, timeout=20000)
    road.screenshot("connect-dialog-waiting")
    road.replug()
    road.answer(INFORMATION, AWAY_FROM_LIGHT, "ok", "away-from-light")
    return road.wait_until_done()
