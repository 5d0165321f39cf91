// The pread64 and mincore the unit tests link in place of the system's: the real ones, unless
// told to fail or crawl over a range of the file, or to refuse what a disk would.
#include "support/failing_reads.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <ctime>
#include <string>
#include <utility>

extern "C" ssize_t __real_pread64(int fd, void *buf, size_t count, off_t offset);
extern "C" int __real_mincore(void *addr, size_t length, unsigned char *vec);

static int64_t fail_from;
static int64_t fail_to;
static int64_t rate;
static int64_t slow_from;
static std::string cut_path;
static int64_t cut_length;
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

void cut_when_mapped(const char *path, int64_t length)
{
    cut_path = path;
    cut_length = length;
}

void refuse_misaligned(int64_t sector_size) { sector = sector_size; }

bool misaligned(const void *buf, size_t count, off_t offset)
{
    const auto n = static_cast<int64_t>(count);
    return offset % sector != 0 || n % sector != 0 || reinterpret_cast<uintptr_t>(buf) % static_cast<uintptr_t>(sector) != 0;
}

int64_t failed_reads() { return std::exchange(failures, 0); }

// A disk cannot be mapped, nor read but whole sectors: nothing of it is said to be in memory.
static bool misbehaving() { return fail_to > fail_from || rate > 0 || sector > 1; }

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
    return __real_pread64(fd, buf, count, offset);
}

extern "C" int __wrap_mincore(void *addr, size_t length, unsigned char *vec)
{
    int result = __real_mincore(addr, length, vec);
    if (!cut_path.empty()) {
        (void)truncate(cut_path.c_str(), cut_length);
        cut_path.clear();
    }
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (result == 0 && misbehaving())
        for (size_t p = 0; p < (length + page - 1) / page; p++)
            vec[p] = 0;
    return result;
}
