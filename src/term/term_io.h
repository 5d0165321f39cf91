// The dozen screen and keyboard primitives the terminal layer stands on. term_curses.cpp
// implements them over curses for the real program; tests link an in-memory terminal instead.
#pragma once

// Key numbers of the curses keypad that the terminal layer translates or filters.
// term_curses.cpp checks them against curses itself.
constexpr int IO_NO_KEY = -1;
constexpr int IO_KEY_DOWN = 0402;
constexpr int IO_KEY_UP = 0403;
constexpr int IO_KEY_LEFT = 0404;
constexpr int IO_KEY_RIGHT = 0405;
constexpr int IO_KEY_HOME = 0406;
constexpr int IO_KEY_BACKSPACE = 0407;
constexpr int IO_KEY_NPAGE = 0522;
constexpr int IO_KEY_PPAGE = 0523;
constexpr int IO_KEY_ENTER = 0527;
constexpr int IO_KEY_END = 0550;
constexpr int IO_KEY_MOUSE = 0631;
constexpr int IO_KEY_RESIZE = 0632;  // the terminal changed size; the screen size is already the new one

// Curses colour numbers, in the order curses gives them.
constexpr short IO_COLOR_BLACK = 0;
constexpr short IO_COLOR_RED = 1;
constexpr short IO_COLOR_GREEN = 2;
constexpr short IO_COLOR_YELLOW = 3;
constexpr short IO_COLOR_BLUE = 4;
constexpr short IO_COLOR_MAGENTA = 5;
constexpr short IO_COLOR_CYAN = 6;
constexpr short IO_COLOR_WHITE = 7;

// Curses video attributes, which stand in for colours on a terminal without them.
// term_curses.cpp checks them against curses itself.
constexpr int IO_ATTR_REVERSE = 1 << 18;
constexpr int IO_ATTR_DIM = 1 << 20;
constexpr int IO_ATTR_BOLD = 1 << 21;

// What io_init found of the terminal that TERM names. Only a usable one is put in curses mode.
enum io_terminal {
    IO_TERMINAL_USABLE,
    IO_TERMINAL_UNNAMED,      // TERM is unset or empty
    IO_TERMINAL_UNKNOWN,      // the terminal database has no such terminal, or curses refused it
    IO_TERMINAL_UNADDRESSED,  // the terminal cannot move its cursor (dumb)
};

// Starts curses mode: raw keys without echo, keypad translation, 100 ms key reads, 50 ms Esc delay;
// asks a terminal of xterm's family to send Esc before a key typed with Alt. A terminal that cannot
// be used is left as it was. Returns what it found.
[[nodiscard]] io_terminal io_init();
// Ends curses mode and gives the terminal back the Alt setting it had. Safe in a signal handler
// as far as the Alt setting goes (one write).
void io_end();
// Sets cols and rows to the screen's size; both -1 when there is no screen.
void io_size(int &cols, int &rows);
// True when the terminal can show colours.
[[nodiscard]] bool io_has_colors();
// Next key from the keyboard, or IO_NO_KEY when none came within the read timeout.
[[nodiscard]] int io_getch();
// Next key if one has already arrived, else IO_NO_KEY at once.
[[nodiscard]] int io_getch_nowait();
// True when curses reports a mouse key for the introducer of the SGR form (Esc [ <), whose
// report runs on to M or m; otherwise three bytes of the X10 form follow the mouse key.
[[nodiscard]] bool io_mouse_sgr();
// The name of the locale that says how characters are encoded: LC_ALL, else LC_CTYPE, else
// LANG, the first that is set and not empty; "" when none is.
[[nodiscard]] const char *io_locale();
// Puts a key back, to be the next one read; it counts as arrived already.
void io_unget(int key);
// Sets curses mode up again after the process was stopped and continued (the shell may have put
// the terminal back into line mode meanwhile), and the Alt setting if io_end gave it back; the next
// refresh repaints the whole screen.
void io_resume();
// Moves the drawing position. Returns false when the position is off the screen.
bool io_move(int row, int col);
// Draws one character at the drawing position and advances it.
void io_addch(char ch);
// Makes the colour pair the attribute of what is drawn next.
void io_set_pair(int pair);
// Makes these video attributes (IO_ATTR_* or'ed, no colour pair) those of what is drawn next.
void io_set_attrs(int attrs);
// Clears the whole screen.
void io_clear();
// Shows (true) or hides (false) the terminal cursor.
void io_cursor(bool visible);
// Sends what was drawn to the terminal.
void io_refresh();
// Defines a colour pair.
void io_init_pair(int pair, short fg, short bg);
