"""Helpers of the hardening cases: procstat.exe, resource samples of the running program seen from
both sides of Wine, a drive layout that fills every letter from A to Z, and a drive whose space
query hangs."""

from __future__ import annotations

import dataclasses
import os
import re
import threading
import time
from pathlib import Path

import drives
from harness import CaseFailure, CaseSkipped, Completed, DriveSpec, HarnessError, RunningProgram, Session, check, run_bounded

# Hand runs set TARNVIK_LONG=1 for the long soak; CI runs the short one.
LONG = os.environ.get("TARNVIK_LONG") == "1"
OUT = Path(__file__).resolve().parents[2] / "out" / "e2e"


def procstat(session: Session, *args: str, timeout: float = 60, arch: str = "x64"):
    path = session.install(arch, "procstat.exe", "procstat.exe")
    return session.wine([path, *args], timeout=timeout)


def key_values(text: str) -> dict[str, str]:
    pairs = (line.split("=", 1) for line in text.splitlines() if "=" in line)
    return {key.strip(): value.strip() for key, value in pairs}


# ---------------------------------------------------------------------------------------------
# Resource samples


def linux_pid(program: RunningProgram) -> int:
    """The Linux process that runs tarnvik.exe: in the program's process group (start.exe and the
    program share it), the one whose command line names the .exe."""
    group = program.process.pid
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.getpgid(int(entry)) != group:
                continue
            argv0 = Path(f"/proc/{entry}/cmdline").read_bytes().split(b"\0")[0]
        except (OSError, ProcessLookupError):
            continue
        if argv0.lower().endswith(b"tarnvik.exe"):
            return int(entry)
    raise CaseFailure("no Linux process of the program's group runs tarnvik.exe")


def linux_side(pid: int) -> dict[str, str]:
    status = Path(f"/proc/{pid}/status").read_text()
    found = {}
    for name in ("VmRSS", "VmData", "Threads"):
        match = re.search(rf"^{name}:\s+(\d+)", status, re.MULTILINE)
        found[name] = match.group(1) if match else "?"
    # VmRSS and VmData are in KiB; keep bytes like the Windows figures.
    for name in ("VmRSS", "VmData"):
        if found[name] != "?":
            found[name] = str(int(found[name]) * 1024)
    found["fds"] = str(len(os.listdir(f"/proc/{pid}/fd")))
    return found


def sample(session: Session, program: RunningProgram, pid: int) -> dict[str, str]:
    result = procstat(session, "stats")
    if result.returncode != 0:
        raise CaseFailure("procstat stats failed: " + result.describe())
    values = key_values(result.stdout.decode())
    values.pop("pid", None)
    values.update(linux_side(pid))
    return values


@dataclasses.dataclass(frozen=True)
class Limit:
    """How fast a figure may keep growing, per refresh, once the program is in its steady state.
    `unused_when_zero`: the platform answers 0 when it does not keep the figure (Wine's
    GetProcessHandleCount, and its system handle table, which lists no handle of the program)."""

    name: str
    per_refresh: float
    unused_when_zero: bool = False


LIMITS = [
    Limit("handles", 0.1, unused_when_zero=True),
    Limit("handles_listed", 0.1, unused_when_zero=True),
    Limit("gdi", 0),
    Limit("user", 0),
    Limit("private", 2048, unused_when_zero=True),
    Limit("pagefile", 2048),
    Limit("workingset", 2048),
    Limit("VmData", 2048),
    Limit("VmRSS", 2048),
    Limit("fds", 0.1),
    Limit("Threads", 0),
]


def growth_problems(rows: list[tuple[int, dict[str, str]]]) -> tuple[list[str], list[str]]:
    """(problems, figures that could not be judged here) of samples after 0, n1, n2... refreshes.
    A leak grows a figure chunk after chunk, a one-time step (one more heap block or worker stack
    on a busy machine) in one: judged per refresh over the later two thirds, its largest step aside."""
    problems, unjudged = [], []
    later = rows[len(rows) // 3:]
    for limit in LIMITS:
        values = [sample.get(limit.name, "?") for _, sample in later]
        if "?" in values or (limit.unused_when_zero and set(values) == {"0"}):
            unjudged.append(limit.name)
            continue
        steps = [(int(b) - int(a), m - n) for (n, _), (m, _), a, b in zip(later, later[1:], values, values[1:])]
        biggest = max(steps, default=(0, 0))
        grown, refreshes = sum(g for g, _ in steps) - biggest[0], sum(r for _, r in steps) - biggest[1]
        if refreshes > 0 and grown / refreshes > limit.per_refresh:
            problems.append(f"{limit.name} kept growing by {grown / refreshes:g} per refresh from {values[0]} to "
                            f"{values[-1]}, its largest step of {biggest[0]} aside (limit {limit.per_refresh:g})")
    return problems, unjudged


def table(rows: list[tuple[int, dict[str, str]]]) -> str:
    names = [limit.name for limit in LIMITS]
    header = ["refreshes"] + names
    lines = [header] + [[str(n)] + [values.get(name, "?") for name in names] for n, values in rows]
    widths = [max(len(line[i]) for line in lines) for i in range(len(header))]
    return "\n".join("  ".join(cell.rjust(width) for cell, width in zip(line, widths)) for line in lines)


# ---------------------------------------------------------------------------------------------
# Registry


def reg_values(session: Session, key: str, view: int) -> dict[str, str]:
    """Every string value of a key (empty when the key is missing)."""
    result = session.wine(["reg", "query", key, f"/reg:{view}"])
    values = {}
    if result.returncode != 0:
        return values
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) == 3 else ""
    return values


def key_exists(session: Session, key: str, view: int) -> bool:
    return session.wine(["reg", "query", key, f"/reg:{view}"]).returncode == 0


# ---------------------------------------------------------------------------------------------
# A drive on every letter


@dataclasses.dataclass(frozen=True)
class Letter:
    """What one letter points to: 'tmpfs' (a tmpfs of `size` bytes), 'host' (a plain folder on the
    host's disk), 'nowhere' (a missing folder) or 'prefix' (the prefix's own drive_c)."""

    letter: str
    backing: str
    kind: str | None = None  # Wine drive type: None (fixed), floppy, cdrom, network
    size: int = 0

    @property
    def place(self) -> int:
        return ord(self.letter) - ord("A") + 1

    @property
    def label(self) -> str:
        return f"DRV_{self.letter}" if self.backing in ("tmpfs", "host") else ""

    @property
    def serial(self) -> int:
        # Distinct per letter, with the top bit set on every other letter.
        return (0x0C0FFEE0 + self.place) | (0x80000000 if self.place % 2 else 0)


MIB = 1 << 20
FLOPPY = 1474560
EVERY_LETTER = [
    Letter("A", "tmpfs", "floppy", FLOPPY),
    Letter("B", "nowhere", "cdrom"),
    Letter("C", "prefix"),
    Letter("D", "tmpfs", None, MIB),
    Letter("E", "host"),
    Letter("F", "tmpfs", "network", 2 * MIB),
    Letter("G", "nowhere"),
    Letter("H", "tmpfs", None, MIB),
    Letter("I", "tmpfs", "cdrom", 2 * MIB),
    Letter("J", "tmpfs", None, 2 * MIB),
    Letter("K", "tmpfs", "network", MIB),
    Letter("L", "nowhere"),
    Letter("M", "tmpfs", None, MIB),
    Letter("N", "tmpfs", "floppy", FLOPPY),
    Letter("O", "nowhere", "cdrom"),
    Letter("P", "tmpfs", None, 2 * MIB),
    Letter("Q", "tmpfs", None, MIB),
    Letter("R", "tmpfs", "cdrom", MIB),
    Letter("S", "tmpfs", None, MIB),
    Letter("T", "tmpfs", "network", 2 * MIB),
    Letter("U", "nowhere"),
    Letter("V", "tmpfs", None, 2 * MIB),
    Letter("W", "tmpfs", None, MIB),
    Letter("X", "tmpfs", "cdrom", 2 * MIB),
    Letter("Y", "tmpfs", None, MIB),
    Letter("Z", "tmpfs", None, 2 * MIB),
]

# Size lines of a fresh tmpfs holding the label and serial files (one 4096-byte page each).
# 1 MiB: free 1040384 is below 2^20, so KB: 1016 exactly. 2 MiB: free 2088960 / 2^20 = 1.9921875
# -> 1.9922 -> 1,992 MB. 1474560 / 2^20 = 1.40625 -> 1.4062 (half to even) -> 1,406 MB; free
# 1466368 / 2^20 = 1.3984375 -> 1.3984 -> 1,398 MB. Used 8192 is 8 KB in all three.
SIZE_TEXTS = {
    MIB: ("1 MB  (1048576)", "1016 KB  (1040384)"),
    2 * MIB: ("2 MB  (2097152)", "1,992 MB  (2088960)"),
    FLOPPY: ("1,406 MB  (1474560)", "1,398 MB  (1466368)"),
}
TYPE_TEXTS = {None: "HDD/VHD  (Fixed)", "floppy": "FDD/FLASH  (Removable)", "network": "NET/RDD  (Remote)",
              "cdrom": "CD/DVD/Blue-Ray  (Optical)"}


def host_volume(folder: Path) -> str:
    block = os.statvfs(folder).f_frsize
    return f"512x{block // 512}  ({block} bytes)"


def expected_block(drive_entry: Letter, number: int, session: Session, host_folder: Path) -> drives.Block:
    drive, numbers = f"{drive_entry.letter}:\\", f"{number}/{drive_entry.place}"
    system = "CDFS" if drive_entry.kind == "cdrom" else "NTFS"
    if drive_entry.backing == "nowhere":
        # Wine answers the volume query of a missing folder with serial 0xLL000000 (LL the letter's
        # code) and fails the space and cluster queries; a fixed one has no type and no partition.
        serial = ord(drive_entry.letter) << 24
        return drives.Block(drive, numbers, f"{serial}  (#{serial:08X})", "", system, "0 B  (0)", "0 B  (0)",
                            "0 B  (0)", "0x0  (0 bytes)", TYPE_TEXTS.get(drive_entry.kind) if drive_entry.kind else "?  (Unknown)",
                            "RAW" if drive_entry.kind == "cdrom" else "Unknown")
    table = {None: "MBR", "floppy": "MBR", "network": "Unknown", "cdrom": "RAW"}[drive_entry.kind]
    if drive_entry.backing == "prefix":
        serial_text = f"{int(drives.C_SERIAL, 16)}  (#{drives.C_SERIAL})"
        return drives.Block(drive, numbers, serial_text, drives.C_LABEL, "NTFS", drives.SIZE_LINE, drives.SIZE_LINE,
                            drives.SIZE_LINE, host_volume(session.drive_c), TYPE_TEXTS[None], table)
    serial_text = f"{drive_entry.serial}  (#{drive_entry.serial:08X})"
    if drive_entry.backing == "host":
        return drives.Block(drive, numbers, serial_text, drive_entry.label, system, drives.SIZE_LINE, drives.SIZE_LINE,
                            drives.SIZE_LINE, host_volume(host_folder), TYPE_TEXTS[drive_entry.kind], table)
    size, free = SIZE_TEXTS[drive_entry.size]
    return drives.Block(drive, numbers, serial_text, drive_entry.label, system, size, free, "8 KB  (8192)",
                        "512x8  (4096 bytes)", TYPE_TEXTS[drive_entry.kind], table)


def expected_every_letter(session: Session, host_folder: Path) -> list:
    blocks = [expected_block(drive_entry, n, session, host_folder) for n, drive_entry in enumerate(EVERY_LETTER, 1)]
    sized = sum(1 for drive_entry in EVERY_LETTER if drive_entry.backing != "nowhere")
    lines = drives.expected_lines(blocks, f"{len(blocks)}  ({sized})")
    labels = (" Size:  ", " Free:  ", " Fill:  ")
    out, seen = [], 0
    for line in lines:
        if isinstance(line, re.Pattern):
            line = drives.pattern_line(labels[seen % 3], line)
            seen += 1
        out.append(line)
    return out


def host_size_problems(text: str, letter: str) -> list[str]:
    """A drive on the host disk: each size text fits its byte count and used = total - free."""
    lines = text.split("\r\n")
    try:
        start = lines.index(drives.field(" Drive: ", f"{letter}:\\"))
    except ValueError:
        return [f"no {letter}: block"]
    found = {}
    for line in lines[start:start + 11]:
        for label in (" Size:  ", " Free:  ", " Fill:  "):
            if line.startswith(label + "\t  "):
                match = drives.SIZE_LINE.fullmatch(line[len(label) + 3:])
                if match:
                    found[label] = (f"{match.group(1)} {match.group(2)}", int(match.group(3)))
    if len(found) != 3:
        return [f"{letter}: size lines not all readable: {found}"]
    problems = [f"{letter}: {p}" for p in (drives.size_text_problem(t, n) for t, n in found.values()) if p]
    total, free, used = (found[k][1] for k in (" Size:  ", " Free:  ", " Fill:  "))
    if total != free + used or total == 0:
        problems.append(f"{letter}: total {total}, free {free}, used {used}")
    return problems


class EveryLetterDrives:
    """Points all 26 letters of the session's prefix at the EVERY_LETTER layout, and puts the
    letters, their type settings and the mounts back as they were on exit."""

    DRIVES_KEY = r"HKLM\Software\Wine\Drives"

    def __init__(self, session: Session):
        self.session = session
        self.dosdevices = session.prefix / "dosdevices"
        self.root = session.tmp / "every-letter"
        self.host_folder = self.root / "host-e"
        self.saved_links: dict[str, str] = {}
        self.saved_types: dict[str, str] = {}
        self.mounts: list[Path] = []

    def __enter__(self) -> "EveryLetterDrives":
        try:
            self._set_up()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _set_up(self) -> None:
        for link in self.dosdevices.iterdir():
            if re.fullmatch(r"[a-z]:", link.name) and link.is_symlink():
                self.saved_links[link.name] = os.readlink(link)
        self.saved_types = {name.lower(): data for name, data in
                            reg_values(self.session, self.DRIVES_KEY, 64).items() if re.fullmatch(r"[a-zA-Z]:", name)}
        for name in self.saved_types:
            self.session.wine(["reg", "delete", self.DRIVES_KEY, "/v", name, "/f", "/reg:64"])
        self.root.mkdir(parents=True, exist_ok=True)
        for drive_entry in EVERY_LETTER:
            name = drive_entry.letter.lower() + ":"
            if drive_entry.backing == "prefix":
                check(name in self.saved_links, "the prefix has no C: to keep")
                continue
            folder = self.root / drive_entry.letter.lower()
            if drive_entry.backing == "host":
                folder = self.host_folder
                folder.mkdir(exist_ok=True)
            elif drive_entry.backing == "tmpfs":
                self._mount(folder, drive_entry.size)
            if drive_entry.backing != "nowhere":
                (folder / ".windows-label").write_text(drive_entry.label)
                (folder / ".windows-serial").write_text(f"{drive_entry.serial:08X}")
            link = self.dosdevices / name
            link.unlink(missing_ok=True)
            link.symlink_to(folder)
            if drive_entry.kind:
                self.session.reg_add(self.DRIVES_KEY, name, drive_entry.kind)
        self.session.restart_wineserver()

    def _mount(self, folder: Path, size: int) -> None:
        folder.mkdir(parents=True, exist_ok=True)
        result = run_bounded(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0755", "tarnvik-e2e-letters",
                              str(folder)], 30)
        if result.returncode != 0:
            raise HarnessError("cannot mount a tmpfs (needs root): " + result.describe())
        self.mounts.append(folder)

    def __exit__(self, *exc) -> None:
        errors = []
        for drive_entry in EVERY_LETTER:
            name = drive_entry.letter.lower() + ":"
            if drive_entry.backing == "prefix":
                continue
            link = self.dosdevices / name
            link.unlink(missing_ok=True)
            if name in self.saved_links:
                link.symlink_to(self.saved_links[name])
            if drive_entry.kind:
                self.session.wine(["reg", "delete", self.DRIVES_KEY, "/v", name, "/f", "/reg:64"])
        for name, data in self.saved_types.items():
            self.session.reg_add(self.DRIVES_KEY, name, data)
        # The wineserver holds no file of a drive once it restarts; unmount after that.
        self.session.restart_wineserver()
        while self.mounts:
            folder = self.mounts.pop()
            if run_bounded(["umount", str(folder)], 30).returncode != 0:
                if run_bounded(["umount", "-l", str(folder)], 30).returncode != 0:
                    errors.append(str(folder))
        if errors:
            raise HarnessError(f"could not unmount {errors}")


# ---------------------------------------------------------------------------------------------
# A drive whose space query hangs

# Y: comes after the session's X:, so it is the ninth drive at place 25. 8 MiB with 3133440 bytes
# used: free 5255168 / 2^20 = 5.01171875 -> 5.0117 -> 5,012 MB; used 3133440 / 2^20 = 2.98828125
# -> 2.9883 -> 2,988 MB. 0x0DEC0DED = 233573869.
HANG_DRIVE = DriveSpec("Y", 8 * MIB, "SLOW_ONE", "0DEC0DED", filler=3133440, hang=True)
HANG_BLOCK = drives.Block("Y:\\", "9/25", "233573869  (#0DEC0DED)", "SLOW_ONE", "NTFS", "8 MB  (8388608)",
                          "5,012 MB  (5255168)", "2,988 MB  (3133440)", "512x8  (4096 bytes)", "HDD/VHD  (Fixed)",
                          "MBR")
HANG_SUMMARY = "9  (7)"


class HangingDrive:
    """Adds HANG_DRIVE to the session for one case (a statfs delay of 0 until the case sets one)
    and takes it away again, daemon and mount included."""

    def __init__(self, session: Session):
        self.session = session

    def __enter__(self) -> str:
        missing = Session.fuse_missing()
        if missing:
            raise CaseSkipped(missing)
        try:
            self.session.add_drives([HANG_DRIVE])
        except BaseException:
            self.session.remove_drives([HANG_DRIVE.letter])
            raise
        return HANG_DRIVE.letter

    def __exit__(self, *exc) -> None:
        self.session.remove_drives([HANG_DRIVE.letter])


def start_pinged(session: Session, arch: str, timeout_ms: int) -> tuple[RunningProgram, dict[str, str], Completed]:
    """Starts the program with `probe ping-until-text` already waiting for its window, and returns
    when the report is complete (or the probe gave up) with the probe's figures."""
    results: list[Completed] = []
    pinger = threading.Thread(target=lambda: results.append(session.probe(
        arch, "ping-until-text", " Drives: ", str(timeout_ms), timeout=timeout_ms / 1000 + 30)), daemon=True)
    pinger.start()
    # Wine takes a while to start the probe (longer on a busy machine); the window must not be up
    # before it looks, which the probe's window_at_start=0 confirms afterwards.
    deadline = time.monotonic() + 30
    while not pinger_running() and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(0.5)
    program = session.start_program(arch)
    pinger.join(timeout_ms / 1000 + 60)
    if not results:
        raise HarnessError("probe ping-until-text did not return")
    figures = key_values(results[0].stdout.decode())
    if figures.get("window_at_start") != "0":
        raise HarnessError("the probe did not start before the window, so it missed part of the start: "
                           + results[0].describe())
    return program, figures, results[0]


def pinger_running() -> bool:
    """Whether probe.exe ping-until-text runs as a Windows process: Wine names the Linux process
    after the .exe only once it has loaded it, shortly before its main runs."""
    for entry in os.listdir("/proc"):
        try:
            if (entry.isdigit() and Path(f"/proc/{entry}/comm").read_text().strip() == "probe.exe"
                    and b"ping-until-text" in Path(f"/proc/{entry}/cmdline").read_bytes()):
                return True
        except OSError:
            continue
    return False


def statfs_calls(log: str) -> list[tuple[float, float]]:
    """(start, answer) times of the statfs calls in a hangfs log that hung (those answered at once,
    Wine's server's, are left out); one still unanswered ends at +inf."""
    started = {m.group(1): float(m.group(2))
               for m in re.finditer(r"statfs (\d+) at ([\d.]+), sleeping (?!0 s)", log)}
    answered = {m.group(1): float(m.group(2)) for m in re.finditer(r"statfs (\d+) answered at ([\d.]+)", log)}
    return [(t, answered.get(n, float("inf"))) for n, t in started.items()]


def esc_while_hanging(session: Session, arch: str, letter: str, limit: float) -> tuple[float | None, int]:
    """Starts the program, presses Esc as soon as the program has asked the hanging drive for its
    space, and returns the seconds from the key to the end of the process (None: not within
    `limit`) and how many of the drive's space queries were pending when the key went down."""
    before = len(session.hangfs_log(letter))
    program = session.start_program(arch)
    deadline = time.monotonic() + 60
    while not statfs_calls(session.hangfs_log(letter)[before:]):
        if time.monotonic() > deadline or not program.alive():
            raise CaseFailure("the program never asked the hanging drive for its space")
        time.sleep(0.02)
    session.focus_main_window()
    key_time = time.time()
    key_clock = time.monotonic()
    session.xdotool("key", "Escape")
    seconds = time.monotonic() - key_clock if program.wait_exit(limit) else None
    pending = sum(1 for start, end in statfs_calls(session.hangfs_log(letter)[before:]) if start < key_time < end)
    program.kill()
    return seconds, pending


def c_sizes_masked(text: str) -> str:
    """The report with C:'s free and used figures blanked: C: is the host's disk, whose free space
    moves between two runs while other programs write to it."""
    lines = text.split("\r\n")
    start = lines.index(drives.field(" Drive: ", "C:\\"))
    for i in range(start, start + 11):
        if lines[i].startswith((" Free:  ", " Fill:  ")):
            lines[i] = lines[i][:11] + "(host)"
    return "\r\n".join(lines)
