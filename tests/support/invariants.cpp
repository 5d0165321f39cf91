// The editor's invariants after every command.
#include "support/invariants.h"

#include "edit/edit.h"
#include "support/fake_term.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>

std::string broken_index(const editor_state &st)
{
    std::set<const change *> live;
    for (const change *c = st.changes; c; c = c->next)
        live.insert(c);
    std::set<const change_stop *> below;
    for (int l = 0; l < CHANGE_LANES; l++) {
        std::set<const change_stop *> on_lane;
        const std::string lane = "lane " + std::to_string(l);
        for (const change_stop *stop = st.index.lanes[l]; stop; stop = stop->next[l]) {
            if (!live.count(stop->at))
                return lane + " stops on a change not in the list";
            if (stop->next[l] && stop->next[l]->at->offset <= stop->at->offset)
                return lane + " not ascending at " + std::to_string(stop->at->offset);
            if (l > 0 && !below.count(stop))
                return lane + " stops where the lane below does not";
            on_lane.insert(stop);
        }
        below = on_lane;
    }
    const change *finger = st.index.finger;
    if (!finger)
        return "";
    if (!live.count(finger))
        return "finger on a change not in the list";
    for (int l = 0; l < CHANGE_LANES; l++) {
        const change_stop *last = nullptr;
        for (const change_stop *stop = st.index.lanes[l]; stop && stop->at->offset <= finger->offset; stop = stop->next[l])
            last = stop;
        if (st.index.finger_path[l] != last)
            return "finger's path wrong on lane " + std::to_string(l);
    }
    return "";
}

std::string broken_invariant(const editor_state &st)
{
    if (st.cursor < 0 || st.cursor > last_offset(st))
        return "cursor " + std::to_string(st.cursor) + " outside the file";
    if (st.view % 16 != 0 || st.view < 0)
        return "view " + std::to_string(st.view) + " not a line start";
    if (st.view > st.cursor)
        return "view past the cursor";
    if ((st.cursor - st.view) / 16 > std::max(st.rows - 3, 0))
        return "cursor line off the screen";
    for (const change *c = st.changes; c && c->next; c = c->next)
        if (c->next->offset <= c->offset)
            return "change list not strictly ascending at " + std::to_string(c->offset);
    if (std::string index = broken_index(st); !index.empty())
        return index;
    if (st.message && strlen(st.message) > 77)
        return "message longer than 77 characters";
    if (!fake_untouched_from(80))
        return "something was drawn past column 79";
    if (fake_drawn_astray())
        return "something was drawn off the screen or past the end of its line";
    return "";
}
