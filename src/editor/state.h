// What every subsystem shares: the editor's one state record, the commands the loop carries out,
// the status message rule and the view that follows the cursor. The record lives for the whole
// run; start-up owns it and every subsystem receives it by reference.
#pragma once

#include <cstdint>

// The change list is edit's: the record only holds its head, so that this header, below edit,
// needs none of edit's types.
struct change;

// What read_command asks the loop to do. Byte entry answers in these words too (CMD_NONE or
// CMD_INVALID_KEY), since read_command hands its answer on as the key's command: so they live
// here, below both the loop and edit.
enum command : int {
    CMD_NONE,  // a byte was entered, or an edit was refused
    CMD_LEFT,
    CMD_RIGHT,
    CMD_UP,
    CMD_DOWN,
    CMD_PAGE_UP,
    CMD_PAGE_DOWN,
    CMD_TOGGLE_COLUMN,
    CMD_HOME,
    CMD_END,
    CMD_QUIT,
    CMD_HELP,
    CMD_JUMP,
    CMD_FIND,
    CMD_SAVE,
    CMD_UNDO,
    CMD_INVALID_KEY,  // the key fits no column; the message says which
};

// Beside each field, who writes it; every other subsystem only reads it.
struct editor_state {
    const char *path;    // start-up: the file name as written on the command line; not owned
    const char *name;    // start-up: points into path, after its last '/' or '\'
    char *message;       // anyone, through set_message; the screen shows and releases it
    change *changes;     // edit: unsaved changes, ascending by offset
    int64_t cursor;      // loop (moving), prompts (jump, find): the byte under the cursor
    int64_t view;        // loop, and the screen on a new terminal size: first row shown, a multiple of 16
    int64_t file_size;   // start-up: measured once at opening
    int32_t rows;        // start-up, and the screen when the terminal changes size
    int32_t cols;
    // Start-up: colour pair numbers of the nine roles, created in this order as pairs 1 to 9.
    int32_t attr_background;
    int32_t attr_offset;
    int32_t attr_normal;
    int32_t attr_changed;
    int32_t attr_cursor;
    int32_t attr_cursor_changed;
    int32_t attr_past_end;
    int32_t attr_status;
    int32_t attr_message;
    uint32_t read_only;   // start-up: 1 when the file is open read-only
    uint32_t color;       // start-up: 1 for the colour scheme, 0 for monochrome
    uint32_t ascii_mode;  // loop: 1 while the cursor works in the character column
};

// Sets the pending message to a copy of text, unless a message is already pending: the first
// notice between two drawings wins. Without memory for the copy nothing is set.
void set_message(editor_state &st, const char *text);
// Releases the pending message, if any.
void clear_message(editor_state &st);
// The last offset the cursor may take; an empty file has no last byte and keeps it at 0.
[[nodiscard]] int64_t last_offset(const editor_state &st);
// Moves the view so that the cursor's line is on the screen and off its last file line (the line
// below the cursor always shows what comes next); a terminal too low for that keeps it on top.
void keep_cursor_in_view(editor_state &st);
