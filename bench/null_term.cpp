// A terminal that draws nowhere and whose keyboard presses Down and Up by turns, so that
// benchmarks time the editor's own work on its per-key path.
#include "term/term_io.h"

void io_init() {}
void io_end() {}
void io_size(int &rows, int &cols)
{
    rows = 25;
    cols = 80;
}
bool io_has_colors() { return true; }
int io_getch()
{
    static bool down;
    down = !down;
    return down ? IO_KEY_DOWN : IO_KEY_UP;
}
bool io_move(int, int) { return true; }
void io_addch(char) {}
void io_set_pair(int) {}
void io_clear() {}
void io_cursor(bool) {}
void io_refresh() {}
void io_init_pair(int, short, short) {}
