// The in-memory terminal that tests link in place of curses: a grid of (character, pair) cells,
// a cursor, a queue of scripted keys and the colour pairs defined. These calls set and read it.
#pragma once

#include "term/term_io.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

struct fake_pair_def {
    int pair;
    short fg;
    short bg;
    bool operator==(const fake_pair_def &) const = default;
};

// A fresh terminal of the given size with no keys queued and nothing drawn.
void fake_term_reset(int rows, int cols, bool colors = true);
// What io_init finds of the terminal from now on; a usable one until the next reset.
void fake_terminal_found(io_terminal found);
// Queues raw keys as curses would deliver them (IO_NO_KEY stands for a read that timed out).
void fake_keys(std::initializer_list<int> keys);
void fake_keys(const std::vector<int> &keys);
// Queues keys that the terminal sends at once, as an escape sequence's bytes or a character's:
// each key after the first has arrived already when the one before it is read.
void fake_keys_at_once(const std::vector<int> &keys);
// Queues each character of text as a key.
void fake_type(std::string_view text);
// Queues an Esc pressed alone: the key, then nothing within the read timeout.
void fake_esc();
// Queues a change of the terminal's size to rows x cols, which takes effect when it is read, as
// the resize key curses then delivers.
void fake_resize(int rows, int cols);
// With on, queued keys count as typed already (a paste): reads that do not wait see them too.
void fake_type_ahead(bool on);
// Queued keys count as typed ahead from ms milliseconds on, as keys typed during a long search.
void fake_type_ahead_in(int ms);
// The locale the terminal's keys are encoded in, as the environment names it ("" at reset).
void fake_locale(const char *name);
// Whether curses knows the mouse key as the SGR form's introducer (false at reset: the X10 form).
void fake_mouse_sgr(bool sgr);
// Keys still queued.
[[nodiscard]] size_t fake_keys_left();
// Called once when a script runs out of keys: unit tests count it as a failure, the fuzzer as
// the natural end of its input.
void fake_out_of_keys();
// True when nothing was ever drawn from first_col on, on any line.
[[nodiscard]] bool fake_untouched_from(int first_col);
// True when something was drawn off the screen or past the end of its line (where curses would
// have put it on the wrong line or cell).
[[nodiscard]] bool fake_drawn_astray();
// How often curses mode was set up again after a stop.
[[nodiscard]] int fake_resume_count();

[[nodiscard]] std::string fake_text_row(int row);
[[nodiscard]] std::vector<int> fake_pair_row(int row);
[[nodiscard]] std::vector<int> fake_attrs_row(int row);
[[nodiscard]] int fake_cursor_row();
[[nodiscard]] int fake_cursor_col();
[[nodiscard]] bool fake_cursor_visible();
[[nodiscard]] bool fake_curses_active();
[[nodiscard]] int fake_refresh_count();
[[nodiscard]] int fake_pair_set_count();
[[nodiscard]] const std::vector<fake_pair_def> &fake_pairs_defined();
