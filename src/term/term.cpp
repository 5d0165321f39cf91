// Terminal logic above the curses primitives: key translation into the PC key-code scheme,
// the cell filter, colour runs of a row, and colour pairs from PC attribute bytes.
#include "term/term.h"

#include "term/signals.h"
#include "term/term_io.h"

#include <algorithm>

namespace {

struct key_translation {
    int curses_key;
    int scan_code;  // second half of the two-part key the curses key becomes
};

constexpr key_translation movement_keys[] = {
    {IO_KEY_DOWN, SCAN_DOWN},       {IO_KEY_UP, SCAN_UP},        {IO_KEY_LEFT, SCAN_LEFT},
    {IO_KEY_RIGHT, SCAN_RIGHT},     {IO_KEY_HOME, SCAN_HOME},    {IO_KEY_END, SCAN_END},
    {IO_KEY_NPAGE, SCAN_PAGE_DOWN}, {IO_KEY_PPAGE, SCAN_PAGE_UP},
};

struct alt_key {
    int letter;
    int code;
};

constexpr alt_key alt_keys[] = {
    {'f', KEY_ALT_F}, {'h', KEY_ALT_H}, {'j', KEY_ALT_J}, {'s', KEY_ALT_S}, {'u', KEY_ALT_U},
};

// PC colour number (bits 0-2 of an attribute nibble) to curses colour.
constexpr short pc_to_curses[8] = {IO_COLOR_BLACK, IO_COLOR_BLUE,    IO_COLOR_GREEN,
                                   IO_COLOR_CYAN,  IO_COLOR_RED,     IO_COLOR_MAGENTA,
                                   IO_COLOR_YELLOW, IO_COLOR_WHITE};

constexpr int MAX_PAIRS = 256;

}  // namespace

static int pending_key;
static int pairs_created;
static int cursor_visible;  // -1 until the editor sets it
static bool colors_available;
static int pair_attrs[MAX_PAIRS];  // curses video attributes of each pair, used without colours

static_assert(TERM_USABLE == IO_TERMINAL_USABLE && TERM_UNNAMED == IO_TERMINAL_UNNAMED);
static_assert(TERM_UNKNOWN == IO_TERMINAL_UNKNOWN && TERM_UNADDRESSED == IO_TERMINAL_UNADDRESSED);

int term_init()
{
    pending_key = 0;
    pairs_created = 0;
    cursor_visible = -1;
    // Before curses starts, so that curses leaves these signals to the editor.
    signals_catch();
    int found = io_init();
    colors_available = io_has_colors();
    return found;
}

void term_close() { io_end(); }

void term_size(int32_t &cols, int32_t &rows)
{
    int r = 0;
    int c = 0;
    io_size(c, r);
    rows = r;
    cols = c;
}

void term_query(int32_t &cols, int32_t &rows, uint32_t &color)
{
    term_size(cols, rows);
    color = io_has_colors() ? 1 : 0;
}

static int term_alt_code(int letter)
{
    for (const alt_key &alt : alt_keys)
        if (alt.letter == letter)
            return alt.code;
    return -1;
}

static int term_translate(int key)
{
    for (const key_translation &t : movement_keys) {
        if (t.curses_key == key) {
            pending_key = t.scan_code;
            return KEY_TWO_PART;
        }
    }
    if (key == IO_KEY_BACKSPACE)
        return KEY_BACKSPACE_CODE;
    if (key == IO_KEY_ENTER)
        return KEY_ENTER_CODE;
    return key;
}

// Turns a key read from curses into the PC key-code scheme, reading the rest of an Alt chord.
static int term_decode(int key)
{
    if (key == KEY_ESC_CODE) {
        // An Alt chord arrives as Esc and its letter; a lone Esc is followed by nothing.
        key = io_getch();
        if (key == IO_NO_KEY)
            return KEY_ESC_CODE;
        int alt = term_alt_code(key);
        if (alt >= 0)
            return alt;
    }
    return term_translate(key);
}

// A key that stands for the signals: KEY_REDRAW after a stop, else KEY_NONE. Never returns when
// a signal ended the editor.
static int term_signal_key() { return signals_act() ? KEY_REDRAW : KEY_NONE; }

int get_key()
{
    if (pending_key > 0) {
        int key = pending_key;
        pending_key = 0;
        return key;
    }
    for (;;) {
        if (int key = term_signal_key(); key != KEY_NONE)
            return key;
        int key = io_getch();
        if (key != IO_NO_KEY && key != IO_KEY_MOUSE)
            return term_decode(key);
    }
}

bool key_waiting()
{
    if (pending_key > 0)
        return true;
    int key = io_getch_nowait();
    // A mouse event is no key; dropped here as get_key would drop it.
    if (key == IO_NO_KEY || key == IO_KEY_MOUSE)
        return false;
    io_unget(key);
    return true;
}

int poll_key()
{
    if (int key = term_signal_key(); key != KEY_NONE)
        return key;
    int key = io_getch_nowait();
    if (key == IO_NO_KEY || key == IO_KEY_MOUSE)
        return KEY_NONE;
    key = term_decode(key);
    pending_key = 0;
    return key;
}

static void term_cursor(bool visible)
{
    if (cursor_visible != visible)
        io_cursor(visible);
    cursor_visible = visible;
    io_refresh();
}

void cursor_hide() { term_cursor(false); }

void cursor_show() { term_cursor(true); }

void cursor_move(int row, int col) { io_move(row, col); }

// Makes the pair that of what is drawn next. Without colours the pair's video attributes stand
// in, so the cursor, the changes and the status line still stand out.
static void term_use_pair(int pair)
{
    if (colors_available)
        io_set_pair(pair);
    else
        io_set_attrs(pair > 0 && pair <= pairs_created && pair < MAX_PAIRS ? pair_attrs[pair] : 0);
}

static int term_video_attrs(int video)
{
    return (video & VIDEO_REVERSE ? IO_ATTR_REVERSE : 0) | (video & VIDEO_BOLD ? IO_ATTR_BOLD : 0) |
           (video & VIDEO_DIM ? IO_ATTR_DIM : 0);
}

char cell_char(unsigned char byte) { return byte >= 32 && byte <= 126 ? static_cast<char>(byte) : '.'; }

void put_char(int ch, int pair)
{
    term_use_pair(pair);
    io_addch(cell_char(static_cast<unsigned char>(ch)));
    io_refresh();
}

void put_row(int row, int col, const char *text, const int32_t *pairs, int count)
{
    int rows = 0;
    int cols = 0;
    io_size(cols, rows);
    count = std::min(count, cols - col);
    if (count <= 0 || !io_move(row, col))
        return;
    term_use_pair(pairs[0]);
    for (int i = 0; i < count; i++) {
        if (i > 0 && pairs[i] != pairs[i - 1])
            term_use_pair(pairs[i]);
        io_addch(cell_char(static_cast<unsigned char>(text[i])));
    }
}

void screen_clear(int pair)
{
    io_clear();
    int rows = 0;
    int cols = 0;
    io_size(cols, rows);
    term_use_pair(pair);
    int width = std::min(cols, SCREEN_COLS);
    for (int row = 0; row < rows; row++)
        for (int col = 0; col < width; col++)
            if (io_move(row, col))
                io_addch(' ');
    io_move(0, 0);
}

int color_alloc(int attr, int video)
{
    pairs_created++;
    io_init_pair(pairs_created, pc_to_curses[attr & 7], pc_to_curses[(attr >> 4) & 7]);
    if (pairs_created < MAX_PAIRS)
        pair_attrs[pairs_created] = term_video_attrs(video);
    return pairs_created;
}
