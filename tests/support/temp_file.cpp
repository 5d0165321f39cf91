// Real files for tests in a private temporary folder.
#include "support/temp_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

temp_file::temp_file(const bytes &content, const std::string &name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tolm-test-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
}

temp_file::~temp_file()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

bytes temp_file::read() const
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bytes pattern_bytes(size_t count)
{
    bytes out(count);
    for (size_t i = 0; i < count; i++)
        out[i] = static_cast<unsigned char>((i * 7) & 0xFF);
    return out;
}
