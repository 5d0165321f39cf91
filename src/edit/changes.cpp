// The pending change list: one heap record per changed offset, ascending, hanging off the
// editor state until it is saved, undone or the editor quits.
#include "edit/edit.h"

#include "file/file.h"

#include <new>

uint8_t current_byte(const editor_state &st)
{
    for (const change *c = st.changes; c && c->offset <= st.cursor; c = c->next)
        if (c->offset == st.cursor)
            return c->value;
    unsigned char byte = 0;
    if (file_read(&byte, 1, st.cursor) != 1)
        return 0;
    return byte;
}

int record_change(editor_state &st, int64_t offset, uint8_t value, uint8_t file_value)
{
    change **link = &st.changes;
    while (*link && (*link)->offset < offset)
        link = &(*link)->next;
    change *found = *link;
    if (found && found->offset == offset) {
        found->value = value;
        if (found->value == found->file_value) {
            *link = found->next;
            delete found;
        }
        return 0;
    }
    change *added = new (std::nothrow) change{offset, value, file_value, found};
    if (!added)
        return -1;
    *link = added;
    return 0;
}

bool discard_changes(editor_state &st)
{
    bool any = st.changes != nullptr;
    while (st.changes) {
        change *first = st.changes;
        st.changes = first->next;
        delete first;
    }
    return any;
}
