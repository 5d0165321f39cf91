// Figures for find and save on a real file:
//   bench_find_save find FILE HEXBYTES   time to find the bytes from offset 0, and the rate
//   bench_find_save save FILE OFFSET     time and bytes written to save one changed byte
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

// Bytes this process has handed to write(2) so far.
static int64_t bytes_written()
{
    FILE *io = fopen("/proc/self/io", "r");
    char line[128];
    int64_t wchar = -1;
    while (io && fgets(line, sizeof line, io))
        sscanf(line, "wchar: %" SCNd64, &wchar);
    if (io)
        fclose(io);
    return wchar;
}

static int bench_find(editor_state &st, const char *hex)
{
    unsigned char pattern[FIND_MAX_CHARS];
    int length = 0;
    for (size_t i = 0; hex[i] && hex[i + 1] && length < FIND_MAX_CHARS; i += 2)
        pattern[length++] = static_cast<unsigned char>(hex_digit_value(hex[i]) * 16 + hex_digit_value(hex[i + 1]));
    auto start = std::chrono::steady_clock::now();
    int64_t found = find_pattern(st, pattern, length);
    double s = seconds_since(start);
    printf("find: found at %" PRId64 " of %" PRId64 " bytes in %.3f s, %.0f MB/s\n", found,
           st.file_size, s, static_cast<double>(found < 0 ? st.file_size : found) / s / 1e6);
    return found < 0 ? 1 : 0;
}

static int bench_save(editor_state &st, int64_t offset)
{
    st.cursor = offset;
    uint8_t old_value = current_byte(st);
    if (record_change(st, offset, static_cast<uint8_t>(old_value ^ 0xFF), old_value) != 0)
        return 1;
    int64_t before = bytes_written();
    auto start = std::chrono::steady_clock::now();
    save_changes(st);
    double s = seconds_since(start);
    printf("save: 1 change in %" PRId64 " bytes: %" PRId64 " byte(s) written in %.6f s (%s)\n",
           st.file_size, bytes_written() - before, s, st.message ? st.message : "");
    clear_message(st);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: %s find FILE HEXBYTES | save FILE OFFSET\n", argv[0]);
        return 2;
    }
    editor_state st{};
    if (!bench_open(st, argv[2]))
        return 2;
    int status = strcmp(argv[1], "find") == 0 ? bench_find(st, argv[3]) : bench_save(st, strtoll(argv[3], nullptr, 0));
    file_close();
    return status;
}
