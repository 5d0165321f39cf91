// Fuzzes block-cached file access: random reads (any offset, 1-32 bytes) and single-byte writes
// against a real file, checked byte for byte against a plain copy held in memory.
#include "file/file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int OP_SIZE = 4;

std::string fuzz_path()
{
    static std::string path = [] {
        char dir[] = "/tmp/tolm-fuzz-file-XXXXXX";
        return std::string(mkdtemp(dir)) + "/file.bin";
    }();
    return path;
}

[[noreturn]] void fail(const char *what, int64_t offset)
{
    fprintf(stderr, "%s at offset %lld\n", what, static_cast<long long>(offset));
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Up to five blocks, so that runs of reads evict and reload slots.
    std::vector<unsigned char> model((data[0] | data[1] << 8) % 2600);
    for (size_t i = 0; i < model.size(); i++)
        model[i] = static_cast<unsigned char>(i * 13 + 5);
    std::string path = fuzz_path();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(model.data()), static_cast<std::streamsize>(model.size()));
    int error_code = 0;
    int64_t length = file_open(path.c_str(), "rb+", error_code);
    if (length != static_cast<int64_t>(model.size()))
        fail("wrong length", length);

    for (size_t i = 2; i + OP_SIZE <= size; i += OP_SIZE) {
        int64_t offset = (data[i] | data[i + 1] << 8) % (length + 40);
        if (data[i + 2] & 0x80 && offset < length) {
            unsigned char value = data[i + 3];
            if (file_write(&value, 1, offset) != 1)
                fail("write failed", offset);
            model[static_cast<size_t>(offset)] = value;
            continue;
        }
        int count = 1 + data[i + 2] % 32;
        unsigned char got[32];
        int n = file_read(got, count, offset);
        int64_t expected = offset >= length ? -1 : std::min<int64_t>(count, length - offset);
        if (n != expected)
            fail("wrong count", offset);
        if (n > 0 && memcmp(got, model.data() + offset, static_cast<size_t>(n)) != 0)
            fail("wrong bytes", offset);
    }
    file_close();
    return 0;
}
