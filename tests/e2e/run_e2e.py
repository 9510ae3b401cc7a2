#!/usr/bin/env python3
"""Runs Tarnvik's end-to-end cases against build/win64 and build/win32.

Usage: python3 tests/e2e/run_e2e.py [-k TEXT]... [--list]

Loads every tests/e2e/test_*.py, prepares one session (Xvfb, a fresh Wine prefix, the drives of
drives.py) and runs the cases one after another. Prints PASS/FAIL per case (SKIP, with the reason,
for a case this machine cannot run, such as one that needs FUSE where there is none; it counts
as neither) and a last line "N passed, N failed"; exits 1 when a case failed. Needs root for the
tmpfs drives.
TARNVIK_BUILD_ROOT overrides the folder that holds the win64 and win32 build folders.
"""

from __future__ import annotations

import argparse
import importlib
import os
import signal
import subprocess
import sys
import time
import traceback
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import drives  # noqa: E402
import harness  # noqa: E402

# A case whose own bounded steps somehow add up to more than this is stopped and failed.
CASE_LIMIT_SECONDS = 240


class CaseTimeout(Exception):
    pass


def _on_alarm(signum, frame):
    raise CaseTimeout(f"case took more than {CASE_LIMIT_SECONDS} s")


def _on_terminate(signum, frame):
    # Unwinds through the session's cleanup, as Ctrl+C does: no mount or X server is left behind
    # when an outer time limit stops the run.
    raise SystemExit(128 + signum)


def load_cases() -> list[harness.Case]:
    for path in sorted(HERE.glob("test_*.py")):
        importlib.import_module(path.stem)
    return list(harness.CASES)


def adapt_wine_host() -> str | None:
    """Why the x86 cases cannot run here, as scripts/lib/wine-host decides (None when they can).
    On a host that runs no 32-bit programs Wine then runs 64-bit only, through its launchers."""
    script = HERE.parents[1] / "scripts" / "lib" / "wine-host"
    verdict = subprocess.run(["bash", str(script)], capture_output=True, text=True, timeout=60,
                             check=True).stdout.splitlines()
    if len(verdict) > 1:
        os.environ["PATH"] = verdict[1] + os.pathsep + os.environ.get("PATH", "")
    return verdict[0] if verdict else None


def missing_build(arch: str | None) -> str | None:
    if arch is None:
        return None
    folder = harness.BUILD_ROOT / harness.ARCH_PRESETS[arch]
    for name in ("tarnvik.exe", "probe.exe"):
        if not (folder / name).is_file():
            return f"{folder / name} is missing (run scripts/build {harness.ARCH_PRESETS[arch]})"
    return None


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-k", action="append", default=[], help="run only cases whose name contains TEXT")
    parser.add_argument("--list", action="store_true", help="list the cases and exit")
    options = parser.parse_args()

    cases = [c for c in load_cases() if not options.k or any(k in c.name for k in options.k)]
    if options.list:
        for c in cases:
            print(c.name)
        return 0

    results: list[tuple[str, bool]] = []
    skipped: list[str] = []

    def first_fault(error: BaseException) -> str:
        # A failed clean-up in a finally block hides the failure that came before it.
        before = error.__context__
        return f"\n    (after: {type(before).__name__}: {before})" if before is not None else ""

    def record(name: str, ok: bool, seconds: float, detail: str = "") -> None:
        results.append((name, ok))
        print(f"{'PASS' if ok else 'FAIL'} {name} ({seconds:.1f} s)" + (f"\n    {detail}" if detail else ""),
              flush=True)

    no_x86 = adapt_wine_host()
    runnable = []
    for c in cases:
        problem = missing_build(c.arch)
        if no_x86 and c.arch == "x86":
            skipped.append(c.name)
            print(f"SKIP {c.name}\n    {no_x86}", flush=True)
        elif problem:
            record(c.name, False, 0, problem)
        else:
            runnable.append(c)

    if runnable:
        signal.signal(signal.SIGALRM, _on_alarm)
        signal.signal(signal.SIGTERM, _on_terminate)
        try:
            with harness.Session(drives.DRIVES, c_label=drives.C_LABEL, c_serial=drives.C_SERIAL,
                                 log=lambda m: print(f"[e2e] {m}", flush=True)) as session:
                for c in runnable:
                    started = time.monotonic()
                    signal.alarm(CASE_LIMIT_SECONDS)
                    try:
                        c.run(session)
                        record(c.name, True, time.monotonic() - started)
                    except harness.CaseSkipped as reason:
                        skipped.append(c.name)
                        print(f"SKIP {c.name} ({time.monotonic() - started:.1f} s)\n    {reason}", flush=True)
                    except harness.CaseFailure as failure:
                        record(c.name, False, time.monotonic() - started, str(failure))
                    except harness.HarnessError as error:
                        record(c.name, False, time.monotonic() - started,
                               f"test environment: {error}" + first_fault(error))
                    except Exception:
                        record(c.name, False, time.monotonic() - started, traceback.format_exc().strip())
                    finally:
                        signal.alarm(0)
                        session.stop_programs()
        except Exception as error:  # the session itself could not be set up or torn down
            done = {name for name, _ in results} | set(skipped)
            for c in runnable:
                if c.name not in done:
                    record(c.name, False, 0, f"test environment: {error}")
            if len(done) == len(runnable):
                print(f"[e2e] cleanup failed: {error}", flush=True)
                results.append(("session cleanup", False))

    passed = sum(1 for _, ok in results if ok)
    failed = len(results) - passed
    if skipped:
        print(f"{len(skipped)} skipped: {', '.join(skipped)}")
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
