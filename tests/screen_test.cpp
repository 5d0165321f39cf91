// Screen rendering through the in-memory terminal: whole file lines as text and role letters,
// labels past the end and past four gigabytes, the status line and its messages, the cursor.
#include "edit/edit.h"
#include "screen/screen.h"
#include "support/failing_reads.h"
#include "support/fake_term.h"
#include "support/session.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bytes letters(int count)
{
    bytes out;
    for (int i = 0; i < count; i++)
        out.push_back(static_cast<unsigned char>('A' + i));
    return out;
}

// One letter per column for the video attributes a cell is drawn in: r reverse, b bold,
// R both, d dim, blank none.
std::string video_row(int row)
{
    std::string out;
    for (int attrs : fake_attrs_row(row)) {
        if (attrs == (IO_ATTR_REVERSE | IO_ATTR_BOLD))
            out += 'R';
        else if (attrs == IO_ATTR_REVERSE)
            out += 'r';
        else if (attrs == IO_ATTR_BOLD)
            out += 'b';
        else if (attrs == IO_ATTR_DIM)
            out += 'd';
        else
            out += attrs == 0 ? ' ' : '?';
    }
    return out;
}

}  // namespace

// 36 bytes: control and high bytes, then A to T. Positions past the end are drawn apart, and
// the labels there stay at the length of the file.
TEST(DrawScreen, FileLinesShowHexAndPrintableCharactersAndLabelsStopAtTheEnd)
{
    bytes content = {0x00, 0x0A, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xE9, 0xB3, 0xFF, '0', 'a', '.', 'A', 'z', 0x09};
    const bytes tail = letters(20);
    content.insert(content.end(), tail.begin(), tail.end());
    session s(content);
    int refreshes = fake_refresh_count();
    draw_screen(s.st);
    EXPECT_EQ(fake_refresh_count() - refreshes, 1);  // once the cursor is placed
    EXPECT_TRUE(fake_cursor_visible());
    EXPECT_EQ(text_row(0), ".00000000. 00 0A 1F 20 7E 7F 80 E9  B3 FF 30 61 2E 41 7A 09 . ... ~.....0a.Az. .");
    EXPECT_EQ(s.roles(0),  "noooooooonnccnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnncnnnnnnnnnnnnnnnnn");
    EXPECT_EQ(text_row(1), ".00000010. 41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50 . ABCDEFGHIJKLMNOP .");
    EXPECT_EQ(s.roles(1),  "noooooooonnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn");
    EXPECT_EQ(text_row(2), ".00000020. 51 52 53 54 .. .. .. ..  .. .. .. .. .. .. .. .. . QRST............ .");
    EXPECT_EQ(s.roles(2),  "noooooooonnnnnnnnnnnnnnppnppnppnppnnppnppnppnppnppnppnppnppnnnnnnnppppppppppppnn");
    for (int row : {3, 23}) {
        EXPECT_EQ(text_row(row), ".00000024. .. .. .. .. .. .. .. ..  .. .. .. .. .. .. .. .. . ................ .");
        EXPECT_EQ(s.roles(row),  "noooooooonnppnppnppnppnppnppnppnppnnppnppnppnppnppnppnppnppnnnppppppppppppppppnn");
    }
}

// Bytes the storage cannot give keep their places: each shows as ?? in the colour of positions
// past the end (the cursor's where it stands, a change's value where one lies), and every later
// line is labelled with its own offset.
TEST(DrawScreen, UnreadableBytesKeepTheirPlacesAndOffsets)
{
    session s(pattern_bytes(0x500), 50);
    fail_reads(0x208, 0x400);
    ASSERT_EQ(record_change(s.st, 0x20A, 'Z', 0), 0);
    s.st.view = 0x1F0;
    s.st.cursor = 0x20C;
    draw_screen(s.st);
    EXPECT_EQ(text_row(1), ".00000200. 00 07 0E 15 1C 23 2A 31  ?? ?? 5A ?? ?? ?? ?? ?? . .....#*1??Z????? .");
    EXPECT_EQ(s.roles(1),  "noooooooonnnnnnnnnnnnnnnnnnnnnnnnnnnppnppneenppnccnppnppnppnnnnnnnnnnnppepcpppnn");
    EXPECT_EQ(text_row(2), ".00000210. ?? ?? ?? ?? ?? ?? ?? ??  ?? ?? ?? ?? ?? ?? ?? ?? . ???????????????? .");
    EXPECT_EQ(s.roles(2),  "noooooooonnppnppnppnppnppnppnppnppnnppnppnppnppnppnppnppnppnnnppppppppppppppppnn");
    EXPECT_EQ(text_row(33), ".00000400. 00 07 0E 15 1C 23 2A 31  38 3F 46 4D 54 5B 62 69 . .....#*18?FMT[bi .");
    EXPECT_EQ(s.roles(33), "noooooooonnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn");
    EXPECT_EQ(fake_cursor_row(), 1);
    EXPECT_EQ(fake_cursor_col(), 49);
}

TEST(DrawScreen, ChangedBytesShowTheirValueAndShareOnePairWithTheCursor)
{
    session s(bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', ':', ';', '<', '=', '>', '?'});
    ASSERT_EQ(record_change(s.st, 1, 'x', '1'), 0);
    ASSERT_EQ(record_change(s.st, 2, 'y', '2'), 0);
    ASSERT_EQ(record_change(s.st, 5, '5', '5'), 0);  // equal to the file's byte, still a change
    s.st.cursor = 2;
    draw_screen(s.st);
    EXPECT_EQ(text_row(0), ".00000000. 30 78 79 33 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F . 0xy3456789:;<=>? .");
    EXPECT_EQ(s.roles(0),  "noooooooonnnnneenCCnnnnnnneennnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnneCnnennnnnnnnnnnn");
    s.st.cursor = 3;
    draw_screen(s.st);
    EXPECT_EQ(s.roles(0),  "noooooooonnnnneeneenccnnnneennnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnneecnennnnnnnnnnnn");
}

// Without colours the pairs would all look alike: video attributes show the cursor, the changes,
// the positions past the end, the status line and a message instead, and no pair is drawn.
TEST(DrawScreen, WithoutColoursTheRolesShowInVideoAttributes)
{
    session s(bytes{'A', 'B', 'C'}, 25, {}, "data.bin", -1, false);
    ASSERT_EQ(record_change(s.st, 1, 'x', 'B'), 0);
    const struct {
        int64_t cursor;
        std::string row0;
    } cases[] = {
        {2, "              bb rr dd dd dd dd dd  dd dd dd dd dd dd dd dd    brddddddddddddd  "},
        {1, "              RR    dd dd dd dd dd  dd dd dd dd dd dd dd dd    R ddddddddddddd  "},
    };
    for (const auto &c : cases) {
        s.st.cursor = c.cursor;
        draw_screen(s.st);
        EXPECT_EQ(text_row(0).substr(0, 22), ".00000000. 41 78 43 ..");
        EXPECT_EQ(video_row(0), c.row0) << c.cursor;
        EXPECT_EQ(fake_pair_row(0), std::vector<int>(80, 0)) << c.cursor;
        EXPECT_EQ(video_row(24), std::string(80, 'r')) << c.cursor;
    }
    set_message(s.st, "File saved.");
    draw_screen(s.st);
    EXPECT_EQ(video_row(24), "r" + std::string(13, 'R') + std::string(66, 'r'));
}

TEST(DrawScreen, StatusLineShowsNameLengthAndCursorOffset)
{
    const struct {
        std::string name;
        int64_t cursor;
        std::string expected;
    } cases[] = {
        {"data.bin", 0x13, "data.bin (20 bytes)                             ALT+H: Help  offset: 0x00000013 "},
        {"abcdefghijklmnopqrstuvwxyz0123456789ABCD", 0,
         "abcdefghijklmnopqrstuvwxyz01 (20 bytes)         ALT+H: Help  offset: 0x00000000 "},
    };
    for (const auto &c : cases) {
        session s(letters(20), 25, {}, c.name);
        s.st.cursor = c.cursor;
        draw_screen(s.st);
        EXPECT_EQ(text_row(24), c.expected);
        EXPECT_EQ(s.roles(24), std::string(80, 's'));
    }
}

TEST(DrawScreen, MessageIsHighlightedFromColumnOneToOnePastItsEndAndShownOnce)
{
    const std::string longest(76, 'w');
    const struct {
        std::string message;
        std::string text;
        std::string roles;
    } cases[] = {
        {"invalid key 0x0067", "  invalid key 0x0067" + std::string(60, ' '),
         "s" + std::string(20, 'm') + std::string(59, 's')},
        {longest, "  " + longest + "  ", "s" + std::string(78, 'm') + "s"},
    };
    for (const auto &c : cases) {
        session s(letters(20));
        set_message(s.st, c.message.c_str());
        draw_screen(s.st);
        EXPECT_EQ(text_row(24), c.text);
        EXPECT_EQ(s.roles(24), c.roles);
        EXPECT_EQ(s.st.message, nullptr);
        draw_screen(s.st);
        EXPECT_EQ(text_row(24).substr(0, 19), "data.bin (20 bytes)");
        EXPECT_EQ(s.roles(24), std::string(80, 's'));
    }
}

TEST(DrawScreen, TerminalCursorSitsOnTheLowHexDigitOrTheCharacter)
{
    const struct {
        int64_t cursor;
        int64_t view;
        uint32_t ascii_mode;
        int row;
        int col;
    } cases[] = {
        {0, 0, 0, 0, 12},   {0, 0, 1, 0, 62},   {7, 0, 0, 0, 33},   {8, 0, 0, 0, 37},
        {9, 0, 0, 0, 40},   {9, 0, 1, 0, 71},   {15, 0, 0, 0, 58},  {15, 0, 1, 0, 77},
        {41, 16, 0, 1, 40}, {41, 16, 1, 1, 71}, {399, 48, 0, 21, 58},
    };
    session s(pattern_bytes(400));
    for (const auto &c : cases) {
        s.st.cursor = c.cursor;
        s.st.view = c.view;
        s.st.ascii_mode = c.ascii_mode;
        draw_screen(s.st);
        EXPECT_EQ(fake_cursor_row(), c.row) << c.cursor << " " << c.ascii_mode;
        EXPECT_EQ(fake_cursor_col(), c.col) << c.cursor << " " << c.ascii_mode;
    }
}

// Sparse files just over a terabyte, of 20 TiB and of 2^63 - 1 bytes: labels of nine to eleven
// digits take over the blank and then the frames; longer ones show a mark and their low ten
// digits. The status offset moves left so that column 79 stays blank. The last file is seen from
// its last line on a terminal tall enough that the lines below it would pass the largest offset.
// Files past 16 TiB are made in the memory file system.
TEST(DrawScreen, OffsetsFromFourGigabytesWidenTheLabelAndTheStatusOffset)
{
    constexpr int64_t OVER_1_TIB = 0x10000000010;
    constexpr int64_t TIB_20 = int64_t{20} << 40;
    constexpr int64_t TOP = INT64_MAX;  // 2^63 - 1
    const struct {
        int64_t length;
        int rows;
        int64_t view;
        int64_t cursor;
        std::string labels[2];
        std::string label_roles[2];
        std::string status;
    } cases[] = {
        {OVER_1_TIB, 3, 0xFFFFFFF0, 0x100000000,
         {".FFFFFFF0. 00", ".100000000.00"},
         {"noooooooonnnn", "noooooooooncc"},
         "data.bin (1099511627792 bytes)                 ALT+H: Help  offset: 0x100000000 "},
        {OVER_1_TIB, 3, 0xFFFFFFFF0, 0xFFFFFFFF0,
         {".FFFFFFFF0.00", "1000000000.00"},
         {"noooooooooncc", "oooooooooonnn"},
         "data.bin (1099511627792 bytes)                 ALT+H: Help  offset: 0xFFFFFFFF0 "},
        {OVER_1_TIB, 3, 0xFFFFFFFFF0, 0x10000000005,
         {"FFFFFFFFF0.00", "1000000000000"},
         {"oooooooooonnn", "ooooooooooonn"},
         "data.bin (1099511627792 bytes)               ALT+H: Help  offset: 0x10000000005 "},
        {TIB_20, 3, 0xFFFFFFFFFF0, 0x100000000005,
         {"FFFFFFFFFF000", "<000000000000"},
         {"ooooooooooonn", "noooooooooonn"},
         "data.bin (21990232555520 bytes)             ALT+H: Help  offset: 0x100000000005 "},
        {TOP, 40, TOP - 31, TOP - 1,
         {"<FFFFFFFFE000", "<FFFFFFFFF000"},
         {"noooooooooonn", "noooooooooonn"},
         "data.bin (9223372036854775807 bytes)    ALT+H: Help  offset: 0x7FFFFFFFFFFFFFFE "},
    };
    for (const auto &c : cases) {
        const bool in_memory = c.length > OVER_1_TIB;
        if (in_memory && !folder_takes_length(MEMORY_FOLDER, c.length)) {
            GTEST_SKIP() << MEMORY_FOLDER << " takes no file of " << c.length << " bytes";
        }
        session s(bytes{}, c.rows, {}, "data.bin", c.length, true, in_memory ? MEMORY_FOLDER : "");
        ASSERT_EQ(s.st.file_size, c.length);
        s.st.view = c.view;
        s.st.cursor = c.cursor;
        draw_screen(s.st);
        for (int row = 0; row < 2; row++) {
            EXPECT_EQ(text_row(row).substr(0, 13), c.labels[row]) << std::hex << c.view;
            EXPECT_EQ(s.roles(row).substr(0, c.label_roles[row].size()), c.label_roles[row]) << std::hex << c.view;
        }
        EXPECT_EQ(text_row(c.rows - 1), c.status);
    }
}
