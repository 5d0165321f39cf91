// Block-cached access to the one file being edited: open, read any bytes at any offset,
// overwrite bytes in place, close. The file is never loaded whole. A disk, which takes only whole
// sectors, is read and written in whole sectors at offsets that are multiples of them.
#pragma once

#include <cstdint>

constexpr int FILE_BLOCK_SIZE = 512;
constexpr int FILE_CACHE_SLOTS = 4;
// What file_read finds instead of bytes.
constexpr int FILE_PAST_END = -1;    // no byte there: at or past the end of the file
constexpr int FILE_UNREADABLE = -2;  // a byte of the file that the storage could not give

// Opens path in mode "rb+" or "rb" and empties the cache. Returns the file's length (>= 0),
// -1 when it cannot be opened or measured, -2 when the cache cannot be allocated.
// error_code is set to 0, then to the errno of the step that failed.
[[nodiscard]] int64_t file_open(const char *path, const char *mode, int &error_code);
// Copies up to count (1-32) bytes at offset into dst. Returns the number copied (at least 1;
// fewer than count where the file ends or the storage fails after them), FILE_PAST_END when
// offset is at or past the end of the file (or another program cut it off), or FILE_UNREADABLE
// when the byte at offset cannot be read. A block that could not be read is remembered as such
// until file_refresh forgets it, so that drawing it again does not wait on the storage again.
[[nodiscard]] int file_read(unsigned char *dst, int count, int64_t offset);
// Writes count bytes from src at offset in place and hands them to the operating system, with
// one system call unless it takes fewer; on a disk, sector by sector, each sector the bytes
// cover only in part read first and written back whole. Returns the number written, from the
// first: fewer than count means a read or write failed there. Empties the cache either way.
[[nodiscard]] int64_t file_write(const unsigned char *src, int64_t count, int64_t offset);
// The open file's length as it is now, or -1 when path no longer names the open file: another
// program replaced or removed it, or it cannot be reached.
[[nodiscard]] int64_t file_current_length(const char *path);
// Forgets the cached blocks, so that the next reads show the file as another program may have
// left it, and the blocks remembered as unreadable that lie more than reach bytes from offset
// (the cursor); nearer ones stay remembered, so that no read waits on them again.
void file_refresh(int64_t offset, int64_t reach);
// Reads up to count bytes at offset straight from the file, leaving the cache alone: for scans
// that pass over more than the cache holds. Returns the number read: count, or fewer where the
// file ends (0 at or past its end) or, with unreadable set, where the storage could not give the
// next byte.
[[nodiscard]] int file_read_direct(unsigned char *dst, int count, int64_t offset, bool &unreadable);
// Finds the first stretch of data at or after offset, past any hole: [start, end). Where the
// file system cannot tell holes from data, that is offset to the end of the file; when only a
// hole is left, start and end are both the file's length.
void file_data_extent(int64_t offset, int64_t &start, int64_t &end);
// Makes the bytes written so far durable, on a disk through the drive's own cache. Returns 0, or
// -1 when the storage reported an error; a device or a pipe that cannot be synchronised at all
// (or a drive that has no cache to flush) counts as done, a regular file never does.
[[nodiscard]] int file_sync();
// Closes the file and releases the cache.
void file_close();

// What the cache holds, for tests and benchmarks: the block of a slot (-1 for none).
[[nodiscard]] int64_t file_cached_block(int slot);
// For tests: treats the open file as a disk of sectors of size bytes (a power of two; 1 for
// none), as file_open does with what a disk answers. Returns false when no buffer could be had
// for them; the sectors are then of one byte.
[[nodiscard]] bool file_set_sector_size(int size);
