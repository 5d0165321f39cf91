// Terminal logic above the curses primitives: key translation into the PC key-code scheme,
// the cell filter, colour runs of a row, and colour pairs from PC attribute bytes.
#include "term/term.h"

#include "term/signals.h"
#include "term/term_io.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

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
static int ahead_key;  // a key key_waiting decoded and get_key has not returned yet, or KEY_NONE
static wide_char wide;  // the last character of several bytes decoded
static int pairs_created;
static int cursor_visible;  // -1 until the editor sets it
static bool colors_available;
static int pair_attrs[MAX_PAIRS];  // curses video attributes of each pair, used without colours

static_assert(TERM_USABLE == IO_TERMINAL_USABLE && TERM_UNNAMED == IO_TERMINAL_UNNAMED);
static_assert(TERM_UNKNOWN == IO_TERMINAL_UNKNOWN && TERM_UNADDRESSED == IO_TERMINAL_UNADDRESSED);

// True when the locale's name ends in the UTF-8 encoding (C.UTF-8, en_US.utf8, de_DE.UTF-8@euro),
// or is that encoding alone; its spelling varies in case and in the dash.
static bool term_utf8_locale(std::string_view name)
{
    name = name.substr(0, name.find('@'));
    name = name.substr(name.rfind('.') + 1);  // the whole name when it has no dot
    constexpr std::string_view UTF8 = "utf8";
    size_t matched = 0;
    for (char ch : name) {
        if (ch == '-')
            continue;
        if (matched == UTF8.size() || tolower(static_cast<unsigned char>(ch)) != UTF8[matched])
            return false;
        matched++;
    }
    return matched == UTF8.size();
}

int term_init()
{
    pending_key = 0;
    ahead_key = KEY_NONE;
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

// The raw keys one decoding has taken so far, less those it put back, and whether a resize came
// in their midst. A resize there sends them all back behind it: the screen is laid out anew
// before their key is acted on, and no byte of theirs goes astray as a key of its own.
static int taken[256];
static int taken_count;
static bool resize_within;

// Notes a raw key read for a decoding as taken, and returns it.
static int term_note_taken(int key)
{
    if (key != IO_NO_KEY && taken_count < static_cast<int>(std::size(taken)))
        taken[taken_count++] = key;
    return key;
}

// The next raw key for a decoding, waiting for it or not, noted as taken.
static int term_take(bool wait) { return term_note_taken(wait ? io_getch() : io_getch_nowait()); }

// Like term_take, for the bytes inside a mouse report, a control sequence or a character: a
// resize among them ends the decoding as if nothing more had come.
static int term_take_within(bool wait)
{
    if (resize_within)
        return IO_NO_KEY;
    int key = wait ? io_getch() : io_getch_nowait();
    if (key == IO_KEY_RESIZE) {
        resize_within = true;
        return IO_NO_KEY;
    }
    return term_note_taken(key);
}

// Puts back the key taken last, to be read again.
static void term_put_back(int key)
{
    io_unget(key);
    taken_count = std::max(taken_count - 1, 0);
}

// Bytes of a control sequence between its introducer and its final byte.
static bool term_sequence_inner(int key) { return key >= 0x20 && key <= 0x3F; }
static bool term_sequence_final(int key) { return key >= 0x40 && key <= 0x7E; }

// Reads the rest of a mouse report after its introducer: three bytes in the X10 form, up to M or
// m in the SGR form. A byte that belongs to no report, or a key of curses' own (a resize), is put
// back, to be read as a key.
static void term_skip_mouse_report(bool sgr)
{
    for (int i = 0; sgr || i < 3; i++) {
        int key = term_take_within(true);
        if (key == IO_NO_KEY)
            return;
        if (key > 0xFF) {
            term_put_back(key);
            return;
        }
        if (sgr && !term_sequence_inner(key)) {
            if (key != 'M' && key != 'm')
                term_put_back(key);
            return;
        }
    }
}

// Reads a control sequence on from its introducer, Esc and [ or O, which arrived at once.
// Returns the key it makes: the introducer itself when nothing else was waiting (Alt and the
// character, typed), KEY_NONE for a mouse report, else KEY_UNKNOWN_SEQUENCE. Once the terminal
// is known to be sending a sequence, a byte that is slow to come is waited for; one that cannot
// belong to the sequence ends it and is put back.
static int term_sequence(int introducer)
{
    int key = term_take_within(false);
    if (key == IO_NO_KEY)
        return introducer;
    if (introducer == '[' && key == 'M') {
        term_skip_mouse_report(false);
        return KEY_NONE;
    }
    bool sgr_mouse = introducer == '[' && key == '<';
    while (term_sequence_inner(key))
        key = term_take_within(true);
    if (!term_sequence_final(key)) {
        if (key != IO_NO_KEY)
            term_put_back(key);
        return KEY_UNKNOWN_SEQUENCE;
    }
    return sgr_mouse && (key == 'M' || key == 'm') ? KEY_NONE : KEY_UNKNOWN_SEQUENCE;
}

// The length of the character that starts with lead where the locale is UTF-8, or 0 when no
// character of several bytes starts there.
static int term_utf8_length(int lead)
{
    if (lead < 0xC2 || lead > 0xF4 || !term_utf8_locale(io_locale()))
        return 0;
    return lead <= 0xDF ? 2 : lead <= 0xEF ? 3 : 4;
}

// Reads the rest of a UTF-8 character into wide. Returns KEY_WIDE_CHAR, or the lead byte alone
// when what follows is no rest of a character: those keys are put back as they came.
static int term_wide_char(int lead, int length)
{
    wide = wide_char{{static_cast<unsigned char>(lead)}, 1, lead & (0x7F >> length)};
    while (wide.count < length) {
        int key = term_take_within(true);
        if (key < 0x80 || key > 0xBF) {
            if (key != IO_NO_KEY)
                term_put_back(key);
            for (int i = wide.count - 1; i > 0; i--)
                term_put_back(wide.bytes[i]);
            return lead;
        }
        wide.bytes[wide.count++] = static_cast<unsigned char>(key);
        wide.code = wide.code << 6 | (key & 0x3F);
    }
    return KEY_WIDE_CHAR;
}

wide_char last_wide_char() { return wide; }

static int term_decode(int key);

// True when a key has arrived after the one just read, which is then put back.
static bool term_more_waiting()
{
    int key = term_take(false);
    if (key == IO_NO_KEY)
        return false;
    term_put_back(key);
    return true;
}

// Decodes what came after an Esc: an Alt chord, a control sequence, a lone Esc, or another key
// that the Esc is dropped before. Esc, Esc and more all at once is Alt with a key of the second
// Esc's making, as some terminals send Alt with a key curses does not know.
static int term_decode_escape()
{
    int key = term_take(false);
    if (key == KEY_ESC_CODE && term_more_waiting())
        return term_decode_escape();
    if (key == '[' || key == 'O')
        return term_sequence(key);
    // Typed by hand, the next key may still come.
    if (key == IO_NO_KEY)
        key = term_take(true);
    if (key == IO_NO_KEY || key == KEY_ESC_CODE)
        return KEY_ESC_CODE;
    int alt = term_alt_code(key);
    return alt >= 0 ? alt : term_decode(key);
}

// Turns a key read from curses into the PC key-code scheme, reading the rest of an Alt chord, a
// control sequence, a mouse report or a character of several bytes. Returns KEY_NONE when it
// all made no key.
static int term_decode(int key)
{
    if (key == IO_KEY_MOUSE) {
        term_skip_mouse_report(io_mouse_sgr());
        return KEY_NONE;
    }
    if (key == KEY_ESC_CODE)
        return term_decode_escape();
    int length = term_utf8_length(key);
    return length > 0 ? term_wide_char(key, length) : term_translate(key);
}

// term_decode from a key just read. When a resize came in the midst of what followed it, all
// that was taken goes back behind the resize, and KEY_NONE says that the resize comes first.
static int term_decode_taken(int key)
{
    taken[0] = key;
    taken_count = 1;
    resize_within = false;
    key = term_decode(key);
    if (!resize_within)
        return key;
    resize_within = false;
    while (taken_count > 0)
        io_unget(taken[--taken_count]);
    io_unget(IO_KEY_RESIZE);
    return KEY_NONE;
}

// A key that stands for the signals: KEY_REDRAW after a stop, else KEY_NONE. Never returns when
// a signal ended the editor.
static int term_signal_key() { return signals_act() ? KEY_REDRAW : KEY_NONE; }

int get_key()
{
    if (ahead_key != KEY_NONE) {
        int key = ahead_key;
        ahead_key = KEY_NONE;
        return key;
    }
    if (pending_key > 0) {
        int key = pending_key;
        pending_key = 0;
        return key;
    }
    for (;;) {
        if (int key = term_signal_key(); key != KEY_NONE)
            return key;
        int key = io_getch();
        if (key != IO_NO_KEY)
            key = term_decode_taken(key);
        if (key != KEY_NONE)
            return key;
    }
}

// Keys that arrived are decoded ahead, so that a mouse report, which is no key, is no reason to
// leave the screen undrawn. An Esc with nothing after it yet stays unread: whether it is alone
// is known only after a wait.
bool key_waiting()
{
    while (ahead_key == KEY_NONE && pending_key == 0) {
        int key = io_getch_nowait();
        if (key == IO_NO_KEY)
            return false;
        if (key == KEY_ESC_CODE && !term_more_waiting()) {
            io_unget(key);
            return true;
        }
        ahead_key = term_decode_taken(key);
    }
    return true;
}

int poll_key()
{
    if (int key = term_signal_key(); key != KEY_NONE)
        return key;
    int key = io_getch_nowait();
    if (key == IO_NO_KEY)
        return KEY_NONE;
    key = term_decode_taken(key);
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
