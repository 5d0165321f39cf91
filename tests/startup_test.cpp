// Start-up through the in-memory terminal: the command line, the terminal width, the colour
// scheme and opening the file, with what is printed on refusal.
#include "editor/editor.h"
#include "file/file.h"
#include "support/fake_term.h"
#include "support/temp_file.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct start_result {
    int status;
    std::string printed;
    editor_state st;
};

// Runs start-up with these arguments after the program name on a terminal of the given size,
// which curses finds as given.
start_result start(std::vector<std::string> args, int cols = 80, int rows = 25, bool colors = true,
                   io_terminal found = IO_TERMINAL_USABLE)
{
    fake_term_reset(rows, cols, colors);
    fake_terminal_found(found);
    std::vector<char *> argv = {const_cast<char *>("tolm")};
    for (std::string &arg : args)
        argv.push_back(arg.data());
    start_result r{};
    testing::internal::CaptureStdout();
    r.status = editor_start(r.st, static_cast<int>(argv.size()), argv.data());
    r.printed = testing::internal::GetCapturedStdout();
    if (r.status == 0)
        file_close();
    // The arguments die with this call; nothing after start-up may look at them.
    r.st.path = r.st.name = nullptr;
    return r;
}

const std::string USAGE_TEXT =
    "Tolm v1.0.4\n\n"
    "Tolm is a small and fast, multiplatform hex editor. It supports large files,\n"
    "and runs on any 8086 compatible CPU.\n\n"
    "Copyright (C) 2026 The Tolm authors. Distributed under the MIT license.\n\n"
    "Usage: tolm file [-mono | -color] [-ro]\n\n"
    " where:\n"
    "  -mono   forces monochrome display mode\n"
    "  -color  forces color display mode\n"
    "  -ro     opens the file in read-only mode\n\n";

}  // namespace

TEST(Startup, BadCommandLinesPrintTheUsageAfterCursesEnds)
{
    temp_file file(pattern_bytes(10));
    const std::string &f = file.path;
    const std::vector<std::vector<std::string>> bad = {
        {}, {"-ro"}, {f, f}, {f, "-rox"}, {f, "-Mono"}, {f, "--ro"}, {f, "-"}, {"-color", "-x", f},
    };
    for (const auto &args : bad) {
        start_result r = start(args);
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        EXPECT_EQ(r.printed, USAGE_TEXT) << testing::PrintToString(args);
        EXPECT_FALSE(fake_curses_active());
    }
}

TEST(Startup, SwitchesChooseSchemeAndModeTheLastOneWinning)
{
    temp_file file(pattern_bytes(10));
    const std::string &f = file.path;
    const struct {
        std::vector<std::string> args;
        bool terminal_colors;
        uint32_t color;
        uint32_t read_only;
    } cases[] = {
        {{f}, true, 1, 0},
        {{f}, false, 0, 0},
        {{f, "-mono"}, true, 0, 0},
        {{"-color", f}, false, 1, 0},
        {{"-mono", "-color", f}, false, 1, 0},
        {{"-color", "-mono", f}, true, 0, 0},
        {{"-ro", f}, true, 1, 1},
        {{f, "-ro"}, true, 1, 1},
    };
    for (const auto &c : cases) {
        start_result r = start(c.args, 80, 25, c.terminal_colors);
        ASSERT_EQ(r.status, 0) << testing::PrintToString(c.args);
        EXPECT_EQ(r.printed, "");
        EXPECT_EQ(r.st.color, c.color) << testing::PrintToString(c.args);
        EXPECT_EQ(r.st.read_only, c.read_only) << testing::PrintToString(c.args);
        EXPECT_EQ(r.st.file_size, 10);
    }
}

TEST(Startup, ColourSchemesCreateTheNineRolePairsInOrder)
{
    temp_file file(pattern_bytes(10));
    const short K = IO_COLOR_BLACK, B = IO_COLOR_BLUE, Y = IO_COLOR_YELLOW, W = IO_COLOR_WHITE,
                C = IO_COLOR_CYAN, R = IO_COLOR_RED;
    const std::vector<fake_pair_def> colour = {{1, K, B}, {2, Y, B}, {3, W, B}, {4, Y, B}, {5, W, Y},
                                               {6, Y, C}, {7, K, B}, {8, K, W}, {9, Y, R}};
    const std::vector<fake_pair_def> mono = {{1, K, K}, {2, W, K}, {3, W, K}, {4, W, K}, {5, K, W},
                                             {6, W, W}, {7, K, K}, {8, K, W}, {9, K, W}};
    start_result r = start({file.path, "-color"});
    EXPECT_EQ(fake_pairs_defined(), colour);
    const int32_t roles[] = {r.st.attr_background, r.st.attr_offset,   r.st.attr_normal,
                             r.st.attr_changed,    r.st.attr_cursor,   r.st.attr_cursor_changed,
                             r.st.attr_past_end,   r.st.attr_status,   r.st.attr_message};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(roles[i], i + 1);
    start({file.path, "-mono"});
    EXPECT_EQ(fake_pairs_defined(), mono);
}

TEST(Startup, OpenedScreenIsClearedInTheBackgroundColourUpToColumnEighty)
{
    temp_file file(pattern_bytes(10));
    start_result r = start({file.path}, 100, 5);
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(fake_curses_active());
    for (int row = 0; row < 5; row++) {
        std::vector<int> pairs = fake_pair_row(row);
        EXPECT_EQ(std::vector<int>(pairs.begin(), pairs.begin() + 80), std::vector<int>(80, 1));
        EXPECT_EQ(std::vector<int>(pairs.begin() + 80, pairs.end()), std::vector<int>(20, 0));
    }
}

TEST(Startup, TerminalWidthIsJudgedAfterTheCommandLine)
{
    temp_file file(pattern_bytes(10));
    start_result narrow = start({file.path}, 79, 30);
    EXPECT_EQ(narrow.status, 6);
    EXPECT_EQ(narrow.printed, "Terminal's size detected as 79x30. This program requires a 80 columns width.\n");
    EXPECT_FALSE(fake_curses_active());
    EXPECT_EQ(start({file.path, "-bad"}, 40, 10).status, 1);
    EXPECT_EQ(start({file.path}, 80, 2).status, 0);
}

// A name is printed as given but for its control characters, which would drive the terminal:
// their bytes show as octal escapes, whether they are C0, DEL or C1 bytes or C1 characters in
// UTF-8. Other characters of UTF-8 (whose bytes may lie in the C1 range too) and bytes that
// form no character are printed unchanged.
TEST(Startup, FilesThatCannotBeOpenedPrintTheSystemErrorAndTheNameWithControlsEscaped)
{
    temp_file file(pattern_bytes(10));
    const std::string missing = "' (code 2) -> No such file or directory\n";
    const std::string opening = "Error: Failed to open '" + file.dir;
    const struct {
        std::vector<std::string> args;
        std::string printed;
    } cases[] = {
        {{file.dir + "/none"}, "Error: Failed to open '" + file.dir + "/none' (code 2) -> No such file or directory\n"},
        {{file.dir + "/nofile\033]2;PWNED\007\033[2J"}, opening + "/nofile\\033]2;PWNED\\007\\033[2J" + missing},
        {{file.dir + "/tab\there\nDEL\x7F"}, opening + "/tab\\011here\\012DEL\\177" + missing},
        {{file.dir + "/caf\xC3\xA9\xC2\xA0\xC4\x85\xC2\x85\xC2\x9B\xF4\x8F\xBF\xBF"},
         opening + "/caf\xC3\xA9\xC2\xA0\xC4\x85\\302\\205\\302\\233\xF4\x8F\xBF\xBF" + missing},
        {{file.dir + "/\x9B" "31m\xE0\x82\x85\xC0\x9B\xED\xA0\x80\xFF\xC2"},
         opening + "/\\233" "31m\xE0\\202\\205\xC0\\233\xED\xA0\\200\xFF\xC2" + missing},
        {{""}, "Error: Failed to open '' (code 2) -> No such file or directory\n"},
        {{file.dir}, "Error: Failed to open '" + file.dir + "' (code 21) -> Is a directory\n"},
        {{file.dir, "-ro"}, "Error: Failed to open '" + file.dir + "' (code 21) -> Is a directory\n"},
    };
    for (const auto &c : cases) {
        start_result r = start(c.args);
        EXPECT_EQ(r.status, 2) << c.printed;
        EXPECT_EQ(r.printed, c.printed);
        EXPECT_FALSE(fake_curses_active());
    }
}

TEST(Startup, AnUnwritableFileOpensReadOnlyWithoutNotice)
{
    temp_file file(pattern_bytes(10));
    chmod(file.path.c_str(), 0444);
    // Permission bits do not stop root; an immutable file does.
    bool immutable = geteuid() == 0 && system(("chattr +i '" + file.path + "' 2>/dev/null").c_str()) == 0;
    if (geteuid() == 0 && !immutable) {
        GTEST_SKIP() << "cannot make a file unwritable for root here";
    }
    start_result r = start({file.path});
    if (immutable) {
        EXPECT_EQ(system(("chattr -i '" + file.path + "'").c_str()), 0);
    }
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.printed, "");
    EXPECT_EQ(r.st.read_only, 1u);
}

TEST(Startup, TheDisplayedNameFollowsTheLastSlashOrBackslash)
{
    temp_file file(pattern_bytes(3), "b\\c");
    std::string path = file.path;
    std::vector<char *> argv = {const_cast<char *>("tolm"), path.data()};
    fake_term_reset(25, 80);
    editor_state st{};
    ASSERT_EQ(editor_start(st, 2, argv.data()), 0);
    EXPECT_STREQ(st.name, "c");
    file_close();
}

// A terminal curses cannot use is refused before the screen starts, naming TERM as file names are
// named, controls escaped; a bad command line is still told as such first.
TEST(Startup, UnusableTerminalsAreRefusedByNameAfterTheCommandLine)
{
    temp_file file(pattern_bytes(10));
    const std::string &f = file.path;
    const struct {
        io_terminal found;
        const char *term;  // unset when null
        std::vector<std::string> args;
        int status;
        std::string printed;
    } cases[] = {
        {IO_TERMINAL_UNADDRESSED, "dumb", {f}, 3, "Terminal 'dumb' cannot be used: it has no cursor addressing.\n"},
        {IO_TERMINAL_UNKNOWN, "x\033]2;PWNED\007", {f, "-ro"}, 3,
         "Terminal 'x\\033]2;PWNED\\007' cannot be used: its type is unknown.\n"},
        {IO_TERMINAL_UNNAMED, nullptr, {f}, 3, "This terminal cannot be used: TERM is not set.\n"},
        {IO_TERMINAL_UNADDRESSED, "dumb", {f, "-x"}, 1, USAGE_TEXT},
    };
    const char *user_term = getenv("TERM");
    const std::string kept = user_term ? user_term : "";
    for (const auto &c : cases) {
        if (c.term)
            setenv("TERM", c.term, 1);
        else
            unsetenv("TERM");
        start_result r = start(c.args, 80, 25, true, c.found);
        EXPECT_EQ(r.status, c.status) << c.printed;
        EXPECT_EQ(r.printed, c.printed);
        EXPECT_FALSE(fake_curses_active());
    }
    if (user_term)
        setenv("TERM", kept.c_str(), 1);
    else
        unsetenv("TERM");
}

// Closed standard descriptors are opened on /dev/null before the file, which would otherwise take
// the lowest one (standard output is closed in the end-to-end cases, where curses draws on it).
TEST(Startup, ClosedStandardDescriptorsAreFilledBeforeTheFileIsOpened)
{
    temp_file file(pattern_bytes(10));
    struct stat null_device {};
    ASSERT_EQ(stat("/dev/null", &null_device), 0);
    for (int fd : {STDIN_FILENO, STDERR_FILENO}) {
        // Started without capturing stdout, whose capture would open a file of its own first.
        std::vector<char *> argv = {const_cast<char *>("tolm"), file.path.data()};
        fake_term_reset(25, 80);
        int saved = dup(fd);
        close(fd);
        editor_state st{};
        int status = editor_start(st, 2, argv.data());
        file_close();
        struct stat now {};
        bool on_null = fstat(fd, &now) == 0 && S_ISCHR(now.st_mode) && now.st_rdev == null_device.st_rdev;
        dup2(saved, fd);
        close(saved);
        EXPECT_EQ(status, 0) << fd;
        EXPECT_TRUE(on_null) << fd;
    }
}
