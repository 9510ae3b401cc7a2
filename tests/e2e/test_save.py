"""/save and /json: the report written without a window, beside a running one."""

from __future__ import annotations

import csv
import io
import json
import shutil
import time
from datetime import datetime, timezone

import drives
from harness import Session, case, check, run_bounded
from test_report import c_volume, confirm_drive_space

C_SIZE_LINES = (8, 9, 10)  # C:'s size lines follow the host disk: checked for form only
SIZES = ("totalBytes", "freeBytes", "usedBytes")
LABELS = (" Drive: ", " Number:", " S/N:   ", " Label: ", " System:", " Size:  ", " Free:  ", " Fill:  ", " Volume:",
          " Type:  ", " Table: ")


def saving_run(session: Session, arch: str, *args: str):
    return session.wine([session.install(arch), *args], timeout=60)


def json_lines(doc: dict) -> list[str]:
    """The report's lines (split at CR LF) the document stands for: null as the text's default."""
    lines = ["", drives.SEPARATOR, ""]
    for d in doc["drives"]:
        bps, spc = d["bytesPerSector"] or 0, d["sectorsPerCluster"] or 0
        values = [f"{d['letter']}:\\", f"{d['number']}/{d['position']}",
                  f"{d['serialNumber'] or 0}  (#{d['serialHex'] or '00000000'})", d["label"] or "",
                  d["fileSystem"] or "?", *(f"({d[k] or 0})" for k in ("totalBytes", "freeBytes", "usedBytes")),
                  f"{bps}x{spc}  ({bps * spc} bytes)", d["driveTypeText"], d["partitionStyle"] or "Unknown"]
        lines += [drives.field(label, value) for label, value in zip(LABELS, values)] + ["", drives.SEPARATOR, ""]
    return lines + [drives.field(" Drives: ", f"{doc['driveCount']}  ({doc['sizedDriveCount']})"), "", ""]


def csv_cell(doc: dict, drive: dict, column: str) -> str:
    """The JSON's value for `column` of the drive's CSV row, as the CSV writes it."""
    if column.startswith(("disk", "volume")):  # diskHealthStatus: drive["disk"]["health"]["status"]
        value = drive
        for part in ("disk", "volume", "Health", "Partition", "Encryption"):
            if column.startswith(part) and column[len(part)].isupper():
                value, column = (value or {}).get(part.lower()), column[len(part):]
        value = (value or {}).get(column := column[0].lower() + column[1:])
    else:
        value = doc[column] if column in ("computerName", "takenUtc", "elevated") else drive[column]
    if isinstance(value, bool):
        return str(value).lower()
    separator = "|" if column == "mountPaths" else " "
    return "" if value is None else separator.join(map(str, value)) if isinstance(value, list) else str(value)


def check_taken_now(taken: str) -> None:
    when = datetime.strptime(taken, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=timezone.utc).timestamp()
    check(abs(when - time.time()) < 60, f"takenUtc {taken} is not within a minute of now")


def without_size_texts(line: str) -> str:
    return line[:11] + line[line.rindex("("):] if line[:8] in LABELS[5:8] else line


for _arch in ("x64", "x86"):

    @case(f"save_beside_window_{_arch}")
    def _save(session: Session, arch: str = _arch) -> None:
        """Beside a running window, /save writes the window's report (all but C:'s sizes, which
        change under the tests) over an older file, and /json - the same facts; the window stays."""
        confirm_drive_space(session)
        window = session.start_program(arch)
        shown = window.wait_report().split("\r\n")
        (out := session.drive_c / "out").mkdir(exist_ok=True)
        (out / "report.txt").write_bytes(b"an older report")
        result = saving_run(session, arch, "/SAVE", r"C:\out\report.txt")
        check(result.returncode == 0, "/save failed: " + result.describe())
        saved = (out / "report.txt").read_bytes()
        check(saved[:3] == b"\xef\xbb\xbf", f"no byte-order mark: {saved[:8]!r}")
        text = saved[3:].decode("utf-8")
        problems = drives.report_problems(text, drives.expected_report_lines(c_volume(session)))
        check(not problems + drives.c_size_problems(text), f"saved report: {problems + drives.c_size_problems(text)}")
        lines = text.split("\r\n")
        unlike = [(a, b) for i, (a, b) in enumerate(zip(lines, shown)) if a != b and i not in C_SIZE_LINES]
        check(not unlike and len(lines) == len(shown), f"saved and shown reports differ: {unlike[:3]}")
        check([p.name for p in out.iterdir()] == ["report.txt"], f"left in C:\\out: {list(out.iterdir())}")

        result = saving_run(session, arch, "-json", "-")
        check(result.returncode == 0, "/json - failed: " + result.describe())
        doc = json.loads(result.stdout.decode("utf-8"))
        check((doc["program"], doc["version"]) == ("Tarnvik", "1.2.0.2016.0"), f"{doc['program']} {doc['version']}")
        c = doc["drives"][0]
        check(c["totalBytes"] == c["freeBytes"] + c["usedBytes"] > 0, f"C: sizes do not add up: {c}")
        unlike = [(j, t) for i, (j, t) in enumerate(zip(json_lines(doc), map(without_size_texts, lines)))
                  if j != t and i not in C_SIZE_LINES]
        check(not unlike and len(json_lines(doc)) == len(lines), f"JSON and text disagree: {unlike[:4]}")
        check(doc["schemaVersion"] == 3 and doc["computerName"] and doc["windows"]["architecture"] == "x64",
              f"where the JSON was taken: {[doc[k] for k in ('schemaVersion', 'computerName', 'windows')]}")
        check_taken_now(doc["takenUtc"])
        # Under Wine no letter lies on a disk: every disk and health is null; the user is an administrator.
        check(all(d["disk"] is None for d in doc["drives"]), f"disks: {[d['disk'] for d in doc['drives']]}")
        check(list(doc)[7:9] == ["elevated", "drives"] and doc["elevated"] is True, f"elevated: {doc.get('elevated')}")
        # Wine's mount manager: a volume for each letter ("{...LL}", its code), none else; no partition, share or BitLocker.
        check(list(doc)[-1] == "volumesWithoutLetter" and doc["volumesWithoutLetter"] == [], "volumes without a letter")
        for d, share in ((d, d["letter"] == "H") for d in doc["drives"]):
            guid = f"\\\\?\\Volume{{00000000-0000-0000-0000-{ord(d['letter']):012X}}}\\"
            want = {"guidPath": None if share else guid, "mountPaths": None if share else [d["letter"] + ":\\"],
                    "freeBytesForUser": d["freeBytes"], "readOnly": d["letter"] in "RS", "compressed": False,
                    **dict.fromkeys(("partition", "remotePath", "encryption"))}
            check(list(d)[-1] == "volume" and d["volume"] == want, f"{d['letter']}: volume {d['volume']}, expected {want}")
        for switch, delimiter in (("/csv", ","), ("/CSV:semicolon", ";")):
            data = (result := saving_run(session, arch, switch, "-")).stdout
            check(result.returncode == 0 and data.find(b"\xef\xbb\xbf") == -1, f"{switch} -: {result.describe()}")
            check(b"\n" not in data.replace(b"\r\n", b""), "not CR LF rows")
            header, *rows = csv.reader(io.StringIO(data.decode("utf-8"), newline=""), "excel", delimiter=delimiter)
            check(header[:17] == ["computerName", "takenUtc", *list(doc["drives"][0])[:-2]] and len(header) == 57 and
                  all(c.startswith("disk") for c in header[17:28]) and all(c.startswith("diskHealth") for c in
                  header[28:43]) and all(c.startswith("volume") for c in header[43:56]) and header[56] == "elevated"
                  and len(rows) == len(doc["drives"]) + len(doc["volumesWithoutLetter"]), f"{header}")
            check_taken_now(rows[0][1])
            unlike = [(c, v) for row, d in zip(rows, doc["drives"] + doc["volumesWithoutLetter"])
                      for c, v in zip(header, row, strict=True) if v != csv_cell(doc, d, c) and c != "takenUtc"
                      and not (d["letter"] == "C" and (c in SIZES or c == "volumeFreeBytesForUser"))]
            check(not unlike, f"{switch} and JSON disagree: {unlike[:4]}")
        check(window.alive() and window.wait_text(" Drives: ", 5000), "the window went away beside the saving runs")
        session.press_key("Escape")
        window.wait_gone(10)


@case("save_failures_x64")
def _failures(session: Session) -> None:
    """A path that cannot be written gives 1, a message and no file (no temporary, no trace); a wrong
    command line or COM1 gives 2; a path past 260 characters and NUL are written (0), nothing else."""
    deep = ["d" * 60] * 4
    session.drive_c.joinpath(*deep).mkdir(parents=True, exist_ok=True)
    far = "C:\\" + "\\".join(deep) + "\\" + "r" * 20 + ".txt"  # 271 characters
    for args, code in ((["/save", r"C:\no such folder\r.txt"], 1), (["/save", r"C:\Tarnvik"], 1), (["/save"], 2),
                       (["/print", "r.txt"], 2), (["/csv"], 2), (["/csv:tab", "r.csv"], 2),
                       (["/save", far], 0), (["/json", "NUL"], 0), (["/json", "COM1"], 2)):
        before = sorted(p.name for p in session.drive_c.iterdir())
        env = dict(session.env, WINEDEBUG="trace+file", TARNVIK_TRACE_START=r"C:\trace.txt")
        result = run_bounded(["wine", session.install("x64"), *args], 60, env=env, cwd=session.drive_c)
        writes = [line for line in result.stderr.split(b"\n") if b'" GENERIC_WRITE ' in line]  # CREATE_NEW is 1
        check((writes or code) and all(b'.tmp" GENERIC_WRITE  creation 1 ' in w or rb'L"\\\\.\\NUL" GENERIC_WRITE' in w
                                       and b" creation 3 " in w for w in writes), f"{args} opened for writing: {writes}")
        check(result.returncode == code, f"{args}: exit {result.returncode}, expected {code}: {result.describe()}")
        check((b"tarnvik: " in result.stderr) == (code != 0), f"{args}: standard error: {result.stderr!r}")
        check(sorted(p.name for p in session.drive_c.iterdir()) == before, f"{args} left a file in C:\\")
    written = session.drive_c.joinpath(*deep)
    check([p.name for p in written.iterdir()] == ["r" * 20 + ".txt"], f"beside the far file: {list(written.iterdir())}")
    check((written / ("r" * 20 + ".txt")).read_bytes()[:3] == b"\xef\xbb\xbf", "the far file holds no report")
    shutil.rmtree(session.drive_c / deep[0])
