// Block-cached file access against real temporary files, compared with in-memory copies.
#include "file/file.h"
#include "support/failing_reads.h"
#include "support/temp_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <unistd.h>

namespace {

struct open_file {
    temp_file file;
    int64_t length;

    explicit open_file(const bytes &content, const char *mode = "rb+") : file(content)
    {
        refuse_misaligned(1);
        int error_code = -1;
        length = file_open(file.path.c_str(), mode, error_code);
        EXPECT_EQ(error_code, 0);
    }
    ~open_file() { file_close(); }
};

std::vector<int64_t> cached_blocks()
{
    std::vector<int64_t> blocks;
    for (int slot = 0; slot < FILE_CACHE_SLOTS; slot++)
        blocks.push_back(file_cached_block(slot));
    return blocks;
}

}  // namespace

// Also on disks that take only whole sectors at aligned offsets, of each common size.
TEST(FileRead, EveryReadMatchesTheFileForManySizes)
{
    for (const int sector : {1, 512, 2048, 4096}) {
        for (size_t size : {0u, 1u, 16u, 511u, 512u, 513u, 2049u, 5000u}) {
            bytes content = pattern_bytes(size);
            open_file f(content);
            ASSERT_EQ(f.length, static_cast<int64_t>(size));
            ASSERT_TRUE(file_set_sector_size(sector));
            refuse_misaligned(sector);
            for (int64_t offset = 0; offset < static_cast<int64_t>(size) + 40; offset += 13) {
                for (int count : {1, 3, 16, 32}) {
                    unsigned char got[32] = {};
                    int n = file_read(got, count, offset);
                    int64_t left = static_cast<int64_t>(size) - offset;
                    const std::string where = "sector " + std::to_string(sector) + " size " + std::to_string(size) +
                                              " offset " + std::to_string(offset);
                    if (left <= 0) {
                        EXPECT_EQ(n, -1) << where;
                        continue;
                    }
                    ASSERT_EQ(n, std::min<int64_t>(count, left)) << where;
                    EXPECT_EQ(bytes(got, got + n), bytes(content.begin() + offset, content.begin() + offset + n));
                }
            }
        }
    }
    refuse_misaligned(1);
}

TEST(FileRead, MissesFillSlotsInOrderAndHitsStayPut)
{
    open_file f(pattern_bytes(0x1000));
    unsigned char buf[32];
    EXPECT_EQ(file_read(buf, 16, 0x3F0), 16);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{1, -1, -1, -1}));
    EXPECT_EQ(file_read(buf, 16, 0x400), 16);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{1, 2, -1, -1}));
    EXPECT_EQ(file_read(buf, 16, 0x200), 16);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{1, 2, -1, -1}));
}

TEST(FileRead, AFifthBlockReplacesTheSlotUsedLongestAgo)
{
    open_file f(pattern_bytes(0x1000));
    unsigned char buf[32];
    for (int64_t block : {0, 1, 2, 3})
        ASSERT_EQ(file_read(buf, 1, block * 512), 1);
    ASSERT_EQ(file_read(buf, 1, 0), 1);  // block 0 used again: block 1 is now the oldest
    ASSERT_EQ(file_read(buf, 1, 4 * 512), 1);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{0, 4, 2, 3}));
    ASSERT_EQ(file_read(buf, 1, 5 * 512), 1);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{0, 4, 5, 3}));
}

TEST(FileRead, ReadAcrossBlockBoundaryComesStraightFromTheFile)
{
    bytes content = pattern_bytes(1024);
    open_file f(content);
    unsigned char buf[32];
    ASSERT_EQ(file_read(buf, 3, 510), 3);
    EXPECT_EQ(bytes(buf, buf + 3), bytes(content.begin() + 510, content.begin() + 513));
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{-1, -1, -1, -1}));
    ASSERT_EQ(file_read(buf, 32, 1000), 24);  // crossing nothing but the end: cut
}

// Reads stop at the end of the file and at bytes the storage cannot give, and tell the two apart:
// here the file ends at 2000 and its bytes 1000-1099 cannot be read.
TEST(FileRead, ReadsStopAtTheEndAndAtUnreadableBytesAndTellWhich)
{
    open_file f(pattern_bytes(2000));
    fail_reads(1000, 1100);
    const struct {
        int64_t offset;
        int count;
        int result;
    } cases[] = {
        {1990, 32, 10},   {1999, 1, 1},     {2000, 1, FILE_PAST_END},       {1 << 20, 16, FILE_PAST_END},
        {992, 16, 8},     {1000, 1, FILE_UNREADABLE}, {1099, 16, FILE_UNREADABLE},
        {1020, 8, FILE_UNREADABLE},  // across a block boundary, straight from the file
        {1024 + 512, 16, 16},  // the next block; the one that failed is remembered as failed
    };
    unsigned char buf[32];
    // Read again after the next drawing's refresh, the block that failed still tells which.
    for (int round = 0; round < 2; round++) {
        for (const auto &c : cases)
            EXPECT_EQ(file_read(buf, c.count, c.offset), c.result) << c.offset << " " << c.count;
        file_refresh(0, 2000);
    }
    fail_reads(0, 0);
}

// On a disk, a sector that fails makes each of its blocks unreadable with one wait, not one per
// block, and the sectors before it in the same read still give their bytes.
TEST(FileRead, OnADiskASectorThatFailsIsWaitedOnOnceForAllItsBlocks)
{
    open_file f(pattern_bytes(4 * 4096));
    ASSERT_TRUE(file_set_sector_size(4096));
    refuse_misaligned(4096);
    fail_reads(2 * 4096 + 5, 2 * 4096 + 6);
    (void)failed_reads();
    unsigned char buf[32];
    bool unreadable = false;
    EXPECT_EQ(file_read_direct(buf, 32, 2 * 4096 - 16, unreadable), 16);
    EXPECT_TRUE(unreadable);
    (void)failed_reads();
    for (int64_t block = 16; block < 24; block++)
        EXPECT_EQ(file_read(buf, 16, block * 512 + 100), FILE_UNREADABLE) << block;
    EXPECT_EQ(failed_reads(), 1);
    EXPECT_EQ(file_read(buf, 16, 3 * 4096), 16);
    fail_reads(0, 0);
    refuse_misaligned(1);
}

// Another program shortens the file or rewrites bytes of it, keeping its modification time to
// the nanosecond, as file systems that count whole seconds do: the next drawing's refresh reads
// the block anew all the same.
TEST(FileRead, AFileAnotherProgramChangedServesNoStaleBytes)
{
    const bytes content = pattern_bytes(2048);
    const bytes rewritten(16, 0xEE);
    for (bool shortened : {true, false}) {
        open_file f(content);
        const timespec opened[2] = {{1000, 100}, {1000, 100}};
        ASSERT_EQ(utimensat(AT_FDCWD, f.file.path.c_str(), opened, 0), 0);
        file_refresh(0, 0);
        unsigned char buf[32];
        ASSERT_EQ(file_read(buf, 16, 512), 16);  // block 1 cached in slot 0
        if (shortened) {
            ASSERT_EQ(truncate(f.file.path.c_str(), 520), 0);
        } else {
            int fd = open(f.file.path.c_str(), O_WRONLY);
            ASSERT_EQ(pwrite(fd, rewritten.data(), rewritten.size(), 512), 16);
            close(fd);
        }
        ASSERT_EQ(utimensat(AT_FDCWD, f.file.path.c_str(), opened, 0), 0);
        file_refresh(0, 0);
        if (shortened) {
            EXPECT_EQ(file_read(buf, 32, 512), 8);
            EXPECT_EQ(bytes(buf, buf + 8), bytes(content.begin() + 512, content.begin() + 520));
            EXPECT_EQ(file_read(buf, 16, 600), -1);
            // A block wholly past the new end is not kept: grown back, before the cache is even
            // told, the file is read there again.
            EXPECT_EQ(file_read(buf, 16, 1500), -1);
            ASSERT_EQ(truncate(f.file.path.c_str(), 2048), 0);
            EXPECT_EQ(file_read(buf, 16, 1500), 16);
        } else {
            EXPECT_EQ(file_read(buf, 16, 512), 16);
            EXPECT_EQ(bytes(buf, buf + 16), rewritten);
        }
        EXPECT_EQ(file_read(buf, 16, 0), 16);
    }
}

TEST(FileWrite, WritesInPlaceAndEmptiesTheCache)
{
    bytes content = pattern_bytes(2048);
    open_file f(content);
    unsigned char buf[32];
    for (int64_t block : {0, 1, 2, 3})
        ASSERT_EQ(file_read(buf, 1, block * 512), 1);
    const unsigned char ab = 0xAB;
    EXPECT_EQ(file_write(&ab, 1, 700), 1);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{-1, -1, -1, -1}));
    ASSERT_EQ(file_read(buf, 1, 700), 1);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(cached_blocks(), (std::vector<int64_t>{1, -1, -1, -1}));
    content[700] = 0xAB;
    EXPECT_EQ(f.file.read(), content);
}

TEST(FileWrite, AWriteTheDeviceRejectsIsNotCountedAsWritten)
{
    int error_code = -1;
    ASSERT_EQ(file_open("/dev/full", "rb+", error_code), 0);
    const unsigned char a = 0x41;
    EXPECT_EQ(file_write(&a, 1, 0), 0);
    EXPECT_EQ(file_write(&a, 1, 0), 0);
    file_close();
}

TEST(FileWrite, AReadOnlyStreamRefusesTheWrite)
{
    bytes content = pattern_bytes(64);
    open_file f(content, "rb");
    const unsigned char zero = 0;
    EXPECT_EQ(file_write(&zero, 1, 3), 0);
    EXPECT_EQ(f.file.read(), content);
}

TEST(FileOpen, ReportsTheSystemErrorOfWhatCannotBeEdited)
{
    temp_file file(pattern_bytes(10));
    std::string missing = file.dir + "/missing";
    std::string fifo = file.dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        const char *mode;
        int error;
    } cases[] = {
        {missing, "rb+", ENOENT}, {missing, "rb", ENOENT}, {file.dir, "rb+", EISDIR},
        {file.dir, "rb", EISDIR}, {fifo, "rb", ESPIPE},    {fifo, "rb+", ESPIPE},
    };
    for (const auto &c : cases) {
        int error_code = 0;
        EXPECT_EQ(file_open(c.path.c_str(), c.mode, error_code), -1) << c.path << " " << c.mode;
        EXPECT_EQ(error_code, c.error) << c.path << " " << c.mode;
    }
}
