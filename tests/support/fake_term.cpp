// The in-memory terminal: the terminal primitives over a grid of cells. When a script runs out
// of keys it says so once and then types Esc forever, so a broken test ends instead of hanging.
#include "support/fake_term.h"

#include "term/term_io.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <string>
#include <utility>

namespace {

struct fake_cell {
    char ch = ' ';
    int pair = 0;
    int attrs = 0;  // video attributes (IO_ATTR_*), drawn in place of a pair without colours
};

// A queued key, or a change of the terminal's size that curses reports as a resize key.
struct fake_key {
    int key;
    int rows = 0;  // > 0 for a resize to rows x cols
    int cols = 0;
    bool at_once = false;  // arrived with the key before it: a read that does not wait sees it
};

struct fake_terminal {
    int rows = 25;
    int cols = 80;
    bool colors = true;
    io_terminal found = IO_TERMINAL_USABLE;
    bool active = false;
    bool cursor_visible = true;
    int row = 0;
    int col = 0;
    int pair = 0;
    int attrs = 0;
    int refreshes = 0;
    int pair_sets = 0;
    bool out_of_keys_reported = false;
    bool timeout_next = false;  // out of keys: Esc and a timed-out read take turns
    bool type_ahead = false;    // queued keys count as typed already, for reads that do not wait
    std::chrono::steady_clock::time_point typed_at;  // ... from this time on
    bool position_lost = false; // the last move failed, or a line was filled and wrapped
    bool astray = false;        // something was drawn where position_lost
    int resumes = 0;
    std::string locale;
    bool mouse_sgr = false;
    std::vector<fake_cell> cells = std::vector<fake_cell>(25 * 80);
    std::deque<fake_key> keys;
    std::vector<fake_pair_def> pairs;
};

}  // namespace

static fake_terminal term;

static fake_cell &fake_at(int row, int col) { return term.cells[static_cast<size_t>(row * term.cols + col)]; }

void fake_term_reset(int rows, int cols, bool colors)
{
    term = fake_terminal{};
    term.rows = rows;
    term.cols = cols;
    term.colors = colors;
    term.cells.assign(static_cast<size_t>(rows > 0 ? rows * cols : 0), fake_cell{});
}

void fake_terminal_found(io_terminal found) { term.found = found; }

void fake_keys(std::initializer_list<int> keys)
{
    for (int key : keys)
        term.keys.push_back({key});
}

void fake_keys(const std::vector<int> &keys)
{
    for (int key : keys)
        term.keys.push_back({key});
}

void fake_keys_at_once(const std::vector<int> &keys)
{
    for (size_t i = 0; i < keys.size(); i++)
        term.keys.push_back({keys[i], 0, 0, i > 0});
}

void fake_locale(const char *name) { term.locale = name; }

void fake_mouse_sgr(bool sgr) { term.mouse_sgr = sgr; }

void fake_type(std::string_view text)
{
    for (char ch : text)
        term.keys.push_back({static_cast<unsigned char>(ch)});
}

void fake_resize(int rows, int cols) { term.keys.push_back({IO_KEY_RESIZE, rows, cols}); }

void fake_type_ahead(bool on)
{
    term.type_ahead = on;
    term.typed_at = {};
}

void fake_type_ahead_in(int ms)
{
    term.type_ahead = true;
    term.typed_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

// Like curses, the cells that still fit keep what they showed.
static void fake_apply_size(int rows, int cols)
{
    std::vector<fake_cell> cells(static_cast<size_t>(rows * cols));
    for (int row = 0; row < std::min(rows, term.rows); row++)
        for (int col = 0; col < std::min(cols, term.cols); col++)
            cells[static_cast<size_t>(row * cols + col)] = fake_at(row, col);
    term.cells = std::move(cells);
    term.rows = rows;
    term.cols = cols;
    term.row = std::min(term.row, rows - 1);
    term.col = std::min(term.col, cols - 1);
}

void fake_esc() { fake_keys({27, IO_NO_KEY}); }

size_t fake_keys_left() { return term.keys.size(); }

bool fake_untouched_from(int first_col)
{
    for (int row = 0; row < term.rows; row++)
        for (int col = first_col; col < term.cols; col++) {
            const fake_cell &cell = fake_at(row, col);
            if (cell.ch != ' ' || cell.pair != 0 || cell.attrs != 0)
                return false;
        }
    return true;
}


std::string fake_text_row(int row)
{
    std::string text;
    for (int col = 0; col < term.cols; col++)
        text += fake_at(row, col).ch;
    return text;
}

std::vector<int> fake_pair_row(int row)
{
    std::vector<int> pairs;
    for (int col = 0; col < term.cols; col++)
        pairs.push_back(fake_at(row, col).pair);
    return pairs;
}

bool fake_drawn_astray() { return term.astray; }
int fake_resume_count() { return term.resumes; }

std::vector<int> fake_attrs_row(int row)
{
    std::vector<int> attrs;
    for (int col = 0; col < term.cols; col++)
        attrs.push_back(fake_at(row, col).attrs);
    return attrs;
}

int fake_cursor_row() { return term.row; }
int fake_cursor_col() { return term.col; }
bool fake_cursor_visible() { return term.cursor_visible; }
bool fake_curses_active() { return term.active; }
int fake_refresh_count() { return term.refreshes; }
int fake_pair_set_count() { return term.pair_sets; }
const std::vector<fake_pair_def> &fake_pairs_defined() { return term.pairs; }

io_terminal io_init()
{
    term.active = term.found == IO_TERMINAL_USABLE;
    return term.found;
}

void io_end() { term.active = false; }

void io_size(int &cols, int &rows)
{
    rows = term.rows;
    cols = term.cols;
}

bool io_has_colors() { return term.colors; }

static int fake_pop_key()
{
    fake_key next = term.keys.front();
    term.keys.pop_front();
    if (next.rows > 0)
        fake_apply_size(next.rows, next.cols);
    return next.key;
}

int io_getch()
{
    if (!term.keys.empty())
        return fake_pop_key();
    if (!term.out_of_keys_reported)
        fake_out_of_keys();
    term.out_of_keys_reported = true;
    term.timeout_next = !term.timeout_next;
    return term.timeout_next ? 27 : IO_NO_KEY;
}

// A queued read that timed out stands for a pause, which a read that does not wait never ends.
int io_getch_nowait()
{
    if (term.keys.empty() || term.keys.front().key == IO_NO_KEY)
        return IO_NO_KEY;
    bool typed = term.type_ahead && std::chrono::steady_clock::now() >= term.typed_at;
    return typed || term.keys.front().at_once ? fake_pop_key() : IO_NO_KEY;
}

bool io_mouse_sgr() { return term.mouse_sgr; }

const char *io_locale() { return term.locale.c_str(); }

void io_unget(int key) { term.keys.push_front({key, 0, 0, true}); }

void io_resume() { term.resumes++; }

bool io_move(int row, int col)
{
    term.position_lost = row < 0 || row >= term.rows || col < 0 || col >= term.cols;
    if (term.position_lost)
        return false;
    term.row = row;
    term.col = col;
    return true;
}

// Like curses, a character drawn in the last column wraps the position to the next line; what
// is drawn there without a move first has run off its own line.
void io_addch(char ch)
{
    if (term.position_lost) {
        term.astray = true;
        return;
    }
    if (term.row < 0 || term.row >= term.rows || term.col >= term.cols)
        return;
    fake_at(term.row, term.col) = fake_cell{ch, term.pair, term.attrs};
    if (++term.col == term.cols) {
        term.position_lost = true;
        if (term.row + 1 < term.rows) {
            term.col = 0;
            term.row++;
        }
    }
}

// As in curses, a pair replaces the video attributes and video attributes replace the pair.
void io_set_pair(int pair)
{
    term.pair = pair;
    term.attrs = 0;
    term.pair_sets++;
}

void io_set_attrs(int attrs)
{
    term.attrs = attrs;
    term.pair = 0;
}

void io_clear()
{
    term.cells.assign(term.cells.size(), fake_cell{});
}

void io_cursor(bool visible) { term.cursor_visible = visible; }

void io_refresh() { term.refreshes++; }

void io_init_pair(int pair, short fg, short bg) { term.pairs.push_back({pair, fg, bg}); }
