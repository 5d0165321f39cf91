// The change list: one change per offset in ascending order, the first file value kept, a
// change gone once its byte is back at that value, and the byte under the cursor read through it.
#include "edit/edit.h"
#include "support/session.h"

#include <gtest/gtest.h>

#include <vector>

TEST(RecordChange, KeepsOneChangePerOffsetInAscendingOrder)
{
    const int64_t far = int64_t{1} << 33;
    const struct {
        const char *what;
        std::vector<change_entry> records;  // record_change(offset, value, file_value) in turn
        std::vector<change_entry> expected;
    } cases[] = {
        {"out of order", {{5, 1, 0}, {1, 2, 0}, {3, 3, 0}}, {{1, 2, 0}, {3, 3, 0}, {5, 1, 0}}},
        {"twice keeps the first file value", {{2, 0x10, 0xAA}, {2, 0x20, 0x10}}, {{2, 0x20, 0xAA}}},
        {"back to the file value", {{2, 0x10, 0xAA}, {2, 0xAA, 0x10}}, {}},
        {"back to the file value between two others",
         {{1, 1, 0}, {2, 0x10, 0xAA}, {3, 3, 0}, {2, 0x55, 0x10}, {2, 0xAA, 0x55}},
         {{1, 1, 0}, {3, 3, 0}}},
        {"the first one back", {{1, 1, 0}, {3, 3, 0}, {1, 0, 1}}, {{3, 3, 0}}},
        {"the last one back", {{1, 1, 0}, {3, 3, 0}, {3, 0, 3}}, {{1, 1, 0}}},
        {"equal to the file value from the start", {{4, 0x33, 0x33}}, {{4, 0x33, 0x33}}},
        {"offsets past four gigabytes", {{far, 1, 0}, {7, 2, 0}}, {{7, 2, 0}, {far, 1, 0}}},
    };
    for (const auto &c : cases) {
        session s(bytes(16));
        for (const change_entry &r : c.records)
            ASSERT_EQ(record_change(s.st, r.offset, static_cast<uint8_t>(r.value),
                                    static_cast<uint8_t>(r.file_value)), 0) << c.what;
        EXPECT_EQ(change_list(s.st), c.expected) << c.what;
    }
}

TEST(CurrentByte, ReadsTheChangeOverTheFileAndZeroWhereThereIsNoByte)
{
    {
        const bytes content = pattern_bytes(1100);
        session s(content);
        ASSERT_EQ(record_change(s.st, 600, 0x99, content[600]), 0);
        for (int64_t cursor : {0, 1, 511, 512, 599, 601, 1099}) {
            s.st.cursor = cursor;
            EXPECT_EQ(current_byte(s.st), content[cursor]) << cursor;
        }
        s.st.cursor = 600;
        EXPECT_EQ(current_byte(s.st), 0x99);
    }
    session empty(bytes{});
    EXPECT_EQ(current_byte(empty.st), 0);
}
