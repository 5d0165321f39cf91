// Real files for tests: made in a private temporary folder with the given bytes, removed after.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

using bytes = std::vector<unsigned char>;

struct temp_file {
    std::string dir;
    std::string path;

    explicit temp_file(const bytes &content, const std::string &name = "data.bin");
    ~temp_file();
    temp_file(const temp_file &) = delete;
    temp_file &operator=(const temp_file &) = delete;

    // The file's bytes as they are on disk now.
    [[nodiscard]] bytes read() const;
};

// A recognisable fixture: byte i is (i * 7) & 0xFF.
[[nodiscard]] bytes pattern_bytes(size_t count);
