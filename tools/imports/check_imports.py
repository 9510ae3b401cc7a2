#!/usr/bin/env python3
"""Checks that Windows executables load on the oldest Windows the program is shipped for.

For each .exe: reads its import table from the PE file and looks every imported function up in
windows_imports.txt (beside this script, or --table). It fails for an import the table does not
list, for one whose oldest Windows is newer than the floor of the exe's architecture (XP for x86,
XP x64 / Server 2003 for x64), for delay-loaded imports (which this check does not read), and for
a subsystem version above the floor's (the loader refuses a program that asks for a newer
Windows). It prints each exe's imports with the Windows the table gives them, then what failed.

Usage: check_imports.py [--table FILE] EXE...      Exit status 0 when every exe passes, else 1.
"""

from __future__ import annotations

import argparse
import pathlib
import struct
import sys

VERSIONS = {"2000": (5, 0), "XP": (5, 1), "2003": (5, 2), "Vista": (6, 0), "7": (6, 1), "8": (6, 2),
            "8.1": (6, 3), "10": (10, 0)}
# Machine type: (name, floor, the Windows the floor stands for).
MACHINES = {0x14C: ("x86", (5, 1), "Windows XP"), 0x8664: ("x64", (5, 2), "Windows XP x64 / Server 2003")}
IMPORT_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 13


def read_table(path: pathlib.Path) -> dict[str, dict[str, str]]:
    """{dll in lower case: {function: Windows name}} from the table file."""
    table: dict[str, dict[str, str]] = {}
    section = None
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            section = table.setdefault(line[1:-1].lower(), {})
            continue
        fields = line.split()
        if section is None or len(fields) != 2 or fields[1] not in VERSIONS:
            raise SystemExit(f"{path}:{number}: expected 'Function Windows' under a [DLL] line: {raw!r}")
        section[fields[0]] = fields[1]
    return table


class PeFile:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError(f"unknown optional header magic {magic:#x}")
        self.pe32_plus = magic == 0x20B
        self.subsystem_version = struct.unpack_from("<HH", data, optional + 48)
        directories = optional + (112 if self.pe32_plus else 96)
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(self, rva: int) -> int:
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError(f"address {rva:#x} lies in no section")

    def string(self, rva: int) -> str:
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def directory(self, index: int) -> tuple[int, int]:
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self) -> list[tuple[str, str]]:
        """(dll, function) for every static import; an import by ordinal reads '#N'."""
        result = []
        rva = self.directory(IMPORT_DIRECTORY)[0]
        if rva == 0:
            return result
        descriptor = self.offset(rva)
        thunk_size, ordinal_flag = (8, 1 << 63) if self.pe32_plus else (4, 1 << 31)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, descriptor)
            if name == 0:
                return result
            dll = self.string(name)
            thunk = self.offset(lookup or first)
            while True:
                value = int.from_bytes(self.data[thunk:thunk + thunk_size], "little")
                if value == 0:
                    break
                function = f"#{value & 0xFFFF}" if value & ordinal_flag else self.string((value & 0x7FFFFFFF) + 2)
                result.append((dll, function))
                thunk += thunk_size
            descriptor += 20


def check(path: pathlib.Path, table: dict[str, dict[str, str]]) -> bool:
    pe = PeFile(path.read_bytes())
    if pe.machine not in MACHINES:
        print(f"{path}: FAIL unknown machine type {pe.machine:#x}")
        return False
    arch, floor, floor_name = MACHINES[pe.machine]
    problems = []
    subsystem = "%d.%d" % pe.subsystem_version
    if pe.subsystem_version > floor:
        problems.append(f"subsystem version {subsystem} is above {floor[0]}.{floor[1]}: the loader of {floor_name} refuses it")
    if pe.directory(DELAY_IMPORT_DIRECTORY)[0] != 0:
        problems.append("delay-loaded imports, which this check does not read")
    imports = pe.imports()
    print(f"{path} ({arch}): subsystem version {subsystem}, {len(imports)} imports, floor {floor_name} "
          f"({floor[0]}.{floor[1]})")
    by_dll: dict[str, dict[str, list[str]]] = {}
    for dll, function in imports:
        windows = table.get(dll.lower(), {}).get(function)
        if windows is None:
            problems.append(f"{dll}!{function} is not in the table")
            windows = "?"
        elif VERSIONS[windows] > floor:
            problems.append(f"{dll}!{function} needs Windows {windows}, newer than {floor_name}")
        by_dll.setdefault(dll, {}).setdefault(windows, []).append(function)
    for dll in sorted(by_dll, key=str.lower):
        for windows, functions in sorted(by_dll[dll].items(), key=lambda item: VERSIONS.get(item[0], (99, 0))):
            print(f"  {dll:<13} {windows:<5} {' '.join(sorted(functions, key=str.lower))}")
    for problem in problems:
        print(f"  FAIL {problem}")
    return not problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--table", type=pathlib.Path, default=pathlib.Path(__file__).with_name("windows_imports.txt"))
    parser.add_argument("exe", nargs="+", type=pathlib.Path)
    args = parser.parse_args()
    table = read_table(args.table)
    results = []
    for exe in args.exe:
        try:
            results.append(check(exe, table))
        except (OSError, ValueError, struct.error) as error:
            print(f"{exe}: FAIL cannot read the PE file: {error}")
            results.append(False)
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
