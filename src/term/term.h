// The terminal layer: curses mode, keys in the PC key-code scheme, cells drawn in colour pairs
// made from PC attribute bytes. Nothing else in Tolm draws or reads keys.
#pragma once

#include <cstdint>

// Key codes returned by get_key besides plain characters 1-255 and curses codes passed through.
constexpr int KEY_TWO_PART = 0;  // first half of a two-part key; the next get_key gives the scan code
constexpr int KEY_BACKSPACE_CODE = 8;
constexpr int KEY_TAB_CODE = 9;
constexpr int KEY_ENTER_CODE = 13;
constexpr int KEY_ESC_CODE = 27;
constexpr int KEY_EXTENDED = 0x100;  // read_command ors this into the second half of a two-part key
constexpr int KEY_ALT_F = 0x121;
constexpr int KEY_ALT_H = 0x123;
constexpr int KEY_ALT_J = 0x124;
constexpr int KEY_ALT_S = 0x11F;
constexpr int KEY_ALT_U = 0x116;
// Not a key: the terminal changed size or came back from a stop. Whoever waits for a key measures
// the terminal again, draws everything anew and keeps waiting.
constexpr int KEY_REDRAW = 0x19A;
// What get_key makes of input that no PC key sends. Both lie above every curses key code, the
// terminal's own extended keys included, and their low bytes are no hexadecimal digit.
constexpr int KEY_UNKNOWN_SEQUENCE = 0x8000;  // a control sequence that curses does not know
constexpr int KEY_WIDE_CHAR = 0x8001;         // a character of several bytes: see last_wide_char
constexpr int KEY_NONE = -1;  // poll_key: nothing was typed

// Scan codes: the second halves of the two-part keys. read_command sees them or'ed with
// KEY_EXTENDED.
constexpr int SCAN_F1 = 0x3B;
constexpr int SCAN_HOME = 0x47;
constexpr int SCAN_UP = 0x48;
constexpr int SCAN_PAGE_UP = 0x49;
constexpr int SCAN_LEFT = 0x4B;
constexpr int SCAN_RIGHT = 0x4D;
constexpr int SCAN_END = 0x4F;
constexpr int SCAN_DOWN = 0x50;
constexpr int SCAN_PAGE_DOWN = 0x51;

// The layout's width: the first 80 columns of the terminal are drawn, and start-up refuses a
// narrower terminal.
constexpr int SCREEN_COLS = 80;

// Video attributes that show a colour pair's role on a terminal without colours; or'ed together.
constexpr int VIDEO_PLAIN = 0;
constexpr int VIDEO_REVERSE = 1;
constexpr int VIDEO_BOLD = 2;
constexpr int VIDEO_DIM = 4;  // shown only where the terminal can dim

// What term_init found of the terminal: usable, or why curses cannot use it.
constexpr int TERM_USABLE = 0;
constexpr int TERM_UNNAMED = 1;      // TERM is unset or empty
constexpr int TERM_UNKNOWN = 2;      // no terminal of that name is known
constexpr int TERM_UNADDRESSED = 3;  // the terminal cannot move its cursor

// Starts curses mode and forgets any half-read two-part key and any colour pair made before;
// catches the signals that end the editor (see get_key), the stop and the continue after it.
// Returns TERM_USABLE, or why the terminal cannot be used; curses mode then has not started.
int term_init();
// Ends curses mode.
void term_close();
// Screen size (-1 each without a screen) and colour capability (1 or 0).
void term_query(int32_t &cols, int32_t &rows, uint32_t &color);
// Screen size alone, as it is now.
void term_size(int32_t &cols, int32_t &rows);
// Blocks until a key arrives and returns its code in the PC key-code scheme, or KEY_REDRAW.
// Mouse reports are read whole and dropped. A control sequence that arrives at once (Esc, then
// [ or O and the rest already waiting) is one key: KEY_UNKNOWN_SEQUENCE when curses does not know
// it. Where the locale is UTF-8, a character of several bytes is one key, KEY_WIDE_CHAR.
// A signal that ends the editor takes effect here: curses mode ends, then the process.
[[nodiscard]] int get_key();
// Like get_key, but returns KEY_NONE at once when nothing was typed (or only a mouse report),
// and a key typed meanwhile is taken whole (a two-part key leaves no second half behind): for
// work that gives way to keys.
[[nodiscard]] int poll_key();
// True when a key has been typed and not read yet (more of a paste, or a fast typist), so that
// work for the eyes (drawing) can wait until the keys stop coming. Mouse reports are no keys:
// they are read and dropped here.
[[nodiscard]] bool key_waiting();
// A character of several bytes, as get_key read it.
constexpr int WIDE_CHAR_BYTES = 4;  // the most a character takes
struct wide_char {
    unsigned char bytes[WIDE_CHAR_BYTES];  // as the terminal sent them
    int count;                             // 2 to WIDE_CHAR_BYTES
    int32_t code;                          // its code point
};
// The character that get_key or poll_key returned last as KEY_WIDE_CHAR.
[[nodiscard]] wide_char last_wide_char();
// Holds the signals that end the editor, so that what runs until signals_release (a save) is
// never cut short; one that came meanwhile takes effect at the next key read.
void signals_hold();
void signals_release();
// Hide or show the terminal cursor, then refresh the terminal; the terminal is told only when
// the cursor's visibility changes.
void cursor_hide();
void cursor_show();
// Moves the drawing position (and so the terminal cursor).
void cursor_move(int row, int col);
// Draws one byte through the cell filter at the drawing position in the pair, then refreshes.
void put_char(int ch, int pair);
// Draws count bytes from (row, col), cell i in pairs[i], through the cell filter; cells past the
// screen's right edge are left out. No refresh.
void put_row(int row, int col, const char *text, const int32_t *pairs, int count);
// Clears the screen and paints the first 80 columns of every line in the pair. Nothing reaches
// the terminal before the next refresh: the first drawing shows the cleared screen with itself.
void screen_clear(int pair);
// Creates the next colour pair from a PC attribute byte and returns its number (1, 2, ...). On a
// terminal without colours the pair's cells are drawn in the video attributes given instead.
[[nodiscard]] int color_alloc(int attr, int video = VIDEO_PLAIN);
// The character a byte is drawn as: itself when printable ASCII (32-126), else '.'.
[[nodiscard]] char cell_char(unsigned char byte);
