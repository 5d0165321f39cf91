// Screen rendering. Each line is composed in row_text/row_attrs and painted with one put_row;
// each file line costs one aligned 16-byte read, which the block cache serves.
#include "screen/screen.h"

#include "edit/edit.h"
#include "file/file.h"
#include "term/term.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr char FRAME = static_cast<char>(0xB3);
constexpr int LABEL_WIDTH = 11;  // columns 0-10: frame, eight digits, frame, blank
constexpr char LABEL_CUT = '<';  // column 0 of a label whose offset has too many digits
constexpr int CHAR_COLUMN = 62;
constexpr int NAME_WIDTH = 28;
constexpr int OFFSET_COLUMN = 48;
constexpr int MESSAGE_WIDTH = 77;

}  // namespace

static char row_text[SCREEN_COLS];
static int32_t row_attrs[SCREEN_COLS];
// The status message the last drawing showed, kept so that drawing again after a resize shows it
// again while it still waits to be read; empty when the status line showed the file.
static char shown_message[MESSAGE_WIDTH + 1];

// Column of the high digit of byte l (0-15) of a line; a second blank parts the two halves.
static int screen_hex_column(int l) { return 11 + 3 * l + (l >= 8 ? 1 : 0); }

static void screen_copy(int col, const char *text, int length, int32_t pair)
{
    length = std::min(length, SCREEN_COLS - col);
    for (int i = 0; i < length; i++) {
        row_text[col + i] = text[i];
        row_attrs[col + i] = pair;
    }
}

static void screen_status_message(const editor_state &st)
{
    int length = static_cast<int>(strlen(shown_message));
    row_attrs[1] = st.attr_message;
    screen_copy(2, shown_message, length, st.attr_message);
    if (2 + length < SCREEN_COLS)
        row_attrs[2 + length] = st.attr_message;
}

// Name and length from column 0, the cursor's offset from column 48. An offset of more than
// eight digits starts further left so that it still ends before column 79, and a length of
// more than ten digits shortens the name, so that both stay whole.
static void screen_status_file(const editor_state &st)
{
    char offset[64];
    int offset_length = snprintf(offset, sizeof offset, "ALT+H: Help  offset: 0x%08" PRIX64, st.cursor);
    int offset_col = std::min(OFFSET_COLUMN, SCREEN_COLS - 1 - offset_length);
    char size[64];
    int size_length = snprintf(size, sizeof size, " (%" PRId64 " bytes)", st.file_size);
    int name_length = static_cast<int>(strnlen(st.name, NAME_WIDTH));
    name_length = std::clamp(offset_col - 1 - size_length, 0, name_length);
    screen_copy(0, st.name, name_length, st.attr_status);
    screen_copy(name_length, size, size_length, st.attr_status);
    screen_copy(offset_col, offset, offset_length, st.attr_status);
}

// Takes the pending message (if any) as the one this drawing shows, and releases it.
static void screen_take_message(editor_state &st)
{
    shown_message[0] = '\0';
    if (st.message)
        snprintf(shown_message, sizeof shown_message, "%s", st.message);
    clear_message(st);
}

static void screen_status_line(const editor_state &st)
{
    std::fill(std::begin(row_text), std::end(row_text), ' ');
    std::fill(std::begin(row_attrs), std::end(row_attrs), st.attr_status);
    if (shown_message[0])
        screen_status_message(st);
    else
        screen_status_file(st);
    put_row(st.rows - 1, 0, row_text, row_attrs, SCREEN_COLS);
}

static void screen_line_template(const editor_state &st)
{
    std::fill(std::begin(row_text), std::end(row_text), ' ');
    row_text[60] = FRAME;
    row_text[79] = FRAME;
    std::fill(std::begin(row_attrs), std::end(row_attrs), st.attr_normal);
}

// Columns 0-10: the offset between two frame bytes and a blank. Offsets of more than eight
// digits take over the blank, then the opening frame, then the closing frame. An offset of more
// than eleven digits does not fit: the mark in column 0 says that its high digits are left out,
// and its low ten follow (the status line shows the cursor's offset whole).
static void screen_label(const editor_state &st, int64_t label)
{
    char digits[24];
    int n = snprintf(digits, sizeof digits, "%08" PRIX64, label);
    const char *shown = digits;
    int col = 0;
    if (n > LABEL_WIDTH) {
        screen_copy(col++, &LABEL_CUT, 1, st.attr_normal);
        shown += n - (LABEL_WIDTH - 1);
        n = LABEL_WIDTH - 1;
    } else if (n + 2 <= LABEL_WIDTH) {
        screen_copy(col++, &FRAME, 1, st.attr_normal);
    }
    screen_copy(col, shown, n, st.attr_offset);
    col += n;
    if (col < LABEL_WIDTH)
        screen_copy(col++, &FRAME, 1, st.attr_normal);
    if (col < LABEL_WIDTH)
        screen_copy(col, " ", 1, st.attr_normal);
}

// Cell l's two hexadecimal digits and its character.
static void screen_cell(int l, const char hex[2], char ch, int32_t pair)
{
    screen_copy(screen_hex_column(l), hex, 2, pair);
    screen_copy(CHAR_COLUMN + l, &ch, 1, pair);
}

static void screen_byte_cell(int l, unsigned char byte, int32_t pair)
{
    const char hex[2] = {HEX_DIGITS[byte >> 4], HEX_DIGITS[byte & 15]};
    screen_cell(l, hex, static_cast<char>(byte), pair);
}

// A line's sixteen positions as the file gives them: bytes read and bytes the storage could not
// give, which both have an offset, then positions past the end.
struct screen_line_bytes {
    unsigned char byte[16];
    bool unreadable[16];
    int count;  // positions within the file; the rest lie past its end
};

// Each read takes what it can from where the last one stopped; an unreadable byte is passed one
// at a time (the cache remembers its block's failure, so this costs no more storage reads).
static void screen_read_line(int64_t start, screen_line_bytes &line)
{
    line.count = 0;
    while (line.count < 16) {
        int n = file_read(line.byte + line.count, 16 - line.count, start + line.count);
        if (n == FILE_PAST_END)
            break;
        bool unreadable = n == FILE_UNREADABLE;
        if (unreadable)
            n = 1;
        std::fill_n(line.unreadable + line.count, n, unreadable);
        line.count += n;
    }
}

// One file line at offset start. label is the offset of its first byte and moves on over the
// bytes of the file only, readable or not; next is the first change not yet passed. A byte that
// could not be read shows as "??" unless a change gives its value.
static void screen_file_line(const editor_state &st, int row, int64_t start, int64_t &label,
                             const change *&next)
{
    screen_label(st, label);
    screen_line_bytes line;
    screen_read_line(start, line);
    for (int l = 0; l < 16; l++) {
        if (l >= line.count) {
            screen_cell(l, "..", '.', st.attr_past_end);
            continue;
        }
        while (next && next->offset < label)
            next = next->next;
        bool changed = next && next->offset == label;
        bool cursor = label == st.cursor;
        if (changed)
            screen_byte_cell(l, next->value, cursor ? st.attr_cursor_changed : st.attr_changed);
        else if (line.unreadable[l])
            screen_cell(l, "??", '?', cursor ? st.attr_cursor : st.attr_past_end);
        else
            screen_byte_cell(l, line.byte[l], cursor ? st.attr_cursor : st.attr_normal);
        label++;
    }
    put_row(row, 0, row_text, row_attrs, SCREEN_COLS);
}

// The offset of the file line on screen line row. Lines past the end of the file all start at
// its length: in a file that ends near the largest offset, the view plus the lines below the
// last one would pass it.
static int64_t screen_line_start(const editor_state &st, int row)
{
    int64_t distance = 16 * static_cast<int64_t>(row);
    return distance < st.file_size - st.view ? st.view + distance : st.file_size;
}

static void screen_file_lines(const editor_state &st)
{
    screen_line_template(st);
    const change *next = first_change_from(st, st.view);
    int64_t label = st.view;
    for (int row = 0; row < st.rows - 1; row++)
        screen_file_line(st, row, screen_line_start(st, row), label, next);
}

// On a terminal too narrow for the cursor's cell the terminal cursor is hidden.
static void screen_place_cursor(const editor_state &st)
{
    int line = static_cast<int>((st.cursor - st.view) / 16);
    int l = static_cast<int>(st.cursor % 16);
    int col = st.ascii_mode ? CHAR_COLUMN + l : screen_hex_column(l) + 1;
    if (col >= st.cols) {
        cursor_hide();
        return;
    }
    cursor_move(line, col);
    cursor_show();
}

// Lays the screen out for the terminal's size now, the view following the cursor, when it is
// not the size of the last drawing: a resize read as the second half of a two-part key or
// while the editor was not waiting for a key is not seen as one.
static void screen_measure(editor_state &st)
{
    int32_t cols = 0;
    int32_t rows = 0;
    term_size(cols, rows);
    if (cols == st.cols && rows == st.rows)
        return;
    st.cols = cols;
    st.rows = rows;
    keep_cursor_in_view(st);
}

static void screen_paint(editor_state &st)
{
    screen_measure(st);
    screen_status_line(st);
    screen_file_lines(st);
    screen_place_cursor(st);
}

void draw_screen(editor_state &st)
{
    screen_take_message(st);
    screen_paint(st);
}

void skip_drawing(editor_state &st)
{
    screen_measure(st);
    screen_take_message(st);
}

void redraw_screen(editor_state &st) { screen_paint(st); }
