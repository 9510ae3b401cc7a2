"""The real program on the prepared drives: the report it shows, its window, and how it ends."""

from __future__ import annotations

import os
import re

import drives
from harness import DriveSpec, HarnessError, RunningProgram, Session, case, check

SCREEN = (1280, 1024)  # the harness's Xvfb screen


def c_volume(session: Session) -> str:
    # Wine reports 512-byte sectors, as many per cluster as fill one block of the host file system.
    block = os.statvfs(session.drive_c).f_frsize
    return f"512x{block // 512}  ({block} bytes)"


def confirm_drive_space(session: Session) -> None:
    for letter, free in drives.EXPECTED_FREE.items():
        got = session.free_bytes(letter)
        if got != free:
            raise HarnessError(f"drive {letter}: tmpfs shows {got} free bytes, the test data assumes {free}")


def check_report(session: Session, program: RunningProgram) -> None:
    confirm_drive_space(session)
    text = program.wait_report()
    problems = drives.report_problems(text, drives.expected_report_lines(c_volume(session)))
    problems += drives.c_size_problems(text)
    check(not problems, "report differs from the expected one:\n      " + "\n      ".join(problems))


# Drives a case plugs in itself, through Wine's mount manager, while the program runs.
HOTPLUG = {letter: DriveSpec(letter, 1048576, f"HOTPLUG_{letter}", f"0000D1{ord(letter):02X}") for letter in "KLM"}


def drive_letters(text: str) -> list[str]:
    return re.findall(r"^ Drive: \t  ([A-Z]):\\\r?$", text, re.MULTILINE)


def notice(session: Session, arch: str, event: str, letters: str, flag: str = "none", watch_ms: int = 1500) -> dict:
    """Broadcasts one notice per letter and watches the report: the probe's figures."""
    result = session.probe(arch, "notice", event, letters, flag, str(watch_ms), timeout=watch_ms / 1000 + 30)
    check(result.returncode == 0, "probe notice failed: " + result.describe())
    figures = dict(line.split("=", 1) for line in result.stdout.decode().splitlines() if "=" in line)
    # BSF_QUERY: 0 would mean that a window refused; a window that is slow to answer shows in the time.
    check(int(figures["answer"]) > 0, f"{event} {letters}: the broadcast was refused or failed: {figures}")
    check(float(figures["broadcast_ms"]) < 500, f"{event} {letters}: the windows took long to answer: {figures}")
    return figures


def plug(session: Session, arch: str, letters: str, plugged: bool) -> None:
    for letter in letters:
        folder = str(session.prepare_folder(HOTPLUG[letter])) if plugged else "-"
        result = session.probe(arch, "drive", letter, folder)
        check(result.returncode == 0, f"the mount manager did not define {letter}: " + result.describe())


for _arch in ("x64", "x86"):

    @case(f"drive_notices_{_arch}")
    def _notices(session: Session, arch: str = _arch) -> None:
        """Drives plugged in and pulled out while the program runs: the report follows within a
        second with one rebuild, for a burst of three too; a removal query changes nothing."""
        program = session.start_program(arch)
        before = drive_letters(program.wait_report())
        try:
            for letters in ("K", "KLM"):
                plug(session, arch, letters, True)
                got = notice(session, arch, "arrive", letters, "media")
                check(got["rebuilds"] == "1" and 0 <= float(got["rebuilt_ms"]) <= 1000,
                      f"arrival of {letters}: expected one rebuild within 1 s: {got}")
                text = program.text()
                check(drive_letters(text) == sorted(before + list(letters)), f"after {letters} arrived: {text!r}")
                check(f" Label: \t  HOTPLUG_{letters[-1]}\r\n" in text, f"no label of {letters[-1]}: {text!r}")
                got = notice(session, arch, "query-remove", letters, watch_ms=700)
                check(got["rebuilds"] == "0", f"a removal query rebuilt the report: {got}")
                plug(session, arch, letters, False)
                got = notice(session, arch, "remove", letters)
                check(got["rebuilds"] == "1" and 0 <= float(got["rebuilt_ms"]) <= 1000,
                      f"removal of {letters}: expected one rebuild within 1 s: {got}")
                check(drive_letters(program.text()) == before, f"after {letters} left: {program.text()!r}")
        finally:
            for letter in HOTPLUG:
                session.probe(arch, "drive", letter, "-")
        session.press_key("Escape")
        program.wait_gone(10)


    @case(f"report_{_arch}")
    def _report(session: Session, arch: str = _arch) -> None:
        """The whole report, line by line; then Esc ends the program."""
        program = session.start_program(arch)
        check_report(session, program)
        session.press_key("Escape")
        program.wait_gone(10)

    @case(f"close_from_outside_{_arch}")
    def _close(session: Session, arch: str = _arch) -> None:
        """A close request from another process (WM_CLOSE) ends the program too."""
        program = session.start_program(arch)
        program.wait_report()
        result = session.probe(arch, "close")
        check(result.returncode == 0, "probe close failed: " + result.describe())
        program.wait_gone(10)

    @case(f"window_layout_{_arch}")
    def _layout(session: Session, arch: str = _arch) -> None:
        """308 x 392 pixels, centred, borderless; Text1 at (11, 35), 286 x 346, 10 pt at 96 DPI."""
        program = session.start_program(arch)
        program.wait_report()
        geometry = program.geometry()
        left = (SCREEN[0] - 308) // 2
        top = (SCREEN[1] - 392) // 2
        expected = {
            "window": f"{left},{top},308,392",
            "client": "308,392",  # borderless: client size equals the outer size
            "visible": "1",
            "minimized": "0",
            "text1": "11,35,286,346",
            # Tahoma with a 13-pixel em (10 pt at 96 DPI) has a 15-pixel line pitch under Wine.
            "text1_line_height": "15",
        }
        wrong = [f"{key}={geometry.get(key)!r}, expected {value!r}" for key, value in expected.items()
                 if geometry.get(key) != value]
        # Only readable where GDI handles are shared between processes (not under Wine).
        if geometry.get("text1_font_height", "?") != "?":
            if geometry["text1_font_height"] not in ("-13", "13"):
                wrong.append(f"text1_font_height={geometry['text1_font_height']}, expected 13 pixels")
        check(not wrong, "; ".join(wrong))
        session.press_key("Escape")
        program.wait_gone(10)


@case("escape_at_first_block_x64")
def _escape_early(session: Session) -> None:
    """Esc as soon as the first drive block shows, while later blocks are usually still being
    written: the program ends cleanly."""
    program = session.start_program("x64")
    result = session.probe("x64", "wait-window", "30000", timeout=60)
    check(result.returncode == 0, "no main window: " + result.describe())
    session.focus_main_window()
    check(program.wait_text(" Drive: ", 60000), "the first drive block never appeared")
    session.xdotool("key", "Escape")
    program.wait_gone(15)


@case("close_during_report_x86")
def _close_early(session: Session) -> None:
    """A close request from outside while the report is still being built ends the program."""
    program = session.start_program("x86")
    # The blocks that are ready together reach the box in one write, so the waiting text is
    # the moment at which the build is known to be under way.
    result = session.probe("x86", "close-when", " Please wait...", "60000", timeout=90)
    check(result.returncode == 0, "no waiting text to close at: " + result.describe())
    seen = result.stdout.decode("utf-8")
    check(" Drives: " not in seen, "the report was already complete when the close was sent: "
          "this machine builds it faster than the probe can read")
    program.wait_gone(15)
