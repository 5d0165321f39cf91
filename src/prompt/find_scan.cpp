// The scan behind find: the file as edited, searched forward from the cursor. It reads the file
// in place through a mapping where no change lies, and reads a copy to lay the changes over where
// they do; it passes over holes of sparse files, which hold only zero bytes, and gives way to a
// key typed meanwhile.
#include "prompt/prompt.h"

#include "edit/edit.h"
#include "file/file.h"
#include "prompt/find_match.h"
#include "screen/screen.h"
#include "term/term.h"

#include <algorithm>
#include <ctime>

namespace {

// Keys are looked at this often during a search (20 ms), well within the 100 ms in which a key
// must stop it.
constexpr int64_t POLL_INTERVAL_NS = 20'000'000;
constexpr int COPY_SPAN = 1 << 18;              // bytes read at a time where changes lie
constexpr int64_t MAP_SPAN = int64_t{8} << 20;  // bytes read in place at a time elsewhere
constexpr int64_t FIND_NONE = -1;
constexpr int64_t FIND_CUT_SHORT = -3;  // apart from FIND_CANCELLED

}  // namespace

// The bytes copied for a span with changes, and the pattern's length more, so that an
// occurrence that starts in the span is seen whole.
static unsigned char find_window[COPY_SPAN + FIND_MAX_CHARS];

// Lays the changes from next on that fall among the count bytes read at start over them.
static void find_overlay(const change *next, unsigned char *dst, int64_t start, int count)
{
    for (; next && next->offset < start + count; next = next->next)
        dst[next->offset - start] = next->value;
}

// Searches the start positions from pos to stop - 1, whose bytes run to stop + length - 1: in
// place through a mapping when no change lies among them, else in a copy with the changes laid
// over, which holds less and so may bring stop nearer. next is the first change at or after
// pos. Returns the offset found, FIND_NONE, or FIND_CUT_SHORT when the file ended early.
static int64_t find_span(const change *next, int64_t pos, int64_t &stop, const find_needle &n)
{
    const int tail = n.length - 1;
    if (!next || next->offset >= stop + tail) {
        if (const unsigned char *bytes = file_map(pos, stop + tail - pos)) {
            int64_t hit = find_in_span(bytes, stop + tail - pos, n);
            if (file_unmap() == 0)
                return hit < 0 ? FIND_NONE : pos + hit;
        }
    }
    stop = std::min<int64_t>(stop, pos + COPY_SPAN);
    int count = static_cast<int>(stop + tail - pos);
    int got = file_read_direct(find_window, count, pos);
    if (got <= 0)
        return FIND_CUT_SHORT;
    find_overlay(next, find_window, pos, got);
    int64_t hit = find_in_span(find_window, got, n);
    if (hit >= 0)
        return pos + hit;
    return got < count ? FIND_CUT_SHORT : FIND_NONE;
}

// Past the last of the changes from c on (up to limit) that follow each other closer than the
// pattern's length: the start positions after it see none of them.
static int64_t find_changes_end(const change *c, int64_t limit, int length)
{
    int64_t end = c->offset + 1;
    for (c = c->next; c && c->offset < limit && c->offset < end + length - 1; c = c->next)
        end = c->offset + 1;
    return end;
}

// For a pattern that cannot lie wholly in a hole: moves pos on to the first start position
// whose bytes reach data or a change, and brings stop in to where the data ends, or, in a hole,
// to where its changes end. [data_start, data_end) is the first data at or after pos; next is
// the first change at or after pos.
static void find_skip_hole(const change *next, int64_t data_start, int64_t data_end, int length,
                           int64_t &pos, int64_t &stop)
{
    const int tail = length - 1;
    int64_t first = next ? std::min(data_start, next->offset) : data_start;
    pos = std::max(pos, first - tail);
    if (data_start <= pos + tail)
        stop = std::min(stop, data_end);
    else
        stop = std::min({stop, data_start - tail, find_changes_end(next, stop, length)});
}

// Gives the user's keys a look every POLL_INTERVAL_NS while a search runs. Returns true when a
// key was typed (it is dropped: it asked for the search to stop, not for an edit); a resized or
// resumed terminal is drawn again with the notice and the search goes on.
static bool find_interrupted(editor_state &st, timespec &last_poll)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t elapsed = (now.tv_sec - last_poll.tv_sec) * 1000000000LL + (now.tv_nsec - last_poll.tv_nsec);
    if (elapsed < POLL_INTERVAL_NS)
        return false;
    last_poll = now;
    int key = poll_key();
    if (key == KEY_REDRAW) {
        redraw_screen(st);
        prompt_searching(st);
        return false;
    }
    return key != KEY_NONE;
}

int64_t find_pattern(editor_state &st, const unsigned char *pattern, int length)
{
    const find_needle n = find_prepare(pattern, length);
    const bool skips_holes = std::any_of(pattern, pattern + length, [](unsigned char b) { return b != 0; });
    const int64_t last_start = st.file_size - length;
    const change *next = first_change_from(st, st.cursor);
    int64_t data_start = 0;  // the first stretch of data at or after pos, once asked for
    int64_t data_end = 0;
    timespec last_poll{};
    clock_gettime(CLOCK_MONOTONIC, &last_poll);
    for (int64_t pos = st.cursor; pos <= last_start;) {
        if (find_interrupted(st, last_poll))
            return FIND_CANCELLED;
        while (next && next->offset < pos)
            next = next->next;
        int64_t stop = std::min(pos + MAP_SPAN, last_start + 1);
        if (skips_holes) {
            if (data_end <= pos)
                file_data_extent(pos, data_start, data_end);
            find_skip_hole(next, data_start, data_end, length, pos, stop);
            if (pos > last_start)
                break;
        }
        int64_t found = find_span(next, pos, stop, n);
        if (found >= 0)
            return found;
        if (found == FIND_CUT_SHORT)
            break;
        pos = stop;
    }
    return -1;
}
