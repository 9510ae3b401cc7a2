"""The real program on the prepared drives: the report it shows, its window, and how it ends."""

from __future__ import annotations

import os

import drives
from harness import HarnessError, RunningProgram, Session, case, check

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


def notice(session: Session, arch: str, *args: str) -> dict:
    """probe notice (broadcasts as Wine's mount manager does), or probe drive with a time (no
    broadcast at all), then the report watched; the figures."""
    result = session.probe(arch, *args, timeout=40)
    got = dict(line.split("=", 1) for line in result.stdout.decode().splitlines() if "=" in line)
    # BSF_QUERY: an answer of 0 means that a window refused; a slow answer shows in the time.
    check(result.returncode == 0 and int(got.get("answer", 1)) > 0 and float(got.get("broadcast_ms", 0)) < 500,
          f"{args}: refused, slow or failed: {got} " + result.describe())
    return got


for _arch in ("x64", "x86"):

    @case(f"drive_notices_{_arch}")
    def _notices(session: Session, arch: str = _arch) -> None:
        """Drives plugged in and pulled out while the program runs (one, then three at once, each
        letter defined the moment before its notice): the report follows with one rebuild, begun
        within 1 s each time; a removal query changes nothing. Then letters that come and go with
        no notice at all, as a mapped network drive does: the same, found by the window's timer.
        How long the drive queries then take is the machine's (the benchmark times it)."""
        program = session.start_program(arch)
        program.wait_report()
        before = notice(session, arch, "notice", "query-remove", "C", "none", "0")["letters"]
        folder = str(session.drive_c)
        try:
            for letters, noticed in (("K", True), ("KLM", True), ("N", False), ("NP", False)):
                for event, after in (("arrive", "".join(sorted(before + letters))), ("remove", before)):
                    target = folder if event == "arrive" else "-"
                    if event == "remove" and noticed:
                        got = notice(session, arch, "notice", "query-remove", letters, "none", "700")
                        check(got["rebuilds"] == "0", f"a removal query rebuilt the report: {got}")
                    args = ("notice", event, letters, "media", "1500", target) if noticed else \
                        ("drive", letters, target, "1500")
                    got = notice(session, arch, *args)
                    check(got["rebuilds"] == "1" and 0 <= float(got["begun_ms"]) <= 1000 and float(got["rebuilt_ms"]) >= 0
                          and got["letters"] == after,
                          f"{args}: expected one rebuild begun within 1 s and the blocks {after}: {got}")
        finally:
            session.probe(arch, "drive", "KLMNP", "-")
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
        """308 x 392 pixels, centred, borderless; the report box at (11, 35), 286 x 346, 10 pt at 96 DPI."""
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
            "report_box": "11,35,286,346",
            # Tahoma with a 13-pixel em (10 pt at 96 DPI) has a 15-pixel line pitch under Wine.
            "report_box_line_height": "15",
        }
        wrong = [f"{key}={geometry.get(key)!r}, expected {value!r}" for key, value in expected.items()
                 if geometry.get(key) != value]
        # Only readable where GDI handles are shared between processes (not under Wine).
        if geometry.get("report_box_font_height", "?") != "?":
            if geometry["report_box_font_height"] not in ("-13", "13"):
                wrong.append(f"report_box_font_height={geometry['report_box_font_height']}, expected 13 pixels")
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
