// Fuzzes the matcher: text of few values, runs and repeats from the input, a pattern of 1-32
// bytes from it or from the text, and both forms of the search checked against a plain one on
// bytes held in a block of their exact size.
#include "prompt/find_match.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// data[0]: the pattern's length and whether it is copied from the text; data[1]: how many
// values the text holds; data[2]: where in the text the pattern comes from, or how many times
// the bytes after the pattern repeat. Then the pattern, then the bytes of the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int length = 1 + data[0] % 32;
    const unsigned values = 1 + data[1] % 8;
    const size_t from_text = data[0] & 0x80 ? data[2] : SIZE_MAX;
    const size_t repeats = 1 + data[2] % 16;
    data += 3;
    size -= 3;
    std::vector<unsigned char> pattern(static_cast<size_t>(length));
    for (size_t i = 0; i < pattern.size(); i++)
        pattern[i] = static_cast<unsigned char>(i < size ? 'a' + data[i] % values : 'a');
    const size_t unit = size - std::min(size, pattern.size());
    std::vector<unsigned char> text(unit * repeats);
    for (size_t i = 0; i < text.size(); i++)
        text[i] = static_cast<unsigned char>('a' + data[pattern.size() + i % unit] % values);
    if (from_text != SIZE_MAX && text.size() >= pattern.size()) {
        const size_t at = from_text * 37 % (text.size() - pattern.size() + 1);
        std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(at), pattern.size(), pattern.begin());
    }
    const find_needle n = find_prepare(pattern.data(), length);
    const auto found = std::search(text.begin(), text.end(), pattern.begin(), pattern.end());
    const int64_t expected = found == text.end() ? -1 : found - text.begin();
    const auto text_size = static_cast<int64_t>(text.size());
    const int64_t found_by_vectors = find_in_span(text.data(), text_size, n);
    if (found_by_vectors != expected || find_in_span_portable(text.data(), text_size, n) != expected) {
        fprintf(stderr, "pattern of %d bytes in %lld: expected %lld\n", length, static_cast<long long>(text_size),
                static_cast<long long>(expected));
        abort();
    }
    return 0;
}
