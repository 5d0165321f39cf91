// The least a curses program does to show a screen: start curses, fill 80x25 with text, show it,
// wait for a key, end. Tolm's start-up is timed against this one, the same way.
#include <curses.h>

int main()
{
    initscr();
    raw();
    noecho();
    for (int row = 0; row < 24; row++)
        for (int col = 0; col < 80; col++)
            mvaddch(row, col, static_cast<chtype>('0' + (row + col) % 10));
    mvaddstr(24, 0, "curses baseline ready");
    refresh();
    getch();
    endwin();
    return 0;
}
