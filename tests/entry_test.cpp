// Byte entry through read_command: hexadecimal digits shift into the byte, the character column
// takes any key up to 255, and every other key, or any edit of a read-only file, is reported.
#include "edit/edit.h"
#include "support/failing_reads.h"
#include "support/fake_term.h"
#include "support/keys.h"
#include "support/session.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(EnterByte, HexDigitsShiftIntoTheByteAndCharactersUpTo255BecomeIt)
{
    const struct {
        const char *what;
        uint32_t ascii_mode;
        std::vector<int> keys;  // raw keys, read by as many read_command calls as they take
        uint8_t expected;       // from 0x12
    } cases[] = {
        {"one digit", 0, {'4'}, 0x24},
        {"two digits", 0, {'4', '1'}, 0x41},
        {"three digits keep the last two", 0, {'1', '2', '3'}, 0x23},
        {"lower and upper case", 0, {'a', 'F'}, 0xAF},
        {"Back-Tab is judged by its low byte, a", 0, {CURSES_BACK_TAB}, 0x2A},
        {"NUL and 4 make 0x134, judged as 4", 0, {0, '4'}, 0x24},
        {"letter", 1, {'Z'}, 0x5A},
        {"Enter", 1, {13}, 0x0D},
        {"keypad Enter", 1, {IO_KEY_ENTER}, 0x0D},
        {"Backspace", 1, {IO_KEY_BACKSPACE}, 0x08},
        {"Ctrl+A", 1, {1}, 0x01},
        {"high bytes", 1, {0xE9, 0xFF}, 0xFF},
    };
    for (const auto &c : cases) {
        session s(bytes{0x12, 0x77});
        s.st.ascii_mode = c.ascii_mode;
        for (int key : c.keys)
            fake_keys({key});
        while (fake_keys_left() > 0)
            EXPECT_EQ(read_command(s.st), CMD_NONE) << c.what;
        EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{0, c.expected, 0x12}})) << c.what;
        EXPECT_EQ(s.st.message, nullptr) << c.what;
    }
}

// Whether a key fits the column is judged first; only a key that fits meets the read-only refusal.
// A resize is no key: the screen is drawn again and the next key is judged. A character of
// several bytes and a control sequence that curses does not know are one key each, reported once.
TEST(EnterByte, KeysThatFitNoColumnAndEditsOfReadOnlyFilesAreReported)
{
    const std::string read_only = "This file is opened in read-only mode.";
    const std::string wide = "Character does not fit in one byte! Byte not changed.";
    const std::string unknown = "Unknown key! Is TERM right for this terminal?";
    const struct {
        bool read_only;
        uint32_t ascii_mode;
        std::vector<int> keys;
        command result;
        std::string message;
        const char *locale = "";  // of the keyboard
    } cases[] = {
        {false, 0, {'g'}, CMD_INVALID_KEY, "invalid key 0x0067"},
        {false, 0, {' '}, CMD_INVALID_KEY, "invalid key 0x0020"},
        {false, 0, {13}, CMD_INVALID_KEY, "invalid key 0x000D"},
        {false, 0, {0xE9}, CMD_INVALID_KEY, "invalid key 0x00E9"},
        {false, 0, {CURSES_DELETE}, CMD_INVALID_KEY, "invalid key 0x014A"},
        {false, 0, {CURSES_F1}, CMD_INVALID_KEY, "invalid key 0x0109"},
        {false, 0, {CURSES_RESIZE, 'g'}, CMD_INVALID_KEY, "invalid key 0x0067"},
        {false, 1, {CURSES_BACK_TAB}, CMD_INVALID_KEY, "invalid key 0x0161"},
        {false, 1, {0, '4'}, CMD_INVALID_KEY, "invalid key 0x0134"},
        {false, 1, {CURSES_F1}, CMD_INVALID_KEY, "invalid key 0x0109"},
        {false, 1, {CURSES_F12}, CMD_INVALID_KEY, "invalid key 0x0114"},
        {false, 1, {CURSES_RESIZE, CURSES_F12}, CMD_INVALID_KEY, "invalid key 0x0114"},
        {true, 0, {'4'}, CMD_NONE, read_only},
        {true, 0, {'g'}, CMD_INVALID_KEY, "invalid key 0x0067"},
        {true, 1, {'Z'}, CMD_NONE, read_only},
        {true, 1, {CURSES_F1}, CMD_INVALID_KEY, "invalid key 0x0109"},
        {false, 0, {0xC3, 0xA9}, CMD_INVALID_KEY, "invalid key 0x00E9", "C.UTF-8"},
        {false, 0, {0xF0, 0x9F, 0x98, 0x80}, CMD_INVALID_KEY, "invalid key 0x1F600", "C.UTF-8"},
        {false, 1, {0xE2, 0x82, 0xAC}, CMD_INVALID_KEY, wide, "C.UTF-8"},
        {true, 1, {0xC3, 0xA9}, CMD_INVALID_KEY, wide, "C.UTF-8"},
        {true, 0, {0xC3, 0xA9}, CMD_INVALID_KEY, "invalid key 0x00E9", "C.UTF-8"},
        {false, 0, {27, '[', 'F'}, CMD_INVALID_KEY, unknown},
        {false, 1, {27, '[', '1', '~'}, CMD_INVALID_KEY, unknown},
        {true, 1, {27, 'O', 'F'}, CMD_INVALID_KEY, unknown},
    };
    for (bool ro : {false, true}) {
        session s(bytes{0x12}, 25, ro ? std::vector<std::string>{"-ro"} : std::vector<std::string>{});
        for (const auto &c : cases) {
            if (c.read_only != ro)
                continue;
            s.st.ascii_mode = c.ascii_mode;
            fake_locale(c.locale);
            fake_keys_at_once(c.keys);
            EXPECT_EQ(read_command(s.st), c.result) << c.message;
            EXPECT_EQ(s.st.message ? s.st.message : "", c.message);
            EXPECT_EQ(fake_keys_left(), 0u) << c.message;
            clear_message(s.st);
        }
        EXPECT_EQ(s.st.changes, nullptr);
    }
}

TEST(EnterByte, TypingTheFileValueBackRemovesTheChange)
{
    session s(bytes{0x12, 'P'});
    fake_type("3");
    EXPECT_EQ(read_command(s.st), CMD_NONE);
    EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{0, 0x23, 0x12}}));
    fake_type("12");  // 0x23, 0x31, 0x12
    EXPECT_EQ(read_command(s.st), CMD_NONE);
    EXPECT_EQ(read_command(s.st), CMD_NONE);
    EXPECT_EQ(s.st.changes, nullptr);

    s.st.cursor = 1;
    s.st.ascii_mode = 1;
    fake_type("QP");
    EXPECT_EQ(read_command(s.st), CMD_NONE);
    EXPECT_EQ(read_command(s.st), CMD_NONE);
    EXPECT_EQ(s.st.changes, nullptr);
    fake_type("P");  // the file's own value typed over it: a change all the same
    EXPECT_EQ(read_command(s.st), CMD_NONE);
    EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{1, 'P', 'P'}}));
}

// A byte the storage cannot give has no value to shift a digit into nor one to keep as the
// file's: an edit of it is refused in either column, while its neighbours are edited and saved
// where they stand.
TEST(EnterByte, AByteThatCannotBeReadIsNotChanged)
{
    bytes content = pattern_bytes(1024);
    session s(content);
    fail_reads(512, 1024);
    const struct {
        int64_t cursor;
        uint32_t ascii_mode;
        char key;
        const char *message;
    } cases[] = {
        {511, 0, '4', nullptr}, {512, 0, '4', "Read error! Byte not changed."},
        {512, 1, 'Z', "Read error! Byte not changed."}, {1023, 1, 'Z', "Read error! Byte not changed."},
    };
    for (const auto &c : cases) {
        s.st.cursor = c.cursor;
        s.st.ascii_mode = c.ascii_mode;
        fake_keys({c.key});
        EXPECT_EQ(read_command(s.st), CMD_NONE) << c.cursor;
        EXPECT_STREQ(s.st.message, c.message) << c.cursor;
        clear_message(s.st);
    }
    EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{511, content[511] * 16 % 256 + 4, content[511]}}));
    save_changes(s.st);
    EXPECT_STREQ(s.st.message, "File saved.");
    content[511] = static_cast<unsigned char>(content[511] * 16 + 4);
    EXPECT_EQ(s.file.read(), content);
}

TEST(SetMessage, TheFirstMessageBetweenTwoDrawingsWins)
{
    session s(bytes{0x12});
    fake_type("gh");
    EXPECT_EQ(read_command(s.st), CMD_INVALID_KEY);
    EXPECT_EQ(read_command(s.st), CMD_INVALID_KEY);
    EXPECT_STREQ(s.st.message, "invalid key 0x0067");
}
