"""F1 in the report box: the About box, read from outside, closed with OK."""

from __future__ import annotations

from harness import Session, case, check

ABOUT_TITLE = " QELM Tarnvik  About / Info..."

# Lines of the About text whose words are fixed (1-based); the others carry the maker's details.
FIXED_LINES = {
    1: "***  QELM Tarnvik ver. 1.2.0.2016.0  ***",
    2: "",
    3: "[ Drives Information (HDD, FDD, Optical, Flash, RAM etc.) ]",
    4: "",
    16: "",
    18: "OS: \tMicrosoft Windows  (x32/x64) ",
    19: "VER.\t95/98/Me/NT/2000/XP/2003/Vista/7/2008/8/2012  ",
    20: "",
}


@case("about_box_x64")
def _about(session: Session) -> None:
    program = session.start_program("x64")
    program.wait_report()
    session.press_key("F1")
    result = session.probe("x64", "msgbox", ABOUT_TITLE, "15000", "ok", timeout=45)
    check(result.returncode == 0, "no About box with its title, or OK did not close it: " + result.describe())
    text = result.stdout.decode("utf-8")
    # The text breaks its lines with a bare CR; a box that wants CR LF may show it with CR LF.
    # Either way one convention throughout, and the last line is ended too.
    brk = "\r\n" if "\r\n" in text else "\r"
    check(brk == "\r" or text.count("\r") == text.count("\r\n") == text.count("\n"),
          f"the About text mixes line breaks: {text!r}")
    check(brk == "\r\n" or "\n" not in text, f"the About text holds a bare line feed: {text!r}")
    check(text.endswith(brk), f"the About text does not end with a line break: {text[-20:]!r}")
    lines = text[: -len(brk)].split(brk)
    check(len(lines) == 20, f"{len(lines)} lines in the About text, expected 20: {text!r}")
    wrong = [f"line {n}: {lines[n - 1]!r}, expected {want!r}" for n, want in FIXED_LINES.items() if lines[n - 1] != want]
    check(not wrong, "; ".join(wrong))
    # The box was modal; once it is closed the program goes on and still quits on Esc.
    check(program.alive(), "the program ended with the About box")
    session.press_key("Escape")
    program.wait_gone(10)
