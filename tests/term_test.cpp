// The terminal layer through the in-memory terminal: keys, cells, colour runs, pairs.
#include "support/fake_term.h"
#include "term/signals.h"
#include "term/term.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <vector>

namespace {

struct key_case {
    const char *what;
    std::vector<int> raw;       // what curses delivers
    std::vector<int> expected;  // what get_key returns, call after call
    bool at_once = false;       // the terminal sent raw at once (IO_NO_KEY: a pause), not a typist
    const char *locale = "";
    bool mouse_sgr = false;     // curses knows the SGR form's introducer as the mouse key
};

constexpr int UNKNOWN = KEY_UNKNOWN_SEQUENCE;
constexpr int WIDE = KEY_WIDE_CHAR;
constexpr bool AT_ONCE = true;
constexpr bool BY_HAND = false;

}  // namespace

TEST(GetKey, TranslatesCursesKeysIntoThePcScheme)
{
    const key_case cases[] = {
        {"plain letter", {'a'}, {'a'}},
        {"Ctrl+C raises no signal", {3}, {3}},
        {"byte above 127", {0xE9}, {0xE9}},
        {"127 stays 127", {127}, {127}},
        {"backspace key", {IO_KEY_BACKSPACE}, {8}},
        {"keypad enter", {IO_KEY_ENTER}, {13}},
        {"down", {IO_KEY_DOWN}, {0, 0x50}},
        {"up", {IO_KEY_UP}, {0, 0x48}},
        {"left", {IO_KEY_LEFT}, {0, 0x4B}},
        {"right", {IO_KEY_RIGHT}, {0, 0x4D}},
        {"home", {IO_KEY_HOME}, {0, 0x47}},
        {"end", {IO_KEY_END}, {0, 0x4F}},
        {"page down", {IO_KEY_NPAGE}, {0, 0x51}},
        {"page up", {IO_KEY_PPAGE}, {0, 0x49}},
        {"delete passes through", {0512}, {0512}},
        {"resize passes through", {0632}, {0632}},
        {"timeouts and mouse events are skipped", {IO_NO_KEY, IO_KEY_MOUSE, IO_NO_KEY, 'x'}, {'x'}},
        {"lone Esc", {27, IO_NO_KEY}, {27}},
        {"Alt+F", {27, 'f'}, {0x121}},
        {"Alt+H", {27, 'h'}, {0x123}},
        {"Alt+J", {27, 'j'}, {0x124}},
        {"Alt+S", {27, 's'}, {0x11F}},
        {"Alt+U", {27, 'u'}, {0x116}},
        {"Esc then x drops the Esc", {27, 'x'}, {'x'}},
        {"Esc then upper-case F", {27, 'F'}, {'F'}},
        {"Esc then up", {27, IO_KEY_UP}, {0, 0x48}},
        {"Esc Esc", {27, 27}, {27}},
        {"Alt+F sent at once", {27, 'f'}, {0x121}, AT_ONCE},
        {"Esc then up sent at once", {27, IO_KEY_UP}, {0, 0x48}, AT_ONCE},
        {"End as xterm sends it", {27, '[', 'F', 'x'}, {UNKNOWN, 'x'}, AT_ONCE},
        {"Page Down as tmux sends it", {27, '[', '6', '~', '6'}, {UNKNOWN, '6'}, AT_ONCE},
        {"parameters and an intermediate", {27, '[', '1', ';', '5', ' ', 'q'}, {UNKNOWN}, AT_ONCE},
        {"private parameters", {27, '[', '?', '2', '0', '0', '4', 'h'}, {UNKNOWN}, AT_ONCE},
        {"SS3 key", {27, 'O', 'w'}, {UNKNOWN}, AT_ONCE},
        {"SS3 key with parameters", {27, 'O', '1', ';', '5', 'P'}, {UNKNOWN}, AT_ONCE},
        {"Esc [ typed by hand", {27, '[', 'F'}, {'[', 'F'}, BY_HAND},
        {"Alt+[, then a pause", {27, '[', IO_NO_KEY, 'F'}, {'[', 'F'}, AT_ONCE},
        {"Alt+O, then a pause", {27, 'O', IO_NO_KEY, 'A'}, {'O', 'A'}, AT_ONCE},
        {"sequence cut by a pause", {27, '[', '1', IO_NO_KEY, 'x'}, {UNKNOWN, 'x'}, AT_ONCE},
        {"sequence cut by a control", {27, '[', '1', 9}, {UNKNOWN, 9}, AT_ONCE},
        {"sequence cut by Esc", {27, '[', '1', 27, IO_NO_KEY}, {UNKNOWN, 27}, AT_ONCE},
        {"sequence cut by a curses key", {27, '[', IO_KEY_DOWN}, {UNKNOWN, 0, 0x50}, AT_ONCE},
        {"X10 mouse report", {IO_KEY_MOUSE, ' ', '1', '1', 'x'}, {'x'}, AT_ONCE},
        {"X10 report far right", {IO_KEY_MOUSE, '#', 0xFF, 0xA0, 'x'}, {'x'}, AT_ONCE},
        {"X10 report, Ctrl held", {IO_KEY_MOUSE, '0', '5', '5', '7'}, {'7'}, AT_ONCE},
        {"SGR mouse report", {IO_KEY_MOUSE, '0', ';', '1', '7', ';', '5', 'M', 'x'}, {'x'}, AT_ONCE, "", true},
        {"SGR release", {IO_KEY_MOUSE, '0', ';', '1', ';', '1', 'm', 'm'}, {'m'}, AT_ONCE, "", true},
        {"SGR report cut short", {IO_KEY_MOUSE, '6', '4', 'x'}, {'x'}, AT_ONCE, "", true},
        {"X10 report cut by a resize", {IO_KEY_MOUSE, ' ', IO_KEY_RESIZE, '1', '1', 'x'}, {KEY_REDRAW, 'x'}, AT_ONCE},
        {"sequence cut by a resize", {27, '[', '1', IO_KEY_RESIZE, ';', '5', '~', 'x'}, {KEY_REDRAW, KEY_UNKNOWN_SEQUENCE, 'x'}, AT_ONCE},
        {"é cut by a resize", {0xC3, IO_KEY_RESIZE, 0xA9, 'x'}, {KEY_REDRAW, WIDE, 'x'}, AT_ONCE, "C.UTF-8"},
        {"X10 report curses does not know", {27, '[', 'M', ' ', '1', '1', 'x'}, {'x'}, AT_ONCE},
        {"SGR report curses does not know", {27, '[', '<', '6', '5', ';', '3', ';', '2', 'M', '1'}, {'1'}, AT_ONCE},
        {"Esc then mouse report", {27, IO_KEY_MOUSE, ' ', '1', '1', 'x'}, {'x'}},
        {"Alt with a key curses does not know", {27, 27, '[', 'F', 'x'}, {UNKNOWN, 'x'}, AT_ONCE},
        {"Esc Esc sent at once", {27, 27, IO_NO_KEY, 'x'}, {27, 'x'}, AT_ONCE},
        {"é in UTF-8", {0xC3, 0xA9, 'x'}, {WIDE, 'x'}, AT_ONCE, "C.UTF-8"},
        {"€ in UTF-8", {0xE2, 0x82, 0xAC}, {WIDE}, AT_ONCE, "en_US.utf8"},
        {"four bytes", {0xF0, 0x9F, 0x98, 0x80}, {WIDE}, AT_ONCE, "de_DE.UTF-8@euro"},
        {"the encoding alone", {0xC3, 0xA9}, {WIDE}, AT_ONCE, "UTF-8"},
        {"Alt+é", {27, 0xC3, 0xA9}, {WIDE}, AT_ONCE, "C.UTF-8"},
        {"é in Latin-1", {0xC3, 0xA9}, {0xC3, 0xA9}, AT_ONCE, "de_DE.ISO-8859-1"},
        {"é without a locale", {0xC3, 0xA9}, {0xC3, 0xA9}, AT_ONCE, ""},
        {"é in C", {0xC3, 0xA9}, {0xC3, 0xA9}, AT_ONCE, "C"},
        {"lead without the rest", {0xE2, 0x82, 'x'}, {0xE2, 0x82, 'x'}, AT_ONCE, "C.UTF-8"},
        {"lead, then a pause", {0xC3, IO_NO_KEY, 0xA9}, {0xC3, 0xA9}, AT_ONCE, "C.UTF-8"},
        {"lone continuation byte", {0xA9}, {0xA9}, AT_ONCE, "C.UTF-8"},
        {"no character starts with C0 or F5", {0xC0, 0xF5}, {0xC0, 0xF5}, AT_ONCE, "C.UTF-8"},
    };
    for (const key_case &c : cases) {
        fake_term_reset(25, 80);
        fake_locale(c.locale);
        fake_mouse_sgr(c.mouse_sgr);
        term_init();
        if (c.at_once)
            fake_keys_at_once(c.raw);
        else
            fake_keys(c.raw);
        std::vector<int> got;
        for (size_t i = 0; i < c.expected.size(); i++)
            got.push_back(get_key());
        EXPECT_EQ(got, c.expected) << c.what;
        EXPECT_EQ(fake_keys_left(), 0u) << c.what;
    }
}

// Keys typed ahead are decoded ahead, so that a mouse report counts as no key waiting and
// the screen is drawn; an Esc with nothing after it yet is left for get_key to wait on.
TEST(KeyWaiting, AMouseReportIsNoKeyAndTheKeysAfterItAreDecodedOnce)
{
    const struct {
        const char *what;
        std::vector<int> raw;
        bool waiting;
        std::vector<int> expected;  // get_key after key_waiting
    } cases[] = {
        {"X10 report", {IO_KEY_MOUSE, ' ', '1', '1'}, false, {}},
        {"X10 report curses does not know", {27, '[', 'M', ' ', '1', '1'}, false, {}},
        {"SGR report curses does not know", {27, '[', '<', '0', ';', '1', ';', '2', 'm'}, false, {}},
        {"reports, then a key", {IO_KEY_MOUSE, ' ', '1', '1', 27, '[', 'M', ' ', '1', '1', 'x'}, true, {'x'}},
        {"unknown sequence", {27, '[', 'F'}, true, {KEY_UNKNOWN_SEQUENCE}},
        {"a two-part key", {IO_KEY_LEFT}, true, {0, 0x4B}},
        {"Alt+S", {27, 's'}, true, {KEY_ALT_S}},
        {"Esc alone", {27, IO_NO_KEY}, true, {27}},
    };
    for (const auto &c : cases) {
        fake_term_reset(25, 80);
        term_init();
        fake_type_ahead(true);
        fake_keys(c.raw);
        EXPECT_EQ(key_waiting(), c.waiting) << c.what;
        EXPECT_EQ(key_waiting(), c.waiting) << c.what;
        std::vector<int> got;
        for (size_t i = 0; i < c.expected.size(); i++)
            got.push_back(get_key());
        EXPECT_EQ(got, c.expected) << c.what;
        EXPECT_EQ(fake_keys_left(), 0u) << c.what;
        EXPECT_EQ(poll_key(), KEY_NONE) << c.what;
    }
}

TEST(GetKey, TermInitForgetsAHalfReadTwoPartKey)
{
    fake_term_reset(25, 80);
    term_init();
    fake_keys({IO_KEY_DOWN, 'q'});
    EXPECT_EQ(get_key(), 0);
    term_init();
    EXPECT_EQ(get_key(), 'q');
}

TEST(PutRow, DrawsThroughTheCellFilterAndSetsColourOnlyWhereItChanges)
{
    fake_term_reset(25, 80);
    term_init();
    const char text[] = {'A', 0, static_cast<char>(0xB3), '~', 31, ' ', 127};
    const int32_t pairs[] = {3, 3, 4, 4, 4, 3, 3};
    int sets_before = fake_pair_set_count();
    put_row(2, 5, text, pairs, 7);
    EXPECT_EQ(fake_text_row(2).substr(5, 7), "A..~. .");
    std::vector<int> row = fake_pair_row(2);
    EXPECT_EQ(std::vector<int>(row.begin() + 5, row.begin() + 12), std::vector<int>({3, 3, 4, 4, 4, 3, 3}));
    EXPECT_EQ(fake_pair_set_count() - sets_before, 3);
}

TEST(ScreenClear, PaintsOnlyTheFirstEightyColumns)
{
    fake_term_reset(3, 100);
    term_init();
    screen_clear(5);
    for (int row = 0; row < 3; row++) {
        std::vector<int> pairs = fake_pair_row(row);
        EXPECT_EQ(std::count(pairs.begin(), pairs.begin() + 80, 5), 80);
        EXPECT_EQ(std::count(pairs.begin() + 80, pairs.end(), 0), 20);
    }
    EXPECT_EQ(fake_cursor_row(), 0);
    EXPECT_EQ(fake_cursor_col(), 0);
}

TEST(ColorAlloc, MapsPcColoursToCursesAndNumbersPairsFromOne)
{
    fake_term_reset(25, 80);
    term_init();
    EXPECT_EQ(color_alloc(0x10), 1);
    EXPECT_EQ(color_alloc(0x6F), 2);
    EXPECT_EQ(color_alloc(0x3E), 3);
    EXPECT_EQ(color_alloc(0x4E), 4);
    EXPECT_EQ(color_alloc(0xF8), 5);  // blink and intensity bits are dropped
    const std::vector<fake_pair_def> expected = {
        {1, IO_COLOR_BLACK, IO_COLOR_BLUE},   {2, IO_COLOR_WHITE, IO_COLOR_YELLOW},
        {3, IO_COLOR_YELLOW, IO_COLOR_CYAN},  {4, IO_COLOR_YELLOW, IO_COLOR_RED},
        {5, IO_COLOR_BLACK, IO_COLOR_WHITE},
    };
    EXPECT_EQ(fake_pairs_defined(), expected);
}

TEST(PutChar, DrawsOneFilteredCellAndRefreshes)
{
    fake_term_reset(25, 80);
    term_init();
    cursor_move(24, 3);
    int refreshes = fake_refresh_count();
    put_char(0x07, 9);
    put_char('x', 9);
    EXPECT_EQ(fake_text_row(24).substr(3, 2), ".x");
    EXPECT_EQ(fake_pair_row(24)[4], 9);
    EXPECT_EQ(fake_refresh_count() - refreshes, 2);
}

// Signals that would end the editor, up to the last real-time one, and a stop asked for get its
// handler and wait while a save writes; one that whoever started the editor ignored (nohup) stays ignored and is never
// held; a file grown past the size limit fails a write instead of ending the editor.
TEST(SignalsCatch, EndingSignalsWaitForASaveAndIgnoredOnesStayIgnored)
{
    signal(SIGUSR2, SIG_IGN);
    signals_catch();
    signals_hold();
    sigset_t held{};
    sigprocmask(SIG_BLOCK, nullptr, &held);
    signals_release();
    sigset_t released{};
    sigprocmask(SIG_BLOCK, nullptr, &released);
    const struct {
        int sig;
        bool caught;
    } cases[] = {{SIGTERM, true}, {SIGHUP, true},   {SIGPIPE, true}, {SIGRTMIN, true},
                 {SIGRTMAX, true}, {SIGTSTP, true}, {SIGUSR2, false}};
    for (const auto [sig, caught] : cases) {
        struct sigaction now {};
        sigaction(sig, nullptr, &now);
        if (caught) {
            EXPECT_NE(now.sa_handler, SIG_DFL) << sig;
            EXPECT_NE(now.sa_handler, SIG_IGN) << sig;
        } else {
            EXPECT_EQ(now.sa_handler, SIG_IGN) << sig;
        }
        EXPECT_EQ(sigismember(&held, sig) == 1, caught) << sig;
        EXPECT_EQ(sigismember(&released, sig), 0) << sig;
    }
    struct sigaction size_limit {};
    sigaction(SIGXFSZ, nullptr, &size_limit);
    EXPECT_EQ(size_limit.sa_handler, SIG_IGN);
    signal(SIGUSR2, SIG_DFL);
    signals_catch();
}

// A signal noted while the editor worked ends it, at the next look, by that same signal (the
// first, when another follows): whoever started the editor sees it die of the signal, not exit.
TEST(SignalsAct, ANotedSignalEndsTheEditorByThatSignal)
{
    for (int sig : {SIGHUP, SIGRTMAX}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            fake_term_reset(25, 80);
            term_init();
            raise(sig);
            raise(SIGUSR1);
            signals_act();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << sig;
        EXPECT_EQ(WTERMSIG(status), sig);
    }
}

// A stop asked for waits for the next look, which ends curses mode, stops the editor and, once it
// is continued, sets curses mode up again. The in-memory terminal counts that without starting
// curses mode anew, so curses mode found ended shows that the stop ended it.
TEST(SignalsAct, AStopAskedForEndsCursesModeStopsAndResumes)
{
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A group of its own, whose parent stays outside it: the system discards a stop sent to an
        // orphaned group.
        setpgid(0, 0);
        fake_term_reset(25, 80);
        term_init();
        raise(SIGTSTP);
        bool noted_only = fake_curses_active();
        bool redraw = signals_act();
        _exit(noted_only && redraw && fake_resume_count() == 1 && !fake_curses_active() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    EXPECT_TRUE(WIFSTOPPED(status));
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
