#!/usr/bin/python3
"""hangfs: a read-only FUSE file system whose space query hangs, to stand for a slow drive.

The tree lives in memory: its root holds `.windows-label` and `.windows-serial` (so that Wine
gives the drive letter pointing at the mount that label and serial) and nothing else. Every
statfs call first sleeps for the delay, then answers fixed numbers with 4096-byte blocks, so the
drive's total and free bytes are exact. The delay is read from --delay-file at each call (seconds,
a decimal number; 0 answers at once), so a test can make a mounted drive hang or stop hanging;
without the file, --delay applies. Calls are served on threads of their own, so calls from
several threads of a program hang side by side, not one after another.

--spare NAME answers the calls of processes whose name starts with NAME at once. Wine's server
(wineserver64) is one thread that serves every Windows process, and it asks a file system for its
type (fstatfs) itself when a program opens a file there: were that call to hang, every program of
the prefix would stop alike, whatever it does. On Windows a hanging drive blocks only the threads
that ask it; `--spare wineserver` gives that behaviour under Wine.

Usage (as root, in the foreground; end it with SIGTERM, or unmount it):
    /usr/bin/python3 tools/hangfs/hangfs.py MOUNTPOINT --size BYTES [--free BYTES]
        [--label TEXT] [--serial HEX] [--delay SECONDS] [--delay-file PATH] [--spare NAME]...

Each statfs call is logged on stderr when it starts (with its delay) and when it answers, so a
run shows how often a program asked and whether a call was pending at a given moment. A sleeping
call whose thread is being ended (SIGQUIT, with which Wine ends threads, or SIGKILL pending) is
answered at once with EINTR, as Windows cancels the pending I/O of a thread that ends.
Needs Debian's python3-fusepy (module `fusepy`; elsewhere it is called `fuse`) and /dev/fuse.
"""

from __future__ import annotations

import argparse
import errno
import stat
import sys
import threading
import time

try:
    import fusepy as fuse
except ImportError:  # the name upstream installs under
    import fuse

BLOCK = 4096


def caller() -> tuple[int, str]:
    """The process (or thread) that made the current call, and its name."""
    _, _, pid = fuse.fuse_get_context()
    try:
        with open(f"/proc/{pid}/comm") as f:
            return pid, f.read().strip()
    except OSError:
        return pid, "?"


# SIGQUIT (Wine ends a thread with it) and SIGKILL, as bits of /proc/<tid>/status's signal masks.
ENDING_SIGNALS = (1 << (3 - 1)) | (1 << (9 - 1))


def being_ended(pid: int) -> bool:
    """Whether the calling thread has a signal pending that ends it. A thread waiting for a FUSE
    answer cannot take the signal until the answer comes, so without this a hanging call would
    keep a process that has quit alive until it ends, unlike Windows, which cancels the pending
    I/O of a thread that ends."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(("SigPnd:", "ShdPnd:")) and int(line.split()[1], 16) & ENDING_SIGNALS:
                    return True
    except (OSError, ValueError, IndexError):
        return True  # the thread is gone: nobody waits for the answer
    return False


class HangFS(fuse.Operations):
    def __init__(self, files: dict[str, bytes], size: int, free: int, delay: float, delay_file: str | None,
                 spare: list[str]):
        self.spare = spare
        self.files = files
        self.size = size
        self.free = free
        self.delay = delay
        self.delay_file = delay_file
        self.calls = 0
        self.count_lock = threading.Lock()
        self.mounted_at = time.time()

    def current_delay(self) -> float:
        if self.delay_file:
            try:
                with open(self.delay_file) as f:
                    return max(0.0, float(f.read().strip() or 0))
            except (OSError, ValueError):
                pass
        return self.delay

    def getattr(self, path, fh=None):
        common = dict(st_uid=0, st_gid=0, st_atime=self.mounted_at, st_mtime=self.mounted_at,
                      st_ctime=self.mounted_at)
        if path == "/":
            return dict(common, st_mode=stat.S_IFDIR | 0o755, st_nlink=2, st_size=0)
        data = self.files.get(path)
        if data is None:
            raise fuse.FuseOSError(errno.ENOENT)
        return dict(common, st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=len(data))

    def readdir(self, path, fh):
        if path != "/":
            raise fuse.FuseOSError(errno.ENOTDIR)
        return [".", ".."] + [name.lstrip("/") for name in self.files]

    def open(self, path, flags):
        if path not in self.files:
            raise fuse.FuseOSError(errno.ENOENT)
        if flags & (fuse.os.O_WRONLY | fuse.os.O_RDWR):
            raise fuse.FuseOSError(errno.EROFS)
        return 0

    def read(self, path, size, offset, fh):
        data = self.files.get(path)
        if data is None:
            raise fuse.FuseOSError(errno.ENOENT)
        return data[offset:offset + size]

    def statfs(self, path):
        pid, name = caller()
        delay = 0.0 if any(name.startswith(prefix) for prefix in self.spare) else self.current_delay()
        with self.count_lock:
            self.calls += 1
            number = self.calls
        print(f"hangfs: statfs {number} at {time.time():.3f}, sleeping {delay:g} s, for {pid} {name}", file=sys.stderr,
              flush=True)
        deadline = time.monotonic() + delay
        while time.monotonic() < deadline:
            if being_ended(pid):
                print(f"hangfs: statfs {number} answered at {time.time():.3f} (EINTR: its thread is being ended)",
                      file=sys.stderr, flush=True)
                raise fuse.FuseOSError(errno.EINTR)
            time.sleep(min(0.02, max(0.0, deadline - time.monotonic())))
        print(f"hangfs: statfs {number} answered at {time.time():.3f}", file=sys.stderr, flush=True)
        return dict(f_bsize=BLOCK, f_frsize=BLOCK, f_blocks=self.size // BLOCK, f_bfree=self.free // BLOCK,
                    f_bavail=self.free // BLOCK, f_files=1024, f_ffree=1024 - 1 - len(self.files),
                    f_favail=1024 - 1 - len(self.files), f_namemax=255)


def main() -> int:
    parser = argparse.ArgumentParser(description="read-only FUSE file system whose statfs hangs")
    parser.add_argument("mountpoint")
    parser.add_argument("--size", type=int, required=True, help="total bytes, a multiple of 4096")
    parser.add_argument("--free", type=int, help="free bytes, a multiple of 4096 (default: all)")
    parser.add_argument("--label", default="")
    parser.add_argument("--serial", default="", help="volume serial number, eight hex digits")
    parser.add_argument("--delay", type=float, default=0.0, help="seconds each statfs sleeps")
    parser.add_argument("--delay-file", help="file holding the delay, read at every statfs call")
    parser.add_argument("--spare", action="append", default=[], metavar="NAME",
                        help="answer processes whose name starts with NAME at once (repeatable)")
    options = parser.parse_args()
    free = options.size if options.free is None else options.free
    if options.size % BLOCK or free % BLOCK or not 0 <= free <= options.size:
        parser.error("--size and --free must be multiples of 4096 with free <= size")
    files = {}
    if options.label:
        files["/.windows-label"] = options.label.encode()
    if options.serial:
        files["/.windows-serial"] = options.serial.encode()
    operations = HangFS(files, options.size, free, options.delay, options.delay_file, options.spare)
    fuse.FUSE(operations, options.mountpoint, foreground=True, ro=True, fsname="hangfs")
    return 0


if __name__ == "__main__":
    sys.exit(main())
