"""Start-up seen from outside: the registry stamp and the refusal to run beside another copy."""

from __future__ import annotations

import time

from harness import Session, case, check

KEY = r"HKLM\SOFTWARE\QELM Soft\Tarnvik"
# A 64-bit program writes the 64-bit view; Windows redirects a 32-bit one to WOW6432Node.
REGISTRY_VIEW = {"x64": 64, "x86": 32}


def _count_windows(session: Session, arch: str) -> int:
    result = session.probe(arch, "count")
    check(result.returncode == 0, "probe count failed: " + result.describe())
    return int(result.stdout.decode().strip())


for _arch in ("x64", "x86"):

    @case(f"registry_stamp_{_arch}")
    def _stamp(session: Session, arch: str = _arch) -> None:
        """Missing values are written; a value that differs only in case is rewritten."""
        view = REGISTRY_VIEW[arch]
        session.reg_delete_key(KEY, view)
        session.reg_add(KEY, "Author", "orvald, qelm soft", view=view)
        program = session.start_program(arch)
        program.wait_report()
        values = {name: session.reg_query(KEY, name, view) for name in ("Version", "Author", "HomePage")}
        session.press_key("Escape")
        program.wait_gone(10)
        check(values["Version"] == "1.2.0.2016.0", f"Version is {values['Version']!r}")
        check(values["Author"] == "Orvald, QELM Soft", f"Author is {values['Author']!r}")
        check(bool(values["HomePage"]) and "." in values["HomePage"],
              f"HomePage is {values['HomePage']!r}, expected a web address")


@case("second_instance_x64")
def _second(session: Session) -> None:
    """A second copy ends by itself without a window; the first keeps running."""
    first = session.start_program("x64")
    first.wait_report()
    second = session.start_program("x64")
    check(second.wait_exit(30), "the second copy is still running after 30 s")
    time.sleep(0.5)  # a window it might have opened late would show by now
    count = _count_windows(session, "x64")
    check(count == 1, f"{count} main windows, expected 1")
    check(first.alive(), "the first copy ended when the second started")
    session.press_key("Escape")
    first.wait_gone(10)


@case("second_instance_renamed_x86")
def _second_renamed(session: Session) -> None:
    """The program's own file name counts too: two copies of tool.exe do not run side by side."""
    first = session.start_program("x86", "tool.exe")
    first.wait_report()
    second = session.start_program("x86", "tool.exe")
    check(second.wait_exit(30), "the second tool.exe is still running after 30 s")
    time.sleep(0.5)
    count = _count_windows(session, "x86")
    check(count == 1, f"{count} main windows, expected 1")
    session.press_key("Escape")
    first.wait_gone(10)


for _arch in ("x64", "x86"):

    @case(f"refused_windows_version_{_arch}")
    def _refused(session: Session, arch: str = _arch) -> None:
        """Under a Windows whose family is refused (Win32s on Windows 3.1 reports platform 0), the
        program ends at once, silently: no window, and nothing stamped, since the version check
        comes before the registry stamp."""
        view = REGISTRY_VIEW[arch]
        before = session.reg_query(r"HKCU\Software\Wine", "Version")
        session.reg_delete_key(KEY, view)
        session.reg_add(r"HKCU\Software\Wine", "Version", "win31")
        try:
            program = session.start_program(arch)
            check(program.wait_exit(15), "the program is still running under Windows 3.1 after 15 s")
            check(_count_windows(session, arch) == 0, "a main window exists")
            check(session.reg_query(KEY, "Version", view) is None, "the registry was stamped")
        finally:
            if before is None:
                session.wine(["reg", "delete", r"HKCU\Software\Wine", "/v", "Version", "/f", "/reg:64"])
            else:
                session.reg_add(r"HKCU\Software\Wine", "Version", before)
