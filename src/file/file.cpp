// Block-cached access to the one file being edited. Owns the open stream, its length, its
// sector size and the buffer a disk is read and written through, the four 512-byte blocks kept
// least-recently-used and the blocks remembered as unreadable; file_close releases them.
#include "file/file.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __FreeBSD__
#include <sys/disk.h>
#else
#include <linux/fs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct cache_slot {
    unsigned char *data;
    int64_t block;  // -1 when the slot holds nothing
    int64_t stamp;  // last use; -1 after a reset
    int valid;      // bytes of the block actually read; the rest is not file content
    bool failed;    // the bytes after those valid are in the file, but the storage failed them
};

// A block the storage failed: its first valid bytes could be read, the next one could not.
struct failed_block {
    int64_t block;
    int valid;
};

// More than the 1025 blocks that the tallest screen curses can draw (32767 lines) spans, so
// that a drawing never pushes out a failed block it shows itself.
constexpr int FAILED_SLOTS = 2048;
// Sector sizes believed: larger answers are taken for no answer.
constexpr int64_t LARGEST_SECTOR = 1 << 20;
// What a disk is read through at most per system call, so that a scan reads in large steps.
constexpr int SECTOR_SPAN = 1 << 16;

}  // namespace

static FILE *stream;
static int64_t file_length;
static cache_slot block_cache[FILE_CACHE_SLOTS];
// 64 bits wide so that the least-recently-used order never wraps, however long the run.
static int64_t use_counter;
// Blocks that could not be read, apart from the slots, so that however many blocks a screen
// spans no read waits on one of them twice; kept until the cursor moves well away.
static failed_block failed_blocks[FAILED_SLOTS];
static int failed_count;
static int64_t near_offset;  // the cursor's offset at the last refresh
// Bytes of the storage's sectors. A disk takes only whole sectors at offsets that are multiples
// of them, read and written through sector_buffer (aligned, sector_buffer_size bytes, a multiple
// of sector_size); anything else has sectors of one byte and no buffer.
static int sector_size;
static unsigned char *sector_buffer;
static int sector_buffer_size;

static void file_reset_cache()
{
    for (cache_slot &slot : block_cache) {
        slot.block = -1;
        slot.stamp = -1;
        slot.valid = 0;
        slot.failed = false;
    }
}

static void file_release_buffers()
{
    for (cache_slot &slot : block_cache) {
        delete[] slot.data;
        slot.data = nullptr;
    }
    free(sector_buffer);
    sector_buffer = nullptr;
}

// The sector size a disk answers (a power of two), or 1 for anything else.
static int file_query_sector_size(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return 1;
#ifdef __FreeBSD__
    // A disk is a character device, read and written without the system's buffering.
    u_int size = 0;
    if (!S_ISCHR(info.st_mode) || ioctl(fd, DIOCGSECTORSIZE, &size) != 0)
        return 1;
#else
    // Linux buffers a block device itself, but a disk takes the same path here as on systems
    // that do not, so that the path runs on real devices.
    int size = 0;
    if (!S_ISBLK(info.st_mode) || ioctl(fd, BLKSSZGET, &size) != 0)
        return 1;
#endif
    const auto bytes = static_cast<int64_t>(size);
    bool believable = bytes > 1 && bytes <= LARGEST_SECTOR && (bytes & (bytes - 1)) == 0;
    return believable ? static_cast<int>(bytes) : 1;
}

// Takes sectors of size bytes, with a buffer for them where size > 1. Returns false when the
// buffer cannot be allocated; the sectors are then of one byte.
static bool file_take_sectors(int size)
{
    free(sector_buffer);
    sector_buffer = nullptr;
    sector_size = 1;
    if (size <= 1)
        return true;
    void *aligned = nullptr;
    const int buffer_size = std::max(size, SECTOR_SPAN);
    const auto alignment = static_cast<size_t>(std::max(size, 4096));
    if (posix_memalign(&aligned, alignment, static_cast<size_t>(buffer_size)) != 0)
        return false;
    sector_buffer = static_cast<unsigned char *>(aligned);
    sector_buffer_size = buffer_size;
    sector_size = size;
    return true;
}

// A directory or a pipe is not a file of bytes to edit; a pipe would also block on opening.
static int file_refuse_kind(const char *path)
{
    struct stat info {};
    if (stat(path, &info) != 0)
        return 0;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
        return ESPIPE;
    return 0;
}

static int64_t file_measure(int &error_code)
{
    if (fseeko(stream, 0, SEEK_END) != 0) {
        error_code = errno;
        return -1;
    }
    int64_t length = ftello(stream);
    if (length < 0)
        error_code = errno;
    return length;
}

int64_t file_open(const char *path, const char *mode, int &error_code)
{
    error_code = file_refuse_kind(path);
    if (error_code != 0)
        return -1;
    stream = fopen(path, mode);
    if (!stream) {
        error_code = errno;
        return -1;
    }
    // Unbuffered: the cache is the only buffer, and a written byte reaches the system at once.
    setvbuf(stream, nullptr, _IONBF, 0);
    file_length = file_measure(error_code);
    if (file_length < 0) {
        fclose(stream);
        stream = nullptr;
        return -1;
    }
    for (cache_slot &slot : block_cache) {
        slot.data = new (std::nothrow) unsigned char[FILE_BLOCK_SIZE];
        if (!slot.data)
            error_code = ENOMEM;
    }
    if (!file_take_sectors(file_query_sector_size(fileno(stream))))
        error_code = ENOMEM;
    if (error_code != 0) {
        file_release_buffers();
        fclose(stream);
        stream = nullptr;
        return -2;
    }
    file_reset_cache();
    use_counter = 0;
    failed_count = 0;
    return file_length;
}

bool file_set_sector_size(int size) { return file_take_sectors(size); }

// Reads at offset without moving the stream: one system call, where a seek and a read take two.
// The stream is unbuffered, so nothing it holds can disagree. Returns the bytes read: count, or
// fewer when the file ends first or the storage fails, which failed tells.
static int file_pread(unsigned char *dst, int count, int64_t offset, bool &failed)
{
    failed = false;
    int got = 0;
    while (got < count) {
        ssize_t n = pread(fileno(stream), dst + got, static_cast<size_t>(count - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        failed = n < 0;
        if (n <= 0)
            break;
        got += static_cast<int>(n);
        // A disk's read stops short at its end only: one that stops off a sector's edge cannot
        // go on, since the next read would start off an edge.
        if (got % sector_size != 0)
            break;
    }
    return got;
}

// Reads the whole sectors from start on, span bytes (a multiple of the sector size, at most the
// buffer's), into the sector buffer. A disk fails a read as a whole, so a failed one is read
// again sector by sector to have those before the bad one. Returns the bytes read: span, or
// fewer where the storage ends or fails, which failed tells.
static int file_read_span(int64_t start, int span, bool &failed)
{
    int got = file_pread(sector_buffer, span, start, failed);
    if (!failed)
        return got;
    got = 0;
    while (span > sector_size && got < span &&
           file_pread(sector_buffer + got, sector_size, start + got, failed) == sector_size)
        got += sector_size;
    return got;
}

// file_pread on a disk: whole sectors at aligned offsets through the sector buffer, the bytes
// wanted copied out of it.
static int file_read_sectors(unsigned char *dst, int count, int64_t offset, bool &failed)
{
    failed = false;
    const int64_t end = (offset + count + sector_size - 1) / sector_size * sector_size;
    int done = 0;
    while (done < count) {
        const int64_t at = offset + done;
        const int64_t start = at - at % sector_size;
        const auto span = static_cast<int>(std::min<int64_t>(end - start, sector_buffer_size));
        const int got = file_read_span(start, span, failed);
        const auto lead = static_cast<int>(at - start);
        const int n = std::min(got - lead, count - done);
        if (n <= 0)
            break;
        memcpy(dst + done, sector_buffer + lead, static_cast<size_t>(n));
        done += n;
        if (got < span)
            break;
    }
    return done;
}

// Never asks for a byte past the file's end: near 2^63 the system would refuse the whole read.
int file_read_direct(unsigned char *dst, int count, int64_t offset, bool &unreadable)
{
    unreadable = false;
    if (offset < 0 || offset >= file_length)
        return 0;
    int within = static_cast<int>(std::min<int64_t>(count, file_length - offset));
    if (sector_size > 1)
        return file_read_sectors(dst, within, offset, unreadable);
    return file_pread(dst, within, offset, unreadable);
}

// How far offset lies from the nearest byte of block.
static int64_t file_distance(int64_t block, int64_t offset)
{
    const int64_t first = block * FILE_BLOCK_SIZE;
    if (offset < first)
        return first - offset;
    return std::max<int64_t>(offset - (first + FILE_BLOCK_SIZE - 1), 0);
}

static failed_block *file_failed_entry(int64_t block)
{
    for (int i = 0; i < failed_count; i++)
        if (failed_blocks[i].block == block)
            return &failed_blocks[i];
    return nullptr;
}

// Remembers that block failed after its first valid bytes. With no room left, the failed block
// farthest from the cursor makes room.
static void file_remember_failure(int64_t block, int valid)
{
    failed_block *entry = file_failed_entry(block);
    if (!entry && failed_count < FAILED_SLOTS)
        entry = &failed_blocks[failed_count++];
    const auto nearer = [](const failed_block &a, const failed_block &b) {
        return file_distance(a.block, near_offset) < file_distance(b.block, near_offset);
    };
    if (!entry)
        entry = std::max_element(failed_blocks, failed_blocks + failed_count, nearer);
    *entry = {block, valid};
}

void file_refresh(int64_t offset, int64_t reach)
{
    file_reset_cache();
    near_offset = offset;
    const auto far = [&](const failed_block &f) { return file_distance(f.block, offset) > reach; };
    failed_block *kept = std::remove_if(failed_blocks, failed_blocks + failed_count, far);
    failed_count = static_cast<int>(kept - failed_blocks);
}

static cache_slot &file_slot_for(int64_t block)
{
    cache_slot *victim = &block_cache[0];
    for (cache_slot &slot : block_cache) {
        if (slot.block == block)
            return slot;
        if (slot.stamp < victim->stamp)
            victim = &slot;
    }
    victim->block = block;
    // Of a block that failed before, only the bytes that could be read are asked for again.
    const failed_block *known = file_failed_entry(block);
    const int want = known ? known->valid : FILE_BLOCK_SIZE;
    bool failed = false;
    victim->valid = want > 0 ? file_read_direct(victim->data, want, block * FILE_BLOCK_SIZE, failed) : 0;
    victim->failed = failed || known;
    if (victim->failed)
        file_remember_failure(block, victim->valid);
    // The other blocks of a failed sector larger than a block are as unreadable: not tried.
    const int64_t bad = block * FILE_BLOCK_SIZE + victim->valid;
    for (int64_t other = bad / FILE_BLOCK_SIZE; failed && other * FILE_BLOCK_SIZE < bad + sector_size; other++)
        if (other != block)
            file_remember_failure(other, 0);
    // A block the file no longer reaches is tried again by the next read; one the storage failed
    // is kept, failure and all.
    if (victim->valid == 0 && !victim->failed)
        victim->block = -1;
    return *victim;
}

int file_read(unsigned char *dst, int count, int64_t offset)
{
    if (offset < 0 || offset >= file_length)
        return FILE_PAST_END;
    int n = static_cast<int>(std::min<int64_t>(count, file_length - offset));
    int64_t block = offset / FILE_BLOCK_SIZE;
    if ((offset + n - 1) / FILE_BLOCK_SIZE != block) {
        bool unreadable = false;
        int got = file_read_direct(dst, n, offset, unreadable);
        return got > 0 ? got : unreadable ? FILE_UNREADABLE : FILE_PAST_END;
    }
    cache_slot &slot = file_slot_for(block);
    slot.stamp = use_counter++;
    int start = static_cast<int>(offset % FILE_BLOCK_SIZE);
    if (start >= slot.valid)
        return slot.failed ? FILE_UNREADABLE : FILE_PAST_END;
    n = std::min(n, slot.valid - start);
    memcpy(dst, slot.data + start, static_cast<size_t>(n));
    return n;
}

static int64_t file_pwrite(const unsigned char *src, int64_t count, int64_t offset)
{
    int64_t done = 0;
    while (done < count) {
        ssize_t n = pwrite(fileno(stream), src + done, static_cast<size_t>(count - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

// file_pwrite on a disk, a sector at a time. A sector the bytes cover only in part is read
// first and written back whole, its other bytes as they were. Returns the bytes written before
// the first sector that could not be read or written.
static int64_t file_write_sectors(const unsigned char *src, int64_t count, int64_t offset)
{
    int64_t done = 0;
    while (done < count) {
        const int64_t at = offset + done;
        const int64_t start = at - at % sector_size;
        const auto lead = static_cast<int>(at - start);
        const auto n = static_cast<int>(std::min<int64_t>(sector_size - lead, count - done));
        bool failed = false;
        if (n < sector_size && file_pread(sector_buffer, sector_size, start, failed) != sector_size)
            break;
        memcpy(sector_buffer + lead, src + done, static_cast<size_t>(n));
        if (file_pwrite(sector_buffer, sector_size, start) != sector_size)
            break;
        done += n;
    }
    return done;
}

int64_t file_write(const unsigned char *src, int64_t count, int64_t offset)
{
    file_reset_cache();
    return sector_size > 1 ? file_write_sectors(src, count, offset) : file_pwrite(src, count, offset);
}

int64_t file_current_length(const char *path)
{
    struct stat named {};
    struct stat open {};
    if (stat(path, &named) != 0 || fstat(fileno(stream), &open) != 0)
        return -1;
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino)
        return -1;
    // Seeking measures block devices too, whose size stat leaves at 0.
    off_t end = lseek(fileno(stream), 0, SEEK_END);
    return end < 0 ? -1 : end;
}

void file_data_extent(int64_t offset, int64_t &start, int64_t &end)
{
    start = offset;
    end = file_length;
    // Every read and write names its offset, so moving the descriptor's position costs nothing.
    off_t data = lseek(fileno(stream), offset, SEEK_DATA);
    if (data >= 0) {
        off_t hole = lseek(fileno(stream), data, SEEK_HOLE);
        start = std::min<int64_t>(data, file_length);
        end = hole >= 0 ? std::min<int64_t>(hole, file_length) : file_length;
    } else if (errno == ENXIO) {
        start = file_length;
    }
}

// Empties the drive's own write cache after fsync. Returns 0, or -1 when the drive failed it.
static int file_flush_drive()
{
#ifdef __FreeBSD__
    // fsync of a disk's device node leaves what the drive holds in its cache there.
    if (sector_size > 1 && ioctl(fileno(stream), DIOCGFLUSH) != 0 && errno != ENOTTY && errno != EOPNOTSUPP)
        return -1;
#else
    // Linux's fsync of a block device flushes the drive's cache itself.
#endif
    return 0;
}

int file_sync()
{
    // Only what cannot be synchronised at all, a device or a pipe, may answer that it cannot:
    // a regular file that does has not reached its storage.
    struct stat info {};
    const bool regular = fstat(fileno(stream), &info) != 0 || S_ISREG(info.st_mode);
    if (fsync(fileno(stream)) != 0 && (regular || (errno != EINVAL && errno != ENOTSUP)))
        return -1;
    return file_flush_drive();
}

void file_close()
{
    if (stream)
        fclose(stream);
    stream = nullptr;
    file_release_buffers();
}

int64_t file_cached_block(int slot) { return block_cache[slot].block; }
