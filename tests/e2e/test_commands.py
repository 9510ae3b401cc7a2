"""The user's commands driven by real input through the X server: the pop-up menu (corner and
glyph), About, Help file, Refresh, Quit, the keys, dragging, the caption buttons and closing."""

from __future__ import annotations

import re
import subprocess
import time

from commands_lib import (MENU_DOWNS, FreeSpaceChange, button_picture, choose_menu_item, click, crop,
                          differing_pixels, end_group, end_processes, expect_ended, notepad_processes, open_menu, read_png_rgb,
                          report_free, screenshot, visible_program_windows, wait_for, wait_free, wait_new_notepad,
                          window_box)
from hardening_lib import procstat
from harness import BUILD_ROOT, REPO, CaseFailure, Session, case, check

ABOUT_TITLE = " QELM Tarnvik  About / Info..."
ABOUT_SOURCE = REPO / "src" / "ui" / "commands" / "about.cpp"
CONSTANTS_SOURCE = REPO / "src" / "base" / "program_identity.h"
VERSION_HEADER = BUILD_ROOT / "win64" / "generated" / "tarnvik_version.h"
CLOSE_BUTTON = (278, 4)  # left, top of the 22 x 17 close button in window pixels
MINIMISE_BUTTON = (256, 4)


def about_text_from_source() -> str:
    """The About text as the program's source assembles it: the expression after `std::string(` in
    order, where each piece is a string literal, a string constant of base/program_identity.h or a
    version macro of the generated version header; `.append(` only joins them."""
    literal = r'"((?:[^"\\]|\\.)*)"'
    constants = dict(re.findall(r'constexpr std::string_view (\w+) = ' + literal + ';', CONSTANTS_SOURCE.read_text()))
    constants.update(re.findall(r'#define (\w+) ' + literal, VERSION_HEADER.read_text()))
    source = ABOUT_SOURCE.read_text()
    found = re.search(r"std::string text = std::string\((.*?)\);\s*return text;", source, re.DOTALL)
    if not found:
        raise CaseFailure(f"cannot find the About text's expression in {ABOUT_SOURCE}")
    text = ""
    for quoted, name, other in re.findall(literal + r'|(\w+)|([^\s\w".()])', found.group(1)):
        if other:
            raise CaseFailure(f"cannot read {other!r} in the About text of {ABOUT_SOURCE}")
        if name == "append":
            continue
        if name:
            if name not in constants:
                raise CaseFailure(f"cannot read the About piece {name!r} in {ABOUT_SOURCE}")
            text += constants[name]
        else:
            text += quoted.encode().decode("unicode_escape")
    return text


def lines_of(text: str) -> list[str]:
    return re.split(r"\r\n|\r|\n", text)


def start(session: Session):
    program = session.start_program("x64")
    program.wait_report()
    return program


# ---------------------------------------------------------------------------------------------
# The pop-up menu


@case("cmd_menu_about_x64")
def _menu_about(session: Session) -> None:
    expected = about_text_from_source()
    check(expected.count("\r") == 20, "the About source no longer gives 20 lines")
    program = start(session)
    before = program.text()
    open_menu(session, "corner")
    choose_menu_item(session, MENU_DOWNS["about"])
    result = session.probe("x64", "msgbox", ABOUT_TITLE, "15000", "ok", timeout=45)
    check(result.returncode == 0, "no About box after choosing About, or OK did not close it: " + result.describe())
    shown = lines_of(result.stdout.decode("utf-8"))
    want = lines_of(expected)
    wrong = [f"line {n}: {got!r}, expected {exp!r}" for n, (got, exp) in enumerate(zip(shown, want), 1) if got != exp]
    check(len(shown) == len(want), f"{len(shown)} lines in the box, expected {len(want)}: {shown!r}")
    check(not wrong, "; ".join(wrong[:5]))
    check(wait_for(lambda: len(visible_program_windows(session)) == 1, 3), "the menu stayed open after About")
    check(program.alive(), "the program ended with the About box")
    check(program.text() == before, "the report changed while the About box was shown")
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_glyph_click_x64")
def _glyph_click(session: Session) -> None:
    program = start(session)
    before_text = program.text()
    before_box = window_box(program)
    open_menu(session, "glyph")
    # Esc inside the menu closes the menu only: it must not reach the report box as a Quit.
    session.xdotool("key", "Escape")
    check(wait_for(lambda: len(visible_program_windows(session)) == 1, 3), "Esc did not close the menu")
    time.sleep(0.4)  # past three timer ticks: a quit would have ended the program by now
    check(program.alive(), "Esc in the menu ended the program")
    geometry = program.geometry()
    check(geometry["visible"] == "1" and geometry["minimized"] == "0", f"the window changed state: {geometry}")
    check(window_box(program) == before_box, "the window moved or changed size")
    check(program.text() == before_text, "the report changed after the menu was dismissed")
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_menu_refresh_x64")
def _menu_refresh(session: Session) -> None:
    program = start(session)
    old_free = report_free(program)
    with FreeSpaceChange(session, pages=3) as new_free:
        check(new_free != old_free, "writing onto the drive did not change its free space")
        time.sleep(0.3)
        check(report_free(program) == old_free, "the report changed before Refresh was chosen")
        open_menu(session, "corner")
        choose_menu_item(session, MENU_DOWNS["refresh"])
        wait_free(program, new_free)
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_menu_cancel_x64")
def _menu_cancel(session: Session) -> None:
    program = start(session)
    with FreeSpaceChange(session, pages=2):
        before = program.text()
        open_menu(session, "corner")
        choose_menu_item(session, MENU_DOWNS["cancel"])
        check(wait_for(lambda: len(visible_program_windows(session)) == 1, 3), "Cancel did not close the menu")
        time.sleep(0.5)
        check(program.alive(), "Cancel ended the program")
        check(program.text() == before, "Cancel changed the report")
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_help_file_x64")
def _help_file(session: Session) -> None:
    # In a folder with blanks in its path, Notepad still gets the whole path as one name.
    under, readme = "Program Files\\QELM Tarnvik", r'notepad.exe "C:\Program Files\QELM Tarnvik\x64\ReadMe.txt'
    # Notepad's own command line (Linux shows Wine's arguments unquoted); it ends the name by
    # writing a NUL over the closing quote.
    quoted = lambda: any(x.rstrip('\0"').endswith(readme) for x in
                         procstat(session, "cmdline", "notepad.exe").stdout.decode("utf-8", "replace").splitlines())
    session.install("x64", "ReadMe.txt", "ReadMe.txt", under=under)
    known = set(notepad_processes(session))
    started: list[int] = []
    program = session.start_program("x64", under=under)
    program.wait_report()
    try:
        session.press_key("F2")
        pid, _ = wait_new_notepad(session, known)
        started.append(pid)
        check(quoted(), f"F2 did not start {readme}")
        shown = session.xdotool("search", "--sync", "--onlyvisible", "--name", "^ReadMe", timeout=15)
        check(shown.returncode == 0, "Notepad did not show the ReadMe file: " + shown.describe())
        end_processes([pid])
        check(wait_for(lambda: pid not in notepad_processes(session), 10), "the first Notepad did not end")
        check(program.alive(), "the program ended after F2")

        open_menu(session, "corner")
        choose_menu_item(session, MENU_DOWNS["help"])
        pid, _ = wait_new_notepad(session, known | set(started))
        started.append(pid)
        check(quoted(), f"the menu item did not start {readme}")
        # Shown, Notepad is Wine's foreground window when it is killed: the Esc below must still arrive.
        shown = session.xdotool("search", "--sync", "--onlyvisible", "--name", "^ReadMe", timeout=15)
        check(shown.returncode == 0, "Notepad did not show the ReadMe file from the menu: " + shown.describe())
        check(program.alive(), "the program ended after the Help file item")
    finally:
        end_processes(started)
    # A Notepad window torn down after its key press would take the focus from the Esc below.
    wait_for(lambda: session.xdotool("search", "--onlyvisible", "--name", "^ReadMe").returncode != 0, 10)
    session.press_key("Escape")
    expect_ended(session, program)


# ---------------------------------------------------------------------------------------------
# Ending the program


@case("cmd_quit_menu_x64")
def _quit_menu(session: Session) -> None:
    program = start(session)
    open_menu(session, "corner")
    choose_menu_item(session, MENU_DOWNS["quit"])
    expect_ended(session, program)


@case("cmd_escape_x64")
def _escape(session: Session) -> None:
    program = start(session)
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_close_button_x64")
def _close_button(session: Session) -> None:
    program = start(session)
    xid = session.main_window_xid()
    # The button acts on the press: the process ends while the mouse button is still held.
    session.xdotool("mousemove", "--window", xid, "289", "12", "mousedown", "1")
    try:
        expect_ended(session, program)
    finally:
        session.xdotool("mouseup", "1")


@case("cmd_close_button_right_press_x64")
def _close_button_right(session: Session) -> None:
    program = start(session)
    click(session, 289, 12, "3")
    time.sleep(0.5)
    check(program.alive(), "a right press on the close button ended the program")
    check(program.geometry()["visible"] == "1", "a right press on the close button hid the window")
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_close_from_outside_x64")
def _close_from_outside(session: Session) -> None:
    program = start(session)
    result = session.probe("x64", "close")
    check(result.returncode == 0, "probe close failed: " + result.describe())
    expect_ended(session, program)


@case("cmd_close_during_build_x64")
def _close_during_build(session: Session) -> None:
    """A close request that arrives while F5's rebuild is under way: the probe posts WM_CLOSE the
    moment it sees the waiting text, so the request lands between two drive blocks."""
    program = start(session)
    session.install("x64", "probe.exe", "probe.exe")
    out_path = session.tmp / "close-during-build.out"
    with open(out_path, "wb") as out:
        closer = subprocess.Popen(["wine", r"C:\Tarnvik\x64\probe.exe", "close-when", " Please wait...", "20000"],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=out, env=session.env,
                                  cwd=session.drive_c, start_new_session=True)
    try:
        # Before F5 the text holds no waiting text. A probe slow to start may miss a quick
        # rebuild, so F5 is pressed again (a bounded number of times) until it sees one.
        code = None
        for _ in range(5):
            session.press_key("F5")
            try:
                code = closer.wait(timeout=4)
                break
            except subprocess.TimeoutExpired:
                continue
        check(code == 0, f"the close was not sent during a rebuild (probe exit {code})")
    finally:
        if closer.poll() is None:
            end_group(closer)
    seen = out_path.read_bytes().decode("utf-8", "replace")
    check(" Drives: " not in seen, f"the close went out after the rebuild had finished: {seen[-80:]!r}")
    expect_ended(session, program)
    time.sleep(0.5)  # a window brought back by the interrupted build would show by now
    result = session.probe("x64", "count")
    check(result.stdout.decode().strip() == "0", "a main window came back after the close")


# ---------------------------------------------------------------------------------------------
# Keys


# Each case presses its first key, then its second once that build has finished.
for _name, _keys, _pages in (("cmd_f5_refresh_x64", ("F5", "F5"), 4), ("cmd_shift_f5_x64", ("shift+F5", "ctrl+F5"), 5)):

    @case(_name)
    def _refresh_key(session: Session, keys: tuple[str, str] = _keys, pages: int = _pages) -> None:
        program = start(session)
        old_free = report_free(program)
        for number, key in enumerate(keys):
            with FreeSpaceChange(session, pages + 7 * number) as new_free:
                check(new_free != old_free, "writing onto the drive did not change its free space")
                check(report_free(program) == old_free, f"the report changed before {key} was pressed")
                session.press_key(key)
                wait_free(program, new_free)
            old_free = report_free(program)
        check(program.alive(), f"the program ended after {keys}")
        session.press_key("Escape")
        expect_ended(session, program)


@case("cmd_other_keys_x64")
def _other_keys(session: Session) -> None:
    """F3, F4, Return and a letter do nothing: no rebuild, no box, no quit."""
    program = start(session)
    with FreeSpaceChange(session, pages=9):
        before = program.text()
        for key in ("F3", "F4", "Return", "a"):
            session.press_key(key)
        time.sleep(0.6)
        check(program.alive(), "a key without a command ended the program")
        check(program.text() == before, "a key without a command changed the report")
        check(len(visible_program_windows(session)) == 1, "a key without a command opened a window")
    session.press_key("Escape")
    expect_ended(session, program)


# ---------------------------------------------------------------------------------------------
# Dragging and the caption buttons


@case("cmd_drag_x64")
def _drag(session: Session) -> None:
    program = start(session)
    left, top, width, height = window_box(program)
    xid = session.main_window_xid()
    session.xdotool("mousemove", "--window", xid, "150", "14", "mousedown", "1", "mousemove_relative", "40", "30",
                    "mouseup", "1")
    moved = lambda: window_box(program) == (left + 40, top + 30, width, height)  # noqa: E731
    check(wait_for(moved, 3), f"window at {window_box(program)} after the drag, expected "
                              f"{(left + 40, top + 30, width, height)}")
    # Below the title band a press does not drag.
    session.xdotool("mousemove", "--window", xid, "150", "200", "mousedown", "1", "mousemove_relative", "25", "25",
                    "mouseup", "1")
    time.sleep(0.3)
    check(window_box(program) == (left + 40, top + 30, width, height),
          f"a drag in the report box moved the window to {window_box(program)}")
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_hover_close_x64")
def _hover_close(session: Session) -> None:
    hot = button_picture("close_hot")
    normal = button_picture("close_normal")
    minimise_normal = button_picture("minimise_normal")
    check(differing_pixels(hot, normal) > 100, "the hot and normal close pictures are too alike to tell apart")
    program = start(session)
    xid = session.main_window_xid()
    session.xdotool("mousemove", "--window", xid, "289", "12")
    time.sleep(0.3)
    _, _, rows = read_png_rgb(screenshot(session, "cmd_hover_close_hot.png"))
    shown = crop(rows, *CLOSE_BUTTON, 22, 17)
    check(differing_pixels(shown, hot) == 0,
          f"over the close button: {differing_pixels(shown, hot)} pixels differ from the hot picture "
          f"({differing_pixels(shown, normal)} from the normal one)")
    check(differing_pixels(crop(rows, *MINIMISE_BUTTON, 22, 17), minimise_normal) == 0,
          "the minimise button is not in its normal picture while the close button is hot")
    # Straight out of the window: only the timer can put the normal picture back.
    session.xdotool("mousemove", "5", "5")
    time.sleep(0.3)
    _, _, rows = read_png_rgb(screenshot(session, "cmd_hover_close_left.png"))
    shown = crop(rows, *CLOSE_BUTTON, 22, 17)
    check(differing_pixels(shown, normal) == 0,
          f"after the pointer left: {differing_pixels(shown, normal)} pixels differ from the normal picture "
          f"({differing_pixels(shown, hot)} from the hot one)")
    session.press_key("Escape")
    expect_ended(session, program)


@case("cmd_minimise_x64")
def _minimise(session: Session) -> None:
    """The minimise button minimises; the system's restore command (what a click on the task-bar
    button sends) brings the window back whole, with both buttons normal, and F5 still works."""
    program = start(session)
    click(session, 267, 12)
    check(wait_for(lambda: program.geometry().get("minimized") == "1", 3),
          f"the window is not minimised after the minimise button: {program.geometry()}")
    time.sleep(0.4)  # several timer ticks while minimised
    check(program.alive(), "the program ended while minimised")
    result = session.probe("x64", "restore")
    check(result.returncode == 0, "probe restore failed: " + result.describe())
    check(wait_for(lambda: program.geometry().get("minimized") == "0", 3),
          f"the window is still minimised after a restore: {program.geometry()}")
    check(window_box(program)[2:] == (308, 392), f"restored window is {window_box(program)}")
    session.xdotool("mousemove", "5", "5")
    time.sleep(0.3)
    _, _, rows = read_png_rgb(screenshot(session, "cmd_minimise_restored.png"))
    close_area = crop(rows, 278, 4, 22, 17)
    check(differing_pixels(close_area, button_picture("close_normal")) == 0,
          "the close button does not show its normal picture after the restore")
    check(wait_for(lambda: " Drives: " in program.text(), 20), "no report after the restore")
    with FreeSpaceChange(session, 3) as expected:
        session.press_key("F5")
        wait_free(program, expected)
    result = session.probe("x64", "close")
    check(result.returncode == 0, "probe close failed: " + result.describe())
    expect_ended(session, program)
