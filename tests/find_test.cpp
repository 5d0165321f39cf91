// The find prompt and the search behind it: the entry on the status line, the keys that cancel,
// and every position found checked against a plain search of the file as edited.
#include "edit/edit.h"
#include "prompt/prompt.h"
#include "support/fake_term.h"
#include "support/session.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

// find reads the file in spans of this many bytes.
constexpr int64_t SPAN = 1 << 18;

// Cursors for the span cases: the first span then ends at cursor + SPAN.
constexpr int64_t SPAN_CURSOR = 100;
constexpr int64_t CROSS_CURSOR = 200;
constexpr int64_t TWO_SPANS_CURSOR = 300;
constexpr int64_t BIG = 600000;
constexpr size_t BLOCK = 4096;  // the unit of holes in the sparse files

bytes text(std::string_view s) { return bytes(s.begin(), s.end()); }

void place(bytes &b, int64_t offset, const bytes &what)
{
    std::copy(what.begin(), what.end(), b.begin() + offset);
}

// Bytes of 0x80 and above, so that the markers below occur only where they are put.
bytes background(size_t size)
{
    bytes b(size);
    uint32_t x = 12345;
    for (unsigned char &byte : b) {
        x = x * 1103515245 + 12345;
        byte = static_cast<unsigned char>(0x80 | ((x >> 16) & 0x7F));
    }
    return b;
}

bytes big_file()
{
    bytes b = background(BIG);
    place(b, 1000, text("Hello"));
    place(b, 3 * 512 - 2, text("BLOCK"));  // across a 512-byte block boundary
    place(b, 3000, text("hello"));
    place(b, 5000, text("Help"));
    place(b, 7000, {0xAB, 0x0C});
    place(b, 8000, {0x07});
    place(b, 9000, text("Q"));  // edited to Z
    place(b, 10000, {1, 2, 3, 4, 5, 6, 7, 8});
    place(b, 11000, text("abcdefghijklmnopqrstuvwxyz012345"));
    place(b, SPAN_CURSOR + SPAN - 2, text("SPAN"));
    place(b, CROSS_CURSOR + SPAN - 2, text("CR#SS"));  // the # is edited to O
    place(b, TWO_SPANS_CURSOR + 2 * SPAN - 1, text("TWO"));
    place(b, BIG - 4, text("END!"));
    return b;
}

int64_t reference_find(const bytes &edited, int64_t cursor, const bytes &pattern)
{
    auto it = std::search(edited.begin() + cursor, edited.end(), pattern.begin(), pattern.end());
    return it == edited.end() ? -1 : it - edited.begin();
}

// Turns the blocks of zero bytes into holes, where the file system has them.
void punch_holes(const std::string &path, const bytes &content)
{
    int fd = open(path.c_str(), O_RDWR);
    for (size_t at = 0; at + BLOCK <= content.size(); at += BLOCK)
        if (std::all_of(content.begin() + static_cast<int64_t>(at), content.begin() + static_cast<int64_t>(at + BLOCK),
                        [](unsigned char b) { return b == 0; }))
            (void)fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(at), BLOCK);
    close(fd);
}


}  // namespace

TEST(FindPrompt, FindsPatternsInTheFileAsEdited)
{
    const bytes original = big_file();
    session s(original);
    bytes edited = original;
    for (int64_t offset : {int64_t{9000}, CROSS_CURSOR + SPAN}) {
        uint8_t value = offset == 9000 ? 'Z' : 'O';
        ASSERT_EQ(record_change(s.st, offset, value, original[static_cast<size_t>(offset)]), 0);
        edited[static_cast<size_t>(offset)] = value;
    }
    const bytes counting = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        bool ascii;
        std::string typed;
        bytes pattern;
        int64_t cursor;
        int64_t found;  // -1: "No match found"
    } cases[] = {
        {true, "Hello", text("Hello"), 0, 1000},
        {false, "48656c6c6f", text("Hello"), 0, 1000},
        {true, "Hello", text("Hello"), 1000, 1000},  // the cursor already on it
        {true, "Hello", text("Hello"), 1001, -1},
        {true, "hello", text("hello"), 0, 3000},
        {true, "HELLO", text("HELLO"), 0, -1},
        {true, "Help", text("Help"), 0, 5000},  // "Hel" at 1000 is not enough
        {true, "Hellp", text("Hellp"), 0, -1},
        {true, "BLOCK", text("BLOCK"), 0, 3 * 512 - 2},
        {false, "aBc", {0xAB, 0x0C}, 0, 7000},  // an odd last digit is a byte of its own
        {false, "7", {0x07}, 0, 8000},
        {true, "Z", text("Z"), 0, 9000},  // found by its new value...
        {true, "Q", text("Q"), 0, -1},    // ...and no longer by its old one
        {false, "0102030405060708" "0", counting, 0, 10000},  // a 17th digit is ignored
        {true, "abcdefghijklmnopqrstuvwxyz012345" "6", text("abcdefghijklmnopqrstuvwxyz012345"), 0, 11000},
        {true, "SPAN", text("SPAN"), SPAN_CURSOR, SPAN_CURSOR + SPAN - 2},
        {false, "5350414E", text("SPAN"), SPAN_CURSOR + 1, SPAN_CURSOR + SPAN - 2},
        {true, "CROSS", text("CROSS"), CROSS_CURSOR, CROSS_CURSOR + SPAN - 2},
        {true, "CROSS", text("CROSS"), CROSS_CURSOR - 1, CROSS_CURSOR + SPAN - 2},
        {true, "CR#SS", text("CR#SS"), 0, -1},
        {true, "TWO", text("TWO"), TWO_SPANS_CURSOR, TWO_SPANS_CURSOR + 2 * SPAN - 1},
        {true, "TWO", text("TWO"), 0, TWO_SPANS_CURSOR + 2 * SPAN - 1},
        {true, "END!", text("END!"), 0, BIG - 4},
        {true, "END!", text("END!"), BIG - 4, BIG - 4},
        {true, "END!", text("END!"), BIG - 3, -1},
        {false, "21", text("!"), 0, BIG - 1},
        {true, "!", text("!"), BIG - 1, BIG - 1},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(reference_find(edited, c.cursor, c.pattern), c.found) << c.typed;
        s.st.ascii_mode = c.ascii ? 1 : 0;
        s.st.cursor = c.cursor;
        fake_type(c.typed + "\r");
        find_prompt(s.st);
        EXPECT_EQ(s.st.cursor, c.found >= 0 ? c.found : c.cursor) << c.typed << " from " << c.cursor;
        EXPECT_STREQ(s.st.message, c.found >= 0 ? nullptr : "No match found") << c.typed;
        EXPECT_EQ(fake_keys_left(), 0u);
        EXPECT_EQ(text_row(24).substr(0, 60), " Searching..." + std::string(47, ' ')) << c.typed;
        clear_message(s.st);
    }
}

// Few distinct values make near misses and overlapping matches common. A sparse file is made of
// 4 KiB blocks, some of data and the rest holes, with changes in both; its patterns are taken
// across the edges of blocks and around changes as often as anywhere else.
TEST(FindPattern, AgreesWithAPlainSearchOnRandomEditedFiles)
{
    std::mt19937 rng(20260501);
    auto below = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
    for (int round = 0; round < 60; round++) {
        const bool sparse = round % 3 == 2;
        const unsigned values[] = {2, 3, 256};
        unsigned alphabet = values[below(3)];
        bytes original(sparse ? BLOCK * (1 + below(40)) + below(BLOCK) : below(3000));
        for (size_t at = 0; at < original.size(); at++)
            if (!sparse || (at / BLOCK) % 4 == 1 || below(5000) == 0)
                original[at] = static_cast<unsigned char>(below(alphabet));
        session s(original);
        if (sparse)
            punch_holes(s.file.path, original);
        bytes edited = original;
        std::vector<size_t> marks;  // where patterns are best taken: block edges and changes
        for (size_t i = below(20); i > 0 && !original.empty(); i--) {
            size_t offset = below(original.size());
            edited[offset] = static_cast<unsigned char>(below(alphabet));
            marks.push_back(offset);
            ASSERT_EQ(record_change(s.st, static_cast<int64_t>(offset), edited[offset], original[offset]), 0);
        }
        for (size_t edge = BLOCK; sparse && edge < original.size(); edge += BLOCK)
            marks.push_back(edge);
        for (int query = 0; query < 25; query++) {
            bytes pattern(1 + below(FIND_MAX_CHARS));
            if (pattern.size() <= edited.size() && below(4) != 0) {
                size_t from = below(edited.size() - pattern.size() + 1);
                if (!marks.empty() && below(2) == 0)
                    from = std::clamp<size_t>(marks[below(marks.size())] - below(pattern.size()), 0,
                                              edited.size() - pattern.size());
                std::copy_n(edited.begin() + static_cast<int64_t>(from), pattern.size(), pattern.begin());
            } else {
                for (unsigned char &byte : pattern)
                    byte = static_cast<unsigned char>(below(alphabet));
            }
            s.st.cursor = edited.empty() ? 0 : static_cast<int64_t>(below(edited.size()));
            EXPECT_EQ(find_pattern(s.st, pattern.data(), static_cast<int>(pattern.size())),
                      reference_find(edited, s.st.cursor, pattern))
                << "round " << round << " query " << query << " cursor " << s.st.cursor;
        }
    }
}

// Cancelled with Esc so that the entry stays on the status line as typed.
TEST(FindPrompt, ShowsTheEntryInTheCursorsColumn)
{
    const std::string chars32 = "abcdefghijklmnopqrstuvwxyz012345";
    const struct {
        bool ascii;
        std::vector<int> keys;
        std::string shown;
        int cursor_col;
    } cases[] = {
        {false, {}, " Find [HEX]:", 13},
        {false, {'4', '1', '4', '2'}, " Find [HEX]: 41 42", 19},
        {false, {'4', '1', '4', '2', 8}, " Find [HEX]: 41 4", 17},
        {false, {'4', IO_KEY_BACKSPACE, IO_KEY_BACKSPACE}, " Find [HEX]:", 13},
        {false, std::vector<int>(17, 'f'), " Find [HEX]: FF FF FF FF FF FF FF FF", 37},
        {false, {'a', 'b', 'c', 'd', 'e', 'f', '9'}, " Find [HEX]: AB CD EF 9", 23},
        {true, {}, " Find [ASCII]:", 15},
        {true, {'H', 'i', ' ', '~'}, " Find [ASCII]: Hi ~", 19},
        {true, {'H', 'i', 8}, " Find [ASCII]: H", 16},
        {true, std::vector<int>(chars32.begin(), chars32.end()), " Find [ASCII]: " + chars32, 47},
    };
    for (const auto &c : cases) {
        session s(pattern_bytes(64));
        s.st.ascii_mode = c.ascii ? 1 : 0;
        s.st.cursor = 5;
        fake_keys(c.keys);
        if (c.ascii && c.keys.size() == 32)
            fake_keys({'!'});  // a 33rd character
        fake_esc();
        find_prompt(s.st);
        std::string line = c.shown + std::string(60 - c.shown.size(), ' ');
        EXPECT_EQ(text_row(24).substr(0, 60), line);
        EXPECT_EQ(s.roles(24).substr(0, 60), std::string(60, 'm')) << c.shown;
        EXPECT_EQ(fake_cursor_row(), 24) << c.shown;
        EXPECT_EQ(fake_cursor_col(), c.cursor_col) << c.shown;
        EXPECT_EQ(s.st.cursor, 5) << c.shown;
        EXPECT_EQ(s.st.message, nullptr) << c.shown;
    }
}

// Keys that end the entry without a search, through the loop: the cursor stays and only an
// empty entry leaves a notice. A two-part key must be used up whole, or its second half would
// reach the loop as a letter and the Right arrow queued after it would not be read.
TEST(FindPrompt, KeysThatEndTheEntryWithoutASearch)
{
    const char *none = nullptr;
    const char *empty = "No search string provided!";
    const struct {
        const char *name;
        bool ascii;
        std::vector<int> keys;  // after Alt+F
        const char *message;
    } cases[] = {
        {"Esc", false, {'4', '1', 27, IO_NO_KEY}, none}, {"Esc", true, {'4', 27, IO_NO_KEY}, none},
        {"Down", false, {'4', IO_KEY_DOWN}, none},      {"Down", true, {'4', IO_KEY_DOWN}, none},
        {"Left", true, {'4', IO_KEY_LEFT}, none},       {"PgDn", true, {IO_KEY_NPAGE}, none},
        {"End", false, {'4', IO_KEY_END}, none},        {"Alt+J", false, {'4', 27, 'j'}, none},
        {"Alt+J", true, {'4', 27, 'j'}, none},          {"0x141", false, {'4', 0x141}, none},
        {"0x141", true, {'4', 0x141}, none},            {"g", false, {'4', 'g'}, none},
        {"blank", false, {'4', ' '}, none},             {"Tab", false, {'4', 9}, none},
        {"Tab", true, {'4', 9}, none},                  {"control", true, {'4', 1}, none},
        {"Enter", false, {13}, empty},                  {"Enter", true, {IO_KEY_ENTER}, empty},
        {"erased", false, {'4', 8, 13}, empty},         {"erased", true, {'4', IO_KEY_BACKSPACE, 13}, empty},
    };
    for (const auto &c : cases) {
        session s(text("..A......AA....A"));
        s.st.ascii_mode = c.ascii ? 1 : 0;
        s.st.cursor = 3;
        fake_keys({27, 'f'});
        fake_keys(c.keys);
        fake_keys({IO_KEY_RIGHT});
        s.step();
        EXPECT_EQ(s.st.cursor, 3) << c.name << " ascii " << c.ascii;
        EXPECT_STREQ(s.st.message, c.message) << c.name << " ascii " << c.ascii;
        s.step();
        EXPECT_EQ(s.st.cursor, 4) << c.name << " ascii " << c.ascii;
        EXPECT_TRUE(change_list(s.st).empty()) << c.name << " ascii " << c.ascii;
        EXPECT_EQ(fake_keys_left(), 0u) << c.name << " ascii " << c.ascii;
    }
}
