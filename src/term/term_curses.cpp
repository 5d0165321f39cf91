// The terminal primitives over curses: the only file of Tolm that talks to curses.
#include "term/term_io.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

static_assert(IO_NO_KEY == ERR);
static_assert(IO_KEY_DOWN == KEY_DOWN && IO_KEY_UP == KEY_UP);
static_assert(IO_KEY_LEFT == KEY_LEFT && IO_KEY_RIGHT == KEY_RIGHT);
static_assert(IO_KEY_HOME == KEY_HOME && IO_KEY_END == KEY_END);
static_assert(IO_KEY_NPAGE == KEY_NPAGE && IO_KEY_PPAGE == KEY_PPAGE);
static_assert(IO_KEY_BACKSPACE == KEY_BACKSPACE && IO_KEY_ENTER == KEY_ENTER);
static_assert(IO_KEY_MOUSE == KEY_MOUSE && IO_KEY_RESIZE == KEY_RESIZE);
static_assert(IO_COLOR_BLACK == COLOR_BLACK && IO_COLOR_RED == COLOR_RED);
static_assert(IO_COLOR_GREEN == COLOR_GREEN && IO_COLOR_YELLOW == COLOR_YELLOW);
static_assert(IO_COLOR_BLUE == COLOR_BLUE && IO_COLOR_MAGENTA == COLOR_MAGENTA);
static_assert(IO_COLOR_CYAN == COLOR_CYAN && IO_COLOR_WHITE == COLOR_WHITE);
static_assert(IO_ATTR_REVERSE == static_cast<int>(A_REVERSE) && IO_ATTR_DIM == static_cast<int>(A_DIM));
static_assert(IO_ATTR_BOLD == static_cast<int>(A_BOLD));

static WINDOW *screen;

constexpr int READ_TIMEOUT_MS = 100;

// xterm sends a letter typed with Alt as one byte with its high bit set, which Tolm would take for
// a character, unless asked to send Esc before the letter (its private mode 1036). The user's own
// setting is saved first and restored on every way out. Terminals whose TERM begins with "xterm"
// claim to understand xterm's sequences; any other is left alone.
constexpr char ALT_ESCAPE_ASK[] = "\033[?1036s\033[?1036h";
constexpr char ALT_ESCAPE_RESTORE[] = "\033[?1036r";

static bool alt_escape_understood;
static volatile sig_atomic_t alt_escape_asked;  // read by io_end, also in a fault's handler

// Writes a constant sequence straight to the terminal, past curses: one write, safe in a handler.
static void io_write_sequence(const char *sequence, size_t length)
{
    ssize_t written = write(STDOUT_FILENO, sequence, length);
    (void)written;  // a terminal that is gone needs no restoring
}

static void io_alt_escape_ask()
{
    if (!alt_escape_understood || alt_escape_asked)
        return;
    io_write_sequence(ALT_ESCAPE_ASK, sizeof ALT_ESCAPE_ASK - 1);
    alt_escape_asked = 1;
}

static void io_alt_escape_restore()
{
    if (!alt_escape_asked)
        return;
    alt_escape_asked = 0;
    io_write_sequence(ALT_ESCAPE_RESTORE, sizeof ALT_ESCAPE_RESTORE - 1);
}

// True when the terminal curses just took on can move its cursor to any cell.
static bool io_cursor_addressed()
{
    const char *move = tigetstr("cup");
    return move != nullptr && move != reinterpret_cast<char *>(-1);
}

// newterm, unlike initscr, answers a terminal it does not know instead of printing its own
// complaint and ending the process; one that cannot move its cursor is let go at once.
io_terminal io_init()
{
    screen = nullptr;
    alt_escape_understood = false;
    const char *name = getenv("TERM");
    if (name == nullptr || *name == '\0')
        return IO_TERMINAL_UNNAMED;
    SCREEN *terminal = newterm(name, stdout, stdin);
    if (terminal == nullptr)
        return IO_TERMINAL_UNKNOWN;
    if (!io_cursor_addressed()) {
        reset_shell_mode();
        delscreen(terminal);
        return IO_TERMINAL_UNADDRESSED;
    }
    screen = stdscr;
    start_color();
    // Cells Tolm never paints (from column 80 on) keep the terminal's own colours.
    use_default_colors();
    raw();
    noecho();
    keypad(stdscr, TRUE);
    wtimeout(stdscr, READ_TIMEOUT_MS);
    set_escdelay(50);
    nonl();
    alt_escape_understood = strncmp(name, "xterm", 5) == 0;
    io_alt_escape_ask();
    return IO_TERMINAL_USABLE;
}

// The Alt setting first: in a fault's handler, endwin may never return.
void io_end()
{
    io_alt_escape_restore();
    endwin();
}

void io_size(int &cols, int &rows)
{
    rows = screen ? getmaxy(screen) : -1;
    cols = screen ? getmaxx(screen) : -1;
}

bool io_has_colors() { return has_colors(); }

// True when no key can ever come again: the terminal hung up, or the input reached its end.
static bool io_input_gone()
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) != 1)
        return false;
    if (input.revents & (POLLHUP | POLLERR | POLLNVAL))
        return true;
    // Input that is readable right after a read found nothing is at its end; a terminal can
    // also have a key arrive just then, so only input that is no terminal counts.
    return (input.revents & POLLIN) && !isatty(STDIN_FILENO);
}

// A keyboard that has gone reads as Esc after Esc, so the editor quits as on a confirmed Esc
// and writes nothing, instead of waiting for keys that cannot come.
int io_getch()
{
    int key = wgetch(screen);
    if (key == ERR && io_input_gone())
        return 27;
    return key;
}

int io_getch_nowait()
{
    wtimeout(stdscr, 0);
    int key = wgetch(screen);
    wtimeout(stdscr, READ_TIMEOUT_MS);
    return key;
}

bool io_mouse_sgr()
{
    const char *mouse = tigetstr("kmous");
    return mouse && mouse != reinterpret_cast<const char *>(-1) && strcmp(mouse, "\033[<") == 0;
}

const char *io_locale()
{
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char *name = getenv(variable); name && *name)
            return name;
    return "";
}

void io_unget(int key) { ungetch(key); }

// Leaving curses mode and refreshing is how curses comes back from a shell escape: it sets the
// program's terminal modes, the keypad and the alternate screen again and repaints everything.
void io_resume()
{
    endwin();
    io_alt_escape_ask();
    wrefresh(stdscr);
}

bool io_move(int row, int col) { return wmove(stdscr, row, col) != ERR; }

void io_addch(char ch) { waddch(stdscr, static_cast<unsigned char>(ch)); }

void io_set_pair(int pair) { wattrset(stdscr, COLOR_PAIR(pair)); }

void io_set_attrs(int attrs) { wattrset(stdscr, attrs); }

void io_clear() { wclear(stdscr); }

void io_cursor(bool visible) { curs_set(visible ? 1 : 0); }

void io_refresh() { wrefresh(stdscr); }

void io_init_pair(int pair, short fg, short bg) { init_pair(static_cast<short>(pair), fg, bg); }
