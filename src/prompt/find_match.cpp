// Looking for the pattern in bytes in memory, as fast as memory gives them: start positions are
// sifted sixteen at a time by the pattern's two rarest bytes, and a mismatch moves the start on
// by what the pattern cannot hold.
#include "prompt/find_match.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <tuple>

namespace {

constexpr int LANES = 16;
constexpr int GROUP = 4 * LANES;  // start positions sifted at a time, as four vectors
// How far ahead of the scan its bytes are asked for: the processor fetches ahead on its own only
// within a page, and mapped pages lie anywhere in memory.
constexpr int PREFETCH_AHEAD = 2048;

}  // namespace

// Sixteen bytes compared at once (a vector of the compiler's, so no particular processor).
using lanes = unsigned char __attribute__((vector_size(LANES)));
static_assert(std::endian::native == std::endian::little, "a word's last byte is its most significant");

// How common a byte is in the files people search, roughly, from 1 (rare) up: zero bytes and
// blanks most, then lower-case letters, then digits and line ends, then the rest of text.
static int find_commonness(unsigned char byte)
{
    if (byte == 0)
        return 6;
    if (byte == ' ' || byte == 0xFF)
        return 5;
    if (byte >= 'a' && byte <= 'z')
        return 4;
    if ((byte >= '0' && byte <= '9') || byte == '\n' || byte == '\r' || byte == '\t')
        return 3;
    return byte >= 0x20 && byte < 0x7F ? 2 : 1;
}

// Which move of gram_move the GRAM bytes at bytes stand for.
static int find_gram_hash(const unsigned char *bytes)
{
    uint64_t word;
    memcpy(&word, bytes, GRAM);
    return static_cast<int>((word * 0x9E3779B97F4A7C15u) >> (64 - GRAM_TABLE_BITS));
}

// The rarest byte sifts first; the second is the rarest of the others, one of another value
// rather than a repeat, and far from the first rather than near.
find_needle find_prepare(const unsigned char *pattern, int length)
{
    find_needle n{pattern, length, {0, 0}, {}, {}, false};
    std::fill(std::begin(n.last), std::end(n.last), -1);
    for (int i = 0; i < length; i++) {
        n.last[pattern[i]] = static_cast<int8_t>(i);
        if (find_commonness(pattern[i]) < find_commonness(pattern[n.rare[0]]))
            n.rare[0] = i;
    }
    auto cost = [&](int i) {
        return std::make_tuple(find_commonness(pattern[i]), pattern[i] == pattern[n.rare[0]],
                               -std::abs(i - n.rare[0]));
    };
    for (int i = 0; i < length; i++)
        if (i != n.rare[0] && (n.rare[1] == n.rare[0] || cost(i) < cost(n.rare[1])))
            n.rare[1] = i;
    // A word found nowhere in the pattern lets the start move until the word lies partly before
    // it; one found ending at position e, until the two line up.
    std::fill(std::begin(n.gram_move), std::end(n.gram_move), static_cast<int8_t>(length - GRAM + 1));
    for (int e = GRAM - 1; e < length; e++) {
        int8_t &move = n.gram_move[find_gram_hash(pattern + e - GRAM + 1)];
        move = static_cast<int8_t>(std::min(static_cast<int>(move), length - 1 - e));
    }
    n.by_grams = length >= GRAM &&
                 std::any_of(pattern, pattern + length, [&](unsigned char b) { return b != pattern[0]; });
    return n;
}

// Compares the pattern with the bytes at, from its end, where a difference moves the start
// furthest. Returns 0 on a match; otherwise how far the start may move on: no occurrence can
// hold a mismatched byte right of that byte's last place in the pattern, so a byte the pattern
// lacks is passed altogether. The mismatched byte is taken from the word compared rather than
// read again: in a file of near misses this is the scan's critical path.
static inline int find_compare(const unsigned char *at, const find_needle &n)
{
    int j = n.length;
    for (; j >= 8; j -= 8) {
        uint64_t x;
        uint64_t y;
        memcpy(&x, at + j - 8, 8);
        memcpy(&y, n.bytes + j - 8, 8);
        if (x != y) {
            int k = 7 - std::countl_zero(x ^ y) / 8;
            auto byte = static_cast<unsigned char>(x >> (8 * k));
            return std::max(1, j - 8 + k - n.last[byte]);
        }
    }
    while (j > 0 && at[j - 1] == n.bytes[j - 1])
        j--;
    return j == 0 ? 0 : std::max(1, j - 1 - n.last[at[j - 1]]);
}

// Tries the start positions from `from` up to end whose two rare bytes are the pattern's,
// moving from on past each one tried and past those a mismatch rules out. Returns the first
// match, or -1.
static int64_t find_try(const unsigned char *bytes, int64_t &from, int64_t end, const find_needle &n)
{
    const unsigned char first = n.bytes[n.rare[0]];
    const unsigned char second = n.bytes[n.rare[1]];
    for (; from < end; from++) {
        if (bytes[from + n.rare[0]] != first || bytes[from + n.rare[1]] != second)
            continue;
        int shift = find_compare(bytes + from, n);
        if (shift == 0)
            return from;
        from += shift - 1;
    }
    return -1;
}

// The first group of start positions from at on, before end, in which some position has the
// pattern's two rare bytes; at or past end when none has. want holds them in every lane. This is
// the scan's hot loop: most groups cost a few vector operations and no branch taken.
static int64_t find_sift(const unsigned char *bytes, int64_t at, int64_t end, const find_needle &n,
                         const lanes want[2])
{
    const unsigned char *first = bytes + n.rare[0];
    const unsigned char *second = bytes + n.rare[1];
    for (; at < end; at += GROUP) {
        __builtin_prefetch(bytes + at + PREFETCH_AHEAD);
        lanes any = {};
        for (int g = 0; g < GROUP / LANES; g++) {
            lanes a;
            lanes b;
            memcpy(&a, first + at + g * LANES, LANES);
            memcpy(&b, second + at + g * LANES, LANES);
            any |= reinterpret_cast<lanes>((a == want[0]) & (b == want[1]));
        }
        uint64_t halves[2];
        memcpy(halves, &any, sizeof halves);
        if ((halves[0] | halves[1]) != 0)
            return at;
    }
    return at;
}

// Tries the start positions from `from` up to end by the word that ends the bytes compared with
// the pattern, which mostly moves the start by nearly the pattern's length. Returns the first
// match, or -1.
static int64_t find_by_grams(const unsigned char *bytes, int64_t from, int64_t end, const find_needle &n)
{
    while (from < end) {
        int move = n.gram_move[find_gram_hash(bytes + from + n.length - GRAM)];
        if (move == 0) {
            move = find_compare(bytes + from, n);
            if (move == 0)
                return from;
        }
        from += move;
    }
    return -1;
}

// The first start position of the pattern in bytes[0..size), or -1. Groups of start positions
// are sifted by the pattern's two rarest bytes; only those that pass are tried one by one. When
// most groups pass (bytes made of the pattern's own few values), a pattern long enough goes on
// by words instead.
int64_t find_in_span(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    lanes want[2];
    for (int r = 0; r < 2; r++)
        for (int k = 0; k < LANES; k++)
            want[r][k] = n.bytes[n.rare[r]];
    // Groups before this lie wholly in the bytes, the pattern's length included.
    const int64_t groups_end = size - (GROUP - 1) - (n.length - 1);
    int64_t from = 0;  // the start positions before this are done with
    int64_t at = 0;
    int64_t busy = 0;  // groups that passed the sift
    for (;; at += GROUP) {
        // The groups wholly before from, where a mismatch moved the start, need no sifting.
        at = find_sift(bytes, std::max(at, from - from % GROUP), groups_end, n, want);
        if (at >= groups_end)
            break;
        if (n.by_grams && ++busy * 2 > at / GROUP + 16)
            return find_by_grams(bytes, std::max(from, at), size - n.length + 1, n);
        from = std::max(from, at);
        int64_t found = find_try(bytes, from, at + GROUP, n);
        if (found >= 0)
            return found;
    }
    from = std::max(from, at);
    return find_try(bytes, from, size - n.length + 1, n);
}
