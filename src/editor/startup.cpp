// Start-up: curses mode, the command line, the colour scheme, opening the file (read-write,
// else silently read-only) and the cleared screen; refusals end curses mode and print why.
#include "editor/editor.h"

#include "file/file.h"
#include "term/term.h"

#include <cstdio>
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

constexpr int EXIT_USAGE = 1;
constexpr int EXIT_OPEN = 2;
constexpr int EXIT_WIDTH = 6;

}  // namespace

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
    term_init();
    term_query(st.cols, st.rows, st.color);
    if (!startup_parse_arguments(st, argc, argv)) {
        term_close();
        puts(BANNER);
        puts(COPYRIGHT);
        puts(USAGE);
        return EXIT_USAGE;
    }
    if (st.cols < SCREEN_COLS) {
        term_close();
        printf("Terminal's size detected as %dx%d. This program requires a 80 columns width.\n",
               st.cols, st.rows);
        return EXIT_WIDTH;
    }
    st.name = startup_base_name(st.path);
    startup_create_colors(st);
    int error_code = 0;
    if (!startup_open_file(st, error_code)) {
        term_close();
        printf("Error: Failed to open '%s' (code %d) -> %s\n", st.path, error_code,
               strerror(error_code));
        return EXIT_OPEN;
    }
    screen_clear(st.attr_background);
    return 0;
}
