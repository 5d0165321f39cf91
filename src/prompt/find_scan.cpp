// The scan behind find: the file as edited, searched forward from the cursor. Bytes that hold no
// change and are in memory already are read in place through a mapping, where that is faster
// than copying them; the rest are copied, with the changes laid over, a piece at a time sized so
// that each read takes a few milliseconds whatever the storage's pace. Holes of sparse files,
// which hold only zero bytes, are passed over; a key typed meanwhile stops the search, and bytes
// the storage cannot give end it.
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
// More than the system reads ahead of reads from storage (up to 8 MiB on many disks).
constexpr int64_t READ_AHEAD_REACH = 2 * FIND_MAP_SPAN;

}  // namespace

// The bytes copied for a span, and the pattern's length more, so that an occurrence that starts
// in the span is seen whole.
static unsigned char find_window[FIND_COPY_SPAN + FIND_MAX_CHARS];

// How fast reading one way has been: the bytes searched so far, and the best pace of any one
// read of them, so that a read the system or another program slowed once does not count
// against the way.
struct find_cost {
    int64_t bytes;
    double best;  // bytes a nanosecond
};

// Where the scan stands and what it has learnt of the file ahead and of the ways to read it.
struct find_scan {
    const find_needle &n;
    int64_t pos;         // the next start position to look at
    int64_t last_start;  // the last start position that leaves room for the pattern
    const change *next;  // the first change at or after pos
    int64_t data_start;  // the first stretch of data at or after pos, once asked for
    int64_t data_end;
    int64_t map_again;  // the bytes before this are not in memory: copy them without asking
    bool from_storage;  // the last span was not all in memory: the file is read from storage
    int copy_size;      // the bytes the next copy reads
    timespec last_poll;
    find_cost mapped;          // spans read in place
    find_cost copied;          // copies of bytes in memory, timed against reading in place
    int64_t timed_copies_end;  // copies of the bytes before this are timed
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

// Counts bytes read one way since started towards its pace.
static void find_count(find_cost &cost, int64_t bytes, const timespec &started)
{
    cost.bytes += bytes;
    const auto ns = static_cast<double>(std::max<int64_t>(1, find_elapsed_ns(started)));
    cost.best = std::max(cost.best, static_cast<double>(bytes) / ns);
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
static std::optional<find_result> find_copied(find_scan &sc, int64_t &stop)
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
    if (sc.pos < sc.timed_copies_end)
        find_count(sc.copied, got, started);
    if (hit >= 0)
        return find_result{FIND_FOUND, sc.pos + hit};
    if (got == count)
        return std::nullopt;
    // Bytes the storage failed to give end the search there; bytes another program cut off end
    // it as the end of the file would.
    return unreadable ? find_result{FIND_READ_ERROR, sc.pos + got} : find_result{FIND_ABSENT, -1};
}

// Maps what of the size bytes from pos on is in memory, and sets count to how many it mapped, or,
// when it returns nullptr, to how many are to be copied before mapping is tried again. Right
// after bytes read from storage, those in memory may be only what the system read ahead of the
// copies; reading them in place would stop it, for it reads ahead of reads alone. So they are
// mapped only when more of them are in memory than it reads ahead.
static const unsigned char *find_map(find_scan &sc, int64_t size, int64_t &count)
{
    const int64_t rest = sc.last_start + sc.n.length - sc.pos;
    const int64_t wanted = sc.from_storage ? std::min(std::max(size, READ_AHEAD_REACH), rest) : size;
    count = wanted;
    const unsigned char *bytes = file_map(sc.pos, count);
    if (bytes && sc.from_storage && count < wanted) {
        (void)file_unmap();
        bytes = nullptr;
    }
    sc.from_storage = count < wanted;
    if (bytes)
        count = std::min(count, size);
    return bytes;
}

// How bytes in memory are read. In place saves the copy, but where the system maps pages dearly
// (a page cache of small pages in some virtual machines) copying them is the faster: each way
// reads a few spans' worth of bytes in memory first, then the faster one is kept.
enum find_way {
    FIND_IN_PLACE,
    FIND_TRY_COPY,  // bytes found in memory are copied, to time the copies against reading in place
    FIND_COPY,
};

static find_way find_way_now(const find_scan &sc)
{
    if (sc.mapped.bytes < 2 * FIND_MAP_SPAN)
        return FIND_IN_PLACE;
    if (sc.copied.bytes < FIND_MAP_SPAN)
        return FIND_TRY_COPY;
    return sc.mapped.best >= sc.copied.best ? FIND_IN_PLACE : FIND_COPY;
}

// Searches the start positions from pos to stop - 1, whose bytes run to stop + length - 1: in
// place as far as no change lies among them, they are in memory and that is the faster way,
// else in a copy; either may bring stop nearer. Returns nothing when the search goes on from
// stop.
static std::optional<find_result> find_span(find_scan &sc, int64_t &stop)
{
    const int tail = sc.n.length - 1;
    const int64_t size = stop - sc.pos + tail;
    const find_way way = find_way_now(sc);
    if ((!sc.next || sc.next->offset - sc.pos >= size) && sc.pos >= sc.map_again && way != FIND_COPY) {
        int64_t count = 0;
        timespec started = find_now();
        const unsigned char *bytes = find_map(sc, size, count);
        if (bytes && way == FIND_TRY_COPY) {
            (void)file_unmap();
            sc.timed_copies_end = sc.pos + count;
        } else if (bytes) {
            int64_t hit = find_in_span(bytes, count, sc.n);
            // Bytes another program cut off meanwhile read as zeros: then the copy decides.
            bool whole = file_unmap() == 0;
            find_count(sc.mapped, count, started);
            if (whole) {
                if (hit >= 0)
                    return find_result{FIND_FOUND, sc.pos + hit};
                if (count > tail) {
                    stop = sc.pos + count - tail;
                    return std::nullopt;
                }
            }
        }
        sc.map_again = sc.pos + count;
    }
    return find_copied(sc, stop);
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
    int64_t changes_end = find_changes_end(sc.next, find_clip(sc.pos, sc.last_start + 1, FIND_MAP_SPAN), sc.n.length);
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
        int64_t end = sc.last_start + 1;
        if (skips_holes) {
            end = find_skip_hole(sc);
            if (sc.pos > sc.last_start)
                break;
        }
        int64_t stop = find_clip(sc.pos, end, FIND_MAP_SPAN);
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
    find_scan sc{n, st.cursor, st.file_size - length, first_change_from(st, st.cursor), 0, 0, 0, false, FIRST_COPY,
                 find_now(), {}, {}, 0};
    file_reading_through(true);
    find_result result = find_scan_spans(st, sc, skips_holes);
    file_reading_through(false);
    return result;
}
