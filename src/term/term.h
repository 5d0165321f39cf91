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

// Video attributes that show a colour pair's role on a terminal without colours; or'ed together.
constexpr int VIDEO_PLAIN = 0;
constexpr int VIDEO_REVERSE = 1;
constexpr int VIDEO_BOLD = 2;
constexpr int VIDEO_DIM = 4;  // shown only where the terminal can dim

// Starts curses mode and forgets any half-read two-part key and any colour pair made before.
void term_init();
// Ends curses mode.
void term_close();
// Screen size (-1 each without a screen) and colour capability (1 or 0).
void term_query(int32_t &cols, int32_t &rows, uint32_t &color);
// Blocks until a key arrives and returns its code in the PC key-code scheme.
[[nodiscard]] int get_key();
// Hide or show the terminal cursor; both refresh the terminal.
void cursor_hide();
void cursor_show();
// Moves the drawing position (and so the terminal cursor).
void cursor_move(int row, int col);
// Draws one byte through the cell filter at the drawing position in the pair, then refreshes.
void put_char(int ch, int pair);
// Draws count bytes from (row, col), cell i in pairs[i], through the cell filter. No refresh.
void put_row(int row, int col, const char *text, const int32_t *pairs, int count);
// Clears the screen and paints the first 80 columns of every line in the pair; refreshes.
void screen_clear(int pair);
// Creates the next colour pair from a PC attribute byte and returns its number (1, 2, ...). On a
// terminal without colours the pair's cells are drawn in the video attributes given instead.
[[nodiscard]] int color_alloc(int attr, int video = VIDEO_PLAIN);
// The character a byte is drawn as: itself when printable ASCII (32-126), else '.'.
[[nodiscard]] char cell_char(unsigned char byte);
