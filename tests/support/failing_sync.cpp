// The fsync the unit tests link in place of the system's: the real one, unless told to fail.
#include "support/failing_sync.h"

#include <cerrno>

extern "C" int __real_fsync(int fd);

static bool failing;

void fail_syncs(bool on) { failing = on; }

extern "C" int __wrap_fsync(int fd)
{
    if (!failing)
        return __real_fsync(fd);
    errno = EIO;
    return -1;
}
