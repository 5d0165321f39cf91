// The pread64 the unit tests link in place of the system's: the real one, unless told to fail or
// crawl over a range of the file, to cut the file short first, or to refuse what a disk would.
#include "support/failing_reads.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <ctime>
#include <string>
#include <utility>

extern "C" ssize_t __real_pread64(int fd, void *buf, size_t count, off_t offset);

static int64_t fail_from;
static int64_t fail_to;
static int64_t rate;
static int64_t slow_from;
static std::string cut_path;
static int64_t cut_length;
static bool cut_grows_back;
static int64_t cut_old_length;  // the length before the cut; -1 until it is made
static int64_t sector = 1;
static int64_t failures;

void fail_reads(int64_t from, int64_t to)
{
    fail_from = from;
    fail_to = to;
}

void slow_reads(int64_t bytes_per_second, int64_t from)
{
    rate = bytes_per_second;
    slow_from = from;
}

void cut_when_read(const char *path, int64_t length, bool grows_back)
{
    cut_path = path;
    cut_length = length;
    cut_grows_back = grows_back;
    cut_old_length = -1;
}

// Cuts the file on the first read that reaches past the cut; with cut_grows_back, lengthens it
// again once a read found that it ends there, which a scan that went on would then read.
static ssize_t failing_reads_cut_read(int fd, void *buf, size_t count, off_t offset)
{
    if (cut_old_length < 0) {
        struct stat before {};
        (void)stat(cut_path.c_str(), &before);
        cut_old_length = before.st_size;
        (void)truncate(cut_path.c_str(), cut_length);
    }
    ssize_t got = __real_pread64(fd, buf, count, offset);
    if (cut_grows_back && got == 0)
        (void)truncate(cut_path.c_str(), cut_old_length);
    if (!cut_grows_back || got == 0)
        cut_path.clear();
    return got;
}

void refuse_misaligned(int64_t sector_size) { sector = sector_size; }

bool misaligned(const void *buf, size_t count, off_t offset)
{
    const auto n = static_cast<int64_t>(count);
    return offset % sector != 0 || n % sector != 0 || reinterpret_cast<uintptr_t>(buf) % static_cast<uintptr_t>(sector) != 0;
}

int64_t failed_reads() { return std::exchange(failures, 0); }

extern "C" ssize_t __wrap_pread64(int fd, void *buf, size_t count, off_t offset)
{
    const int64_t slow = offset + static_cast<int64_t>(count) - std::max<int64_t>(offset, slow_from);
    if (rate > 0 && slow > 0) {
        int64_t ns = slow * 1'000'000'000 / rate;
        timespec pause{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        nanosleep(&pause, nullptr);
    }
    if (misaligned(buf, count, offset)) {
        errno = EINVAL;
        return -1;
    }
    if (fail_to > fail_from && offset < fail_to && offset + static_cast<off_t>(count) > fail_from) {
        if (offset >= fail_from || sector > 1) {
            failures++;
            errno = EIO;
            return -1;
        }
        count = static_cast<size_t>(fail_from - offset);
    }
    if (!cut_path.empty() && offset + static_cast<off_t>(count) > cut_length)
        return failing_reads_cut_read(fd, buf, count, offset);
    return __real_pread64(fd, buf, count, offset);
}
