// Page Down pressed PAGES times in FILE, then Esc, through the command loop on the terminal that
// draws nowhere. Prints the time per page as "page: SECONDS s"; under callgrind, collecting in
// loop_step alone, the instructions of the pages.
//   bench_scroll FILE PAGES
#include "bench_support.h"

#include "term/term_io.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s FILE PAGES\n", argv[0]);
        return 2;
    }
    int64_t pages = strtoll(argv[2], nullptr, 10);
    bench_keyboard(IO_KEY_NPAGE, pages);
    editor_state st{};
    if (!bench_open(st, argv[1]))
        return 2;
    auto start = std::chrono::steady_clock::now();
    while (loop_step(st)) {
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%" PRId64 " pages, cursor at 0x%" PRIX64 "\npage: %.9g s\n", pages, st.cursor,
           pages > 0 ? s / static_cast<double>(pages) : 0.0);
    return 0;
}
