// Saving and undoing: the two ends of an unsaved change's life. Saving writes the changed bytes
// in place, a run of adjacent ones at a time, and nothing else; the file is never truncated.
#include "edit/edit.h"

#include "file/file.h"
#include "term/term.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char *NOT_THE_FILE = "File replaced or removed on disk! Not saved.";
constexpr const char *FILE_SHORTENED = "File shortened on disk! Not saved.";
// Runs are gathered on the stack up to this length.
constexpr int64_t SPARE_SIZE = 4096;

}  // namespace

// Why the changes must not be written now, or nullptr when they may. Another program may have
// replaced the file since it was opened (the writes would go to a file nobody sees again) or
// shortened it (the writes would fill the gap with zero bytes). An empty file takes its one byte.
static const char *save_refusal(const editor_state &st)
{
    int64_t length = file_current_length(st.path);
    if (length < 0)
        return NOT_THE_FILE;
    bool still_empty = st.file_size == 0 && length == 0;
    return last_change(st)->offset >= length && !still_empty ? FILE_SHORTENED : nullptr;
}

// Where a run is gathered: on the stack, then on the heap as runs grow longer.
struct save_buffer {
    unsigned char spare[SPARE_SIZE];
    unsigned char *bytes = spare;
    int64_t capacity = SPARE_SIZE;
};

// Doubles the buffer, keeping its bytes. Returns false when no memory is left for that.
static bool save_grow(save_buffer &b)
{
    auto *grown = static_cast<unsigned char *>(malloc(static_cast<size_t>(2 * b.capacity)));
    if (!grown)
        return false;
    memcpy(grown, b.bytes, static_cast<size_t>(b.capacity));
    if (b.bytes != b.spare)
        free(b.bytes);
    b.bytes = grown;
    b.capacity *= 2;
    return true;
}

// Writes the changes with one write per run of adjacent offsets (a run longer than the memory
// to gather it takes several). Returns how many changes, from the first, reached the file before
// a write failed (on a disk, the sector that failed holds the first one that did not): all of
// them when none failed.
static int64_t save_write_runs(const change *c)
{
    save_buffer b;
    int64_t written = 0;
    while (c) {
        int64_t start = c->offset;
        int64_t n = 0;
        for (; c && c->offset == start + n && (n < b.capacity || save_grow(b)); c = c->next)
            b.bytes[n++] = c->value;
        const int64_t put = file_write(b.bytes, n, start);
        written += put;
        if (put != n)
            break;
    }
    if (b.bytes != b.spare)
        free(b.bytes);
    return written;
}

void save_changes(editor_state &st)
{
    if (!st.changes) {
        set_message(st, "No modifications were done. File not saved.");
        return;
    }
    if (const char *refusal = save_refusal(st)) {
        set_message(st, refusal);
        return;
    }
    // A signal that would end the editor waits until every write and the sync are done.
    signals_hold();
    int64_t written = save_write_runs(st.changes);
    bool synced = file_sync() == 0;
    signals_release();
    // Until the storage confirms them, the written bytes stay pending too: saving again is
    // harmless, losing them is not.
    if (!synced) {
        set_message(st, "Write error!");
        return;
    }
    release_changes(st, written);
    set_message(st, st.changes ? "Write error!" : "File saved.");
}

void undo_changes(editor_state &st)
{
    if (discard_changes(st))
        set_message(st, "All modifications have been undone.");
    else
        set_message(st, "No modifications were done.");
}
