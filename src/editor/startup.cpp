// Start-up: the standard descriptors, curses mode, the command line, the colour scheme, opening
// the file (read-write, else silently read-only) and the cleared screen; refusals end curses mode
// and print why.
#include "editor/editor.h"

#include "file/file.h"
#include "term/term.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct color_role {
    int32_t editor_state::*field;
    int color;  // PC attribute byte in the colour scheme
    int mono;   // and in the monochrome scheme
    int video;  // what stands in for either on a terminal without colours
};

constexpr color_role color_roles[] = {
    {&editor_state::attr_background, 0x10, 0x00, VIDEO_PLAIN},
    {&editor_state::attr_offset, 0x16, 0x07, VIDEO_PLAIN},
    {&editor_state::attr_normal, 0x17, 0x07, VIDEO_PLAIN},
    {&editor_state::attr_changed, 0x1E, 0x0F, VIDEO_BOLD},
    {&editor_state::attr_cursor, 0x6F, 0x70, VIDEO_REVERSE},
    {&editor_state::attr_cursor_changed, 0x3E, 0x7F, VIDEO_REVERSE | VIDEO_BOLD},
    {&editor_state::attr_past_end, 0x18, 0x08, VIDEO_DIM},
    {&editor_state::attr_status, 0x70, 0x70, VIDEO_REVERSE},
    {&editor_state::attr_message, 0x4E, 0x70, VIDEO_REVERSE | VIDEO_BOLD},
};

constexpr const char *BANNER =
    "Tolm v1.0.4\n"
    "\n"
    "Tolm is a small and fast, multiplatform hex editor. It supports large files,\n"
    "and runs on any 8086 compatible CPU.\n";
constexpr const char *COPYRIGHT =
    "Copyright (C) 2026 The Tolm authors. Distributed under the MIT license.\n";
constexpr const char *USAGE =
    "Usage: tolm file [-mono | -color] [-ro]\n"
    "\n"
    " where:\n"
    "  -mono   forces monochrome display mode\n"
    "  -color  forces color display mode\n"
    "  -ro     opens the file in read-only mode\n";

constexpr int STATUS_USAGE = 1;
constexpr int STATUS_OPEN = 2;
constexpr int STATUS_TERMINAL = 3;
constexpr int STATUS_WIDTH = 6;

}  // namespace

// Opens /dev/null on each of the descriptors 0, 1 and 2 that is closed. A file opened later takes
// the lowest free descriptor: the edited file would otherwise become standard output, and every
// drawing of the screen would be written into it.
static void startup_fill_standard_descriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
}

// Reads the switches and the one file name. Returns false for a bad command line.
static bool startup_parse_arguments(editor_state &st, int argc, char **argv)
{
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        if (arg[0] != '-') {
            if (st.path)
                return false;
            st.path = arg;
        } else if (strcmp(arg, "-mono") == 0) {
            st.color = 0;
        } else if (strcmp(arg, "-color") == 0) {
            st.color = 1;
        } else if (strcmp(arg, "-ro") == 0) {
            st.read_only = 1;
        } else {
            return false;
        }
    }
    return st.path != nullptr;
}

static const char *startup_base_name(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

// The length of the well-formed UTF-8 character of two to four bytes at s, or 0 when none
// starts there. The second byte's range leaves out overlong forms, surrogates and code points
// past U+10FFFF, which a lenient terminal might still read as a control.
static int startup_utf8_length(const unsigned char *s)
{
    int length = 0;
    if (s[0] >= 0xC2 && s[0] <= 0xDF)
        length = 2;
    else if (s[0] >= 0xE0 && s[0] <= 0xEF)
        length = 3;
    else if (s[0] >= 0xF0 && s[0] <= 0xF4)
        length = 4;
    unsigned char low = s[0] == 0xE0 ? 0xA0 : s[0] == 0xF0 ? 0x90 : 0x80;
    unsigned char high = s[0] == 0xED ? 0x9F : s[0] == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || s[1] < low || s[1] > high)
        return 0;
    for (int i = 2; i < length; i++)
        if (s[i] < 0x80 || s[i] > 0xBF)
            return 0;
    return length;
}

// Prints a file name on stdout as it is, but for the control characters in it, which the
// terminal would obey (an escape sequence can clear the screen, retitle the window or fill the
// clipboard): each of their bytes is printed as a backslash and three octal digits, \033 for
// Esc. Controls are the bytes 0x00-0x1F and 0x7F, the C1 bytes 0x80-0x9F outside a character
// of UTF-8, and the characters U+0080-U+009F in UTF-8; every other byte is printed unchanged.
static void startup_print_name(const char *name)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(name);
    while (*p) {
        int length = startup_utf8_length(p);
        bool control = length == 2 ? p[0] == 0xC2 && p[1] <= 0x9F
                                   : length == 0 && (p[0] < 0x20 || (p[0] >= 0x7F && p[0] <= 0x9F));
        length = std::max(length, 1);
        for (int i = 0; i < length; i++) {
            if (control)
                printf("\\%03o", p[i]);
            else
                putchar(p[i]);
        }
        p += length;
    }
}

// Says on stdout why the terminal that TERM names cannot be used (found is from term_init).
static void startup_print_terminal(int found)
{
    const char *name = getenv("TERM");
    if (found == TERM_UNNAMED || name == nullptr) {
        puts("This terminal cannot be used: TERM is not set.");
        return;
    }
    fputs("Terminal '", stdout);
    startup_print_name(name);
    puts(found == TERM_UNADDRESSED ? "' cannot be used: it has no cursor addressing."
                                   : "' cannot be used: its type is unknown.");
}

static void startup_create_colors(editor_state &st)
{
    for (const color_role &role : color_roles)
        st.*role.field = color_alloc(st.color ? role.color : role.mono, role.video);
}

// Opens read-write unless read-only was asked for, falling back to read-only without a word.
// Returns false when no attempt succeeded; error_code then holds the errno of the last one.
static bool startup_open_file(editor_state &st, int &error_code)
{
    int64_t length = file_open(st.path, st.read_only ? "rb" : "rb+", error_code);
    if (length < 0 && !st.read_only) {
        st.read_only = 1;
        length = file_open(st.path, "rb", error_code);
    }
    if (length < 0)
        return false;
    st.file_size = length;
    return true;
}

int editor_start(editor_state &st, int argc, char **argv)
{
    startup_fill_standard_descriptors();
    int found = term_init();
    term_query(st.cols, st.rows, st.color);
    if (!startup_parse_arguments(st, argc, argv)) {
        term_close();
        puts(BANNER);
        puts(COPYRIGHT);
        puts(USAGE);
        return STATUS_USAGE;
    }
    if (found != TERM_USABLE) {
        startup_print_terminal(found);
        return STATUS_TERMINAL;
    }
    if (st.cols < SCREEN_COLS) {
        term_close();
        printf("Terminal's size detected as %dx%d. This program requires a 80 columns width.\n",
               st.cols, st.rows);
        return STATUS_WIDTH;
    }
    st.name = startup_base_name(st.path);
    startup_create_colors(st);
    int error_code = 0;
    if (!startup_open_file(st, error_code)) {
        term_close();
        fputs("Error: Failed to open '", stdout);
        startup_print_name(st.path);
        printf("' (code %d) -> %s\n", error_code, strerror(error_code));
        return STATUS_OPEN;
    }
    screen_clear(st.attr_background);
    return 0;
}
