"""The window's look and layout at each DPI setting, and the " Table: " line by Windows version.

Screenshots are kept as out/e2e/window-<dpi>.png (x86: window-<dpi>-x86.png).
"""

from __future__ import annotations

import dataclasses
import os
import re
import time

import drives
import window_lib as wl
from harness import REPO, HarnessError, Session, case, check

SHOTS = REPO / "out" / "e2e"
DPI_KEY = r"HKCU\Control Panel\Desktop"
VERSION_KEY = r"HKCU\Software\Wine"

# The report box's point size after the layout pass: 10 pt divided by the DPI factor, halves to even.
REPORT_BOX_POINTS = {96: 10, 120: 8, 144: 7, 192: 5}

TABLE_VALUES = {"GPT", "MBR", "RAW", "Unknown"}


def _c_volume(session: Session) -> str:
    # Wine reports 512-byte sectors, as many per cluster as fill one block of the host file system.
    block = os.statvfs(session.drive_c).f_frsize
    return f"512x{block // 512}  ({block} bytes)"


def _confirm_drive_space(session: Session) -> None:
    for letter, free in drives.EXPECTED_FREE.items():
        if session.free_bytes(letter) != free:
            raise HarnessError(f"drive {letter}: tmpfs shows {session.free_bytes(letter)} free bytes, not {free}")


# ---------------------------------------------------------------------------------------------
# Look and layout


def _layout_problems(geometry: dict[str, str], x_size: tuple[int, int], dpi: int) -> list[str]:
    wrong = []
    window = geometry.get("window", "").split(",")
    if window[2:] != ["308", "392"]:
        wrong.append(f"window {geometry.get('window')!r}, expected 308 x 392")
    if x_size != (308, 392):
        wrong.append(f"X window is {x_size[0]} x {x_size[1]}, expected 308 x 392")
    for key, want in (("client", "308,392"), ("report_box", "11,35,286,346"), ("minimized", "0")):
        if geometry.get(key) != want:
            wrong.append(f"{key}={geometry.get(key)!r}, expected {want!r}")
    # The font handle is readable only where GDI handles cross processes (not under Wine); the
    # line pitch shows the font's size everywhere.
    em = wl.em_pixels(REPORT_BOX_POINTS[dpi], dpi)
    font_height = geometry.get("report_box_font_height", "?")
    if font_height != "?" and font_height != str(-em):
        wrong.append(f"report box font height {font_height}, expected {-em} ({REPORT_BOX_POINTS[dpi]} pt at {dpi} DPI)")
    font = wl.tahoma_file()
    pitch = wl.line_pitch(em, font)
    if geometry.get("report_box_line_height") != str(pitch):
        wrong.append(f"report box line pitch {geometry.get('report_box_line_height')!r}, expected {pitch} for a "
                     f"{REPORT_BOX_POINTS[dpi]} pt ({em}-pixel) font at {dpi} DPI, drawn from {font}")
    return wrong


def _window_at_dpi(session: Session, arch: str, dpi: int) -> None:
    setting = wl.RegistryValue(session, DPI_KEY, "LogPixels", "REG_DWORD")
    try:
        setting.set(str(dpi))  # read by the next process that starts
        program = session.start_program(arch)
        program.wait_report()
        xid = session.main_window_xid()
        # Pointer off the window, so both caption buttons show their resting pictures; the
        # timer puts them back within a tick (125 ms).
        session.xdotool("mousemove", "0", "0")
        time.sleep(0.5)
        geometry = program.geometry()
        x_size = wl.window_size_from_x(session, xid)
        name = f"window-{dpi}.png" if arch == "x64" else f"window-{dpi}-{arch}.png"
        image = wl.screenshot(session, xid, SHOTS / name)
        problems = _layout_problems(geometry, x_size, dpi) + wl.skin_problems(image)
        check(not problems, f"at {dpi} DPI (screenshot {SHOTS / name}):\n      " + "\n      ".join(problems))
        session.press_key("Escape")
        program.wait_gone(10)
    finally:
        setting.restore()


for _dpi in REPORT_BOX_POINTS:

    @case(f"window_dpi_{_dpi}_x64")
    def _dpi_case(session: Session, dpi: int = _dpi) -> None:
        """308 x 392 at every DPI; the report box in place with a font that keeps its 96-DPI pixel size;
        the skin's colours where they carry meaning."""
        _window_at_dpi(session, "x64", dpi)


@case("window_dpi_96_x86")
def _dpi_96_x86(session: Session) -> None:
    _window_at_dpi(session, "x86", 96)


# ---------------------------------------------------------------------------------------------
# The " Table: " line


def _blocks(text: str) -> list[list[str]]:
    """The field lines of each drive block, in report order: from " Drive: " to the first empty line."""
    blocks: list[list[str]] = []
    current: list[str] | None = None
    for line in text.split("\r\n"):
        if line.startswith(" Drive: \t"):
            current = [line]
            blocks.append(current)
        elif current is not None:
            if line == "":
                current = None
            else:
                current.append(line)
    return blocks


def _expected_tables() -> dict[str, str]:
    return {b.drive: b.table for b in [drives.c_block("")] + drives.BLOCKS_AFTER_C}


@case("table_modern_x64")
def _table_modern(session: Session) -> None:
    """Windows 7: every block ends with a " Table: " line naming what Wine's management service
    says of that drive: MBR for fixed and removable drives (one partition each), RAW for cdrom
    letters (no partition), Unknown where the service knows no such disk."""
    version = wl.RegistryValue(session, VERSION_KEY, "Version", "REG_SZ")
    try:
        version.set("win7")
        program = session.start_program("x64")
        text = program.wait_report()
        session.press_key("Escape")
        program.wait_gone(10)
    finally:
        version.restore()
    expected = _expected_tables()
    blocks = _blocks(text)
    got_letters = [block[0].split("\t  ", 1)[1] for block in blocks]
    check(got_letters == list(expected), f"drive blocks {got_letters}, expected {list(expected)}")
    wrong = []
    for block in blocks:
        drive = block[0].split("\t  ", 1)[1]
        tables = [line for line in block if line.startswith(" Table: ")]
        if len(tables) != 1 or block[-1] != tables[0] or len(block) != 11:
            wrong.append(f"{drive}: expected 11 field lines ending with one ' Table: ' line, got {block}")
            continue
        value = tables[0].split("\t  ", 1)[1] if "\t  " in tables[0] else tables[0]
        if value not in TABLE_VALUES or value != expected[drive]:
            wrong.append(f"{drive}: Table {value!r}, expected {expected[drive]!r}")
    check(not wrong, "; ".join(wrong))


# Older Windows versions: NT 4.0 passes the start-up check and its report has no " Table: "
# lines; XP's has them (the x64 build imports nothing newer than XP x64 / Server 2003).
for _version, _shown, _tables in (("nt40", "NT 4.0", False), ("winxp", "XP", True)):

    @case(f"table_{_version}_x64")
    def _table_by_version(session: Session, name: str = _version, shown: str = _shown, tables: bool = _tables) -> None:
        """The exact report under an older Windows, " Table: " lines only from Windows 2000 on."""
        _confirm_drive_space(session)
        version = wl.RegistryValue(session, VERSION_KEY, "Version", "REG_SZ")
        try:
            version.set(name)
            program = session.start_program("x64")
            check(program.wait_text(" Drives: ", 60000),
                  f"no complete report under {shown} (alive: {program.alive()}); output {program.output()!r}")
            text = program.text()
            session.press_key("Escape")
            program.wait_gone(10)
        finally:
            version.restore()
        check((" Table: " in text) == tables, f"' Table: ' lines under {shown}: {' Table: ' in text}")
        blocks = [drives.c_block(_c_volume(session))] + drives.BLOCKS_AFTER_C
        if not tables:
            blocks = [dataclasses.replace(b, table=None) for b in blocks]
        lines = drives.expected_lines(blocks, drives.EXPECTED_SUMMARY)
        labels = iter((" Size:  ", " Free:  ", " Fill:  "))  # C:'s sizes belong to the host: checked for form
        lines = [drives.pattern_line(next(labels), line) if isinstance(line, re.Pattern) else line for line in lines]
        problems = drives.report_problems(text, lines) + drives.c_size_problems(text)
        check(not problems, f"report under {shown} differs:\n      " + "\n      ".join(problems))
