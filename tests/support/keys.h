// Keys for the tests' scripts: codes curses delivers that get_key passes through unchanged, and
// which the editor must take for what they are (a few of them coincide with command codes).
#pragma once

#include "term/term_io.h"

constexpr int CURSES_F1 = 0411;
constexpr int CURSES_F12 = 0424;
constexpr int CURSES_DELETE = 0512;
constexpr int CURSES_INSERT = 0513;
constexpr int CURSES_SHIFT_DOWN = 0520;  // KEY_SF
constexpr int CURSES_SHIFT_UP = 0521;    // KEY_SR
constexpr int CURSES_BACK_TAB = 0541;
constexpr int CURSES_RESIZE = IO_KEY_RESIZE;
// Function key n.
constexpr int curses_f(int n) { return 0410 + n; }
