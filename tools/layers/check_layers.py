#!/usr/bin/env python3
"""Checks that the program's source folders include only downward.

The layers, lowest first: src/base < src/report < src/ui (toolkit < forms) < src/startup. A
folder may include from itself and from the folders below it, never from one above. An include
that runs back up fails the check, named by file and line. Includes that name no src/ folder
(the standard library, Windows, the generated version header) are not looked at.

Usage: python3 tools/layers/check_layers.py [--root DIR]   (DIR defaults to the repository)
Prints one line per folder and, last, "N passed, N failed" over the folders; exits 1 on any
include that runs back up.
"""
import argparse
import pathlib
import re
import sys

# Each folder and the folders it may include from. The longest folder that holds a file rules
# it: src/ui/toolkit is the toolkit, the rest of src/ui the forms and what they share.
RULES = [
    ("base", ["base"]),
    ("report", ["base", "report"]),
    ("ui/toolkit", ["base", "report", "ui/toolkit"]),
    ("ui", ["base", "report", "ui"]),
    ("startup", ["base", "report", "ui", "startup"]),
]
TOP_FOLDERS = {"base", "report", "ui", "startup"}
SOURCE_SUFFIXES = {".h", ".cpp", ".rc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def within(path, folder):
    return path == folder or path.startswith(folder + "/")


def rule_for(relative):
    """The rule of the longest folder holding `relative` (a path under src/), or None."""
    matches = [rule for rule in RULES if within(relative, rule[0])]
    return max(matches, key=lambda rule: len(rule[0]), default=None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=pathlib.Path(__file__).resolve().parents[2], type=pathlib.Path)
    args = parser.parse_args()
    src = args.root / "src"
    if not src.is_dir():
        print(f"check_layers: {src} is not a folder", file=sys.stderr)
        return 2

    problems = {folder: [] for folder, _ in RULES}
    files = {folder: 0 for folder, _ in RULES}
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        relative = path.relative_to(src).as_posix()
        rule = rule_for(relative)
        if rule is None:
            problems.setdefault("src", []).append(f"src/{relative}: in no layer")
            continue
        folder, allowed = rule
        files[folder] += 1
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, start=1):
            match = INCLUDE.match(line)
            if not match:
                continue
            included = match.group(1)
            if included.split("/")[0] not in TOP_FOLDERS:
                continue
            if not any(within(included, target) for target in allowed):
                problems[folder].append(
                    f"src/{relative}:{number}: includes \"{included}\", but src/{folder} may include only "
                    + ", ".join(f"src/{target}" for target in allowed))

    passed = failed = 0
    for folder, found in problems.items():
        for problem in found:
            print(problem)
        verdict = "FAIL" if found else "ok"
        print(f"{verdict:4} src/{folder} ({files.get(folder, 0)} files)")
        if found:
            failed += 1
        else:
            passed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
