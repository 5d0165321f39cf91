// Saving and undoing: the two ends of an unsaved change's life. Saving writes each changed byte
// in place and nothing else; the file is never truncated.
#include "edit/edit.h"

#include "file/file.h"

void save_changes(editor_state &st)
{
    if (!st.changes) {
        set_message(st, "No modifications were done. File not saved.");
        return;
    }
    int64_t written = 0;
    bool failed = false;
    for (const change *c = st.changes; c && !failed; c = c->next) {
        failed = file_write_byte(c->offset, c->value) != 1;
        written += failed ? 0 : 1;
    }
    // Until the storage confirms them, the written bytes stay pending too: saving again is
    // harmless, losing them is not.
    if (file_sync() != 0) {
        set_message(st, "Write error!");
        return;
    }
    release_changes(st, written);
    set_message(st, failed ? "Write error!" : "File saved.");
}

void undo_changes(editor_state &st)
{
    if (discard_changes(st))
        set_message(st, "All modifications have been undone.");
    else
        set_message(st, "No modifications were done.");
}
