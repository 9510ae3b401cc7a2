"""Machinery of Tarnvik's end-to-end tests.

A Session owns one private X server (Xvfb), one fresh Wine prefix under a temp dir and the drives
prepared for it (tmpfs mounts of exact sizes, labels, serials, drive types; on request a FUSE drive
whose space query hangs, served by tools/hangfs). Tests start the real tarnvik.exe in it and read
the window from outside through probe.exe. Every wait is bounded, and cleanup stops only what the
session started: its programs (by process group), the wineserver of its own prefix, its mounts,
its hangfs daemons and its Xvfb (by PID).

Cases are registered with @case and collected by run_e2e.py:

    from harness import case

    @case("something_x64")
    def _(session):
        program = session.start_program("x64")
        ...  # raise CaseFailure (or use check()) to fail
"""

from __future__ import annotations

import dataclasses
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Callable, Iterable

REPO = Path(__file__).resolve().parents[2]
# Where the preset build folders are; TARNVIK_BUILD_ROOT points elsewhere (as for scripts/win-tests).
BUILD_ROOT = Path(os.environ.get("TARNVIK_BUILD_ROOT", REPO / "build"))
MAIN_TITLE = "QELM Tarnvik 1.2.0.2016.0"
# Program architecture -> CMake preset whose build folder holds tarnvik.exe and probe.exe.
ARCH_PRESETS = {"x64": "win64", "x86": "win32"}

HANGFS = REPO / "tools" / "hangfs" / "hangfs.py"
# Debian's interpreter: python3-fusepy lives in its dist-packages, which another python3 on the
# PATH (a pyenv one, say) does not see.
HANGFS_PYTHON = "/usr/bin/python3"
WINEBOOT_TIMEOUT = 240
WINE_CALL_TIMEOUT = 60
DESKTOP_HOLD_MS = 3 * 3600 * 1000  # far beyond any run; the session ends it


class HarnessError(Exception):
    """The test environment could not be set up; says nothing about the program."""


class CaseFailure(AssertionError):
    """The program did not behave as a case expects."""


class CaseSkipped(Exception):
    """The case cannot run on this machine (the message says why); says nothing about the program."""


def check(condition: bool, message: str) -> None:
    if not condition:
        raise CaseFailure(message)


# ---------------------------------------------------------------------------------------------
# Case registry


@dataclasses.dataclass
class Case:
    name: str
    run: Callable[["Session"], None]
    arch: str | None  # the program build the case needs, None when it needs none


CASES: list[Case] = []


def case(name: str, arch: str | None = None):
    """Registers a case. `arch` ("x64"/"x86") lets the runner skip cases whose build is missing;
    by default it is taken from a name ending in _x64 or _x86."""

    def register(fn: Callable[["Session"], None]):
        found = arch
        if found is None:
            for candidate in ARCH_PRESETS:
                if name.endswith("_" + candidate):
                    found = candidate
        CASES.append(Case(name, fn, found))
        return fn

    return register


# ---------------------------------------------------------------------------------------------
# Bounded commands


@dataclasses.dataclass
class Completed:
    args: list[str]
    returncode: int  # -1 when the command was killed at its time limit
    stdout: bytes
    stderr: bytes

    @property
    def timed_out(self) -> bool:
        return self.returncode == -1

    def describe(self) -> str:
        tail = PROBE_FINISHED.sub(b"", self.stderr).decode("utf-8", "replace").strip()[-400:]
        state = "timed out" if self.timed_out else f"exit {self.returncode}"
        return f"{' '.join(self.args)}: {state}" + (f"; stderr: {tail}" if tail else "")


# probe.exe's last stderr line; a run without it was ended by something other than the probe.
PROBE_FINISHED = re.compile(rb"probe: finished -?\d+\r?\n?$")
# probe commands that only read or wait, and so can be repeated without acting twice.
PROBE_READS = frozenset({"text", "wait-text", "wait-window", "wait-gone", "geometry", "count", "pid"})


def probe_finished(result: Completed) -> bool:
    return PROBE_FINISHED.search(result.stderr) is not None


def _kill_group(process: subprocess.Popen, grace: float = 2.0) -> None:
    """Ends a process started with start_new_session=True together with its process group:
    `wine X.exe` runs X.exe as a child of start.exe in the same group."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(timeout=grace)
            return
        except subprocess.TimeoutExpired:
            continue


def run_bounded(args: list[str], timeout: float, env: dict | None = None, cwd: Path | None = None) -> Completed:
    """Runs a command with its output in files, not pipes (a Wine service that inherits a pipe
    would keep a reader waiting forever), and kills its process group at the time limit."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env, cwd=cwd,
                                   start_new_session=True)
        try:
            returncode = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill_group(process)
            returncode = -1
        out.seek(0)
        err.seek(0)
        return Completed([str(a) for a in args], returncode, out.read(), err.read())


def _as_root(args: list[str]) -> list[str]:
    if os.geteuid() == 0:
        return args
    if shutil.which("sudo"):
        return ["sudo", "-n"] + args
    return args


# ---------------------------------------------------------------------------------------------
# Drives


@dataclasses.dataclass(frozen=True)
class DriveSpec:
    """One drive letter of the prefix.

    size:   bytes of a tmpfs mounted for the drive (a multiple of 4096); None for a letter that
            points to a folder that does not exist.
    filler: bytes of a file written on the drive, so that the used space is not just the
            label and serial files (each takes one 4096-byte page on tmpfs).
    kind:   Wine drive type setting: None (fixed), "cdrom", "floppy" or "network".
    hang:   served by hangfs instead of a tmpfs: every space query (statfs) of the drive sleeps
            for the delay set with Session.set_statfs_delay (0 at first), then answers `size`
            total bytes of which `filler` are used (the label and serial files take none).
    """

    letter: str
    size: int | None
    label: str = ""
    serial: str = ""  # eight hex digits
    kind: str | None = None
    filler: int = 0
    hang: bool = False


class Session:
    """One X server, one Wine prefix, one set of drives, for all cases of a run."""

    def __init__(self, drives: Iterable[DriveSpec] = (), remove_z: bool = True,
                 c_label: str = "", c_serial: str = "", log: Callable[[str], None] = print):
        self.drives = list(drives)
        self.remove_z = remove_z
        self.c_label = c_label
        self.c_serial = c_serial
        self.log = log
        self.tmp: Path | None = None
        self.prefix: Path | None = None
        self.display: str | None = None
        self._xvfb: subprocess.Popen | None = None
        self._mounts: list[Path] = []
        self._hangfs: dict[str, tuple[subprocess.Popen, Path]] = {}
        self._programs: list[RunningProgram] = []
        self._probes: set[str] = set()
        self._desktop: subprocess.Popen | None = None
        self.env: dict[str, str] = {}

    # -- life cycle ---------------------------------------------------------------------------

    def __enter__(self) -> "Session":
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def start(self) -> None:
        self.tmp = Path(tempfile.mkdtemp(prefix="tarnvik-e2e-"))
        self.prefix = self.tmp / "pfx"
        self._start_xvfb()
        self.env = dict(os.environ)
        for name in ("WINELOADER", "WINESERVER", "WINEARCH"):
            self.env.pop(name, None)
        self.env.update(WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        DISPLAY=self.display)
        started = time.monotonic()
        boot = run_bounded(["wineboot", "-i"], WINEBOOT_TIMEOUT, env=self.env, cwd=self.tmp)
        if boot.returncode != 0 or not (self.prefix / "drive_c").is_dir():
            raise HarnessError("wineboot -i failed: " + boot.describe())
        # No window manager here: without Managed=N every hide waits 2 s for a reply that never comes.
        self.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
        self._prepare_drives()
        self.restart_wineserver()
        self.log(f"session ready in {time.monotonic() - started:.1f} s: prefix {self.prefix}, display {self.display}")

    def close(self) -> None:
        """Stops everything the session started. Each step runs even when an earlier one failed."""
        steps = [self.stop_programs, self._stop_desktop, self._stop_wineserver, self._stop_all_hangfs,
                 self._unmount_all, self._stop_xvfb, self._remove_tmp]
        for step in steps:
            try:
                step()
            except Exception as error:  # cleanup must go on
                self.log(f"cleanup: {step.__name__}: {error}")

    # -- X server -----------------------------------------------------------------------------

    def _start_xvfb(self) -> None:
        # -displayfd lets Xvfb pick a free display itself and tell us which.
        read_fd, write_fd = os.pipe()
        log = open(self.tmp / "xvfb.log", "wb")
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_fd,), start_new_session=True)
        finally:
            os.close(write_fd)
            log.close()
        number = b""
        deadline = time.monotonic() + 20
        try:
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                ready, _, _ = select.select([read_fd], [], [], max(remaining, 0))
                if not ready:
                    raise HarnessError("Xvfb did not report a display within 20 s")
                chunk = os.read(read_fd, 16)
                if not chunk:
                    raise HarnessError("Xvfb exited before it reported a display")
                number += chunk
        finally:
            os.close(read_fd)
        self.display = ":" + number.decode().strip()
        for _ in range(50):
            if run_bounded(["xdpyinfo", "-display", self.display], 5).returncode == 0:
                return
            time.sleep(0.1)
        raise HarnessError(f"Xvfb display {self.display} does not answer xdpyinfo")

    def _stop_xvfb(self) -> None:
        if self._xvfb is not None and self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait(timeout=5)
        self._xvfb = None

    # -- Wine ---------------------------------------------------------------------------------

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def wine(self, args: list[str], timeout: float = WINE_CALL_TIMEOUT, winedebug: str | None = None) -> Completed:
        # Started from drive_c so that Wine can map the working folder even without Z:.
        env = self.env if winedebug is None else dict(self.env, WINEDEBUG=winedebug)
        return run_bounded(["wine"] + args, timeout, env=env, cwd=self.drive_c)

    def reg_add(self, key: str, value: str, data: str, kind: str = "REG_SZ", view: int = 64) -> None:
        result = self.wine(["reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f", f"/reg:{view}"])
        if result.returncode != 0:
            raise HarnessError("reg add failed: " + result.describe())

    def reg_query(self, key: str, value: str, view: int = 64) -> str | None:
        """The data of a string value, or None when the key or value is missing."""
        result = self.wine(["reg", "query", key, "/v", value, f"/reg:{view}"])
        if result.returncode != 0:
            return None
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == value.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_delete_key(self, key: str, view: int = 64) -> None:
        self.wine(["reg", "delete", key, "/f", f"/reg:{view}"])

    def start_services(self) -> None:
        """Starts the wineserver and Wine's background services with /dev/null as their output,
        so that no later call's output capture is inherited by a long-lived service."""
        run_bounded(["wineserver", "-p"], 30, env=self.env, cwd=self.tmp)
        result = self.wine(["wineboot"], timeout=WINEBOOT_TIMEOUT)
        if result.returncode != 0:
            raise HarnessError("wineboot failed: " + result.describe())
        self._start_desktop()

    def _start_desktop(self) -> None:
        """Wine's desktop process (explorer.exe /desktop) starts with the first window, in the
        process group of that window's program, and leaves a few seconds after the last window
        closes. A hidden window held open for the whole session starts it here, in a group of its
        own, so it neither dies with a failed case's program group nor restarts for every case."""
        self._stop_desktop()
        for arch in ARCH_PRESETS:
            if (self.build_dir(arch) / "probe.exe").is_file():
                self.install(arch, "probe.exe", "probe.exe")
                self._probes.add(arch)
                log = open(self.tmp / "desktop-hold.log", "wb")
                with log:
                    self._desktop = subprocess.Popen(
                        ["wine", f"C:\\Tarnvik\\{arch}\\probe.exe", "hold", str(DESKTOP_HOLD_MS)],
                        stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=self.env, cwd=self.drive_c,
                        start_new_session=True)
                return
        self.log("no probe.exe built: Wine's desktop comes and goes with the programs")

    def _stop_desktop(self) -> None:
        if self._desktop is not None:
            _kill_group(self._desktop)
            self._desktop = None

    def restart_wineserver(self) -> None:
        """Drive letters, labels and types are read when the wineserver starts."""
        self._stop_wineserver()
        self.start_services()

    def _stop_wineserver(self) -> None:
        self._stop_desktop()
        if self.prefix is None or not self.prefix.exists():
            return
        run_bounded(["wineserver", "-k"], 30, env=self.env, cwd=self.tmp)
        run_bounded(["wineserver", "-w"], 30, env=self.env, cwd=self.tmp)

    # -- drives -------------------------------------------------------------------------------

    def _prepare_drives(self) -> None:
        dosdevices = self.prefix / "dosdevices"
        if self.remove_z:
            # Z: is the Linux root: its size changes under our feet and reading it prints noise.
            (dosdevices / "z:").unlink(missing_ok=True)
        if self.c_label:
            (self.drive_c / ".windows-label").write_text(self.c_label)
        if self.c_serial:
            (self.drive_c / ".windows-serial").write_text(self.c_serial)
        for drive in self.drives:
            self._prepare_drive(drive)

    def _prepare_drive(self, drive: DriveSpec) -> None:
        letter = drive.letter.lower()
        target = self.drive_folder(letter)
        if drive.hang:
            self._start_hangfs(letter, target, drive)
        elif drive.size is not None:
            self._mount_tmpfs(target, drive.size)
            if drive.label:
                (target / ".windows-label").write_text(drive.label)
            if drive.serial:
                (target / ".windows-serial").write_text(drive.serial)
            if drive.filler:
                with open(target / "filler.bin", "wb") as f:
                    f.write(b"\xa5" * drive.filler)
        link = self.prefix / "dosdevices" / f"{letter}:"
        link.unlink(missing_ok=True)
        link.symlink_to(target)
        if drive.kind:
            self.reg_add(r"HKLM\Software\Wine\Drives", f"{letter}:", drive.kind)

    def add_drives(self, drives: Iterable[DriveSpec]) -> None:
        """Adds letters for one case; remove_drives takes them away again."""
        drives = list(drives)
        try:
            for drive in drives:
                self._prepare_drive(drive)
        finally:
            self.restart_wineserver()
        self.drives += drives

    def remove_drives(self, letters: Iterable[str]) -> None:
        letters = [letter.lower() for letter in letters]
        for letter in letters:
            (self.prefix / "dosdevices" / f"{letter}:").unlink(missing_ok=True)
        for drive in self.drives:
            if drive.kind and drive.letter.lower() in letters:
                self.wine(["reg", "delete", r"HKLM\Software\Wine\Drives", "/v", f"{drive.letter.lower()}:", "/f",
                           "/reg:64"])
        # The wineserver holds no file of a drive once it restarts; unmount after that.
        self.restart_wineserver()
        for letter in letters:
            self._stop_hangfs(letter)
            target = self.drive_folder(letter)
            if target in self._mounts:
                self._mounts.remove(target)
                self._unmount(target)
        self.drives = [d for d in self.drives if d.letter.lower() not in letters]

    # -- hanging drives (hangfs, a FUSE file system) --------------------------------------------

    @staticmethod
    def fuse_missing() -> str | None:
        """Why no FUSE file system can be mounted here, or None when one can."""
        try:
            os.close(os.open("/dev/fuse", os.O_RDWR))
        except OSError as error:
            return f"FUSE is not available on this machine (/dev/fuse: {error.strerror})"
        return None

    def _start_hangfs(self, letter: str, target: Path, drive: DriveSpec) -> None:
        missing = self.fuse_missing()
        if missing:
            raise CaseSkipped(missing)
        if os.geteuid() != 0:
            raise HarnessError("a hangfs drive needs root (the mount is the daemon's own)")
        if drive.size is None or drive.size % 4096 or drive.filler % 4096:
            raise HarnessError("a hangfs drive needs a size and a filler that are multiples of 4096")
        target.mkdir(parents=True, exist_ok=True)
        self.set_statfs_delay(letter, 0)
        log = open(self.tmp / f"hangfs-{letter}.log", "wb")
        with log:
            process = subprocess.Popen(
                [HANGFS_PYTHON, str(HANGFS), str(target), "--size", str(drive.size),
                 "--free", str(drive.size - drive.filler), "--label", drive.label, "--serial", drive.serial,
                 "--delay-file", str(self._delay_file(letter)),
                 # Only the program's own calls hang: a hang in Wine's server would stop every
                 # Windows process of the prefix alike (see hangfs.py).
                 "--spare", "wineserver"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        self._hangfs[letter] = (process, target)
        deadline = time.monotonic() + 15
        while str(target) not in self._mounts_below_tmp():
            if process.poll() is not None or time.monotonic() > deadline:
                raise HarnessError(f"hangfs did not mount {target}: {self.hangfs_log(letter)[-600:]!r}")
            time.sleep(0.05)
        stat = os.statvfs(target)
        if (stat.f_blocks * stat.f_frsize, stat.f_bavail * stat.f_frsize) != (drive.size, drive.size - drive.filler):
            raise HarnessError(f"hangfs at {target} answers {stat}, not size {drive.size} used {drive.filler}")

    def _delay_file(self, letter: str) -> Path:
        return self.tmp / f"hangfs-{letter.lower()}.delay"

    def set_statfs_delay(self, letter: str, seconds: float) -> None:
        """Seconds every later space query of the hangfs drive sleeps; 0 answers at once."""
        partial = self._delay_file(letter).with_suffix(".partial")
        partial.write_text(f"{seconds}\n")
        os.replace(partial, self._delay_file(letter))

    def hangfs_log(self, letter: str) -> str:
        try:
            return (self.tmp / f"hangfs-{letter.lower()}.log").read_text("utf-8", "replace")
        except OSError:
            return ""

    def _stop_hangfs(self, letter: str) -> None:
        """Lazy unmount first (nothing new can reach the daemon, and nothing waits for its users),
        then the daemon itself, by PID; a call still sleeping in it fails once it is gone."""
        process, target = self._hangfs.pop(letter, (None, None))
        if process is None:
            return
        self.set_statfs_delay(letter, 0)
        if str(target) in self._mounts_below_tmp():
            run_bounded(_as_root(["umount", "-l", str(target)]), 30)
        for sig in (signal.SIGTERM, signal.SIGKILL):
            if process.poll() is not None:
                break
            try:
                os.kill(process.pid, sig)
            except ProcessLookupError:
                break
            try:
                process.wait(timeout=3)
            except subprocess.TimeoutExpired:
                continue

    def _stop_all_hangfs(self) -> None:
        for letter in list(self._hangfs):
            self._stop_hangfs(letter)

    def _mount_tmpfs(self, target: Path, size: int) -> None:
        if size % 4096:
            raise HarnessError(f"tmpfs size {size} is not a multiple of 4096")
        target.mkdir(parents=True)
        result = run_bounded(_as_root(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tarnvik-e2e",
                                       str(target)]), 30)
        if result.returncode != 0:
            raise HarnessError("cannot mount a tmpfs (the drive tests need root): " + result.describe())
        self._mounts.append(target)
        stat = os.statvfs(target)
        if stat.f_blocks * stat.f_frsize != size:
            raise HarnessError(f"tmpfs at {target} has {stat.f_blocks * stat.f_frsize} bytes, not {size}")

    def drive_folder(self, letter: str) -> Path:
        return self.tmp / "drives" / letter.lower()

    def free_bytes(self, letter: str) -> int:
        """Free space of a prepared drive as Linux sees it, to confirm the test data's arithmetic."""
        stat = os.statvfs(self.drive_folder(letter))
        return stat.f_bfree * stat.f_frsize

    def _unmount_all(self) -> None:
        while self._mounts:
            self._unmount(self._mounts.pop())

    @staticmethod
    def _unmount(target: Path) -> None:
        if run_bounded(_as_root(["umount", str(target)]), 30).returncode != 0:
            run_bounded(_as_root(["umount", "-l", str(target)]), 30)

    def _mounts_below_tmp(self) -> list[str]:
        below = str(self.tmp) + "/"
        with open("/proc/mounts") as mounts:
            return [line.split()[1] for line in mounts if line.split()[1].startswith(below)]

    def _remove_tmp(self) -> None:
        if self.tmp is None or not self.tmp.exists():
            return
        # Never delete through a live mount.
        still_mounted = self._mounts_below_tmp()
        if still_mounted:
            self.log(f"cleanup: {self.tmp} kept, still mounted: {still_mounted}")
            return
        shutil.rmtree(self.tmp, ignore_errors=True)

    # -- programs -----------------------------------------------------------------------------

    def build_dir(self, arch: str) -> Path:
        return BUILD_ROOT / ARCH_PRESETS[arch]

    def install(self, arch: str, name: str = "tarnvik.exe", source: str = "tarnvik.exe", under: str = "Tarnvik") -> str:
        """Copies a build output into C:\\<under>\\<arch>\\ and returns its Windows path."""
        built = self.build_dir(arch) / source
        if not built.is_file():
            raise HarnessError(f"{built} has not been built")
        folder = self.drive_c.joinpath(*under.split("\\"), arch)
        folder.mkdir(parents=True, exist_ok=True)
        target = folder / name
        source_stat = built.stat()
        if target.exists():
            target_stat = target.stat()
            if (target_stat.st_size, target_stat.st_mtime_ns) == (source_stat.st_size, source_stat.st_mtime_ns):
                return f"C:\\{under}\\{arch}\\{name}"
        # Never rewrite a file in place: a running copy of the program has it mapped.
        partial = folder / (name + ".partial")
        shutil.copy2(built, partial)
        os.replace(partial, target)
        return f"C:\\{under}\\{arch}\\{name}"

    def start_program(self, arch: str, name: str = "tarnvik.exe", under: str = "Tarnvik",
                      args: tuple[str, ...] = ()) -> "RunningProgram":
        windows_path = self.install(arch, name, under=under)
        log_path = self.tmp / f"{arch}-{name}-{len(self._programs)}.log"
        with open(log_path, "wb") as log:
            process = subprocess.Popen(["wine", windows_path, *args], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                       env=self.env, cwd=self.drive_c, start_new_session=True)
        program = RunningProgram(self, arch, process, log_path)
        self._programs.append(program)
        return program

    def stop_programs(self) -> None:
        for program in self._programs:
            program.kill()
        self._programs.clear()

    def probe(self, arch: str, *args: str, timeout: float = 30) -> Completed:
        """Runs probe.exe. A read that the probe did not finish itself (Wine ended it, or it never
        started) says nothing about the program, so it is run once more, and the first run is
        logged with Wine's own error lines. Commands that act on the window are never repeated."""
        if arch not in self._probes:
            self.install(arch, "probe.exe", "probe.exe")
            self._probes.add(arch)
        command = [f"C:\\Tarnvik\\{arch}\\probe.exe", *args]

        def run() -> Completed:
            # Wine's error channel only: quiet in a normal run, and it names what ended a process.
            return self.wine(command, timeout=timeout, winedebug="-all,err+all")

        result = run()
        if result.timed_out or probe_finished(result) or not args or args[0] not in PROBE_READS:
            return result
        self.log(f"probe {' '.join(args)} ended without finishing; running it again. " + result.describe())
        return run()

    def xdotool(self, *args: str, timeout: float = 15) -> Completed:
        return run_bounded(["xdotool", *args], timeout, env=self.env)

    def main_window_xid(self, timeout: float = 15) -> str:
        pattern = "^" + MAIN_TITLE.replace(".", r"\.") + "$"
        result = self.xdotool("search", "--sync", "--onlyvisible", "--name", pattern, timeout=timeout)
        ids = result.stdout.decode().split()
        if not ids:
            raise CaseFailure(f"no visible X window titled {MAIN_TITLE!r}: " + result.describe())
        return ids[0]


    def focus_main_window(self) -> None:
        self.xdotool("windowfocus", "--sync", self.main_window_xid())

    def press_key(self, key: str) -> None:
        """Types a key into the main window (it arrives in the report box, which holds the focus).

        The key goes through the X server (XTEST) to the focused window, not as an event sent to
        one window: Wine keeps its own key state, and a synthetic press whose release lands on a
        window that the press just closed leaves that state stuck for every later program. Keys
        reach only Wine's foreground window, and a killed Notepad leaves none: a click in the
        report box then activates the window, as a user's would."""
        self.focus_main_window()
        arch = "x64" if (BUILD_ROOT / ARCH_PRESETS["x64"] / "probe.exe").is_file() else "x86"
        if self.probe(arch, "wait-foreground", "0").returncode != 0:
            self.xdotool("mousemove", "--window", self.main_window_xid(), "150", "200", "click", "1")
            active = self.probe(arch, "wait-foreground", "5000", timeout=60)
            check(active.returncode == 0, "the main window did not come to the foreground: " + active.describe()
                  + " " + active.stdout.decode("utf-8", "replace").strip())
        # A key that closes the window can make xdotool itself fail with BadWindow: not our concern.
        self.xdotool("key", key)


class RunningProgram:
    """One started `wine tarnvik.exe`. Its process group holds start.exe and the program."""

    def __init__(self, session: Session, arch: str, process: subprocess.Popen, log_path: Path):
        self.session = session
        self.arch = arch
        self.process = process
        self.log_path = log_path

    def alive(self) -> bool:
        return self.process.poll() is None

    def wait_exit(self, timeout: float) -> bool:
        try:
            self.process.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def kill(self) -> None:
        """Ends a program that is still running. start.exe waits for the program it started, so
        a finished start.exe means a finished program and its group is left alone."""
        if self.process.poll() is None:
            _kill_group(self.process)

    def output(self) -> str:
        try:
            return self.log_path.read_text("utf-8", "replace")[-800:]
        except OSError:
            return ""

    # -- reading and driving the window through the probe ---------------------------------------

    def wait_text(self, substring: str, timeout_ms: int) -> bool:
        result = self.session.probe(self.arch, "wait-text", substring, str(timeout_ms), timeout=timeout_ms / 1000 + 30)
        return result.returncode == 0

    def text(self) -> str:
        result = self.session.probe(self.arch, "text")
        if result.returncode != 0:
            raise CaseFailure("probe text failed: " + result.describe())
        return result.stdout.decode("utf-8")

    def wait_report(self, timeout_ms: int = 60000) -> str:
        """Waits for the summary line and returns the whole report text."""
        if not self.wait_text(" Drives: ", timeout_ms):
            raise CaseFailure(f"no ' Drives: ' line within {timeout_ms} ms; program output: {self.output()!r}")
        return self.text()

    def geometry(self) -> dict[str, str]:
        result = self.session.probe(self.arch, "geometry")
        if result.returncode != 0:
            raise CaseFailure("probe geometry failed: " + result.describe())
        pairs = (line.split("=", 1) for line in result.stdout.decode("utf-8").splitlines() if "=" in line)
        return {key: value for key, value in pairs}

    def wait_gone(self, timeout: float = 10) -> None:
        """The window disappears and the process ends, both within the bound."""
        result = self.session.probe(self.arch, "wait-gone", str(int(timeout * 1000)), timeout=timeout + 30)
        check(result.returncode == 0, f"main window still present {timeout} s after the quit: " + result.describe())
        check(self.wait_exit(timeout), f"process still running {timeout} s after its window went")
        crash = next((mark for mark in ("Unhandled exception", "Unhandled page fault", "wine: Call from")
                      if mark in self.output()), None)
        check(crash is None, f"the program crashed on its way out: {self.output()!r}")
