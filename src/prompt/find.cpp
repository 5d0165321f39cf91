// Find: a pattern typed on the status line, hexadecimal digits or characters by the cursor's
// column, searched for by find_pattern.
#include "prompt/prompt.h"

#include "edit/edit.h"
#include "screen/screen.h"
#include "term/term.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// The prompt's label stands from this column; the entry starts two columns past its end.
constexpr int LABEL_COLUMN = 1;
constexpr std::string_view HEX_LABEL = "Find [HEX]:";
constexpr std::string_view CHAR_LABEL = "Find [ASCII]:";

}  // namespace

static std::string_view find_label(const editor_state &st) { return st.ascii_mode ? CHAR_LABEL : HEX_LABEL; }

// What has been typed: hexadecimal digits (upper case) or characters.
struct find_entry {
    char text[FIND_MAX_CHARS];
    int count;
    // The bytes of each key typed, so that backspace takes a character of several away whole.
    unsigned char key_sizes[FIND_MAX_CHARS];
    int keys;
};

// Hexadecimal digits become bytes pair by pair, high digit first; an odd last digit stands
// alone as a byte of its own value. Returns the pattern's length.
static int find_hex_pattern(const find_entry &entry, unsigned char *pattern)
{
    int length = 0;
    for (int i = 0; i < entry.count; i += 2) {
        int value = hex_digit_value(entry.text[i]);
        if (i + 1 < entry.count)
            value = value * 16 + hex_digit_value(entry.text[i + 1]);
        pattern[length++] = static_cast<unsigned char>(value);
    }
    return length;
}

// Column of entry character i: hexadecimal digits stand in pairs with a blank between pairs.
static int find_entry_column(const editor_state &st, int i)
{
    int start = LABEL_COLUMN + static_cast<int>(find_label(st).size()) + 1;
    return st.ascii_mode ? start + i : start + i + i / 2;
}

static void find_draw_entry(const editor_state &st, const find_entry &entry)
{
    for (int i = 0; i < entry.count; i++)
        prompt_draw(st, find_entry_column(st, i), std::string_view(&entry.text[i], 1));
    // The blanks wipe out what a backspace just removed, a character of several bytes too.
    int end = find_entry_column(st, entry.count);
    prompt_blank(st, end, find_entry_column(st, entry.count + WIDE_CHAR_BYTES) - 1);
    cursor_move(st.rows - 1, end);
}

// Appends the bytes of one key, unless they would pass the entry's limit.
static void find_append(find_entry &entry, const unsigned char *bytes, int count, int limit)
{
    if (entry.count + count > limit)
        return;
    for (int i = 0; i < count; i++)
        entry.text[entry.count++] = static_cast<char>(bytes[i]);
    entry.key_sizes[entry.keys++] = static_cast<unsigned char>(count);
}

// Adds a typed key to the entry. Returns false when the key ends the prompt instead. A character
// of several bytes is taken as the terminal sent it, so that text in that encoding is found.
static bool find_take_key(const editor_state &st, find_entry &entry, int key)
{
    if (key == KEY_BACKSPACE_CODE) {
        if (entry.keys > 0)
            entry.count -= entry.key_sizes[--entry.keys];
        return true;
    }
    if (st.ascii_mode) {
        if (key == KEY_WIDE_CHAR) {
            wide_char typed = last_wide_char();
            find_append(entry, typed.bytes, typed.count, FIND_MAX_CHARS);
            return true;
        }
        if (key < 32 || key > 0xFF)
            return false;
        auto ch = static_cast<unsigned char>(key);
        find_append(entry, &ch, 1, FIND_MAX_CHARS);
        return true;
    }
    int digit = hex_digit_value(key);
    if (digit < 0 || key > 0xFF)
        return false;
    auto ch = static_cast<unsigned char>(HEX_DIGITS[digit]);
    find_append(entry, &ch, 1, FIND_MAX_HEX_DIGITS);
    return true;
}

static void find_draw_prompt(const editor_state &st)
{
    std::string_view label = find_label(st);
    prompt_draw(st, 0, " ");
    prompt_draw(st, LABEL_COLUMN, label);
    prompt_blank(st, LABEL_COLUMN + static_cast<int>(label.size()), PROMPT_END);
}

// Runs the entry's key loop. Returns false when the user left without asking for a search.
static bool find_read_entry(editor_state &st, find_entry &entry)
{
    for (;;) {
        find_draw_entry(st, entry);
        int key = get_key();
        if (key == KEY_REDRAW) {
            redraw_screen(st);
            find_draw_prompt(st);
            continue;
        }
        if (key == KEY_TWO_PART) {
            (void)get_key();
            return false;
        }
        if (key == KEY_ENTER_CODE)
            return true;
        if (!find_take_key(st, entry, key))
            return false;
    }
}

void find_prompt(editor_state &st)
{
    find_draw_prompt(st);
    find_entry entry{};
    if (!find_read_entry(st, entry))
        return;
    if (entry.count == 0) {
        set_message(st, "No search string provided!");
        return;
    }
    unsigned char pattern[FIND_MAX_CHARS];
    int length = entry.count;
    if (st.ascii_mode)
        memcpy(pattern, entry.text, static_cast<size_t>(length));
    else
        length = find_hex_pattern(entry, pattern);
    prompt_searching(st);
    find_result result = find_pattern(st, pattern, length);
    switch (result.outcome) {
    case FIND_FOUND:
        st.cursor = result.offset;
        break;
    case FIND_ABSENT:
        set_message(st, "No match found");
        break;
    case FIND_CANCELLED:
        set_message(st, "Search cancelled.");
        break;
    case FIND_READ_ERROR: {
        char text[64];
        snprintf(text, sizeof text, "Read error at 0x%08" PRIX64 "! Search stopped.", result.offset);
        set_message(st, text);
        break;
    }
    }
}
