// Byte entry: a hexadecimal digit shifts into the byte under the cursor like a two-digit
// calculator display; a character in the character column becomes the byte.
#include "edit/edit.h"

#include "term/term.h"

#include <cstdio>

int hex_digit_value(int key)
{
    int ch = key & 0xFF;
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    return -1;
}

// Reports a key that fits neither column. A character of several bytes is told by its code
// point; in the character column it is told that it does not fit one byte.
static command entry_refuse(editor_state &st, int key)
{
    if (key == KEY_UNKNOWN_SEQUENCE) {
        set_message(st, "Unknown key! Is TERM right for this terminal?");
    } else if (key == KEY_WIDE_CHAR && st.ascii_mode) {
        set_message(st, "Character does not fit in one byte! Byte not changed.");
    } else {
        int code = key == KEY_WIDE_CHAR ? last_wide_char().code : key;
        char text[32];
        snprintf(text, sizeof text, "invalid key 0x%04X", static_cast<unsigned>(code));
        set_message(st, text);
    }
    return CMD_INVALID_KEY;
}

command enter_byte(editor_state &st, int key)
{
    int digit = st.ascii_mode ? 0 : hex_digit_value(key);
    bool valid = st.ascii_mode ? key <= 0xFF : digit >= 0;
    if (!valid)
        return entry_refuse(st, key);
    if (st.read_only) {
        set_message(st, "This file is opened in read-only mode.");
        return CMD_NONE;
    }
    // A byte that cannot be read has no value to shift a digit into, nor one for a save to
    // compare with: whatever was recorded would be made up.
    int old_value = current_byte(st);
    if (old_value == BYTE_UNREADABLE) {
        set_message(st, "Read error! Byte not changed.");
        return CMD_NONE;
    }
    int value = st.ascii_mode ? key : old_value * 16 + digit;
    if (record_change(st, st.cursor, static_cast<uint8_t>(value), static_cast<uint8_t>(old_value)) != 0)
        set_message(st, "Out of memory! Change aborted.");
    return CMD_NONE;
}
