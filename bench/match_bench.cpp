// The matcher alone, in GB/s, on 1 MiB in memory for each family of input and pattern length:
// ordinary data, and the data of few values, runs, repeats and near misses that slow a search
// which takes shortcuts. Each pattern is absent, so the whole buffer is searched.
#include "prompt/find_match.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

constexpr size_t BUFFER = 1 << 20;

enum family { RANDOM, TEXT, TWO_LETTERS, FOUR_LETTERS, PERIODIC, ZEROS, RUNS, NEAR_MISSES, FAMILIES };
const char *const family_names[] = {"random", "text",  "two-letters", "four-letters",
                                     "periodic", "zeros", "runs",       "near-misses"};

void letters(bytes &b, const char *set, unsigned count, std::mt19937 &rng)
{
    for (unsigned char &byte : b)
        byte = static_cast<unsigned char>(set[rng() % count]);
}

// Words of a few letters and blanks, ends of line now and then.
void words(bytes &b, std::mt19937 &rng)
{
    const char *const dictionary[] = {"the", "file", "of", "a", "search", "for", "bytes", "editor", "and",
                                      "memory", "in", "line", "to", "page", "offset", "which"};
    size_t at = 0;
    while (at < b.size()) {
        std::string word = dictionary[rng() % std::size(dictionary)];
        word += rng() % 12 == 0 ? '\n' : ' ';
        for (size_t i = 0; i < word.size() && at < b.size(); i++)
            b[at++] = static_cast<unsigned char>(word[i]);
    }
}

// Changes the last byte of each occurrence of the pattern in text to the next letter of the
// alphabet, until none is left. Returns whether that happened in a few rounds.
bool take_out(bytes &text, const bytes &pattern, const std::string &alphabet)
{
    for (int round = 0; round < 64; round++) {
        auto at = std::search(text.begin(), text.end(), pattern.begin(), pattern.end());
        if (at == text.end())
            return true;
        for (; at != text.end(); at = std::search(at + 1, text.end(), pattern.begin(), pattern.end())) {
            unsigned char &last = at[static_cast<ptrdiff_t>(pattern.size()) - 1];
            last = static_cast<unsigned char>(alphabet[(alphabet.find(static_cast<char>(last)) + 1) % alphabet.size()]);
        }
    }
    return false;
}

// The text and an absent pattern of the family, or an empty text when none could be made.
std::pair<bytes, bytes> bench_input(int which, int length)
{
    std::mt19937 rng(static_cast<unsigned>(which * 100 + length));
    bytes text(BUFFER);
    bytes pattern(static_cast<size_t>(length));
    switch (which) {
    case RANDOM:
        for (unsigned char &byte : text)
            byte = static_cast<unsigned char>(rng());
        std::copy_n(text.begin() + BUFFER / 2, length, pattern.begin());
        pattern.back() ^= 0x55;
        break;
    case TEXT:
        words(text, rng);
        std::copy_n(text.begin() + BUFFER / 2, length, pattern.begin());
        pattern.back() = '.';
        break;
    case TWO_LETTERS:
    case FOUR_LETTERS:
        letters(text, "acgt", which == TWO_LETTERS ? 2 : 4, rng);
        letters(pattern, "acgt", which == TWO_LETTERS ? 2 : 4, rng);
        break;
    case PERIODIC:
        for (size_t i = 0; i < BUFFER; i++)
            text[i] = "ab"[i % 2];
        for (size_t i = 0; i < pattern.size(); i++)
            pattern[i] = "ab"[i % 2];
        pattern[pattern.size() / 2] ^= 3;
        break;
    case ZEROS:
        std::fill(text.begin(), text.end(), 0);
        pattern[std::min(3, length - 1)] = 1;
        break;
    case RUNS:
        for (size_t i = 0; i < BUFFER; i++)
            text[i] = i % pattern.size() == pattern.size() - 1 ? 'b' : 'a';
        std::fill(pattern.begin(), pattern.end(), 'a');
        break;
    default:  // copies of the pattern, each with another of its bytes changed
        letters(pattern, "ab", 2, rng);
        for (size_t i = 0; i < BUFFER; i++) {
            const size_t copy = i / pattern.size();
            text[i] = pattern[i % pattern.size()] ^ (copy % pattern.size() == i % pattern.size() ? 3 : 0);
        }
        break;
    }
    if (!take_out(text, pattern, which == FOUR_LETTERS ? "acgt" : "ab"))
        text.clear();
    return {text, pattern};
}

void search(benchmark::State &state, int which, int length)
{
    auto [text, pattern] = bench_input(which, length);
    if (text.empty()) {
        state.SkipWithError("no text without the pattern");
        return;
    }
    const find_needle n = find_prepare(pattern.data(), length);
    for (auto _ : state)
        benchmark::DoNotOptimize(find_in_span(text.data(), static_cast<int64_t>(text.size()), n));
    // In GB/s of 10^9 bytes, as the figures of the finds in files read.
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(text.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate, benchmark::Counter::kIs1000);
}

}  // namespace

// Each benchmark named by its family and pattern length, as in "two-letters/8".
int main(int argc, char **argv)
{
    for (int which = 0; which < FAMILIES; which++)
        for (int length : {2, 4, 8, 16, 32})
            benchmark::RegisterBenchmark((std::string(family_names[which]) + "/" + std::to_string(length)).c_str(),
                                         search, which, length);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
