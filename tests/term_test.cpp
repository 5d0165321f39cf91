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
};

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
        {"Esc then mouse is not filtered", {27, IO_KEY_MOUSE}, {IO_KEY_MOUSE}},
        {"Esc Esc", {27, 27}, {27}},
    };
    for (const key_case &c : cases) {
        fake_term_reset(25, 80);
        term_init();
        for (int key : c.raw)
            fake_keys({key});
        std::vector<int> got;
        for (size_t i = 0; i < c.expected.size(); i++)
            got.push_back(get_key());
        EXPECT_EQ(got, c.expected) << c.what;
        EXPECT_EQ(fake_keys_left(), 0u) << c.what;
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
