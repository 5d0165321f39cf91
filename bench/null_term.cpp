// A terminal that draws nowhere, so that benchmarks time the editor's own work on its per-key
// path. Its keyboard presses the key set by bench_keyboard a number of times, then Esc alone.
#include "bench_support.h"

#include "term/term_io.h"

static int key_to_press = IO_KEY_NPAGE;
static int64_t presses_left;
static bool escape_pending = true;  // Esc, then no key: a lone Esc, again and again

void bench_keyboard(int key, int64_t presses)
{
    key_to_press = key;
    presses_left = presses;
    escape_pending = true;
}

io_terminal io_init() { return IO_TERMINAL_USABLE; }
void io_end() {}
void io_size(int &cols, int &rows)
{
    rows = 25;
    cols = 80;
}
bool io_has_colors() { return true; }
int io_getch()
{
    if (presses_left > 0) {
        presses_left--;
        return key_to_press;
    }
    escape_pending = !escape_pending;
    return escape_pending ? IO_NO_KEY : 27;
}
int io_getch_nowait() { return IO_NO_KEY; }
bool io_mouse_sgr() { return false; }
const char *io_locale() { return ""; }
void io_unget(int) {}
void io_resume() {}
bool io_move(int, int) { return true; }
void io_addch(char) {}
void io_set_pair(int) {}
void io_set_attrs(int) {}
void io_clear() {}
void io_cursor(bool) {}
void io_refresh() {}
void io_init_pair(int, short, short) {}
