// Block-cached access to the one file being edited. Owns the open stream, its length and the
// four 512-byte blocks kept least-recently-used; file_close releases them.
#include "file/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

}  // namespace

static FILE *stream;
static int64_t file_length;
static cache_slot block_cache[FILE_CACHE_SLOTS];
// 64 bits wide so that the least-recently-used order never wraps, however long the run.
static int64_t use_counter;
// The file's length and modification time when the cache was last known to be current.
static struct stat seen;

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
    if (error_code != 0) {
        file_release_buffers();
        fclose(stream);
        stream = nullptr;
        return -2;
    }
    file_reset_cache();
    use_counter = 0;
    fstat(fileno(stream), &seen);
    return file_length;
}

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
    }
    return got;
}

void file_revalidate()
{
    struct stat now {};
    if (fstat(fileno(stream), &now) != 0)
        return;
    if (now.st_size != seen.st_size || now.st_mtim.tv_sec != seen.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != seen.st_mtim.tv_nsec)
        file_reset_cache();
    seen = now;
}

// Never asks for a byte past the file's end: near 2^63 the system would refuse the whole read.
int file_read_direct(unsigned char *dst, int count, int64_t offset, bool &unreadable)
{
    unreadable = false;
    if (offset < 0 || offset >= file_length)
        return 0;
    int within = static_cast<int>(std::min<int64_t>(count, file_length - offset));
    return file_pread(dst, within, offset, unreadable);
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
    victim->valid = file_read_direct(victim->data, FILE_BLOCK_SIZE, block * FILE_BLOCK_SIZE, victim->failed);
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

int64_t file_write(const unsigned char *src, int64_t count, int64_t offset)
{
    file_reset_cache();
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

int file_sync()
{
    if (fsync(fileno(stream)) == 0 || errno == EINVAL)
        return 0;
    return -1;
}

void file_close()
{
    if (stream)
        fclose(stream);
    stream = nullptr;
    file_release_buffers();
}

int64_t file_cached_block(int slot) { return block_cache[slot].block; }
