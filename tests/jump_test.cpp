// The jump prompt: what it shows while a number is typed, the keys it takes or refuses, where
// the cursor lands, and how the command loop then brings that line into view.
#include "edit/edit.h"
#include "prompt/prompt.h"
#include "screen/screen.h"
#include "support/fake_term.h"
#include "support/session.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<int> typed(std::string_view text) { return std::vector<int>(text.begin(), text.end()); }


// The status line as the prompt leaves it: the label, the value, blanks up to column 59.
std::string prompt_line(const std::string &value)
{
    std::string line = " Jump to offset: 0x" + value;
    return line + std::string(60 - line.size(), ' ');
}

}  // namespace

TEST(JumpPrompt, ShowsTheValueTypedAndEnterMovesThere)
{
    session s(pattern_bytes(4096));
    const struct {
        std::vector<int> keys;
        std::string shown;
        int64_t cursor;
    } cases[] = {
        {typed("1\r"), "1", 0x1},
        {typed("1f\r"), "1F", 0x1F},
        {typed("1f0\r"), "1F0", 0x1F0},
        {typed("A0b\r"), "A0B", 0xA0B},
        {typed("00012\r"), "12", 0x12},
        {typed("\r"), "0", 0},
        {typed("1f0\b\r"), "1F", 0x1F},
        {{'3', IO_KEY_BACKSPACE, IO_KEY_BACKSPACE, '2', IO_KEY_ENTER}, "2", 2},
        {{0x141, 0x131, 13}, "A1", 0xA1},  // a key counts as the digit in its low eight bits
        {typed("fff\r"), "FFF", 4095},
        {typed("1000\r"), "1000", 4095},  // at or past the end: the last byte
        {typed("7ffffff" "f\r"), "7FFFFFFF", 4095},
        {typed("8000000" "1\r"), "8000000", 4095},
        {typed("fffffff" "f\r"), "FFFFFFF", 4095},
        {typed("123456789\r"), "12345678", 4095},
    };
    for (const auto &c : cases) {
        s.st.cursor = 7;
        fake_keys(c.keys);
        jump_prompt(s.st);
        EXPECT_EQ(text_row(24).substr(0, 60), prompt_line(c.shown)) << c.shown;
        EXPECT_EQ(s.roles(24).substr(0, 60), std::string(60, 'm')) << c.shown;
        EXPECT_EQ(s.st.cursor, c.cursor) << c.shown;
        EXPECT_EQ(fake_keys_left(), 0u) << c.shown;
        EXPECT_EQ(s.st.message, nullptr);
    }
}

// Past 2 GiB the cap is the file's last offset, by the same rule: a digit is ignored once the
// value exceeds a sixteenth of the cap. A file of 2 GiB keeps the cap of smaller files.
TEST(JumpPrompt, InAFileOverTwoGibibytesEveryOffsetCanBeTyped)
{
    constexpr int64_t GiB = int64_t{1} << 30;
    const struct {
        int64_t length;
        const char *typed;
        std::string shown;
        int64_t cursor;
    } cases[] = {
        {5 * GiB, "13ffffff0\r", "13FFFFFF0", 0x13FFFFFF0},
        {5 * GiB, "13fffffff" "f\r", "13FFFFFFF", 0x13FFFFFFF},
        {5 * GiB, "14000000" "0\r", "14000000", 0x14000000},
        {5 * GiB, "7fffffff" "f\r", "7FFFFFFF", 0x7FFFFFFF},
        {5 * GiB + 1, "14000000f\r", "14000000F", 5 * GiB},  // past the end: the last byte
        {2 * GiB, "7ffffff" "f" "f\r", "7FFFFFFF", 2 * GiB - 1},
        {2 * GiB + 1, "8000000" "f" "f\r", "8000000F", 2 * GiB},
    };
    for (const auto &c : cases) {
        session s(bytes{}, 25, {}, "data.bin", c.length);
        fake_type(c.typed);
        jump_prompt(s.st);
        EXPECT_EQ(text_row(24).substr(0, 60), prompt_line(c.shown)) << c.typed;
        EXPECT_EQ(s.st.cursor, c.cursor) << c.typed;
        EXPECT_EQ(fake_keys_left(), 0u) << c.typed;
    }
}

TEST(JumpPrompt, AnEmptyFileKeepsTheCursorAtZero)
{
    session s(bytes{});
    fake_type("5\r");
    jump_prompt(s.st);
    EXPECT_EQ(s.st.cursor, 0);
}

// Each key cancels with "10" typed. A two-part key must be used up whole: a leftover second
// half would reach the loop as a letter (an invalid key in the hexadecimal column, a changed
// byte in the character column) and the Right arrow queued after it would not be read.
TEST(JumpPrompt, OtherKeysCancelWithoutMovingAndTwoPartKeysAreSwallowedWhole)
{
    const struct {
        const char *name;
        std::vector<int> keys;
    } cancels[] = {
        {"Esc", {27, IO_NO_KEY}}, {"Down", {IO_KEY_DOWN}},   {"Up", {IO_KEY_UP}},
        {"Left", {IO_KEY_LEFT}},  {"Right", {IO_KEY_RIGHT}}, {"Home", {IO_KEY_HOME}},
        {"End", {IO_KEY_END}},    {"PgDn", {IO_KEY_NPAGE}},  {"PgUp", {IO_KEY_PPAGE}},
        {"Alt+F", {27, 'f'}},     {"Tab", {9}},              {"g", {'g'}},
        {"blank", {' '}},         {"unknown key", {27, '[', 'F'}}, {"é", {0xC3, 0xA9}},
    };
    for (uint32_t ascii : {0u, 1u}) {
        for (const auto &c : cancels) {
            session s(pattern_bytes(4096));
            s.st.ascii_mode = ascii;
            s.st.cursor = 0x20;
            fake_locale("C.UTF-8");
            fake_keys({27, 'j', '1', '0'});
            fake_keys_at_once(c.keys);
            fake_keys({IO_KEY_RIGHT});
            s.step(2);
            EXPECT_EQ(s.st.cursor, 0x21) << c.name << " ascii " << ascii;
            EXPECT_TRUE(change_list(s.st).empty()) << c.name << " ascii " << ascii;
            EXPECT_EQ(s.st.message, nullptr) << c.name << " ascii " << ascii;
            EXPECT_EQ(fake_keys_left(), 0u) << c.name << " ascii " << ascii;
        }
    }
}

// On 25 lines the cursor's line may stand on screen lines 0-22; the view moves only when the
// target falls outside them.
TEST(JumpPrompt, TheLoopBringsTheTargetLineIntoView)
{
    session s(pattern_bytes(0x10000));
    const struct {
        const char *typed;
        int64_t cursor;
        int64_t view;
        int row;  // screen line of the cursor
    } steps[] = {
        {"100\r", 0x100, 0, 16},
        {"165\r", 0x165, 0, 22},
        {"17a\r", 0x17A, 0x10, 22},  // line 23, the screen's last file line: one line down
        {"8004\r", 0x8004, 0x8000 - 22 * 16, 22},
        {"7000\r", 0x7000, 0x7000, 0},  // above the view: to the top
        {"7165\r", 0x7165, 0x7000, 22},
        {"0\r", 0, 0, 0},
        {"ffff\r", 0xFFFF, 0xFFF0 - 22 * 16, 22},
    };
    for (const auto &step : steps) {
        fake_keys({27, 'j'});
        fake_type(step.typed);
        ASSERT_TRUE(s.step());
        EXPECT_EQ(s.st.cursor, step.cursor) << step.typed;
        EXPECT_EQ(s.st.view, step.view) << step.typed;
        draw_screen(s.st);
        char label[16];
        snprintf(label, sizeof label, "%08X", static_cast<unsigned>(step.cursor & ~int64_t{15}));
        EXPECT_EQ(text_row(step.row).substr(1, 8), label) << step.typed;
    }
}
