// The pending change list: one heap record per changed offset, ascending, hanging off the
// editor state until it is saved, undone or the editor quits. Beside it, the index: lanes of
// stops that skip along the list (one change in eight stands on the first lane, one in eight of
// those on the second, and so on), and a finger on the change recorded last, so that typing
// forward byte after byte takes one step and any other offset a few.
#include "edit/edit.h"

#include "file/file.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>

namespace {

constexpr int SPREAD_BITS = 3;  // one change in 2^3 of those on a lane climbs to the next

}  // namespace

// The number of lanes a change at offset stands on, 0 for most. Drawn from a hash of the offset,
// so that the lanes thin out evenly whatever offsets are edited, and a test sees the same lanes
// every run.
static int changes_height(int64_t offset)
{
    uint64_t h = static_cast<uint64_t>(offset) + 0x9E3779B97F4A7C15u;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
    h ^= h >> 31;
    return std::min(std::countr_one(h) / SPREAD_BITS, CHANGE_LANES);
}

// The link on lane l that follows stop, or the lane's start when stop is nullptr.
static change_stop **changes_lane_link(editor_state &st, change_stop *stop, int l)
{
    return stop ? &stop->next[l] : &st.index.lanes[l];
}

// Fills path with the last stop before offset on each lane (nullptr for none). Returns the last
// change before offset, or nullptr.
static change *changes_search(const editor_state &st, int64_t offset, change_stop *path[])
{
    change_stop *stop = nullptr;
    for (int l = CHANGE_LANES - 1; l >= 0; l--) {
        change_stop *next = stop ? stop->next[l] : st.index.lanes[l];
        for (; next && next->at->offset < offset; next = next->next[l])
            stop = next;
        path[l] = stop;
    }
    change *before = stop ? stop->at : nullptr;
    for (change *c = before ? before->next : st.changes; c && c->offset < offset; c = c->next)
        before = c;
    return before;
}

// The same as changes_search, from the finger at once when offset lies just past it.
static change *changes_before(const editor_state &st, int64_t offset, change_stop *path[])
{
    change *f = st.index.finger;
    if (f && f->offset < offset && (!f->next || f->next->offset >= offset)) {
        std::copy_n(st.index.finger_path, CHANGE_LANES, path);
        return f;
    }
    return changes_search(st, offset, path);
}

const change *last_change(const editor_state &st)
{
    change_stop *path[CHANGE_LANES];
    return changes_before(st, INT64_MAX, path);
}

const change *first_change_from(const editor_state &st, int64_t offset)
{
    if (st.index.finger && st.index.finger->offset == offset)
        return st.index.finger;
    change_stop *path[CHANGE_LANES];
    change *before = changes_before(st, offset, path);
    return before ? before->next : st.changes;
}

// Puts the finger on c; path holds the last stop before c on each lane.
static void changes_point_finger(editor_state &st, change *c, change_stop *const path[])
{
    st.index.finger = c;
    for (int l = 0; l < CHANGE_LANES; l++) {
        change_stop *next = *changes_lane_link(st, path[l], l);
        st.index.finger_path[l] = next && next->at == c ? next : path[l];
    }
}

// Unlinks and releases the change after before (the first one when before is nullptr) and its
// stop; path holds the last stop before it on each lane. Every change leaves the list here, and
// the finger is dropped, so that nothing is left pointing at a released change or stop.
static void changes_remove(editor_state &st, change *before, change_stop *const path[])
{
    change **link = before ? &before->next : &st.changes;
    change *gone = *link;
    change_stop *stop = *changes_lane_link(st, path[0], 0);
    if (stop && stop->at == gone) {
        for (int l = 0; l < CHANGE_LANES; l++) {
            change_stop **lane = changes_lane_link(st, path[l], l);
            if (*lane == stop)
                *lane = stop->next[l];
        }
        delete stop;
    }
    st.index.finger = nullptr;
    *link = gone->next;
    delete gone;
}

// Links a new change after before, with its stop when its height calls for one, and puts the
// finger on it. Returns 0, or -1 when no memory is left; the list is then unchanged.
static int changes_insert(editor_state &st, change *before, change_stop *const path[], change *added)
{
    int height = changes_height(added->offset);
    if (height > 0) {
        change_stop *stop = new (std::nothrow) change_stop{added, {}};
        if (!stop)
            return -1;
        for (int l = 0; l < height; l++) {
            change_stop **lane = changes_lane_link(st, path[l], l);
            stop->next[l] = *lane;
            *lane = stop;
        }
    }
    change **link = before ? &before->next : &st.changes;
    added->next = *link;
    *link = added;
    changes_point_finger(st, added, path);
    return 0;
}

int record_change(editor_state &st, int64_t offset, uint8_t value, uint8_t file_value)
{
    // The second digit typed on a byte lands on the change the first one recorded.
    change *last = st.index.finger;
    if (last && last->offset == offset && value != last->file_value) {
        last->value = value;
        return 0;
    }
    change_stop *path[CHANGE_LANES];
    change *before = changes_before(st, offset, path);
    change *found = before ? before->next : st.changes;
    if (found && found->offset == offset) {
        found->value = value;
        if (found->value == found->file_value)
            changes_remove(st, before, path);
        else
            changes_point_finger(st, found, path);
        return 0;
    }
    change *added = new (std::nothrow) change{offset, value, file_value, nullptr};
    if (!added)
        return -1;
    if (changes_insert(st, before, path, added) != 0) {
        delete added;
        return -1;
    }
    return 0;
}

int current_byte(const editor_state &st)
{
    const change *c = first_change_from(st, st.cursor);
    if (c && c->offset == st.cursor)
        return c->value;
    unsigned char byte = 0;
    int n = file_read(&byte, 1, st.cursor);
    if (n == FILE_UNREADABLE)
        return BYTE_UNREADABLE;
    return n == 1 ? byte : 0;
}

void release_changes(editor_state &st, int64_t count)
{
    change_stop *const starts[CHANGE_LANES] = {};
    for (; count > 0 && st.changes; count--)
        changes_remove(st, nullptr, starts);
}

bool discard_changes(editor_state &st)
{
    bool any = st.changes != nullptr;
    release_changes(st, INT64_MAX);
    return any;
}
