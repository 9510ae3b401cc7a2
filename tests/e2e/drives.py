"""The drives every end-to-end session prepares, and the report lines expected for each.

Byte counts on tmpfs: the label and serial files take one 4096-byte page each, so a fresh drive
has 8192 bytes used; the filler file on D: adds 793 pages. Size texts follow the formatter's
rules: the unit is chosen on the byte count, the quotient is rounded to four decimals (halves to
even), then written with up to three decimals (halves away from zero) and a decimal comma.

Wine answers as follows (measured on wine 8.0): a letter pointing to a folder that does not
exist still answers the volume query, with file system NTFS (CDFS for a cdrom letter), an empty
label and the serial number 0xLL000000 where LL is the upper-case letter's code, and fails the
cluster and space queries. The management service lists one partition (type "NTFS") for each
fixed or removable drive, lists cdrom drives without a partition, and does not list other letters.
"""

from __future__ import annotations

import dataclasses
import re

from harness import DriveSpec

SEPARATOR = "-" * 50

# C: is the prefix's own drive on the host disk: its label and serial are set through the
# .windows-label and .windows-serial files, but its sizes belong to the host and change while
# the tests run, so its three size lines are checked for form and consistency only.
C_LABEL = "SYSTEM"
C_SERIAL = "1BADF00D"  # 0x1BADF00D = 464384013

DRIVES = [
    # 64 MiB, fixed. 0x5A3C9E11 = 1513922065. Filler 3248128 bytes = 793 pages.
    DriveSpec("D", 67108864, "TARNVIK_T1", "5A3C9E11", filler=3248128),
    # E: is left out so that the running number and the alphabet place differ from here on.
    # 1 GiB, fixed; a label with a blank; 0xDEADBEEF = 3735928559 has the top bit set.
    DriveSpec("F", 1073741824, "Big Data", "DEADBEEF"),
    # 1440 KiB, removable; 0x80000000 = 2147483648.
    DriveSpec("G", 1474560, "FLOPPY", "80000000", kind="floppy"),
    # 2 MiB, remote; 0x1F = 31.
    DriveSpec("H", 2097152, "NETSHARE", "0000001F", kind="network"),
    # 700 MiB, optical; 0x1234 = 4660.
    DriveSpec("R", 734003200, "TARNVIK_CD", "00001234", kind="cdrom"),
    # Optical letter whose folder is missing: Wine's nearest thing to a drive without a disc.
    DriveSpec("S", None, kind="cdrom"),
    # A letter pointing nowhere, with no type: drive type code 1.
    DriveSpec("X", None),
]

# Free bytes each prepared tmpfs must show before the program runs (checked, so that a change
# in how tmpfs counts pages is reported as such and not as a program fault).
EXPECTED_FREE = {
    "D": 67108864 - 3248128 - 8192,  # 63852544
    "F": 1073741824 - 8192,  # 1073733632
    "G": 1474560 - 8192,  # 1466368
    "H": 2097152 - 8192,  # 2088960
    "R": 734003200 - 8192,  # 733995008
}


@dataclasses.dataclass(frozen=True)
class Block:
    """The expected values of one drive block (what follows the TAB and the two spaces).
    A value of type re.Pattern is matched instead of compared."""

    drive: str
    number: str
    serial: str
    label: str
    system: str
    size: str | re.Pattern
    free: str | re.Pattern
    fill: str | re.Pattern
    volume: str
    type: str
    table: str | None  # None: no " Table: " line (Windows before version 5)


SIZE_LINE = re.compile(r"(\d+(?:,\d{0,2}[1-9])?) (B|KB|MB|GB|TB)  \((\d+)\)")


def c_block(volume: str) -> Block:
    return Block("C:\\", "1/3", "464384013  (#1BADF00D)", C_LABEL, "NTFS", SIZE_LINE, SIZE_LINE, SIZE_LINE,
                 volume, "HDD/VHD  (Fixed)", "MBR")


BLOCKS_AFTER_C = [
    # 67108864 / 2^20 = 64 MB. Free 63852544 / 2^20 = 60.89453125 -> 60.8945 -> 60,895 MB.
    # Used 3256320 / 2^20 = 3.10546875 -> 3.1055 (four places, half to even) -> 3,106 MB;
    # rounding the exact quotient once would give 3,105 MB.
    Block("D:\\", "2/4", "1513922065  (#5A3C9E11)", "TARNVIK_T1", "NTFS", "64 MB  (67108864)",
          "60,895 MB  (63852544)", "3,106 MB  (3256320)", "512x8  (4096 bytes)", "HDD/VHD  (Fixed)", "MBR"),
    # 2^30 = 1 GB. Free 1073733632 is below 2^30, so MB: 1023.9921875 -> 1023.9922 -> 1023,992 MB.
    # Used 8192 / 1024 = 8 KB.
    Block("F:\\", "3/6", "3735928559  (#DEADBEEF)", "Big Data", "NTFS", "1 GB  (1073741824)",
          "1023,992 MB  (1073733632)", "8 KB  (8192)", "512x8  (4096 bytes)", "HDD/VHD  (Fixed)", "MBR"),
    # 1474560 is above 1048575, so MB: 1.40625 -> 1.4062 (the half goes to the even 2) -> 1,406 MB.
    # Free 1466368 / 2^20 = 1.3984375 -> 1.3984 -> 1,398 MB.
    Block("G:\\", "4/7", "2147483648  (#80000000)", "FLOPPY", "NTFS", "1,406 MB  (1474560)",
          "1,398 MB  (1466368)", "8 KB  (8192)", "512x8  (4096 bytes)", "FDD/FLASH  (Removable)", "MBR"),
    # 2097152 / 2^20 = 2 MB; free 2088960 / 2^20 = 1.9921875 -> 1.9922 -> 1,992 MB.
    Block("H:\\", "5/8", "31  (#0000001F)", "NETSHARE", "NTFS", "2 MB  (2097152)",
          "1,992 MB  (2088960)", "8 KB  (8192)", "512x8  (4096 bytes)", "NET/RDD  (Remote)", "Unknown"),
    # 734003200 / 2^20 = 700 MB; free 733995008 / 2^20 = 699.9921875 -> 699,992 MB.
    Block("R:\\", "6/18", "4660  (#00001234)", "TARNVIK_CD", "CDFS", "700 MB  (734003200)",
          "699,992 MB  (733995008)", "8 KB  (8192)", "512x8  (4096 bytes)", "CD/DVD/Blue-Ray  (Optical)", "RAW"),
    # 'S' = 0x53: serial 0x53000000 = 1392508928; no space or cluster answer.
    Block("S:\\", "7/19", "1392508928  (#53000000)", "", "CDFS", "0 B  (0)", "0 B  (0)", "0 B  (0)",
          "0x0  (0 bytes)", "CD/DVD/Blue-Ray  (Optical)", "RAW"),
    # 'X' = 0x58: serial 0x58000000 = 1476395008; type code 1.
    Block("X:\\", "8/24", "1476395008  (#58000000)", "", "NTFS", "0 B  (0)", "0 B  (0)", "0 B  (0)",
          "0x0  (0 bytes)", "?  (Unknown)", "Unknown"),
]

# Eight drives; all but S: and X: have a size.
EXPECTED_SUMMARY = "8  (6)"


def field(label: str, value: str) -> str:
    return f"{label}\t  {value}"


def expected_lines(blocks: list[Block], summary: str) -> list[str | re.Pattern]:
    """The report as a list of lines (without their CR LF), in the layout the window shows."""
    lines: list[str | re.Pattern] = ["", SEPARATOR, ""]
    for b in blocks:
        lines += [field(" Drive: ", b.drive), field(" Number:", b.number), field(" S/N:   ", b.serial),
                  field(" Label: ", b.label), field(" System:", b.system)]
        for label, value in ((" Size:  ", b.size), (" Free:  ", b.free), (" Fill:  ", b.fill)):
            lines.append(value if isinstance(value, re.Pattern) else field(label, value))
        lines += [field(" Volume:", b.volume), field(" Type:  ", b.type)]
        if b.table is not None:
            lines.append(field(" Table: ", b.table))
        lines += ["", SEPARATOR, ""]
    lines += [field(" Drives: ", summary), ""]
    return lines


def pattern_line(label: str, pattern: re.Pattern) -> re.Pattern:
    # Labels hold only letters, blanks, a colon and a slash: nothing a pattern would read specially.
    return re.compile(f"{label}\t  " + pattern.pattern)


def expected_report_lines(volume_c: str, extra: list[Block] = (), summary: str = EXPECTED_SUMMARY) -> list[str | re.Pattern]:
    """The session's report; `extra` are the blocks of letters a case added after X:."""
    lines = expected_lines([c_block(volume_c)] + BLOCKS_AFTER_C + list(extra), summary)
    # Give the C: size patterns their labels.
    labels = iter((" Size:  ", " Free:  ", " Fill:  "))
    return [pattern_line(next(labels), line) if isinstance(line, re.Pattern) else line for line in lines]


UNITS = {"B": 1, "KB": 1 << 10, "MB": 1 << 20, "GB": 1 << 30, "TB": 1 << 40}


def size_text_problem(text: str, count: int) -> str | None:
    """Checks a size text against its byte count without the exact formatter: the unit is the
    one the count calls for and the number is the quotient to within the two roundings."""
    number, unit = text.split(" ")
    expected_unit = "B"
    for name in ("KB", "MB", "GB", "TB"):
        if count > UNITS[name] - 1:
            expected_unit = name
    if unit != expected_unit:
        return f"{text!r} for {count} bytes: unit should be {expected_unit}"
    value = float(number.replace(",", "."))
    # Two roundings: to four places (at most 0.00005 off), then to three (at most 0.0005 more).
    if abs(value - count / UNITS[unit]) > 0.00055 + 1e-9:
        return f"{text!r} is not {count} bytes in {unit}"
    return None


def report_problems(text: str, expected: list[str | re.Pattern], limit: int = 8) -> list[str]:
    """Line-by-line differences between a report text and the expected lines; empty when equal."""
    problems: list[str] = []
    if not text.endswith("\r\n"):
        problems.append(f"the text does not end with CR LF: ends {text[-20:]!r}")
    body = text[:-2] if text.endswith("\r\n") else text
    actual = body.split("\r\n")
    for number, line in enumerate(actual, 1):
        if "\r" in line or "\n" in line:
            problems.append(f"line {number} holds a bare CR or LF: {line!r}")
    for number in range(1, max(len(actual), len(expected)) + 1):
        got = actual[number - 1] if number <= len(actual) else None
        want = expected[number - 1] if number <= len(expected) else None
        if isinstance(want, re.Pattern):
            ok = got is not None and want.fullmatch(got) is not None
            shown = f"/{want.pattern}/"
        else:
            ok = got == want
            shown = repr(want)
        if not ok:
            problems.append(f"line {number}: got {got!r}, expected {shown}")
    if len(actual) != len(expected):
        problems.append(f"{len(actual)} lines, expected {len(expected)}")
    return problems[:limit]


def c_size_problems(text: str) -> list[str]:
    """C:'s three size lines: each text fits its byte count, and used = total - free."""
    lines = text.split("\r\n")
    try:
        start = lines.index(field(" Drive: ", "C:\\"))
    except ValueError:
        return ["no C: block"]
    found = {}
    for line in lines[start:start + 11]:
        for label in (" Size:  ", " Free:  ", " Fill:  "):
            if line.startswith(label + "\t  "):
                match = SIZE_LINE.fullmatch(line[len(label) + 3:])
                if match:
                    found[label] = (f"{match.group(1)} {match.group(2)}", int(match.group(3)))
    if len(found) != 3:
        return [f"C: size lines not all readable: {found}"]
    problems = [p for p in (size_text_problem(t, n) for t, n in found.values()) if p]
    total, free, used = (found[k][1] for k in (" Size:  ", " Free:  ", " Fill:  "))
    if total != free + used:
        problems.append(f"C: total {total} != free {free} + used {used}")
    if total == 0:
        problems.append("C: reports no size")
    return problems
