// The editor's invariants after every command.
#include "support/invariants.h"

#include "edit/edit.h"
#include "support/fake_term.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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
    if (st.message && strlen(st.message) > 77)
        return "message longer than 77 characters";
    if (!fake_untouched_from(80))
        return "something was drawn past column 79";
    if (fake_drawn_astray())
        return "something was drawn off the screen or past the end of its line";
    return "";
}
