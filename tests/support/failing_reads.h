// Storage that fails or crawls, for the reads of the file: the unit tests link with pread64
// wrapped (-Wl,--wrap=...), so that any file can be given bad blocks or a slow device, or be cut
// short by another program in the middle of a scan.
#pragma once

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
