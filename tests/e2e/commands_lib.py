"""Helpers for the command cases: real mouse input at window pixels, the pop-up menu, free-space
changes that make a rebuilt report recognisable, Notepad processes, screenshots of the buttons."""

from __future__ import annotations

import os
import re
import struct
import subprocess
import time
import zlib
from pathlib import Path

from harness import BUILD_ROOT, REPO, CaseFailure, RunningProgram, Session, check

ARTEFACTS = REPO / "out" / "e2e"
# The drive whose free space the refresh cases change: a tmpfs of the session, so its count is exact.
REFRESH_DRIVE = "D"
REFRESH_FILE = "cmd-refresh.bin"


# ---------------------------------------------------------------------------------------------
# Mouse and windows


def window_box(program: RunningProgram) -> tuple[int, int, int, int]:
    """Left, top, width, height of the main window in screen pixels."""
    left, top, width, height = (int(v) for v in program.geometry()["window"].split(","))
    return left, top, width, height


def click(session: Session, x: int, y: int, button: str = "1") -> None:
    """Moves the pointer to window pixel (x, y) of the main window and clicks there."""
    xid = session.main_window_xid()
    session.xdotool("mousemove", "--window", xid, str(x), str(y), "click", button)


def visible_program_windows(session: Session) -> list[str]:
    """The program's mapped X windows: the main window, plus the pop-up menu while it is open."""
    result = session.xdotool("search", "--onlyvisible", "--class", "tarnvik")
    return result.stdout.decode().split()


def wait_for(condition, timeout: float, interval: float = 0.1) -> bool:
    deadline = time.monotonic() + timeout
    while True:
        if condition():
            return True
        if time.monotonic() >= deadline:
            return False
        time.sleep(interval)


def open_menu(session: Session, how: str) -> None:
    """Opens the pop-up menu with a right click in the menu corner or a left click on the glyph,
    and waits until its window is mapped."""
    before = len(visible_program_windows(session))
    check(before == 1, f"{before} visible windows of the program before the menu was opened, expected 1")
    if how == "corner":
        click(session, 10, 10, "3")
    else:
        click(session, 12, 12, "1")
    check(wait_for(lambda: len(visible_program_windows(session)) == 2, 5),
          f"no pop-up menu window appeared after the {how} click")


def choose_menu_item(session: Session, downs: int) -> None:
    """In the open menu: Down `downs` times from nothing selected (the first Down selects the
    first item after the leading separator), then Return."""
    session.xdotool("key", *(["Down"] * downs), "Return")


# Menu items counted in Down presses: separators are skipped by the keyboard.
MENU_DOWNS = {"about": 1, "help": 2, "refresh": 3, "quit": 4, "cancel": 5}


def count_main_windows(session: Session, arch: str = "x64") -> int:
    result = session.probe(arch, "count")
    check(result.returncode == 0, "probe count failed: " + result.describe())
    return int(result.stdout.decode().strip())


def expect_ended(session: Session, program: RunningProgram, seconds: float = 5) -> None:
    """The process ends within the bound, cleanly, and leaves no main window behind."""
    program.wait_gone(seconds)
    check(program.process.returncode == 0, f"the program ended with exit code {program.process.returncode}")
    count = count_main_windows(session, program.arch)
    check(count == 0, f"{count} main windows remain after the program ended")


# ---------------------------------------------------------------------------------------------
# Report rebuilds


def free_count(text: str, letter: str) -> int | None:
    """The byte count on the Free line of the drive's block, or None when the block or the
    summary line is missing (a report still being built)."""
    if " Drives: " not in text:
        return None
    match = re.search(r" Drive: \t  " + letter + r":\\\r\n(?:[^\r\n]*\r\n)*? Free:  \t  [^\r\n(]*\((\d+)\)\r\n",
                      text)
    return int(match.group(1)) if match else None


class FreeSpaceChange:
    """Writes a file onto the refresh drive so that its free space differs from what the report
    shows; removes it again on exit. Each use writes one more page than the last, so consecutive
    rebuilds in one case are told apart."""

    def __init__(self, session: Session, pages: int):
        self.path = session.drive_folder(REFRESH_DRIVE) / REFRESH_FILE
        self.session = session
        self.pages = pages

    def __enter__(self) -> int:
        with open(self.path, "wb") as f:
            f.write(b"\x5a" * (4096 * self.pages))
        return self.session.free_bytes(REFRESH_DRIVE)

    def __exit__(self, *exc) -> None:
        self.path.unlink(missing_ok=True)


def report_free(program: RunningProgram) -> int:
    count = free_count(program.wait_report(), REFRESH_DRIVE)
    check(count is not None, f"no Free line for {REFRESH_DRIVE}: in the report")
    return count


def wait_free(program: RunningProgram, expected: int, timeout: float = 20) -> None:
    """Waits until a complete report shows the expected free count on the refresh drive."""
    seen: list[int | None] = []

    def shown() -> bool:
        count = free_count(program.text(), REFRESH_DRIVE)
        seen.append(count)
        return count == expected

    if not wait_for(shown, timeout, 0.05):
        raise CaseFailure(f"the report was not rebuilt within {timeout} s: {REFRESH_DRIVE}: free counts seen "
                          f"{sorted(set(c for c in seen if c is not None))}, expected {expected}")


# ---------------------------------------------------------------------------------------------
# Notepad


def notepad_processes(session: Session) -> dict[int, str]:
    """Linux PID -> command line of the Notepad processes running in this session's prefix."""
    found: dict[int, str] = {}
    marker = b"WINEPREFIX=" + str(session.prefix).encode() + b"\0"
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            cmdline = Path(f"/proc/{entry}/cmdline").read_bytes()
            if b"notepad" not in cmdline.lower():
                continue
            environ = Path(f"/proc/{entry}/environ").read_bytes()
        except OSError:
            continue
        if marker in environ:
            found[int(entry)] = cmdline.replace(b"\0", b" ").decode("utf-8", "replace").strip()
    return found


def end_processes(pids) -> None:
    for pid in pids:
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass


def end_group(process: subprocess.Popen) -> None:
    """Ends a helper started with start_new_session=True, with its process group."""
    try:
        os.killpg(process.pid, 9)
    except ProcessLookupError:
        pass
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass


def wait_new_notepad(session: Session, known: set[int], timeout: float = 15) -> tuple[int, str]:
    result: dict[int, str] = {}

    def appeared() -> bool:
        result.update({pid: line for pid, line in notepad_processes(session).items() if pid not in known})
        return bool(result)

    check(wait_for(appeared, timeout, 0.2), f"no Notepad process appeared within {timeout} s")
    pid = min(result)
    return pid, result[pid]


# ---------------------------------------------------------------------------------------------
# Pictures


def screenshot(session: Session, name: str) -> Path:
    ARTEFACTS.mkdir(parents=True, exist_ok=True)
    path = ARTEFACTS / name
    xid = session.main_window_xid()
    result = subprocess.run(["import", "-window", xid, str(path)], env=session.env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=20)
    check(result.returncode == 0 and path.is_file(), f"screenshot failed: {result.stderr[-300:]!r}")
    return path


def read_png_rgb(path: Path) -> tuple[int, int, list[bytes]]:
    """Width, height and rows of RGB bytes of an 8-bit RGB or RGBA PNG (no interlace)."""
    data = path.read_bytes()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG")
    pos = 8
    idat = b""
    width = height = bit_depth = colour = interlace = 0
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, bit_depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    check(bit_depth == 8 and colour in (2, 6) and interlace == 0,
          f"{path}: unsupported PNG (depth {bit_depth}, colour type {colour}, interlace {interlace})")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows: list[bytes] = []
    previous = bytearray(stride)
    pos = 0
    for _ in range(height):
        kind = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        previous = line
        rows.append(bytes(line) if channels == 3 else bytes(v for k, v in enumerate(line) if k % 4 != 3))
    return width, height, rows


def crop(rows: list[bytes], left: int, top: int, width: int, height: int) -> list[bytes]:
    return [row[left * 3:(left + width) * 3] for row in rows[top:top + height]]


def read_bmp_rgb(path: Path) -> list[bytes]:
    """Rows (top first) of RGB bytes of a 24-bit BMP."""
    data = path.read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    check(bits == 24, f"{path}: {bits} bits per pixel, expected 24")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        stored = abs(height) - 1 - y if height > 0 else y
        bgr = data[offset + stored * stride:offset + stored * stride + width * 3]
        rows.append(bytes(v for px in range(width) for v in bgr[px * 3:px * 3 + 3][::-1]))
    return rows


def button_picture(name: str) -> list[bytes]:
    """A caption-button picture as the build's artwork generator drew it."""
    path = BUILD_ROOT / "win64" / "art" / f"{name}.bmp"
    if not path.is_file():
        raise CaseFailure(f"{path} is missing: the build did not generate the button pictures")
    return read_bmp_rgb(path)


def differing_pixels(a: list[bytes], b: list[bytes]) -> int:
    return sum(1 for ra, rb in zip(a, b) for k in range(0, len(ra), 3) if ra[k:k + 3] != rb[k:k + 3])
