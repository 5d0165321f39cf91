// Storage that fails or crawls, for the reads of the file: the unit tests link with pread64 and
// mincore wrapped (-Wl,--wrap=...), so that any file can be given bad blocks or a slow device.
// While reads fail or crawl, mincore says no page is in memory, as none of such storage would be,
// so that every byte is read through pread.
#pragma once

#include <cstdint>

// Reads of the bytes from..to-1 fail with EIO as a failing disk's do: a read that starts before
// them returns the bytes up to them, one that starts among them fails. to <= from: none fail.
void fail_reads(int64_t from, int64_t to);
// Reads deliver bytes_per_second (0: as fast as the file system gives them).
void slow_reads(int64_t bytes_per_second);
