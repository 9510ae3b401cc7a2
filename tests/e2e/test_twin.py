"""The console twin tarnvik.com: the window program's saving runs without a window, bad input,
the window program started without a switch, a console's text and a cmd session."""

from __future__ import annotations

import json
import os
import pty
import re
import select
import subprocess
import time

import drives
from harness import DriveSpec, Session, case, check, run_bounded
from test_save import C_SIZE_LINES

TWIN = "tarnvik.com"
USAGE = b"Usage: tarnvik ["


def install_both(session: Session, arch: str) -> str:
    session.install(arch)
    return session.install(arch, TWIN, TWIN)  # the twin's Windows path


def visible_windows(session: Session) -> set[str]:
    return set(session.xdotool("search", "--onlyvisible", "--name", "").stdout.decode().split())


def run_watched(session: Session, args: list[str], timeout: float = 60):
    """`wine ARGS` run to its end, the visible windows listed all the while: (exit code, stdout, stderr, new windows)."""
    before, seen = visible_windows(session), set()
    with open(session.tmp / "twin.out", "w+b") as out, open(session.tmp / "twin.err", "w+b") as err:
        process = subprocess.Popen(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   env=session.env, cwd=session.drive_c, start_new_session=True)
        deadline = time.monotonic() + timeout
        while process.poll() is None and time.monotonic() < deadline:
            seen |= visible_windows(session) - before
        if process.poll() is None:
            os.killpg(process.pid, 9)
        code = process.wait(timeout=10)
        out.seek(0)
        err.seek(0)
        return code, out.read(), err.read(), seen


def comparable(doc: dict) -> dict:
    """All but the time taken and C:'s free and used bytes, which follow the host disk."""
    drives_ = [dict(d, freeBytes=0, usedBytes=0, volume=dict(d["volume"], freeBytesForUser=0)) if d["letter"] == "C" else d
               for d in doc["drives"]]
    return dict(doc, takenUtc=None, drives=drives_)


for _arch in ("x64", "x86"):

    @case(f"twin_saving_runs_{_arch}")
    def _saving(session: Session, arch: str = _arch) -> None:
        """/json - and /save FILE give what the window program gives; no window appears."""
        twin, window = install_both(session, arch), session.install(arch)
        code, doc, err, windows = run_watched(session, [twin, "/json", "-"])
        check(code == 0 and not windows, f"twin /json -: exit {code}, windows {windows}, stderr {err[-300:]!r}")
        theirs = session.wine([window, "/json", "-"])
        ours, theirs = json.loads(doc.decode("utf-8")), json.loads(theirs.stdout.decode("utf-8"))
        check(comparable(ours) == comparable(theirs) and len(ours["drives"]) == 8, f"{ours}\n{theirs}")
        texts = []
        for program in (twin, window):
            result = session.wine([program, "/save", r"C:\saved.txt"])
            texts.append([line for i, line in enumerate((session.drive_c / "saved.txt").read_bytes().split(b"\r\n"))
                          if i not in C_SIZE_LINES])
            check(result.returncode == 0 and texts[-1][0] == b"\xef\xbb\xbf", f"{program}: " + result.describe())
        (session.drive_c / "saved.txt").unlink()
        check(texts[0] == texts[1], f"the saved texts differ:\n{texts}")

    @case(f"twin_bad_input_{_arch}")
    def _bad_input(session: Session, arch: str = _arch) -> None:
        """Unknown switch or no FILE: exit 2, the usage on the standard error, nothing written."""
        twin = install_both(session, arch)
        before = sorted(session.drive_c.iterdir())
        for args, message in ((["/bogus"], b'tarnvik: unknown switch "/bogus"'),
                              (["/json"], b"tarnvik: /json needs a file name")):
            result = session.wine([twin, *args])
            check(result.returncode == 2 and result.stderr.startswith(message) and USAGE in result.stderr
                  and not result.stdout, f"{args}: " + result.describe())
        check(sorted(session.drive_c.iterdir()) == before, "a wrong command line left a file in C:\\")
        result = session.wine([twin, "/?"])
        check(result.returncode == 0 and result.stdout.startswith(USAGE) and not result.stderr, "/?: " + result.describe())


@case("twin_starts_the_window_x64")
def _starts_window(session: Session) -> None:
    """Without a switch: tarnvik.exe beside it started, 0 at once; 1 and why when it is missing."""
    twin = install_both(session, "x64")
    try:
        result = session.wine([twin], timeout=30)
        check(result.returncode == 0 and not result.stderr.strip(), "tarnvik.com: " + result.describe())
        check(session.probe("x64", "wait-text", " Drives: ", "30000", timeout=60).returncode == 0,
              "no window with a report after the twin ended")
        session.press_key("Escape")
        check(session.probe("x64", "wait-gone", "10000").returncode == 0, "the window did not go on Esc")
    finally:
        session.probe("x64", "close")  # no program of the session's: ended here whatever happened
    result = session.wine([session.install("x64", TWIN, TWIN, under="Lone")], timeout=30)
    check(result.returncode == 1 and b'tarnvik: "C:\\Lone\\x64\\tarnvik.exe" could not be started: ' in result.stderr,
          "tarnvik.com alone: " + result.describe())


def read_tty(args: list[str], env: dict, cwd, timeout: float = 60) -> bytes:
    """What ARGS write to a terminal, on which Wine gives a program a console."""
    master, slave = pty.openpty()
    process = subprocess.Popen(args, stdin=slave, stdout=slave, stderr=slave, env=env, cwd=cwd, start_new_session=True)
    os.close(slave)
    shown, deadline = b"", time.monotonic() + timeout
    try:
        while time.monotonic() < deadline:
            if not select.select([master], [], [], 0.5)[0]:
                if process.poll() is not None:
                    break
                continue
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the other side is closed
                break
            if not chunk:
                break
            shown += chunk
    finally:
        if process.poll() is None:
            os.killpg(process.pid, 9)
        process.wait(timeout=10)
        os.close(master)
    return shown


@case("twin_console_text_x64")
def _console_text(session: Session) -> None:
    """A console (Wine's, on a terminal, in UTF-8) gets text: a label outside ASCII reads right; a pipe the file's
    bytes without their mark."""
    label = "ДИСК"
    session.add_drives([DriveSpec("U", 1048576, label, "0000ABCD")])
    try:
        args, env = ["wine", install_both(session, "x64"), "/save", "-"], dict(session.env, LC_ALL="C.UTF-8")
        piped = run_bounded(args, 60, env=env, cwd=session.drive_c)
        check(piped.stdout.startswith(b"\r\n---") and (drives.field(" Label: ", label) + "\r\n").encode()
              in piped.stdout, "/save - to a pipe: " + piped.describe() + f" {piped.stdout!r}")
        shown = read_tty(args, env, session.drive_c)
        # The console expands the tab and moves the cursor; the label is what counts.
        check(re.search(rb" Label: +" + label.encode() + rb"\r", shown) is not None and b"\xef\xbb\xbf" not in shown,
              f"the console shows: {shown[:1500]!r}")
    finally:
        session.remove_drives(["U"])


for _arch in ("x64", "x86"):

    @case(f"twin_cmd_session_{_arch}")
    def _cmd_session(session: Session, arch: str = _arch) -> None:
        """"tarnvik" at a cmd prompt runs the twin (PATHEXT), and %ERRORLEVEL% is its exit code; prints the session."""
        install_both(session, arch)
        folder, lines = session.drive_c / "Tarnvik" / arch, []
        (folder / "out.json").unlink(missing_ok=True)
        for command, code in (("tarnvik /json out.json & echo %ERRORLEVEL%", "0"),
                              ("tarnvik /bogus & echo %ERRORLEVEL%", "2")):
            result = run_bounded(["wine", "cmd", "/c", command], 60, env=dict(session.env, WINEDEBUG="-all,trace+process"),
                                 cwd=folder)
            shown = [line for line in result.stdout.decode("utf-8", "replace").splitlines() if line.strip()]
            errors = [line for line in result.stderr.decode("utf-8", "replace").splitlines() if ":trace:" not in line]
            lines += [f"C:\\Tarnvik\\{arch}>{command}", *errors[:2], *shown]
            check(shown[-1:] == [code], f"{command}: printed {shown}, stderr {errors[:3]}")
            check(re.search(rf'CreateProcessInternalW app L"C:\\\\Tarnvik\\\\{arch}\\\\tarnvik\.com"',
                            result.stderr.decode("utf-8", "replace")) is not None, f"{command}: not the twin that ran")
        check(json.loads((folder / "out.json").read_bytes())["program"] == "Tarnvik", "out.json holds no report")
        (folder / "out.json").unlink()
        print("    " + "\n    ".join(lines), flush=True)
