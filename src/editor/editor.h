// The editor's one state record, start-up and the command loop. The record lives for the whole
// run; every subsystem receives it by reference.
#pragma once

#include <cstdint>

struct change;
struct change_stop;

constexpr int CHANGE_LANES = 8;

// Kept by the edit layer beside the change list, so that a change is found without walking the
// list from its head.
struct change_index {
    change_stop *lanes[CHANGE_LANES];        // the first stop of each lane that skips along the list
    change *finger;                          // the change recorded last; nullptr after a removal
    change_stop *finger_path[CHANGE_LANES];  // the last stop at or before the finger on each lane
};

// What read_command asks the loop to do.
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

struct editor_state {
    const char *path;  // the file name as written on the command line; not owned
    const char *name;  // points into path, after its last '/' or '\'
    char *message;     // pending status message (heap, shown once), or nullptr
    change *changes;   // unsaved changes, ascending by offset
    change_index index;  // finds any of them in a few steps
    int64_t cursor;    // offset of the byte under the cursor
    int64_t view;      // offset of the first displayed row; a multiple of 16
    int64_t file_size; // measured once at opening
    int32_t rows;      // terminal size, measured at start-up and again when it changes
    int32_t cols;
    // Colour pair numbers of the nine roles, created in this order as pairs 1 to 9.
    int32_t attr_background;
    int32_t attr_offset;
    int32_t attr_normal;
    int32_t attr_changed;
    int32_t attr_cursor;
    int32_t attr_cursor_changed;
    int32_t attr_past_end;
    int32_t attr_status;
    int32_t attr_message;
    uint32_t read_only;  // 1 when the file is open read-only
    uint32_t color;      // 1 for the colour scheme, 0 for monochrome
    uint32_t ascii_mode; // 1 while the cursor works in the character column
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

// Starts curses mode, reads the command line, creates the colour pairs, opens the file and
// clears the screen. Returns 0 when the editor is ready for its loop; otherwise curses mode has
// ended, the reason is printed on stdout, and the result is the exit status (1, 2 or 6).
[[nodiscard]] int editor_start(editor_state &st, int argc, char **argv);
// Reads one key (both halves of a two-part key, or'ed with 0x100) and returns its command;
// a key that is no command goes to byte entry, whose result is returned.
[[nodiscard]] command read_command(editor_state &st);
// One pass of the command loop: draw (unless more keys are already waiting), read one command,
// carry it out, keep the cursor in view.
// Returns false once the user has quit; the file, curses mode and the changes are then released.
[[nodiscard]] bool loop_step(editor_state &st);
// The whole program: start-up, then the loop. Returns the process's exit status.
[[nodiscard]] int editor_main(int argc, char **argv);
