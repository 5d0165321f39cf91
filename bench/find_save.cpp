// Figures for find and save on a real file:
//   bench_find_save find FILE HEXBYTES   time to find the bytes from offset 0, and the rate
//   bench_find_save save FILE OFFSET [COUNT]  time, bytes written and write calls to save COUNT
//                                        adjacent changed bytes (one by default), as the lines
//                                        "time: SECONDS s", "written: BYTES B", "calls: CALLS calls"
#include "bench_support.h"

#include "edit/edit.h"
#include "file/file.h"
#include "prompt/prompt.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What this process has written so far: bytes handed to write(2) and its kin, and the calls.
struct io_counts {
    int64_t bytes = -1;
    int64_t calls = -1;
};

static io_counts io_so_far()
{
    FILE *io = fopen("/proc/self/io", "r");
    char line[128];
    io_counts counts;
    while (io && fgets(line, sizeof line, io)) {
        sscanf(line, "wchar: %" SCNd64, &counts.bytes);
        sscanf(line, "syscw: %" SCNd64, &counts.calls);
    }
    if (io)
        fclose(io);
    return counts;
}

static int bench_find(editor_state &st, const char *hex)
{
    unsigned char pattern[FIND_MAX_CHARS];
    int length = 0;
    for (size_t i = 0; hex[i] && hex[i + 1] && length < FIND_MAX_CHARS; i += 2)
        pattern[length++] = static_cast<unsigned char>(hex_digit_value(hex[i]) * 16 + hex_digit_value(hex[i + 1]));
    auto start = std::chrono::steady_clock::now();
    find_result result = find_pattern(st, pattern, length);
    double s = seconds_since(start);
    int64_t found = result.outcome == FIND_FOUND ? result.offset : -1;
    printf("find: found at %" PRId64 " of %" PRId64 " bytes in %.3f s, %.0f MB/s\n", found,
           st.file_size, s, static_cast<double>(found < 0 ? st.file_size : found) / s / 1e6);
    return found < 0 ? 1 : 0;
}

static int bench_save(editor_state &st, int64_t offset, int64_t count)
{
    for (st.cursor = offset; st.cursor < offset + count; st.cursor++) {
        int old_value = current_byte(st);
        if (old_value < 0 ||
            record_change(st, st.cursor, static_cast<uint8_t>(old_value ^ 0xFF), static_cast<uint8_t>(old_value)) != 0)
            return 1;
    }
    io_counts before = io_so_far();
    auto start = std::chrono::steady_clock::now();
    save_changes(st);
    double s = seconds_since(start);
    io_counts after = io_so_far();
    printf("save: %" PRId64 " change(s) in %" PRId64 " bytes (%s)\ntime: %.9f s\nwritten: %" PRId64
           " B\ncalls: %" PRId64 " calls\n",
           count, st.file_size, st.message ? st.message : "", s, after.bytes - before.bytes, after.calls - before.calls);
    clear_message(st);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: %s find FILE HEXBYTES | save FILE OFFSET [COUNT]\n", argv[0]);
        return 2;
    }
    editor_state st{};
    if (!bench_open(st, argv[2]))
        return 2;
    int64_t count = argc == 5 ? strtoll(argv[4], nullptr, 0) : 1;
    int status = strcmp(argv[1], "find") == 0 ? bench_find(st, argv[3])
                                              : bench_save(st, strtoll(argv[3], nullptr, 0), count);
    file_close();
    return status;
}
