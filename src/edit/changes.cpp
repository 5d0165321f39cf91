// The pending change list: one heap record per changed offset, ascending, hanging off the
// editor state until it is saved, undone or the editor quits. Beside it, a finger on where the
// last walk ended, so that typing forward byte after byte and drawing the same screen again take
// a step or two; a walk to an offset before the finger starts from the head.
#include "edit/edit.h"

#include "file/file.h"

#include <cstdint>
#include <new>

// The change just before the one recorded or found last, where the next walk to a later offset
// starts; nullptr for the head. Lying before that change rather than on it, it stays in the list
// when the change leaves it, typed back to its file value. There is one list per run.
static change *changes_finger = nullptr;

// The last change before offset, or nullptr when there is none; the finger moves onto it.
static change *changes_before(const editor_state &st, int64_t offset)
{
    change *before = changes_finger && changes_finger->offset < offset ? changes_finger : nullptr;
    for (change *c = before ? before->next : st.changes; c && c->offset < offset; c = c->next)
        before = c;
    changes_finger = before;
    return before;
}

const change *last_change(const editor_state &st)
{
    return changes_before(st, INT64_MAX);
}

const change *first_change_from(const editor_state &st, int64_t offset)
{
    change *before = changes_before(st, offset);
    return before ? before->next : st.changes;
}

int record_change(editor_state &st, int64_t offset, uint8_t value, uint8_t file_value)
{
    change *before = changes_before(st, offset);
    change **link = before ? &before->next : &st.changes;
    change *found = *link;
    if (found && found->offset == offset) {
        found->value = value;
        if (value == found->file_value) {
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

// Changes leave from the head here; the finger goes back to the head with the change it is on.
void release_changes(editor_state &st, int64_t count)
{
    for (; count > 0 && st.changes; count--) {
        change *gone = st.changes;
        if (gone == changes_finger)
            changes_finger = nullptr;
        st.changes = gone->next;
        delete gone;
    }
}

bool discard_changes(editor_state &st)
{
    bool any = st.changes != nullptr;
    release_changes(st, INT64_MAX);
    return any;
}
