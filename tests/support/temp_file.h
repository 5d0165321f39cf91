// Real files for tests: made in a private temporary folder with the given bytes, removed after.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

// The memory file system: it takes sparse files of every length up to the largest offset,
// 2^63 - 1 bytes, where the file system of the temporary folder may stop at 16 TiB.
constexpr const char *MEMORY_FOLDER = "/dev/shm";

struct temp_file {
    std::string dir;
    std::string path;

    // The private folder is made in parent, or in the system's temporary folder when it is empty.
    explicit temp_file(const bytes &content, const std::string &name = "data.bin",
                       const std::string &parent = "");
    ~temp_file();
    temp_file(const temp_file &) = delete;
    temp_file &operator=(const temp_file &) = delete;

    // The file's bytes as they are on disk now.
    [[nodiscard]] bytes read() const;
};

// Whether folder takes a sparse file of length bytes; the trial leaves nothing behind.
[[nodiscard]] bool folder_takes_length(const std::string &folder, int64_t length);
// A recognisable fixture: byte i is (i * 7) & 0xFF.
[[nodiscard]] bytes pattern_bytes(size_t count);
