// Opening a file for a benchmark the way start-up does.
#include "bench_support.h"

#include <cstdio>

bool bench_open(editor_state &st, const char *path)
{
    st = editor_state{};
    char *argv[] = {const_cast<char *>("tolm"), const_cast<char *>(path)};
    int status = editor_start(st, 2, argv);
    if (status != 0)
        fprintf(stderr, "cannot open %s (status %d)\n", path, status);
    return status == 0;
}
