// Real files for tests in a private temporary folder.
#include "support/temp_file.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

temp_file::temp_file(const bytes &content, const std::string &name, const std::string &parent)
{
    std::filesystem::path folder = parent;
    if (parent.empty())
        folder = std::filesystem::temp_directory_path();
    std::string pattern = (folder / "tolm-test-XXXXXX").string();
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

bool folder_takes_length(const std::string &folder, int64_t length)
{
    std::string pattern = folder + "/tolm-probe-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        return false;
    bool taken = ftruncate(fd, length) == 0;
    close(fd);
    unlink(pattern.c_str());
    return taken;
}

bytes pattern_bytes(size_t count)
{
    bytes out(count);
    for (size_t i = 0; i < count; i++)
        out[i] = static_cast<unsigned char>((i * 7) & 0xFF);
    return out;
}
