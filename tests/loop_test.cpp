// The command loop through the in-memory terminal: which keys are commands, moving the cursor
// within the file, the view following it, the key help, quitting with and without changes, and
// random key streams that must keep cursor, view and change list consistent.
#include "edit/edit.h"
#include "screen/screen.h"
#include "support/failing_reads.h"
#include "support/fake_term.h"
#include "support/invariants.h"
#include "support/keys.h"
#include "support/session.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

// The keys the random streams are made of: all but saving, undoing, jumping, finding and quitting.
const std::vector<std::vector<int>> &random_keys()
{
    static const std::vector<std::vector<int>> keys = {
        {IO_KEY_LEFT}, {IO_KEY_RIGHT}, {IO_KEY_UP}, {IO_KEY_DOWN}, {IO_KEY_PPAGE}, {IO_KEY_NPAGE},
        {IO_KEY_HOME}, {IO_KEY_END}, {CURSES_INSERT}, {CURSES_SHIFT_DOWN}, {CURSES_SHIFT_UP},
        {curses_f(63)}, {9}, {'0'}, {'7'}, {'a'}, {'F'}, {'z'}, {'Q'}, {13}, {8}, {0xE9}, {27, 'h'},
        {0, 0x3B}, {0, '4'}, {CURSES_BACK_TAB}, {CURSES_DELETE}, {CURSES_F1}, {CURSES_RESIZE, 9},
    };
    return keys;
}

// Alt+J, the digits, Enter.
std::vector<int> jump_keys(std::string_view digits)
{
    std::vector<int> keys = {27, 'j'};
    keys.insert(keys.end(), digits.begin(), digits.end());
    keys.push_back(13);
    return keys;
}

bool file_is_open(const std::string &path)
{
    for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(fd.path(), ignored) == path)
            return true;
    }
    return false;
}

}  // namespace

TEST(ReadCommand, CommandKeysIncludingTheCursesCodesThatCoincideWithThem)
{
    const struct {
        const char *what;
        std::vector<int> keys;
        command cmd;
    } cases[] = {
        {"Tab", {9}, CMD_TOGGLE_COLUMN},          {"Esc alone", {27, IO_NO_KEY}, CMD_QUIT},
        {"Alt+U", {27, 'u'}, CMD_UNDO},           {"Alt+S", {27, 's'}, CMD_SAVE},
        {"Alt+F", {27, 'f'}, CMD_FIND},           {"Alt+H", {27, 'h'}, CMD_HELP},
        {"Alt+J", {27, 'j'}, CMD_JUMP},           {"F1 in two parts", {0, 0x3B}, CMD_HELP},
        {"Home", {IO_KEY_HOME}, CMD_HOME},        {"Up", {IO_KEY_UP}, CMD_UP},
        {"Page Up", {IO_KEY_PPAGE}, CMD_PAGE_UP}, {"Left", {IO_KEY_LEFT}, CMD_LEFT},
        {"Right", {IO_KEY_RIGHT}, CMD_RIGHT},     {"End", {IO_KEY_END}, CMD_END},
        {"Down", {IO_KEY_DOWN}, CMD_DOWN},        {"Page Down", {IO_KEY_NPAGE}, CMD_PAGE_DOWN},
        {"Insert", {CURSES_INSERT}, CMD_LEFT},    {"Shift+Down", {CURSES_SHIFT_DOWN}, CMD_DOWN},
        {"Shift+Up", {CURSES_SHIFT_UP}, CMD_PAGE_DOWN},
        {"F14", {curses_f(14)}, CMD_UNDO},        {"F23", {curses_f(23)}, CMD_SAVE},
        {"F25", {curses_f(25)}, CMD_FIND},        {"F27", {curses_f(27)}, CMD_HELP},
        {"F28", {curses_f(28)}, CMD_JUMP},        {"F51", {curses_f(51)}, CMD_HELP},
        {"F63", {curses_f(63)}, CMD_HOME},        {"F1", {CURSES_F1}, CMD_INVALID_KEY},
        {"resize, then Tab", {CURSES_RESIZE, 9}, CMD_TOGGLE_COLUMN},
        {"mouse report, then Tab", {IO_KEY_MOUSE, ' ', '1', '1', 9}, CMD_TOGGLE_COLUMN},
        {"report curses does not know, then Alt+S", {27, '[', '<', '0', ';', '1', ';', '1', 'M', 27, 's'}, CMD_SAVE},
        {"Home curses does not know", {27, '[', 'H'}, CMD_INVALID_KEY},
    };
    session s(bytes(20));
    for (const auto &c : cases) {
        fake_keys_at_once(c.keys);
        EXPECT_EQ(read_command(s.st), c.cmd) << c.what;
        EXPECT_EQ(fake_keys_left(), 0u) << c.what;
        clear_message(s.st);
    }
}

// A page is the file lines on the screen less one: 368 bytes on 25 lines.
TEST(LoopStep, MovesStopAtTheEdgesOfTheFileAndPagesTakeTheViewAlong)
{
    const struct {
        size_t size;
        int64_t cursor, view;
        int key;
        int64_t to_cursor, to_view;
    } cases[] = {
        {100, 99, 0, IO_KEY_RIGHT, 99, 0},        {100, 98, 0, IO_KEY_RIGHT, 99, 0},
        {100, 0, 0, IO_KEY_LEFT, 0, 0},           {100, 1, 0, IO_KEY_LEFT, 0, 0},
        {100, 90, 0, IO_KEY_DOWN, 90, 0},         {100, 84, 0, IO_KEY_DOWN, 84, 0},
        {100, 83, 0, IO_KEY_DOWN, 99, 0},         {100, 10, 0, IO_KEY_UP, 10, 0},
        {100, 26, 0, IO_KEY_UP, 10, 0},           {100, 57, 0, IO_KEY_HOME, 0, 0},
        {100, 3, 0, IO_KEY_END, 99, 0},           {100, 50, 0, IO_KEY_NPAGE, 99, 0},
        {100, 50, 0, IO_KEY_PPAGE, 0, 0},         {2049, 5, 0, IO_KEY_NPAGE, 373, 368},
        {2049, 373, 368, IO_KEY_PPAGE, 5, 0},     {2049, 400, 208, IO_KEY_PPAGE, 32, 0},
        {2049, 100, 96, IO_KEY_PPAGE, 0, 0},      {2049, 1900, 1888, IO_KEY_NPAGE, 2048, 1888},
        {2049, 1680, 1600, IO_KEY_NPAGE, 2048, 1968},
    };
    for (const auto &c : cases) {
        session s(pattern_bytes(c.size));
        s.st.cursor = c.cursor;
        s.st.view = c.view;
        fake_keys({c.key});
        ASSERT_TRUE(s.step());
        EXPECT_EQ(s.st.cursor, c.to_cursor) << c.cursor << " key " << c.key;
        EXPECT_EQ(s.st.view, c.to_view) << c.cursor << " key " << c.key;
    }
}

// A sparse file of the largest length an offset allows, 2^63 - 1 bytes: no move passes its last
// byte, however far past the largest offset the cursor and a line or a page would add up to, and
// a byte typed there is drawn, found (from offset 0, past 2^63 bytes of holes, and near the end
// among zeros) and saved where it belongs.
TEST(LoopStep, MovesAtTheTopOfTheOffsetRangeStopOnTheLastByte)
{
    constexpr int64_t TOP = INT64_MAX;
    constexpr int64_t LAST = TOP - 1;
    constexpr int64_t LAST_LINE = TOP - 15;
    constexpr int64_t VIEW = LAST_LINE - 22 * 16;  // the last line on screen line 22 of 25
    constexpr int64_t PAGE = 23 * 16;
    if (!folder_takes_length(MEMORY_FOLDER, TOP)) {
        GTEST_SKIP() << MEMORY_FOLDER << " takes no file of 2^63 - 1 bytes";
    }
    const struct {
        const char *what;
        int64_t cursor, view;
        std::vector<int> keys;
        int64_t to_cursor, to_view;
    } cases[] = {
        {"Down on the last byte", LAST, VIEW, {IO_KEY_DOWN}, LAST, VIEW},
        {"Down on the last line's start", LAST_LINE, VIEW, {IO_KEY_DOWN}, LAST_LINE, VIEW},
        {"Down to the length", LAST_LINE - 1, VIEW - 16, {IO_KEY_DOWN}, LAST_LINE - 1, VIEW - 16},
        {"Down onto the last byte", LAST - 16, VIEW - 16, {IO_KEY_DOWN}, LAST, VIEW},
        {"Right on the last byte", LAST, VIEW, {IO_KEY_RIGHT}, LAST, VIEW},
        {"Page Down on the last byte", LAST, VIEW, {IO_KEY_NPAGE}, LAST, VIEW},
        {"Page Down onto the last byte", LAST - PAGE, VIEW - PAGE, {IO_KEY_NPAGE}, LAST, VIEW},
        {"Page Down within the last page", LAST - PAGE + 1, VIEW - PAGE, {IO_KEY_NPAGE}, LAST, VIEW},
        {"Page Up from the last byte", LAST, VIEW, {IO_KEY_PPAGE}, LAST - PAGE, VIEW - PAGE},
        {"End", 0, 0, {IO_KEY_END}, LAST, VIEW},
        {"jump to the length", 0, 0, jump_keys("7fffffffffffffff"), LAST, VIEW},
        {"jump with a digit too many", 0, 0, jump_keys("7ffffffffffffff0" "f"), LAST_LINE, VIEW},
        {"typed on the last byte, found from 0", LAST, VIEW, {'4', '1', IO_KEY_HOME, 27, 'f', '4', '1', 13}, LAST, VIEW},
        {"found among the zeros before it", LAST - 40, VIEW, {27, 'f', '0', '0', '4', '1', 13}, LAST - 1, VIEW},
    };
    session s(bytes{}, 25, {}, "data.bin", TOP, true, MEMORY_FOLDER);
    ASSERT_EQ(s.st.file_size, TOP);
    for (const auto &c : cases) {
        s.st.cursor = c.cursor;
        s.st.view = c.view;
        fake_keys(c.keys);
        ASSERT_TRUE(s.run()) << c.what;
        EXPECT_EQ(s.st.cursor, c.to_cursor) << c.what;
        EXPECT_EQ(s.st.view, c.to_view) << c.what;
        EXPECT_EQ(broken_invariant(s.st), "") << c.what;
    }
    EXPECT_EQ(text_row(22).substr(11, 48), "00 00 00 00 00 00 00 00  00 00 00 00 00 00 41 ..");
    fake_keys({27, 's'});
    ASSERT_TRUE(s.run());
    EXPECT_STREQ(s.st.message, "File saved.");
    unsigned char last = 0;
    int fd = open(s.file.path.c_str(), O_RDONLY);
    EXPECT_EQ(pread(fd, &last, 1, LAST), 1);
    close(fd);
    EXPECT_EQ(last, 0x41);
}

// Moving down line by line, the view scrolls before the cursor would reach the last file line
// (on 25 lines the cursor stays on line 22); moving up, it follows once the cursor leaves the
// top line. A terminal without room below the cursor keeps it on the top line, and its page is
// one line.
TEST(LoopStep, ViewKeepsTheCursorOffTheLastFileLine)
{
    for (int rows : {1, 2, 3, 4, 25}) {
        session s(pattern_bytes(2049), rows);
        const int64_t lowest = std::max(rows - 3, 0);
        for (int64_t k = 1; k <= 30; k++) {
            fake_keys({IO_KEY_DOWN});
            ASSERT_TRUE(s.step());
            EXPECT_EQ(s.st.view, 16 * (k - std::min(k, lowest))) << rows << " lines, down " << k;
        }
        const int64_t top = 30 - std::min<int64_t>(30, lowest);
        for (int64_t j = 1; j <= 30; j++) {
            fake_keys({IO_KEY_UP});
            ASSERT_TRUE(s.step());
            EXPECT_EQ(s.st.view, 16 * std::min(top, 30 - j)) << rows << " lines, up " << j;
        }
        fake_keys({IO_KEY_NPAGE});
        ASSERT_TRUE(s.step());
        EXPECT_EQ(s.st.cursor, 16 * std::max(rows - 2, 1)) << rows;
    }
}

TEST(LoopStep, ViewFollowsTheCursorAfterEveryCommandEvenARefusedOne)
{
    for (int key : {int{'g'}, int{'4'}, 9, IO_KEY_RIGHT}) {
        session s(pattern_bytes(2049));
        s.st.cursor = 1000;
        fake_keys({key});
        ASSERT_TRUE(s.step());
        EXPECT_EQ(s.st.view, (s.st.cursor / 16 - 22) * 16) << key;
    }
}

TEST(LoopStep, EmptyFileKeepsTheCursorAtZeroAndTakesATypedByteThere)
{
    for (int rows : {1, 25}) {
        session s(bytes{}, rows);
        for (int key : {IO_KEY_RIGHT, IO_KEY_DOWN, IO_KEY_END, IO_KEY_NPAGE, IO_KEY_LEFT, IO_KEY_UP,
                        IO_KEY_PPAGE, IO_KEY_HOME, int{'7'}}) {
            fake_keys({key});
            ASSERT_TRUE(s.step());
            EXPECT_EQ(s.st.cursor, 0) << key;
            EXPECT_EQ(s.st.view, 0) << key;
        }
        EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{0, 0x07, 0}}));
    }
    EXPECT_EQ(text_row(1), ".00000000. .. .. .. .. .. .. .. ..  .. .. .. .. .. .. .. .. . ................ .");
}

TEST(LoopStep, TabMovesTheTerminalCursorBetweenHexAndCharacterColumns)
{
    session s(pattern_bytes(20));
    s.st.cursor = 9;
    fake_keys({9, 9});
    s.step();
    EXPECT_EQ(fake_cursor_col(), 40);
    s.step();
    EXPECT_EQ(fake_cursor_col(), 71);
    draw_screen(s.st);
    EXPECT_EQ(fake_cursor_col(), 40);
}

TEST(LoopStep, AltHShowsTheKeyHelpUntilTheNextKey)
{
    session s(pattern_bytes(20));
    fake_keys({27, 'h', IO_KEY_RIGHT});
    s.step(2);
    EXPECT_EQ(text_row(24), "  ALT+H Help   ALT+J Jump   ALT+F Find   ALT+S Save   ALT+U Undo   ESC Quit     ");
    EXPECT_EQ(s.st.cursor, 1);
    draw_screen(s.st);
    EXPECT_EQ(text_row(24).substr(0, 19), "data.bin (20 bytes)");
}

// A resize is no key: whatever waits for a key (the loop, the key help, the quit question, the
// jump and find prompts) is drawn again at the new size, on the new last line, and keeps waiting.
// A terminal narrower than 80 columns shows what fits and loses nothing.
TEST(LoopStep, AResizeDrawsWhatWaitsForAKeyAgainAtTheNewSize)
{
    constexpr int RESIZE = -1000;    // stands for the resize in the keys below
    constexpr int DRAGGING = -1001;  // a resize to a size on the way there, as dragging sends
    const struct {
        const char *what;
        std::vector<int> keys;
        int steps;
        int rows, cols;
        std::string last_line;  // its start, after the steps
        int64_t cursor;
        bool running;
    } cases[] = {
        {"loop", {IO_KEY_DOWN, RESIZE, IO_KEY_RIGHT}, 2, 10, 80, "data.bin (4096 bytes)", 17, true},
        {"two in a row", {IO_KEY_DOWN, DRAGGING, RESIZE, IO_KEY_RIGHT}, 2, 10, 80, "data.bin (4096 bytes)", 17, true},
        {"between a key's two halves", {0, RESIZE, 0x4D}, 1, 10, 80, "data.bin (4096 bytes)", 1, true},
        {"key help", {27, 'h', RESIZE, IO_KEY_RIGHT}, 2, 10, 80, "  ALT+H Help   ALT+J Jump", 1, true},
        {"quit question", {'4', 27, IO_NO_KEY, RESIZE, 27, IO_NO_KEY}, 2, 6, 80,
         "  There are unsaved modifications.", 0, false},
        {"jump prompt", {27, 'j', '1', RESIZE, 'f', '0', 13}, 1, 12, 80, " Jump to offset: 0x1F0 ", 0x1F0, true},
        {"find prompt", {9, 27, 'f', 'I', RESIZE, 'P', 13}, 2, 3, 80, " Searching...", 0x2F, true},
        {"narrow", {IO_KEY_NPAGE, RESIZE, IO_KEY_RIGHT}, 2, 25, 40, "data.bin (4096 bytes)", 0x171, true},
        {"narrow prompt", {27, 'j', RESIZE, '2', 13}, 1, 25, 20, " Jump to offset: 0x2", 2, true},
    };
    for (const auto &c : cases) {
        session s(pattern_bytes(4096));
        for (int key : c.keys) {
            if (key == RESIZE)
                fake_resize(c.rows, c.cols);
            else if (key == DRAGGING)
                fake_resize(30, 100);
            else
                fake_keys({key});
        }
        EXPECT_EQ(s.step(c.steps), c.running) << c.what;
        EXPECT_EQ(s.st.rows, c.rows) << c.what;
        EXPECT_EQ(s.st.cols, c.cols) << c.what;
        EXPECT_EQ(s.st.cursor, c.cursor) << c.what;
        EXPECT_EQ(text_row(c.rows - 1).substr(0, c.last_line.size()), c.last_line) << c.what;
        EXPECT_EQ(broken_invariant(s.st), "") << c.what;
        EXPECT_EQ(fake_keys_left(), 0u) << c.what;
    }
}

TEST(LoopStep, EscWithoutChangesQuitsAtOnce)
{
    session s(pattern_bytes(20));
    fake_esc();
    EXPECT_FALSE(s.step());
    EXPECT_FALSE(fake_curses_active());
    EXPECT_FALSE(file_is_open(s.file.path));
}

TEST(LoopStep, EscWithChangesAsksAgainAndASecondEscQuitsWithoutWriting)
{
    const bytes original = pattern_bytes(20);
    session s(original);
    fake_type("41");
    fake_esc();
    fake_esc();
    EXPECT_FALSE(s.run());
    EXPECT_EQ(text_row(24), "  There are unsaved modifications. Press Esc again if you really want to quit.  ");
    EXPECT_FALSE(fake_curses_active());
    EXPECT_FALSE(file_is_open(s.file.path));
    EXPECT_EQ(s.st.changes, nullptr);
    EXPECT_EQ(s.file.read(), original);
}

TEST(LoopStep, AnyOtherCommandAtTheQuitQuestionIsDroppedAndEditingGoesOn)
{
    session s(pattern_bytes(40));
    fake_type("4");
    fake_esc();
    fake_keys({IO_KEY_DOWN, IO_KEY_DOWN});
    EXPECT_TRUE(s.step(2));
    EXPECT_EQ(s.st.cursor, 0);
    EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{0, 0x04, 0x00}}));
    EXPECT_TRUE(s.step());
    EXPECT_EQ(s.st.cursor, 16);
    EXPECT_EQ(text_row(24).substr(0, 19), "data.bin (40 bytes)");
}

// Thousands of random keys (no saving, undoing, jumping, finding or quitting) on terminals of 1
// to 60 lines and files of 0 to 2049 bytes, read-only or not.
TEST(LoopStep, RandomKeyStreamsKeepCursorViewAndChangesConsistent)
{
    const std::vector<std::vector<int>> &keys = random_keys();
    const struct {
        size_t size;
        bool read_only;
    } files[] = {{0, false}, {1, false}, {20, false}, {2049, false}, {1, true}, {2049, true}};
    for (unsigned seed = 1; seed <= 24; seed++) {
        std::mt19937 rng(seed);
        const auto &f = files[seed % std::size(files)];
        const int rows = 1 + static_cast<int>(rng() % 60);
        const bytes original = pattern_bytes(f.size);
        session s(original, rows, f.read_only ? std::vector<std::string>{"-ro"} : std::vector<std::string>{});
        SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(rows) + " lines, " +
                     std::to_string(f.size) + " bytes");
        for (int i = 0; i < 300; i++) {
            for (int key : keys[rng() % keys.size()])
                fake_keys({key});
            const int64_t drawn_line = (s.st.cursor - s.st.view) / 16;
            ASSERT_TRUE(s.step());
            ASSERT_EQ(fake_cursor_row(), drawn_line) << "step " << i;
            ASSERT_EQ(broken_invariant(s.st), "") << "step " << i;
            for (const change_entry &c : change_list(s.st)) {
                ASSERT_FALSE(f.read_only) << "step " << i;
                ASSERT_LE(c.offset, std::max<int64_t>(static_cast<int64_t>(f.size) - 1, 0)) << "step " << i;
                ASSERT_EQ(c.file_value, f.size > 0 ? original[static_cast<size_t>(c.offset)] : 0);
            }
        }
        EXPECT_EQ(s.file.read(), original);
    }
}

// Keys typed ahead are carried out without drawing in between, yet the screen after the last one
// is the one that drawing after every key leaves, messages included.
TEST(LoopStep, KeysTypedAheadLeaveTheScreenOfKeysTypedOneByOne)
{
    const std::vector<std::vector<int>> &keys = random_keys();
    for (unsigned seed = 1; seed <= 12; seed++) {
        std::mt19937 rng(seed);
        const int rows = 1 + static_cast<int>(rng() % 30);
        std::vector<const std::vector<int> *> stream;
        for (int i = 0; i < 200; i++)
            stream.push_back(&keys[rng() % keys.size()]);
        std::vector<std::string> screens[2];
        for (bool ahead : {false, true}) {
            session s(pattern_bytes(seed * 97), rows);
            fake_type_ahead(ahead);
            for (const std::vector<int> *command_keys : stream) {
                for (int key : *command_keys)
                    fake_keys({key});
                if (!ahead) {
                    ASSERT_TRUE(s.step());
                }
            }
            ASSERT_TRUE(s.run());
            draw_screen(s.st);
            for (int row = 0; row < rows; row++)
                screens[ahead].push_back(text_row(row) + s.roles(row));
            screens[ahead].push_back(std::to_string(s.st.cursor) + " " + std::to_string(change_list(s.st).size()));
        }
        EXPECT_EQ(screens[0], screens[1]) << "seed " << seed;
    }
}

// On a terminal whose screen spans more blocks than the cache holds, blocks that could not be
// read are each tried once, and not again while the cursor stays within four pages of them;
// moved further away and back, the cursor meets them anew.
TEST(LoopStep, AFailedBlockIsTriedOnceUntilTheCursorMovesWellAway)
{
    session s(pattern_bytes(1 << 16), 200);
    const int64_t page = 198 * 16;
    fail_reads(1000, 2100);  // from within block 1 into block 4
    (void)failed_reads();
    const struct {
        int64_t cursor;  // moved to, with the view on its line, before the step, which types Right
        int64_t failures;
    } cases[] = {
        {0, 4}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {2100 + 3 * page, 0}, {0, 0}, {2560 + 4 * page + 1, 0}, {0, 4},
    };
    for (const auto &c : cases) {
        s.st.cursor = c.cursor;
        s.st.view = c.cursor / 16 * 16;
        fake_keys({IO_KEY_RIGHT});
        ASSERT_TRUE(s.step());
        EXPECT_EQ(failed_reads(), c.failures) << "at " << c.cursor;
    }
    fail_reads(0, 0);
}
