// The command loop: draw, read one command, carry it out, keep the cursor in view. Owns the
// movement commands, the column switch, the key help and quitting.
#include "editor/editor.h"

#include "edit/edit.h"
#include "file/file.h"
#include "prompt/prompt.h"
#include "screen/screen.h"
#include "term/term.h"

#include <algorithm>

namespace {

struct command_key {
    int key;
    command cmd;
};

// Two-part keys count as KEY_EXTENDED plus their scan code. Curses codes that happen to equal
// one of these (Insert is 0x14B, Shift+Down 0x150, ...) act as the same command.
constexpr command_key command_keys[] = {
    {KEY_TAB_CODE, CMD_TOGGLE_COLUMN},
    {KEY_ESC_CODE, CMD_QUIT},
    {KEY_ALT_U, CMD_UNDO},
    {KEY_ALT_S, CMD_SAVE},
    {KEY_ALT_F, CMD_FIND},
    {KEY_ALT_H, CMD_HELP},
    {KEY_ALT_J, CMD_JUMP},
    {KEY_EXTENDED | SCAN_F1, CMD_HELP},
    {KEY_EXTENDED | SCAN_HOME, CMD_HOME},
    {KEY_EXTENDED | SCAN_UP, CMD_UP},
    {KEY_EXTENDED | SCAN_PAGE_UP, CMD_PAGE_UP},
    {KEY_EXTENDED | SCAN_LEFT, CMD_LEFT},
    {KEY_EXTENDED | SCAN_RIGHT, CMD_RIGHT},
    {KEY_EXTENDED | SCAN_END, CMD_END},
    {KEY_EXTENDED | SCAN_DOWN, CMD_DOWN},
    {KEY_EXTENDED | SCAN_PAGE_DOWN, CMD_PAGE_DOWN},
};

constexpr const char *HELP_TEXT =
    "ALT+H Help   ALT+J Jump   ALT+F Find   ALT+S Save   ALT+U Undo   ESC Quit   ";
constexpr const char *QUIT_WARNING =
    "There are unsaved modifications. Press Esc again if you really want to quit.";
// A block the storage failed is not read again until the cursor is more pages than this away.
constexpr int64_t FAILED_REACH_SCREENS = 4;

}  // namespace

// The next key; a resize or a return from a stop meanwhile draws the screen again first.
static int loop_read_key(editor_state &st)
{
    int key = get_key();
    while (key == KEY_REDRAW) {
        redraw_screen(st);
        key = get_key();
    }
    return key;
}

command read_command(editor_state &st)
{
    int key = loop_read_key(st);
    if (key == KEY_TWO_PART)
        key = loop_read_key(st) | KEY_EXTENDED;
    for (const command_key &k : command_keys)
        if (k.key == key)
            return k.cmd;
    return enter_byte(st, key);
}

// Bytes a page moves: the file lines on the screen less one, and at least one line on a
// terminal too low to have that many.
static int64_t loop_page(const editor_state &st) { return std::max(st.rows - 2, 1) * int64_t{16}; }

static void loop_page_up(editor_state &st)
{
    int64_t page = loop_page(st);
    if (st.cursor - page >= 0) {
        st.cursor -= page;
        st.view = std::max<int64_t>(st.view - page, 0);
    } else {
        st.cursor = 0;
    }
}

// The moves forward compare what is left of the file after the cursor: the cursor plus a page
// or a line could pass the largest offset, in a file that ends near it.
static void loop_page_down(editor_state &st)
{
    int64_t page = loop_page(st);
    if (page < st.file_size - st.cursor) {
        st.cursor += page;
        st.view += page;
    } else {
        st.cursor = last_offset(st);
    }
}

static void loop_move(editor_state &st, command cmd)
{
    switch (cmd) {
    case CMD_LEFT:
        if (st.cursor > 0)
            st.cursor--;
        break;
    case CMD_RIGHT:
        if (st.cursor < st.file_size - 1)
            st.cursor++;
        break;
    case CMD_UP:
        if (st.cursor >= 16)
            st.cursor -= 16;
        break;
    case CMD_DOWN:
        if (16 < st.file_size - st.cursor)
            st.cursor += 16;
        break;
    case CMD_PAGE_UP:
        loop_page_up(st);
        break;
    case CMD_PAGE_DOWN:
        loop_page_down(st);
        break;
    case CMD_HOME:
        st.cursor = 0;
        break;
    case CMD_END:
        st.cursor = last_offset(st);
        break;
    default:
        break;
    }
}

void editor_end(editor_state &st)
{
    file_close();
    term_close();
    discard_changes(st);
    clear_message(st);
}

// With unsaved changes a second Esc is needed. Any other command read there is dropped, but a
// key that is no command has been entered as a byte by read_command already, as anywhere.
static bool loop_confirm_quit(editor_state &st)
{
    if (!st.changes)
        return true;
    set_message(st, QUIT_WARNING);
    draw_screen(st);
    return read_command(st) == CMD_QUIT;
}

// Carries out one command. Returns false when the editor quits.
static bool loop_run(editor_state &st, command cmd)
{
    switch (cmd) {
    case CMD_QUIT:
        if (!loop_confirm_quit(st))
            return true;
        editor_end(st);
        return false;
    case CMD_TOGGLE_COLUMN:
        st.ascii_mode = 1 - st.ascii_mode;
        return true;
    case CMD_HELP:
        set_message(st, HELP_TEXT);
        return true;
    case CMD_SAVE:
        save_changes(st);
        return true;
    case CMD_UNDO:
        undo_changes(st);
        return true;
    case CMD_JUMP:
        jump_prompt(st);
        return true;
    case CMD_FIND:
        find_prompt(st);
        return true;
    default:
        loop_move(st, cmd);
        return true;
    }
}

bool loop_step(editor_state &st)
{
    // Keys typed ahead (a paste) are carried out without drawing in between; the screen after
    // the last one is the same. Each drawing reads the file afresh, to show what another program
    // may have changed since, but for blocks that failed near the cursor.
    if (key_waiting()) {
        skip_drawing(st);
    } else {
        file_refresh(st.cursor, FAILED_REACH_SCREENS * loop_page(st));
        draw_screen(st);
    }
    if (!loop_run(st, read_command(st)))
        return false;
    keep_cursor_in_view(st);
    return true;
}

int editor_main(int argc, char **argv)
{
    editor_state st{};
    int status = editor_start(st, argc, argv);
    if (status != 0)
        return status;
    while (loop_step(st)) {
    }
    return 0;
}
