// Editing: the sorted list of unsaved changes laid over the file, byte entry from keys,
// saving the changes in place and undoing them.
#pragma once

#include "editor/state.h"

#include <cstdint>

// One unsaved byte. Offsets strictly increase along the list; one change per offset.
struct change {
    int64_t offset;
    uint8_t value;       // the byte as edited
    uint8_t file_value;  // the byte in the file when the change was made
    change *next;
};

constexpr int BYTE_UNREADABLE = -1;  // current_byte: the storage could not give the byte
// The byte under the cursor as edited (0-255); 0 where the file has no byte (an empty file), or
// BYTE_UNREADABLE when the file's byte there cannot be read and no change gives its value.
[[nodiscard]] int current_byte(const editor_state &st);
// Sets the edited value at offset, adding a change or updating (and, back at its file value,
// removing) the one there. Returns 0, or -1 when no memory is left; the list is then unchanged.
[[nodiscard]] int record_change(editor_state &st, int64_t offset, uint8_t value, uint8_t file_value);
// The first change at or after offset, or nullptr. The walk starts next to the change recorded
// or found last when offset lies at or past it (one step when typing forward), else at the head.
[[nodiscard]] const change *first_change_from(const editor_state &st, int64_t offset);
// The change at the highest offset, or nullptr, walked to as first_change_from walks.
[[nodiscard]] const change *last_change(const editor_state &st);
// Releases the first count changes (all of them when there are fewer), as saving does.
void release_changes(editor_state &st, int64_t count);
// Releases every change. Returns whether there was any.
bool discard_changes(editor_state &st);
// The hexadecimal digits as the editor shows them.
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
// The value (0-15) of a hexadecimal digit key, judged by its low 8 bits; -1 for anything else.
[[nodiscard]] int hex_digit_value(int key);
// Overwrites the byte under the cursor from a key that is no command: a hexadecimal digit in
// the hexadecimal column, a character in the character column; a byte that cannot be read is
// left alone, with a message. Returns CMD_NONE, or CMD_INVALID_KEY (with a message) when the
// key fits neither.
[[nodiscard]] command enter_byte(editor_state &st, int key);
// Writes every change into the file in offset order and syncs it; shows "File saved." only
// once all reached storage. A change that could not be written stays pending with all after it.
void save_changes(editor_state &st);
// Throws every change away.
void undo_changes(editor_state &st);
