// The least a curses program does to show a screen: start curses, fill 80x25 with text, show it,
// wait for a key, end. Tolm's start-up is timed against this one, the same way.
// Given a count, it also reads that many keys (keypad on, as Tolm reads them) before it says so
// on the last line, drawing nothing in between: what a paste costs the terminal and curses alone.
#include <curses.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    long keys = argc > 1 ? strtol(argv[1], nullptr, 10) : 0;
    initscr();
    raw();
    noecho();
    keypad(stdscr, TRUE);
    for (int row = 0; row < 24; row++)
        for (int col = 0; col < 80; col++)
            mvaddch(row, col, static_cast<chtype>('0' + (row + col) % 10));
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
