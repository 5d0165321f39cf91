// The find prompt and the search behind it: the entry on the status line, the keys that cancel,
// and every position found checked against a plain search of the file as edited.
#include "edit/edit.h"
#include "prompt/find_match.h"
#include "prompt/prompt.h"
#include "file/file.h"
#include "support/failing_reads.h"
#include "support/fake_term.h"
#include "support/session.h"
#include "term/term.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// The most bytes find copies at a time in the program's build: markers this far apart.
constexpr int64_t SPAN = 1 << 20;

// Cursors for the span cases: their markers lie across cursor + SPAN, a whole buffer on.
constexpr int64_t SPAN_CURSOR = 100;
constexpr int64_t CROSS_CURSOR = 200;
constexpr int64_t TWO_SPANS_CURSOR = 300;
constexpr int64_t BIG = 2200000;
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
    place(b, 12000, text("caf\xC3\xA9 \xE2\x82\xAC"));  // UTF-8
    place(b, SPAN_CURSOR + SPAN - 2, text("SPAN"));
    place(b, CROSS_CURSOR + SPAN - 2, text("CR#SS"));  // the # is edited to O
    place(b, TWO_SPANS_CURSOR + 2 * SPAN - 1, text("TWO"));
    place(b, BIG - 4, text("END!"));
    return b;
}

// memmem: linear however the bytes repeat, which matters in files of many zeros.
int64_t reference_find(const bytes &edited, int64_t cursor, const bytes &pattern)
{
    if (edited.size() - static_cast<size_t>(cursor) < pattern.size())
        return -1;
    const auto *from = edited.data() + cursor;
    const void *at = memmem(from, edited.size() - static_cast<size_t>(cursor), pattern.data(), pattern.size());
    return at ? static_cast<const unsigned char *>(at) - edited.data() : -1;
}

// Writes the blocks of content that hold more than zero bytes into a file of its length that
// holds none yet: the others stay holes, where the file system has them.
void write_data_blocks(const std::string &path, const bytes &content)
{
    int fd = open(path.c_str(), O_WRONLY);
    for (size_t at = 0; at < content.size(); at += BLOCK) {
        size_t length = std::min(BLOCK, content.size() - at);
        const unsigned char *block = content.data() + at;
        if (std::any_of(block, block + length, [](unsigned char b) { return b != 0; })) {
            EXPECT_EQ(pwrite(fd, block, length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
        }
    }
    close(fd);
}

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
        {true, "caf\xC3\xA9 \xE2\x82\xAC", text("caf\xC3\xA9 \xE2\x82\xAC"), 0, 12000},
        {true, "\xC3\xA9", text("\xC3\xA9"), 0, 12003},
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
        // From there the last group of start positions the scan sifts ends on "D!", and no byte
        // past the end may stand for the zero after it.
        {false, "442100", {'D', '!', 0}, BIG - 129, -1},
        {false, "21", text("!"), 0, BIG - 1},
        {true, "!", text("!"), BIG - 1, BIG - 1},
    };
    fake_locale("C.UTF-8");  // characters of several bytes are typed as one key each
    for (const auto &c : cases) {
        EXPECT_EQ(reference_find(edited, c.cursor, c.pattern), c.found) << c.typed;
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

// What find gives on the file as edited when its bytes from..to-1 cannot be read: the first
// occurrence that lies wholly before the first of them the scan meets, else a read error there.
find_result expected_find(const bytes &edited, int64_t cursor, const bytes &pattern, int64_t from = 0,
                          int64_t to = 0)
{
    const auto size = static_cast<int64_t>(edited.size());
    const auto length = static_cast<int64_t>(pattern.size());
    int64_t found = reference_find(edited, cursor, pattern);
    int64_t bad = std::max(from, cursor);
    if (cursor + length <= size && bad < std::min(to, size) && (found < 0 || found + length > bad))
        return {FIND_READ_ERROR, bad};
    return found < 0 ? find_result{FIND_ABSENT, -1} : find_result{FIND_FOUND, found};
}

// A file for the reference comparison, and where its faults are likeliest: where data and holes
// meet and the spans the scan reads from there end, and its changes.
struct search_file {
    bytes content;
    std::vector<int64_t> marks;
    bool sparse = false;
};

// Data, a hole of eight spans, data and a hole; each other stretch is of a few bytes up to a span
// and more: holes and data longer than every span the scan reads. The second data holds other
// values than the first, so that what it holds is found past the long hole.
search_file long_sparse_file(std::mt19937 &rng, unsigned alphabet)
{
    const int64_t lengths[] = {FIND_COPY_SPAN / 16, FIND_COPY_SPAN, 4 * FIND_COPY_SPAN};
    search_file f;
    f.sparse = true;
    for (int stretch = 0; stretch < 4; stretch++) {
        const bool data = stretch % 2 == 0;
        const auto at = static_cast<int64_t>(f.content.size());
        int64_t length = (stretch == 1 ? 8 * FIND_COPY_SPAN : lengths[rng() % 3]) + static_cast<int64_t>(rng() % 100);
        f.content.resize(static_cast<size_t>(at + length));
        for (int64_t i = at; data && i < at + length; i++)
            f.content[static_cast<size_t>(i)] = static_cast<unsigned char>(1 + stretch + rng() % alphabet);
        for (int64_t span : {int64_t{0}, int64_t{FIND_COPY_SPAN / 16}, int64_t{3 * FIND_COPY_SPAN / 16},
                             int64_t{FIND_COPY_SPAN}, int64_t{4 * FIND_COPY_SPAN}})
            f.marks.push_back(at + span);
    }
    return f;
}

}  // namespace

// Few distinct values make near misses and overlapping matches common. Sparse files are made of
// 4 KiB blocks of data and holes, or of stretches longer than every span the scan reads; changes
// fall in data and holes alike, also far past the last data. Patterns and cursors are drawn
// around the edges of data, holes and spans and around changes as often as anywhere else. Some
// plain files cannot be read over a range: the search finds what lies wholly before it or ends
// with a read error at the first byte it could not read.
TEST(FindPattern, AgreesWithAPlainSearchOnRandomEditedFiles)
{
    enum { PLAIN, BLOCKS, FAILING, LONG_SPARSE };
    constexpr int kinds[] = {PLAIN, BLOCKS, FAILING, PLAIN, BLOCKS, FAILING, PLAIN, LONG_SPARSE};
    std::mt19937 rng(20260501);
    auto below = [&rng](int64_t n) { return static_cast<int64_t>(rng() % static_cast<uint64_t>(n)); };
    for (int round = 0; round < 80; round++) {
        const int kind = kinds[round % 8];
        const unsigned values[] = {2, 3, 250};
        unsigned alphabet = values[below(3)];
        search_file f;
        if (kind == LONG_SPARSE) {
            f = long_sparse_file(rng, alphabet);
        } else {
            f.sparse = kind == BLOCKS;
            int64_t size = f.sparse            ? BLOCK * (1 + below(40)) + below(BLOCK)
                           : kind == FAILING ? below(3 * FIND_COPY_SPAN)
                                             : below(3000);
            f.content.resize(static_cast<size_t>(size));
            for (int64_t at = 0; at < size; at++)
                if (!f.sparse || (at / BLOCK) % 4 == 1 || below(5000) == 0)
                    f.content[static_cast<size_t>(at)] = static_cast<unsigned char>(below(alphabet));
            for (int64_t edge = BLOCK; f.sparse && edge < size; edge += BLOCK)
                f.marks.push_back(edge);
        }
        const bytes &original = f.content;
        const auto size = static_cast<int64_t>(original.size());
        session s(f.sparse ? bytes{} : original, 25, {}, "data.bin", f.sparse ? size : -1);
        if (f.sparse) {
            write_data_blocks(s.file.path, original);
            file_refresh(0, 0);
        }
        int64_t fail_from = 0;
        int64_t fail_to = 0;
        if (kind == FAILING && size > 0) {
            fail_from = below(size);
            fail_to = fail_from + 1 + below(3 * FILE_BLOCK_SIZE);
            fail_reads(fail_from, fail_to);
            f.marks.push_back(fail_from);
        }
        bytes edited = original;
        // Changes on and beside the marks, and a few anywhere.
        std::vector<int64_t> near_marks;
        for (int64_t mark : f.marks)
            near_marks.push_back(mark + below(5) - 2);
        for (int64_t i = below(kind == LONG_SPARSE ? 4 : 20); i > 0 && size > 0; i--)
            near_marks.push_back(i % 2 ? below(size) : size - 1 - below(100));
        for (int64_t offset : near_marks) {
            if (offset < 0 || offset >= size || below(3) == 0)
                continue;
            auto at = static_cast<size_t>(offset);
            edited[at] = static_cast<unsigned char>(below(alphabet));
            f.marks.push_back(offset);
            ASSERT_EQ(record_change(s.st, offset, edited[at], original[at]), 0);
        }
        auto near = [&](int64_t length) {
            int64_t at = below(2) == 0 || f.marks.empty() ? below(size) : f.marks[below(static_cast<int64_t>(f.marks.size()))];
            return std::clamp<int64_t>(at - below(length + 1), 0, std::max<int64_t>(size - length, 0));
        };
        for (int query = 0; query < (kind == LONG_SPARSE ? 20 : 25); query++) {
            bytes pattern(static_cast<size_t>(1 + below(FIND_MAX_CHARS)));
            const auto length = static_cast<int64_t>(pattern.size());
            if (length <= size && below(4) != 0) {
                std::copy_n(edited.begin() + near(length), length, pattern.begin());
            } else {
                for (unsigned char &byte : pattern)
                    byte = static_cast<unsigned char>(below(alphabet));
            }
            s.st.cursor = size == 0 || below(4) == 0 ? 0 : std::min(near(length) + below(2), size - 1);
            find_result expected = expected_find(edited, s.st.cursor, pattern, fail_from, fail_to);
            find_result got = find_pattern(s.st, pattern.data(), static_cast<int>(length));

            EXPECT_EQ(got.outcome, expected.outcome) << "round " << round << " query " << query << " cursor " << s.st.cursor;
            EXPECT_EQ(got.offset, expected.offset) << "round " << round << " query " << query << " cursor " << s.st.cursor;
        }
    }
}

namespace {

// Inputs that make a search slow or wrong where it takes shortcuts: few values, text that
// repeats, and near misses.
enum hard_family { TWO_LETTERS, FOUR_LETTERS, PERIODIC, RUNS, NEAR_MISSES };

// Bytes of the family and a pattern of the given length for them. Variant picks, in the
// periodic text, which byte of the pattern breaks its period (none at length), and in near
// misses which byte of each copy of the pattern differs.
std::pair<bytes, bytes> hard_input(hard_family family, int length, int variant, size_t size, std::mt19937 &rng)
{
    bytes text(size);
    bytes pattern(static_cast<size_t>(length));
    auto letters = [&rng](bytes &b, const char *set, unsigned count) {
        for (unsigned char &byte : b)
            byte = static_cast<unsigned char>(set[rng() % count]);
    };
    if (family == TWO_LETTERS || family == FOUR_LETTERS) {
        letters(text, "ACGT", family == TWO_LETTERS ? 2 : 4);
        letters(pattern, "ACGT", family == TWO_LETTERS ? 2 : 4);
    } else if (family == PERIODIC) {
        bytes unit(1 + rng() % 12);
        letters(unit, "ab", 2);
        const size_t phase = rng() % unit.size();
        for (size_t i = 0; i < size; i++)
            text[i] = unit[i % unit.size()];
        for (size_t i = 0; i < pattern.size(); i++)
            pattern[i] = unit[(i + phase) % unit.size()];
        if (variant < length)
            pattern[static_cast<size_t>(variant)] ^= 1;
    } else if (family == RUNS) {
        const size_t every = 1 + rng() % 40;
        for (size_t i = 0; i < size; i++)
            text[i] = i % every == every - 1 ? 'b' : 'a';
        std::fill(pattern.begin(), pattern.end(), 'a');
        if (variant % 2 == 1)
            pattern[rng() % pattern.size()] = 'b';
    } else {
        letters(pattern, "abc", 3);
        for (size_t i = 0; i < size; i++)
            text[i] = pattern[i % pattern.size()] ^ (i % pattern.size() == static_cast<size_t>(variant) ? 4 : 0);
    }
    return {text, pattern};
}

}  // namespace

// Each family at every pattern length, of sizes around each that the search branches on, with
// the pattern as drawn, then put ending on the last byte, anywhere and at the very start, each
// time before where it was; both forms of the search against a plain one. The bytes lie in a
// block of their exact size, so that a read past them shows in the sanitizer build.
TEST(FindInSpan, AgreesWithAPlainSearchOnHardInputs)
{
    const size_t sizes[] = {0, 1, 31, 64, 95, 96, 97, 151, 152, 153, 200, 1000, 4099};
    std::mt19937 rng(20261211);
    for (hard_family family : {TWO_LETTERS, FOUR_LETTERS, PERIODIC, RUNS, NEAR_MISSES})
        for (int length = 1; length <= FIND_MAX_CHARS; length++)
            for (int variant = 0; variant <= length; variant++) {
                const size_t size = sizes[rng() % std::size(sizes)] + rng() % 3;
                auto [text, pattern] = hard_input(family, length, variant, size, rng);
                const find_needle n = find_prepare(pattern.data(), length);
                const size_t last = size >= pattern.size() ? size - pattern.size() : size;
                for (size_t at : {size, last, rng() % (last + 1), size_t{0}}) {
                    if (at + pattern.size() <= size)
                        std::copy(pattern.begin(), pattern.end(), text.begin() + static_cast<std::ptrdiff_t>(at));
                    const auto size_in = static_cast<int64_t>(size);
                    const auto found = std::search(text.begin(), text.end(), pattern.begin(), pattern.end());
                    const int64_t expected = found == text.end() ? -1 : found - text.begin();
                    const std::string name = "family " + std::to_string(family) + " length " + std::to_string(length) +
                                             " variant " + std::to_string(variant) + " size " + std::to_string(size) +
                                             " at " + std::to_string(at);
                    EXPECT_EQ(find_in_span(text.data(), size_in, n), expected) << name;
                    EXPECT_EQ(find_in_span_portable(text.data(), size_in, n), expected) << name;
                }
            }
}

// Another program cuts the file short during a find, and may lengthen it again with zeros right
// after: the read cut short ends the search as the end of the file would. Neither what the
// buffer held from the find before (which found the pattern across the cut) nor the zeros past
// the cut are a match.
TEST(FindPattern, BytesCutOffDuringAFindAreNoMatch)
{
    constexpr int64_t CUT = 5000;
    const bytes content = background(size_t{4} * FIND_COPY_SPAN);
    const struct {
        bool grows_back;
        bytes pattern;
        int64_t found_before;
    } cases[] = {
        {false, bytes(content.begin() + CUT - 4, content.begin() + CUT + 4), CUT - 4},
        {true, bytes(4), -1},
    };
    for (const auto &c : cases) {
        session s(content);
        const int length = static_cast<int>(c.pattern.size());
        EXPECT_EQ(find_pattern(s.st, c.pattern.data(), length).offset, c.found_before);
        cut_when_read(s.file.path.c_str(), CUT, c.grows_back);
        const find_result got = find_pattern(s.st, c.pattern.data(), length);
        EXPECT_EQ(got.outcome, FIND_ABSENT) << c.grows_back;
        EXPECT_EQ(got.offset, -1) << c.grows_back;
    }
}

// On storage of 2.5 MB/s, where one of the largest copies takes 400 ms to read, a key stops the
// search within a few short reads, and is dropped whole; so it does on a device that crawls from
// some point on (at 4 MB/s), once the first read there, nearly a whole span, has shown it crawls.
// A resize before the key draws the notice again on the new last line, over the whole of the
// prompt's part of it.
TEST(FindPrompt, OnSlowStorageAKeyStopsTheSearchAtOnce)
{
    const struct {
        int64_t rate, slow_from;
        int key_after_ms, stopped_within_ms;
        int key;
    } cases[] = {{2'500'000, 0, 0, 100, 'x'}, {4'000'000, 1 << 20, 300, 420, IO_KEY_RIGHT}};
    for (const auto &c : cases) {
        session s(pattern_bytes(4 << 20));
        slow_reads(c.rate, c.slow_from);
        fake_type("0102030405\r");
        fake_type_ahead_in(c.key_after_ms);
        fake_resize(20, 80);
        fake_keys({c.key});
        auto started = std::chrono::steady_clock::now();
        find_prompt(s.st);
        EXPECT_FALSE(key_waiting());  // the key is dropped whole, a two-part one too
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(c.stopped_within_ms));
        EXPECT_STREQ(s.st.message, "Search cancelled.");
        EXPECT_EQ(text_row(19).substr(0, 60), " Searching..." + std::string(47, ' '));
        EXPECT_EQ(s.roles(19).substr(0, 60), std::string(60, 'm'));
        EXPECT_EQ(s.st.cursor, 0);
    }
}

// Cancelled with Esc so that the entry stays on the status line as typed.
TEST(FindPrompt, ShowsTheEntryInTheCursorsColumn)
{
    const std::string chars32 = "abcdefghijklmnopqrstuvwxyz012345";
    std::vector<int> chars31_and_e(chars32.begin(), chars32.end() - 1);
    chars31_and_e.insert(chars31_and_e.end(), {0xC3, 0xA9});  // é does not fit, nor half of it
    const struct {
        bool ascii;
        std::vector<int> keys;
        std::string shown;
        int cursor_col;
        const char *locale = "";
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
        {true, {'c', 'a', 'f', 0xC3, 0xA9}, " Find [ASCII]: caf..", 20, "C.UTF-8"},
        {true, {'a', 0xE2, 0x82, 0xAC, 8}, " Find [ASCII]: a", 16, "C.UTF-8"},
        {true, {'a', 0xC3, 0xA9, 8}, " Find [ASCII]: a.", 17},
        {true, chars31_and_e, " Find [ASCII]: " + chars32.substr(0, 31), 46, "C.UTF-8"},
        {true, chars31_and_e, " Find [ASCII]: " + chars32.substr(0, 31) + ".", 47},
        {false, {'4', 0xC3, 0xA9}, " Find [HEX]: 4", 14, "C.UTF-8"},
    };
    for (const auto &c : cases) {
        session s(pattern_bytes(64));
        s.st.ascii_mode = c.ascii ? 1 : 0;
        s.st.cursor = 5;
        fake_locale(c.locale);
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
        {"unknown", false, {'4', 27, '[', 'F'}, none},  {"unknown", true, {'4', 27, 'O', 'H'}, none},
        {"é", false, {'4', 0xC3, 0xA9}, none},
    };
    for (const auto &c : cases) {
        session s(text("..A......AA....A"));
        s.st.ascii_mode = c.ascii ? 1 : 0;
        s.st.cursor = 3;
        fake_locale("C.UTF-8");
        fake_keys({27, 'f'});
        fake_keys_at_once(c.keys);
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
