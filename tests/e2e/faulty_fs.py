#!/usr/bin/python3
"""A file system of one file, data.bin, served from a backing file, whose reads fail with EIO
wherever they touch a range of bytes (after a wait, as a failing disk's retries take), or deliver
a given number of bytes a second, and whose syncs may fail with a given error: storage that
misbehaves, for the end-to-end cases. Writes and syncs go through to the backing file.

Usage: faulty_fs.py BACKING MOUNTPOINT [--fail FROM:TO] [--fail-wait SECONDS]
                    [--rate BYTES_PER_SECOND] [--sync-error NAME]
Runs in the foreground until the mount point is unmounted.
"""
import argparse
import errno
import os
import stat
import time

from fusepy import FUSE, FuseOSError, Operations

NAME = "data.bin"


class Faulty(Operations):
    def __init__(self, backing, fail, fail_wait, rate, sync_error):
        self.backing = backing
        self.fail = fail
        self.fail_wait = fail_wait
        self.rate = rate
        self.sync_error = sync_error

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        if path != "/" + NAME:
            raise FuseOSError(errno.ENOENT)
        st = os.lstat(self.backing)
        return {key: getattr(st, key) for key in
                ("st_mode", "st_nlink", "st_size", "st_uid", "st_gid", "st_atime", "st_mtime", "st_ctime")}

    def readdir(self, path, fh):
        return [".", "..", NAME]

    def open(self, path, flags):
        if path != "/" + NAME:
            raise FuseOSError(errno.ENOENT)
        return os.open(self.backing, flags & os.O_ACCMODE)

    def read(self, path, size, offset, fh):
        if self.rate:
            time.sleep(size / self.rate)
        if self.fail and offset < self.fail[1] and offset + size > self.fail[0]:
            time.sleep(self.fail_wait)
            raise FuseOSError(errno.EIO)
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def fsync(self, path, datasync, fh):
        if self.sync_error:
            raise FuseOSError(self.sync_error)
        os.fsync(fh)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("backing")
    parser.add_argument("mountpoint")
    parser.add_argument("--fail", help="FROM:TO, the bytes whose reads fail (numbers as in C)")
    parser.add_argument("--fail-wait", type=float, default=0, help="seconds a failing read takes")
    parser.add_argument("--rate", type=float, default=0, help="bytes a second that reads deliver")
    parser.add_argument("--sync-error", help="the error every sync fails with (EINVAL, EIO, ...)")
    args = parser.parse_args()
    fail = tuple(int(x, 0) for x in args.fail.split(":")) if args.fail else None
    sync_error = getattr(errno, args.sync_error) if args.sync_error else 0
    FUSE(Faulty(os.path.abspath(args.backing), fail, args.fail_wait, args.rate, sync_error),
         args.mountpoint, foreground=True, nothreads=True)


if __name__ == "__main__":
    main()
