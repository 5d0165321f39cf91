// The pwrite64 and fsync the unit tests link in place of the system's: the real ones, unless
// told to fail or to refuse what a disk would.
#include "support/failing_writes.h"
#include "support/failing_reads.h"

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

extern "C" ssize_t __real_pwrite64(int fd, const void *buf, size_t count, off_t offset);
extern "C" int __real_fsync(int fd);

static bool failing_syncs;
static int sync_error;
static int64_t fail_from;
static int64_t fail_to;

void fail_syncs(bool on, int error)
{
    failing_syncs = on;
    sync_error = error;
}

void fail_writes(int64_t from, int64_t to)
{
    fail_from = from;
    fail_to = to;
}

extern "C" ssize_t __wrap_pwrite64(int fd, const void *buf, size_t count, off_t offset)
{
    if (misaligned(buf, count, offset)) {
        errno = EINVAL;
        return -1;
    }
    if (offset < fail_to && offset + static_cast<off_t>(count) > fail_from) {
        errno = EIO;
        return -1;
    }
    return __real_pwrite64(fd, buf, count, offset);
}

extern "C" int __wrap_fsync(int fd)
{
    if (!failing_syncs)
        return __real_fsync(fd);
    errno = sync_error;
    return -1;
}
