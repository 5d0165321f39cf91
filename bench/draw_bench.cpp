// Drawing a screen and moving the cursor, at the start and at the end of a small and of a huge
// sparse file: both must cost the same whatever the file's size. Recording changes byte after
// byte, and drawing a screen past them, must likewise cost the same whatever their count.
#include "bench_support.h"

#include "edit/edit.h"
#include "file/file.h"
#include "screen/screen.h"
#include "term/term_io.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

const char *const BENCH_DIR = "/tmp";

std::string bench_file(int64_t size)
{
    std::string path = std::string(BENCH_DIR) + "/tolm-bench-" + std::to_string(size) + ".bin";
    FILE *f = fopen(path.c_str(), "wb");
    if (f) {
        fputs("Tolm benchmark file", f);
        fclose(f);
        if (truncate(path.c_str(), size) != 0)
            perror("truncate");
    }
    return path;
}

// Two passes of the command loop: draw, Down, view rule; draw, Up, view rule.
void draw_and_move(benchmark::State &state, int64_t size, bool at_end)
{
    std::string path = bench_file(size);
    editor_state st{};
    if (!bench_open(st, path.c_str())) {
        state.SkipWithError("cannot open the file");
        return;
    }
    st.cursor = at_end ? size - 1 : 0;
    st.view = at_end ? ((size - 1) / 16 - 22) * 16 : 0;
    for (auto _ : state) {
        bench_keyboard(IO_KEY_DOWN, 1);
        benchmark::DoNotOptimize(loop_step(st));
        bench_keyboard(IO_KEY_UP, 1);
        benchmark::DoNotOptimize(loop_step(st));
    }
    state.SetItemsProcessed(state.iterations() * 2);
    file_close();
    unlink(path.c_str());
}

// Changes recorded at ascending offsets, as typing forward makes them; timed per change.
void record_ascending(benchmark::State &state)
{
    editor_state st{};
    const int64_t count = state.range(0);
    for (auto _ : state) {
        for (int64_t offset = 0; offset < count; offset++)
            if (record_change(st, offset, 1, 0) != 0)
                state.SkipWithError("out of memory");
        state.PauseTiming();
        discard_changes(st);
        state.ResumeTiming();
    }
    // Seconds per change, which bench/run.sh prints.
    state.counters["per_change"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

// One drawing of a screen that comes after the given number of changed bytes, the walk to the
// view's first change starting from the head each time, as the first drawing after an edit far
// before the view does.
void draw_past_changes(benchmark::State &state)
{
    const int64_t count = state.range(0);
    std::string path = bench_file(int64_t{16} << 30);
    editor_state st{};
    if (!bench_open(st, path.c_str())) {
        state.SkipWithError("cannot open the file");
        return;
    }
    for (int64_t offset = 0; offset < count; offset++)
        if (record_change(st, offset * 16, 1, 0) != 0)
            state.SkipWithError("out of memory");
    st.view = (count + 16) * 16;
    st.cursor = st.view;
    for (auto _ : state) {
        (void)first_change_from(st, 0);
        draw_screen(st);
    }
    state.SetItemsProcessed(state.iterations());
    discard_changes(st);
    file_close();
    unlink(path.c_str());
}

}  // namespace

BENCHMARK(record_ascending)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(draw_past_changes)->Arg(1000)->Arg(1000000);
BENCHMARK_CAPTURE(draw_and_move, small_start, 1024, false);
BENCHMARK_CAPTURE(draw_and_move, small_end, 1024, true);
BENCHMARK_CAPTURE(draw_and_move, huge_16GiB_start, int64_t{16} << 30, false);
BENCHMARK_CAPTURE(draw_and_move, huge_16GiB_end, int64_t{16} << 30, true);

BENCHMARK_MAIN();
