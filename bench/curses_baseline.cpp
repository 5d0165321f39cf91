// The least a curses program does to show a screen: start curses, fill 80x25 with text, show it,
// wait for a key, end. Tolm's start-up is timed against this one, the same way.
//   bench_curses_baseline          plain text
//   bench_curses_baseline colour   Tolm's colours in Tolm's runs of cells: what the terminal
//                                  takes to show such a screen, whoever draws it
//   bench_curses_baseline KEYS     reads that many keys (keypad on, as Tolm reads them), drawing
//                                  nothing in between, then says so: what a paste costs the
//                                  terminal and curses alone
#include <curses.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// One file line as Tolm lays it out: frame, offset, sixteen hexadecimal cells and characters,
// with a byte in three past the end.
static void baseline_colour_row(int row)
{
    move(row, 0);
    attrset(COLOR_PAIR(2));
    addch('.');
    attrset(COLOR_PAIR(1));
    addstr("00000000");
    attrset(COLOR_PAIR(2));
    addstr(". ");
    for (int l = 0; l < 16; l++) {
        attrset(COLOR_PAIR(l % 3 == 0 ? 3 : 2));
        addstr("41");
        attrset(COLOR_PAIR(2));
        addstr(l == 7 ? "  " : " ");
    }
    addstr(". ");
    for (int l = 0; l < 16; l++) {
        attrset(COLOR_PAIR(l % 3 == 0 ? 3 : 2));
        addch('A');
    }
    attrset(COLOR_PAIR(2));
    addstr(" .");
}

static void baseline_colour_screen()
{
    start_color();
    use_default_colors();
    init_pair(1, COLOR_YELLOW, COLOR_BLUE);
    init_pair(2, COLOR_WHITE, COLOR_BLUE);
    init_pair(3, COLOR_BLACK, COLOR_BLUE);
    init_pair(4, COLOR_BLACK, COLOR_WHITE);
    for (int row = 0; row < 24; row++)
        baseline_colour_row(row);
    attrset(COLOR_PAIR(4));
}

int main(int argc, char **argv)
{
    bool colour = argc > 1 && strcmp(argv[1], "colour") == 0;
    long keys = argc > 1 && !colour ? strtol(argv[1], nullptr, 10) : 0;
    initscr();
    raw();
    noecho();
    keypad(stdscr, TRUE);
    if (colour) {
        baseline_colour_screen();
    } else {
        for (int row = 0; row < 24; row++)
            for (int col = 0; col < 80; col++)
                mvaddch(row, col, static_cast<chtype>('0' + (row + col) % 10));
    }
    mvaddstr(24, 0, "curses baseline ready");
    refresh();
    for (long read = 0; read < keys; read++)
        getch();
    if (keys > 0) {
        char done[64];
        snprintf(done, sizeof done, "curses baseline read %ld keys", keys);
        mvaddstr(24, 0, done);
        refresh();
    }
    getch();
    endwin();
    return 0;
}
