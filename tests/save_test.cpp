// Saving and undoing through the command loop on real files: what reaches the disk, what stays
// pending when a write fails, the notices, and the single Esc that quits afterwards.
#include "edit/edit.h"
#include "file/file.h"
#include "screen/screen.h"
#include "prompt/prompt.h"
#include "support/failing_reads.h"
#include "support/failing_writes.h"
#include "support/fake_term.h"
#include "support/session.h"
#include "term/term.h"
#include "term/term_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Types two hexadecimal digits over the byte at offset, through the loop.
void type_at(session &s, int64_t offset, const char *digits)
{
    s.st.cursor = offset;
    fake_type(digits);
    s.run();
}

// Role letters of a byte's two hexadecimal cells and its character cell.
std::string cell_roles(const session &s, int64_t offset)
{
    std::string roles = s.roles(static_cast<int>((offset - s.st.view) / 16));
    int l = static_cast<int>(offset % 16);
    int col = 11 + 3 * l + (l >= 8 ? 1 : 0);
    return roles.substr(static_cast<size_t>(col), 2) + roles[static_cast<size_t>(62 + l)];
}

// The three edits most tests make, and the file they should leave once saved.
void edit_three(session &s)
{
    type_at(s, 10, "ff");
    type_at(s, 20, "00");
    type_at(s, 30, "5a");
    s.st.cursor = 0;
}

bytes with_three(bytes b)
{
    b[10] = 0xFF;
    b[20] = 0x00;
    b[30] = 0x5A;
    return b;
}

// The hexadecimal cells of a screen line as one string, and the same for bytes from offset on.
std::string shown_hex(int row)
{
    std::string line = text_row(row);
    std::string out;
    for (int l = 0; l < 16; l++)
        out += line.substr(static_cast<size_t>(11 + 3 * l + (l >= 8 ? 1 : 0)), 2);
    return out;
}

std::string hex_of(const bytes &b, int64_t offset)
{
    std::string out;
    char cell[3];
    for (int64_t at = offset; at < offset + 16; at++) {
        snprintf(cell, sizeof cell, "%02X", b[static_cast<size_t>(at)]);
        out += cell;
    }
    return out;
}

// Finds the bytes typed in hexadecimal from offset on; returns where the cursor ends.
int64_t find_from(session &s, int64_t offset, const std::string &typed)
{
    s.st.cursor = offset;
    fake_type(typed + "\r");
    find_prompt(s.st);
    return s.st.cursor;
}

// The editor started on a path that is no temporary file, released however the test ends.
struct device_editor {
    std::string program = "tolm";
    std::string path;  // st.path and st.name point into it
    editor_state st{};
    bool running = false;

    explicit device_editor(std::string device) : path(std::move(device))
    {
        fake_term_reset(25, 80);
        char *argv[] = {program.data(), path.data()};
        running = editor_start(st, 2, argv) == 0;
    }
    ~device_editor() { editor_end(st); }
    bool step() { return running = running && loop_step(st); }
};

}  // namespace

// Saving writes the three edits, undoing drops them; either way the list is empty, the bytes
// show in the normal colour again and a single Esc quits.
TEST(SaveChanges, SaveOrUndoEmptiesTheListAndOneEscThenQuits)
{
    const bytes original = pattern_bytes(100);
    const struct {
        int letter;
        const char *message;
        bytes file;
        const char *byte10;  // as shown on the screen
    } cases[] = {
        {'s', "File saved.", with_three(original), " FF "},
        {'u', "All modifications have been undone.", original, " 46 "},
    };
    for (const auto &c : cases) {
        session s(original);
        edit_three(s);
        fake_keys({27, c.letter});
        ASSERT_TRUE(s.step());
        EXPECT_EQ(s.file.read(), c.file) << c.message;
        EXPECT_TRUE(change_list(s.st).empty()) << c.message;
        draw_screen(s.st);
        EXPECT_EQ(text_row(24).substr(0, strlen(c.message) + 3), "  " + std::string(c.message) + " ");
        EXPECT_EQ(text_row(0).substr(41, 4), c.byte10);
        for (int64_t offset : {10, 20, 30})
            EXPECT_EQ(cell_roles(s, offset), "nnn") << c.message << " at " << offset;
        fake_esc();
        EXPECT_FALSE(s.step()) << c.message;
    }
}

TEST(SaveChanges, WritesOnlyTheChangedBytesAndKeepsTheLength)
{
    bytes expected = pattern_bytes(2000);
    session s(expected);
    // Another program changes bytes the editor has already read and shown; saving must not
    // put the old values back.
    int fd = open(s.file.path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const unsigned char outside = 0xEE;
    EXPECT_EQ(pwrite(fd, &outside, 1, 5), 1);
    EXPECT_EQ(pwrite(fd, &outside, 1, 1500), 1);
    close(fd);
    expected[5] = expected[1500] = outside;

    type_at(s, 10, "12");
    type_at(s, 1999, "34");
    expected[10] = 0x12;
    expected[1999] = 0x34;
    save_changes(s.st);
    EXPECT_STREQ(s.st.message, "File saved.");
    EXPECT_EQ(s.file.read(), expected);
}

// Adjacent changes go to the file in one write a run, and only their bytes: counted by the
// kernel's accounting of this process's writes.
TEST(SaveChanges, WritesEachRunOfAdjacentChangesWithOneCall)
{
    const auto io_count = [](const char *field) {
        std::ifstream io("/proc/self/io");
        std::string name;
        int64_t value = -1;
        while (io >> name >> value)
            if (name == field)
                return value;
        return int64_t{-1};
    };
    if (io_count("wchar:") < 0)
        GTEST_SKIP() << "no /proc/self/io";
    bytes expected = pattern_bytes(20000);
    session s(expected);
    for (int64_t offset : {3, 4, 5, 6, 100, 19999}) {
        s.st.cursor = offset;
        fake_type("ab");
        s.run();
        expected[static_cast<size_t>(offset)] = 0xAB;
    }
    // A run longer than twice the memory a save gathers runs in at first.
    for (int64_t offset = 1000; offset < 11000; offset++) {
        unsigned char &byte = expected[static_cast<size_t>(offset)];
        ASSERT_EQ(record_change(s.st, offset, byte ^ 0xFF, byte), 0);
        byte ^= 0xFF;
    }
    const int64_t bytes_before = io_count("wchar:");
    const int64_t calls_before = io_count("syscw:");
    save_changes(s.st);
    EXPECT_EQ(io_count("wchar:") - bytes_before, 6 + 10000);
    EXPECT_EQ(io_count("syscw:") - calls_before, 4);
    EXPECT_STREQ(s.st.message, "File saved.");
    EXPECT_EQ(s.file.read(), expected);
}

// A write that fails keeps its change and all after it pending, even where later writes would go
// through: a file size limit refuses every write past 25; a bad sector only the byte at 20.
TEST(SaveChanges, AFailedWriteKeepsThatChangeAndAllAfterItPending)
{
    const bytes original = pattern_bytes(100);
    for (const bool size_limit : {true, false}) {
        session s(original);
        edit_three(s);
        rlimit old_limit{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
        if (size_limit) {
            rlimit limit = old_limit;
            limit.rlim_cur = 25;
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        } else {
            fail_writes(20, 21);
        }
        save_changes(s.st);
        setrlimit(RLIMIT_FSIZE, &old_limit);
        fail_writes(0, 0);

        EXPECT_STREQ(s.st.message, "Write error!");
        std::vector<change_entry> pending = {{20, 0x00, original[20]}, {30, 0x5A, original[30]}};
        if (size_limit)
            pending.erase(pending.begin());
        EXPECT_EQ(change_list(s.st), pending);
        bytes partly = with_three(original);
        for (const change_entry &c : pending)
            partly[static_cast<size_t>(c.offset)] = original[static_cast<size_t>(c.offset)];
        EXPECT_EQ(s.file.read(), partly);

        clear_message(s.st);
        save_changes(s.st);
        EXPECT_STREQ(s.st.message, "File saved.");
        EXPECT_TRUE(change_list(s.st).empty());
        EXPECT_EQ(s.file.read(), with_three(original));
    }
}

// Before writing, a save looks at the file again: one that another program replaced, removed or
// shortened below a pending change gets nothing, and every change stays pending. So does a save
// whose sync the storage refused; the next save that syncs writes them all.
TEST(SaveChanges, WritesNothingWhenTheFileIsNoLongerWhatWasOpenedOrTheSyncFails)
{
    const std::string replaced = "File replaced or removed on disk! Not saved.";
    const std::string shortened = "File shortened on disk! Not saved.";
    // A regular file's sync that fails is a write error whatever the error, EINVAL too.
    enum action { NOTHING, CUT_TO, RENAME_OVER, REMOVE, FAIL_SYNC, FAIL_SYNC_EINVAL };
    const struct {
        const char *what;
        size_t size;  // 100: the three usual edits; 0: the byte 0x04 typed into the empty file
        action other_program;
        off_t length;  // for CUT_TO
        std::string message;
        int64_t length_after;  // of the file at the path, -1 when there is none
    } cases[] = {
        {"nothing happened", 100, NOTHING, 0, "File saved.", 100},
        {"grown", 100, CUT_TO, 150, "File saved.", 150},
        {"replaced by a rename", 100, RENAME_OVER, 0, replaced, 40},
        {"removed", 100, REMOVE, 0, replaced, -1},
        {"shortened to the last change", 100, CUT_TO, 30, shortened, 30},
        {"emptied", 100, CUT_TO, 0, shortened, 0},
        {"sync refused", 100, FAIL_SYNC, 0, "Write error!", 100},
        {"sync refused with EINVAL", 100, FAIL_SYNC_EINVAL, 0, "Write error!", 100},
        {"empty and still empty", 0, NOTHING, 0, "File saved.", 1},
        {"empty, then grown", 0, CUT_TO, 5, "File saved.", 5},
    };
    for (const auto &c : cases) {
        session s(pattern_bytes(c.size));
        if (c.size == 0)
            type_at(s, 0, "4");
        else
            edit_three(s);
        const std::vector<change_entry> pending = change_list(s.st);
        temp_file other(bytes(40, 0xCC));
        const char *path = s.file.path.c_str();
        int done = 0;
        if (c.other_program == CUT_TO)
            done = truncate(path, c.length);
        if (c.other_program == RENAME_OVER)
            done = rename(other.path.c_str(), path);
        if (c.other_program == REMOVE)
            done = unlink(path);
        ASSERT_EQ(done, 0) << c.what;
        fail_syncs(c.other_program >= FAIL_SYNC, c.other_program == FAIL_SYNC ? EIO : EINVAL);
        save_changes(s.st);
        fail_syncs(false);
        EXPECT_EQ(s.st.message ? s.st.message : "", c.message) << c.what;
        bool saved = c.message == "File saved.";
        EXPECT_EQ(change_list(s.st), saved ? std::vector<change_entry>{} : pending) << c.what;
        struct stat info {};
        int64_t length = stat(s.file.path.c_str(), &info) == 0 ? info.st_size : -1;
        EXPECT_EQ(length, c.length_after) << c.what;
        if (c.message == "Write error!") {
            clear_message(s.st);
            save_changes(s.st);
            EXPECT_STREQ(s.st.message, "File saved.") << c.what;
            EXPECT_EQ(s.file.read(), with_three(pattern_bytes(100))) << c.what;
        }
    }
}

TEST(SaveChanges, AFullDeviceReportsAWriteErrorAndTheChangeStaysReadyToSave)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/full";
    device_editor e("/dev/full");
    ASSERT_TRUE(e.running);
    ASSERT_EQ(e.st.file_size, 0);

    fake_keys({'4', 27, 's'});
    ASSERT_TRUE(e.step());
    ASSERT_TRUE(e.step());
    EXPECT_STREQ(e.st.message, "Write error!");
    EXPECT_EQ(change_list(e.st), (std::vector<change_entry>{{0, 4, 0}}));
    fake_keys({27, 's'});
    ASSERT_TRUE(e.step());
    EXPECT_EQ(text_row(24).substr(0, 15), "  Write error! ");
    EXPECT_STREQ(e.st.message, "Write error!");
    EXPECT_EQ(change_list(e.st).size(), 1u);
}

// A device that cannot be synchronised at all, as /dev/null, may answer so and count as synced;
// not with any other error.
TEST(SaveChanges, ADeviceThatCannotSyncCountsAsSynced)
{
    if (access("/dev/null", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/null";
    const struct {
        int error;  // of the sync; 0: the system's own answer, EINVAL
        const char *message;
    } cases[] = {{0, "File saved."}, {ENOTSUP, "File saved."}, {EIO, "Write error!"}};
    for (const auto &c : cases) {
        fail_syncs(c.error != 0, c.error);
        device_editor e("/dev/null");
        ASSERT_TRUE(e.running);
        fake_keys({'4'});
        ASSERT_TRUE(e.step());
        save_changes(e.st);
        EXPECT_STREQ(e.st.message, c.message) << c.error;
        fail_syncs(false);
    }
}

TEST(SaveChanges, SaveOrUndoWithNothingPendingLeavesTheFileAlone)
{
    const struct {
        int letter;
        const char *message;
    } cases[] = {
        {'s', "No modifications were done. File not saved."},
        {'u', "No modifications were done."},
    };
    for (const auto &c : cases) {
        session s(pattern_bytes(600));
        const timespec past[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
        ASSERT_EQ(utimensat(AT_FDCWD, s.file.path.c_str(), past, 0), 0);
        fake_keys({27, c.letter});
        ASSERT_TRUE(s.step());
        EXPECT_STREQ(s.st.message, c.message);
        struct stat info {};
        ASSERT_EQ(stat(s.file.path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, past[1].tv_sec) << c.message;
        EXPECT_EQ(info.st_mtim.tv_nsec, past[1].tv_nsec) << c.message;
        EXPECT_EQ(s.file.read(), pattern_bytes(600));
    }
}

// On a disk of whole sectors, of each common size, that refuses anything else: the screen shows
// the bytes across a sector's edge, entry, find and save work there, and a save changes exactly
// the changed bytes. A sector that cannot be read or written stops the save there: its changes
// and all after it stay pending; it shows as ?? and ends a find at its first byte.
TEST(SaveChanges, OnADiskOfWholeSectorsEverythingWorksAndASaveChangesOnlyTheChanges)
{
    enum failure { NONE, READ, WRITE };
    for (const int sector : {512, 2048, 4096}) {
        for (const failure fails : {NONE, READ, WRITE}) {
            const int64_t n = sector;
            const std::string what = std::to_string(sector) + " failing " + std::to_string(fails);
            const bytes original = pattern_bytes(static_cast<size_t>(4 * n));
            session s(original);
            ASSERT_TRUE(file_set_sector_size(sector));
            refuse_misaligned(sector);
            s.st.view = n - 160;
            draw_screen(s.st);
            for (int row = 0; row < 20; row++)
                EXPECT_EQ(shown_hex(row), hex_of(original, n - 160 + 16 * row)) << what << " row " << row;
            type_at(s, n - 1, "ab");
            type_at(s, n, "cd");
            type_at(s, 2 * n - 1, "01");
            type_at(s, 2 * n, "02");
            type_at(s, 4 * n - 1, "ee");
            bytes edited = original;
            edited[static_cast<size_t>(n - 1)] = 0xAB;
            edited[static_cast<size_t>(n)] = 0xCD;
            edited[static_cast<size_t>(2 * n - 1)] = 0x01;
            edited[static_cast<size_t>(2 * n)] = 0x02;
            edited[static_cast<size_t>(4 * n - 1)] = 0xEE;
            EXPECT_EQ(find_from(s, 0, "ABCD"), n - 1) << what;
            EXPECT_EQ(find_from(s, 3 * n - 100, hex_of(original, 3 * n - 2).substr(0, 8)), 3 * n - 2) << what;
            EXPECT_STREQ(s.st.message, nullptr) << what;
            if (fails == READ)
                fail_reads(2 * n + 100, 2 * n + 101);
            if (fails == WRITE)
                fail_writes(2 * n + 100, 2 * n + 101);
            save_changes(s.st);
            if (fails == NONE) {
                EXPECT_STREQ(s.st.message, "File saved.") << what;
                EXPECT_EQ(s.file.read(), edited) << what;
                continue;
            }
            EXPECT_STREQ(s.st.message, "Write error!") << what;
            EXPECT_EQ(change_list(s.st), (std::vector<change_entry>{{2 * n, 0x02, original[static_cast<size_t>(2 * n)]},
                                                                    {4 * n - 1, 0xEE, original[static_cast<size_t>(4 * n - 1)]}}))
                << what;
            bytes half = edited;  // the run across the failing sector's edge is written up to it
            half[static_cast<size_t>(2 * n)] = original[static_cast<size_t>(2 * n)];
            half[static_cast<size_t>(4 * n - 1)] = original[static_cast<size_t>(4 * n - 1)];
            EXPECT_EQ(s.file.read(), half) << what;
            clear_message(s.st);
            if (fails == READ) {
                s.st.view = 2 * n - 16;
                s.st.cursor = 2 * n - 16;
                file_refresh(s.st.cursor, 0);
                draw_screen(s.st);
                EXPECT_EQ(shown_hex(0), hex_of(half, 2 * n - 16)) << what;
                EXPECT_EQ(shown_hex(1), "02" + std::string(30, '?')) << what;  // the change shows
                EXPECT_EQ(find_from(s, 0, "0102030405"), 0) << what;
                char message[64];
                snprintf(message, sizeof message, "Read error at 0x%08X! Search stopped.", sector * 2);
                EXPECT_STREQ(s.st.message, message) << what;
                clear_message(s.st);
            }
            fail_reads(0, 0);
            fail_writes(0, 0);
            save_changes(s.st);
            EXPECT_STREQ(s.st.message, "File saved.") << what;
            EXPECT_EQ(s.file.read(), edited) << what;
        }
    }
    refuse_misaligned(1);
}
