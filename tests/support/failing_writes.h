// Storage that refuses what the editor writes: the unit tests link with pwrite64 and fsync
// wrapped (-Wl,--wrap=...), so that failed writes and syncs can be tried on any file.
#pragma once

#include <cerrno>
#include <cstdint>

// While on, every fsync fails with error (EIO unless told) and syncs nothing.
void fail_syncs(bool on, int error = EIO);
// Writes that touch the bytes from..to-1 fail with EIO and write nothing, as over a bad sector;
// the others go through. to <= from: none fail.
void fail_writes(int64_t from, int64_t to);
