// The change list: one change per offset in ascending order, the first file value kept, a
// change gone once its byte is back at that value, and the byte under the cursor read through it.
#include "edit/edit.h"
#include "support/session.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
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

// Edits that run forward, jump about and return bytes to their file values, with saves that
// release the first changes between them: the list, the change found from any offset and the
// byte under the cursor must agree with an ordered map at every step.
TEST(RecordChange, AgreesWithAnOrderedMapThroughRunsJumpsAndSaves)
{
    const bytes content = pattern_bytes(4096);
    session s(content);
    std::map<int64_t, change_entry> model;
    std::mt19937 rng(7);
    int64_t offset = 0;
    for (int step = 0; step < 20000; step++) {
        unsigned roll = rng() % 100;
        if (roll == 0) {
            int64_t count = rng() % 50;
            release_changes(s.st, count);
            for (; count > 0 && !model.empty(); count--)
                model.erase(model.begin());
            continue;
        }
        offset = roll < 70 ? (offset + 1) % 4096 : static_cast<int64_t>(rng() % 4096);
        uint8_t file_value = content[static_cast<size_t>(offset)];
        // Values near the file's make changes that go back to it, and so leave the list, common.
        uint8_t value = static_cast<uint8_t>(file_value + rng() % 3);
        ASSERT_EQ(record_change(s.st, offset, value, file_value), 0);
        auto [it, added] = model.try_emplace(offset, change_entry{offset, value, file_value});
        it->second.value = value;
        if (it->second.value == it->second.file_value && !added)
            model.erase(it);
        // Probes move the finger too: half the steps leave it where the edit put it.
        if (rng() % 2)
            continue;
        int64_t probe = static_cast<int64_t>(rng() % 4100);
        auto expected = model.lower_bound(probe);
        const change *found = first_change_from(s.st, probe);
        ASSERT_EQ(found ? found->offset : -1, expected == model.end() ? -1 : expected->first) << step;
        s.st.cursor = probe % 4096;
        auto under = model.find(s.st.cursor);
        ASSERT_EQ(current_byte(s.st), under == model.end() ? content[static_cast<size_t>(s.st.cursor)]
                                                         : under->second.value) << step;
    }
    std::vector<change_entry> expected;
    for (const auto &[at, entry] : model)
        expected.push_back(entry);
    EXPECT_EQ(change_list(s.st), expected);
}
