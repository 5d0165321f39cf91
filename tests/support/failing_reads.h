// Storage that fails or crawls, for the reads of the file: the unit tests link with pread64
// wrapped (-Wl,--wrap=...), so that any file can be given bad blocks or a slow device, or be cut
// short by another program in the middle of a scan.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Reads of the bytes from..to-1 fail with EIO as a failing disk's do: a read that starts before
// them returns the bytes up to them, one that starts among them fails. to <= from: none fail.
void fail_reads(int64_t from, int64_t to);
// Reads of the bytes from `from` on deliver bytes_per_second (0: as fast as the file system gives
// them), as a device that crawls from some point on.
void slow_reads(int64_t bytes_per_second, int64_t from = 0);
// Right before the first read that reaches past length bytes, the file at path is cut to length,
// as another program may cut it while a scan reads it; with grows_back, it is lengthened again
// with zeros to its old length right after a read has found it ended. An empty path: nothing is
// cut.
void cut_when_read(const char *path, int64_t length, bool grows_back = false);
// From now on reads and writes of the file refuse with EINVAL what is not whole sectors of
// sector_size bytes at an offset and into memory aligned to them, as a disk of FreeBSD does, and
// a read that touches failing bytes fails whole. sector_size 1: anything goes.
void refuse_misaligned(int64_t sector_size);
// Whether a read or write of count bytes at offset, through memory at buf, is refused so.
[[nodiscard]] bool misaligned(const void *buf, size_t count, off_t offset);
// How many reads have failed with EIO since the last call.
[[nodiscard]] int64_t failed_reads();
