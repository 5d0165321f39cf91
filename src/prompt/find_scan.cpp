// The scan behind find: the file as edited, searched forward from the cursor. The file is copied
// a piece at a time into one buffer, sized so that each read takes a few milliseconds whatever the
// storage's pace, and the changes are laid over each piece. Holes of sparse files, which hold only
// zero bytes, are passed over; a key typed meanwhile stops the search, and bytes the storage
// cannot give end it.
#include "prompt/prompt.h"

#include "edit/edit.h"
#include "file/file.h"
#include "prompt/find_match.h"
#include "screen/screen.h"
#include "term/term.h"

#include <algorithm>
#include <ctime>
#include <optional>

namespace {

// Keys are looked at this often during a search (20 ms), well within the 100 ms in which a key
// must stop it.
constexpr int64_t POLL_INTERVAL_NS = 20'000'000;
// A copy is sized to take about this long (10 ms) at the pace of the one before; the first one,
// before the pace is known, is small. On storage of 2.5 MB/s that is 25 KB a read.
constexpr int64_t COPY_TIME_NS = 10'000'000;
constexpr int FIRST_COPY = FIND_COPY_SPAN / 16;
constexpr int LEAST_COPY = FIND_COPY_SPAN / 64;

}  // namespace

// The bytes copied for a span, and the pattern's length more, so that an occurrence that starts
// in the span is seen whole.
static unsigned char find_window[FIND_COPY_SPAN + FIND_MAX_CHARS];

// Where the scan stands and what it has learnt of the file ahead and of the storage's pace.
struct find_scan {
    const find_needle &n;
    int64_t pos;         // the next start position to look at
    int64_t last_start;  // the last start position that leaves room for the pattern
    const change *next;  // the first change at or after pos
    int64_t data_start;  // the first stretch of data at or after pos, once asked for
    int64_t data_end;
    int copy_size;  // the bytes the next copy reads
    timespec last_poll;
};

static timespec find_now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

static int64_t find_elapsed_ns(const timespec &since)
{
    timespec now = find_now();
    return (now.tv_sec - since.tv_sec) * 1000000000LL + (now.tv_nsec - since.tv_nsec);
}

// stop, or the span's worth of positions from pos when stop lies further; never past 2^63 - 1.
static int64_t find_clip(int64_t pos, int64_t stop, int64_t span) { return stop - pos > span ? pos + span : stop; }

// Lays the changes from next on that fall among the count bytes read at start over them.
static void find_overlay(const change *next, unsigned char *dst, int64_t start, int count)
{
    for (; next && next->offset - start < count; next = next->next)
        dst[next->offset - start] = next->value;
}

// Sizes the next copy by the time this one of count bytes took: doubled while reads are quick,
// cut to what the storage delivers in COPY_TIME_NS when they are slow.
static void find_pace(find_scan &sc, int count, int64_t ns)
{
    if (ns < COPY_TIME_NS / 2)
        sc.copy_size = std::min(2 * sc.copy_size, FIND_COPY_SPAN);
    else if (ns > COPY_TIME_NS)
        sc.copy_size = static_cast<int>(std::max<int64_t>(LEAST_COPY, count * COPY_TIME_NS / ns));
}

// Copies the bytes of the start positions from pos on, up to stop and at most copy_size of them,
// lays the changes over them and searches them; stop comes in to where the copy ends. Returns
// nothing when the search goes on from stop.
static std::optional<find_result> find_span(find_scan &sc, int64_t &stop)
{
    const int tail = sc.n.length - 1;
    stop = find_clip(sc.pos, stop, sc.copy_size);
    int count = static_cast<int>(stop - sc.pos) + tail;
    bool unreadable = false;
    timespec started = find_now();
    int got = file_read_direct(find_window, count, sc.pos, unreadable);
    find_pace(sc, count, find_elapsed_ns(started));
    find_overlay(sc.next, find_window, sc.pos, got);
    int64_t hit = find_in_span(find_window, got, sc.n);
    if (hit >= 0)
        return find_result{FIND_FOUND, sc.pos + hit};
    if (got == count)
        return std::nullopt;
    // Bytes the storage failed to give end the search there; bytes another program cut off end
    // it as the end of the file would.
    return unreadable ? find_result{FIND_READ_ERROR, sc.pos + got} : find_result{FIND_ABSENT, -1};
}

// Past the last of the changes from c on (up to limit) that follow each other closer than the
// pattern's length: the start positions after it see none of them.
static int64_t find_changes_end(const change *c, int64_t limit, int length)
{
    int64_t end = c->offset + 1;
    for (c = c->next; c && c->offset < limit && c->offset - end < length - 1; c = c->next)
        end = c->offset + 1;
    return end;
}

// For a pattern that cannot lie wholly in a hole: moves pos on to the first start position whose
// bytes reach data or a change. Returns where the positions to search from there end: where the
// data ends, or, in a hole, where its changes end.
static int64_t find_skip_hole(find_scan &sc)
{
    const int tail = sc.n.length - 1;
    if (sc.data_end <= sc.pos)
        file_data_extent(sc.pos, sc.data_start, sc.data_end);
    int64_t first = sc.next ? std::min(sc.data_start, sc.next->offset) : sc.data_start;
    sc.pos = std::max(sc.pos, first - tail);
    if (sc.data_start - tail <= sc.pos)
        return std::min(sc.last_start + 1, sc.data_end);
    int64_t changes_end = find_changes_end(sc.next, find_clip(sc.pos, sc.last_start + 1, FIND_COPY_SPAN), sc.n.length);
    return std::min({sc.last_start + 1, sc.data_start - tail, changes_end});
}

// Gives the user's keys a look every POLL_INTERVAL_NS while a search runs. Returns true when a
// key was typed (it is dropped: it asked for the search to stop, not for an edit); a resized or
// resumed terminal is drawn again with the notice and the search goes on.
static bool find_interrupted(editor_state &st, timespec &last_poll)
{
    if (find_elapsed_ns(last_poll) < POLL_INTERVAL_NS)
        return false;
    last_poll = find_now();
    int key = poll_key();
    if (key == KEY_REDRAW) {
        redraw_screen(st);
        prompt_searching(st);
        return false;
    }
    return key != KEY_NONE;
}

// The scan from the cursor to the end, span after span.
static find_result find_scan_spans(editor_state &st, find_scan &sc, bool skips_holes)
{
    while (sc.pos <= sc.last_start) {
        if (find_interrupted(st, sc.last_poll))
            return {FIND_CANCELLED, -1};
        while (sc.next && sc.next->offset < sc.pos)
            sc.next = sc.next->next;
        int64_t stop = sc.last_start + 1;
        if (skips_holes) {
            stop = find_skip_hole(sc);
            if (sc.pos > sc.last_start)
                break;
        }
        if (std::optional<find_result> result = find_span(sc, stop))
            return *result;
        sc.pos = stop;
    }
    return {FIND_ABSENT, -1};
}

find_result find_pattern(editor_state &st, const unsigned char *pattern, int length)
{
    const find_needle n = find_prepare(pattern, length);
    const bool skips_holes = std::any_of(pattern, pattern + length, [](unsigned char b) { return b != 0; });
    find_scan sc{n, st.cursor, st.file_size - length, first_change_from(st, st.cursor), 0, 0, FIRST_COPY, find_now()};
    return find_scan_spans(st, sc, skips_holes);
}
