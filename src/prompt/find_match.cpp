// Looking for the pattern in bytes in memory, at the speed memory gives them whatever they hold.
// Sixteen start positions are screened at once by two of the pattern's bytes (the first-and-last
// byte filter, with a rare and unalike pair in place of the first and last), the few that pass
// are narrowed one byte of the pattern at a time, and those left are compared whole. A pattern
// of a short period goes by runs of that period instead (bit-parallel, in the manner of
// shift-and): where a screen would pass again and again on text that repeats like the pattern.
#include "prompt/find_match.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr int LANES = 16;
constexpr int GROUP = 4 * LANES;  // start positions screened at a time
// Periods up to this that the pattern repeats at least twice go by runs: longer ones leave too
// few starts in a group to pass a screen often, and their runs too few positions to test.
constexpr int SHORT_PERIOD = 8;
constexpr int FIRST_POSITIONS[SHORT_PERIOD] = {0, 1, 2, 3, 4, 5, 6, 7};  // of a period's bytes
// Bytes of the pattern that narrow the starts which pass its screen before any is compared whole.
constexpr int NARROW_AT_ONCE = 6;

// The vectors the search is written in: the compiler's own, which any processor runs, or SSE2,
// which every x86-64 processor has.
enum find_form { FORM_PORTABLE, FORM_SSE2 };

}  // namespace

using lanes = unsigned char __attribute__((vector_size(LANES)));

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

// Bit i of the result set where lane i of a comparison's result is all ones.
static inline unsigned find_lane_bits(const lanes &result)
{
    uint64_t halves[2];
    memcpy(halves, &result, sizeof halves);
    // The top bit of each of eight bytes, gathered into the top byte by one multiplication.
    auto gather = [](uint64_t half) {
        return static_cast<unsigned>(((half & 0x8080808080808080u) * 0x0002040810204081u) >> 56);
    };
    return gather(halves[0]) | gather(halves[1]) << 8;
}

static inline lanes find_lanes_at(const unsigned char *at)
{
    lanes v;
    memcpy(&v, at, LANES);
    return v;
}

// Bit i set where a[i] is x and b[i] is y, for i below 16.
template <find_form F>
static inline unsigned find_screen(const unsigned char *a, unsigned char x, const unsigned char *b, unsigned char y)
{
#ifdef __SSE2__
    if constexpr (F == FORM_SSE2) {
        __m128i ax = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a)), _mm_set1_epi8(static_cast<char>(x)));
        __m128i by = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(b)), _mm_set1_epi8(static_cast<char>(y)));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(ax, by)));
    }
#endif
    return find_lane_bits(reinterpret_cast<lanes>((find_lanes_at(a) == x) & (find_lanes_at(b) == y)));
}

// Bit i set where at[i + k] is the pattern's byte k for each of the count positions k, for i
// below 16: the compares ANDed as vectors, and their lanes read once.
template <find_form F>
static inline unsigned find_equal(const unsigned char *at, const find_needle &n, const int *positions, int count)
{
#ifdef __SSE2__
    if constexpr (F == FORM_SSE2) {
        __m128i all = _mm_set1_epi8(-1);
#pragma GCC unroll 8
        for (int i = 0; i < count; i++) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + positions[i]));
            __m128i byte = _mm_load_si128(reinterpret_cast<const __m128i *>(n.spread[positions[i]]));
            all = _mm_and_si128(all, _mm_cmpeq_epi8(v, byte));
        }
        return static_cast<unsigned>(_mm_movemask_epi8(all));
    }
#endif
    lanes all = ~lanes{};
#pragma GCC unroll 8
    for (int i = 0; i < count; i++)
        all &= reinterpret_cast<lanes>(find_lanes_at(at + positions[i]) == find_lanes_at(n.spread[positions[i]]));
    return find_lane_bits(all);
}

// Bit i set where a[i] is b[i], for i below 16.
template <find_form F>
static inline unsigned find_alike(const unsigned char *a, const unsigned char *b)
{
#ifdef __SSE2__
    if constexpr (F == FORM_SSE2) {
        __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
        __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb)));
    }
#endif
    return find_lane_bits(reinterpret_cast<lanes>(find_lanes_at(a) == find_lanes_at(b)));
}

// Whether the pattern lies at `at`, compared sixteen bytes at a time; reads 32 bytes there.
template <find_form F>
static inline bool find_whole(const unsigned char *at, const find_needle &n)
{
    const unsigned head = n.length >= LANES ? 0xFFFF : (1u << n.length) - 1;
    if ((find_alike<F>(at, n.padded) & head) != head)
        return false;
    const unsigned rest = n.length <= LANES ? 0 : (1u << (n.length - LANES)) - 1;
    return (find_alike<F>(at + LANES, n.padded + LANES) & rest) == rest;
}

// The first start position from `from` on, byte by byte: for the last few, where sixteen bytes
// at once would reach past the span.
static int64_t find_plain(const unsigned char *bytes, int64_t from, int64_t size, const find_needle &n)
{
    for (int64_t at = from; at + n.length <= size; at++)
        if (bytes[at] == n.bytes[0] && memcmp(bytes + at, n.bytes, static_cast<size_t>(n.length)) == 0)
            return at;
    return -1;
}

// Of the sixteen start positions from at whose bits are set in starts, which passed the screen
// and the first bytes that narrow it, the first at which the pattern lies, or -1. While more than
// one is left, each further byte of the pattern in turn rules out those that lack it; the last
// few are compared whole. Pure, so that the scan around keeps the needle in registers.
template <find_form F>
[[gnu::pure]] static int find_narrow(const unsigned char *at, unsigned starts, const find_needle &n)
{
    for (int i = NARROW_AT_ONCE; i < n.length - 2 && (starts & (starts - 1)) != 0; i++)
        starts &= find_equal<F>(at, n, n.narrow + i, 1);
    for (; starts != 0; starts &= starts - 1) {
        int start = std::countr_zero(starts);
        if (find_whole<F>(at + start, n))
            return start;
    }
    return -1;
}

// The search of a pattern without a short period. Most groups of start positions cost two
// compares per sixteen and no branch taken.
template <find_form F>
static int64_t find_screened(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    const unsigned char *first = bytes + n.screen[0];
    const unsigned char *second = bytes + n.screen[1];
    const unsigned char x = n.bytes[n.screen[0]];
    const unsigned char y = n.bytes[n.screen[1]];
    int64_t at = 0;
    // A group reads up to 47 bytes past its last start: whole compares of 32 bytes.
    for (; at + GROUP + 2 * LANES <= size; at += GROUP) {
        unsigned starts[GROUP / LANES];
        unsigned any = 0;
        for (int g = 0; g < GROUP / LANES; g++) {
            starts[g] = find_screen<F>(first + at + g * LANES, x, second + at + g * LANES, y);
            any |= starts[g];
        }
        if (any == 0)
            continue;
        // A few more bytes of the pattern rule out at once the starts that lack them, which in
        // text of few values is most that pass the screen, with no branch to mispredict.
        for (int g = 0; g < GROUP / LANES; g++) {
            const unsigned char *block = bytes + at + g * LANES;
            unsigned left = starts[g] & find_equal<F>(block, n, n.narrow, NARROW_AT_ONCE);
            int found = left == 0 ? -1 : find_narrow<F>(block, left, n);
            if (found >= 0)
                return at + g * LANES + found;
        }
    }
    return find_plain(bytes, at, size, n);
}

// Bit i set where bytes i and i + period alike, for the 64 bytes from at.
template <find_form F>
static inline uint64_t find_repeating(const unsigned char *at, int period)
{
    uint64_t bits = 0;
    for (int g = 0; g < GROUP / LANES; g++)
        bits |= static_cast<uint64_t>(find_alike<F>(at + g * LANES, at + g * LANES + period)) << (g * LANES);
    return bits;
}

// Bit i set, for i below 64, where bits i to i + length - 1 of the 128 bits high:low are all
// set: length of them ANDed together by doubling the length covered, so in a few steps.
static inline uint64_t find_runs(uint64_t low, uint64_t high, int length)
{
    for (int covered = 1; covered < length;) {
        int step = std::min(covered, length - covered);
        low &= (low >> step) | (high << (64 - step));
        high &= high >> step;
        covered += step;
    }
    return low;
}

// The search of a pattern of a short period p: it lies where the bytes repeat with period p over
// its length and their first p bytes are its own. Whether each byte is the one p before it is a
// compare per sixteen, the starts of runs long enough are a few shifts per 64, and only those
// starts are compared with the first p bytes.
template <find_form F>
static int64_t find_periodic(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    const int run = n.length - n.period;
    int64_t at = 0;
    // A group reads 2 * GROUP + period + LANES bytes ahead: its own and the next group's repeats.
    const int64_t reach = 2 * GROUP + SHORT_PERIOD + LANES;
    uint64_t low = size >= reach ? find_repeating<F>(bytes, n.period) : 0;
    for (; at + reach <= size; at += GROUP) {
        uint64_t high = find_repeating<F>(bytes + at + GROUP, n.period);
        uint64_t starts = find_runs(low, high, run);
        low = high;
        for (int g = 0; starts != 0 && g < GROUP / LANES; g++) {
            auto group = static_cast<unsigned>(starts >> (g * LANES)) & 0xFFFF;
            if (group != 0)
                group &= find_equal<F>(bytes + at + g * LANES, n, FIRST_POSITIONS, n.period);
            if (group != 0)
                return at + g * LANES + std::countr_zero(group);
        }
    }
    return find_plain(bytes, at, size, n);
}

template <find_form F>
static int64_t find_span(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    if (size < n.length)
        return -1;
    if (n.length == 1) {
        const void *at = memchr(bytes, n.bytes[0], static_cast<size_t>(size));
        return at == nullptr ? -1 : static_cast<const unsigned char *>(at) - bytes;
    }
    if (n.period <= SHORT_PERIOD && 2 * n.period <= n.length)
        return find_periodic<F>(bytes, size, n);
    return find_screened<F>(bytes, size, n);
}

// How many of the periods text may repeat with, up to a pattern's length, a distance is a
// multiple of: two bytes unalike that far apart pass no screen in such text.
static int find_periods_defeated(int distance)
{
    int count = 0;
    for (int period = 1; period <= SHORT_PERIOD; period++)
        count += distance % period == 0;
    return count;
}

// The screen is the pair of unalike bytes rarest together, then the one text of the most short
// periods cannot pass, then the furthest apart. The rest narrow rarest first.
find_needle find_prepare(const unsigned char *pattern, int length)
{
    find_needle n{pattern, length, length, {0, 0}, {}, {}, {}};
    std::copy(pattern, pattern + length, n.padded);
    for (int i = 0; i < length; i++)
        memset(n.spread[i], pattern[i], sizeof n.spread[i]);
    for (int period = 1; period < length && n.period == length; period++)
        if (memcmp(pattern, pattern + period, static_cast<size_t>(length - period)) == 0)
            n.period = period;
    int best[3] = {};
    for (int a = 0; a < length; a++)
        for (int b = a + 1; b < length; b++) {
            int cost[3] = {find_commonness(pattern[a]) + find_commonness(pattern[b]), -find_periods_defeated(b - a), a - b};
            if (pattern[a] != pattern[b] && (n.screen[0] == n.screen[1] || std::lexicographical_compare(cost, cost + 3, best, best + 3))) {
                n.screen[0] = a;
                n.screen[1] = b;
                std::copy(cost, cost + 3, best);
            }
        }
    int *narrow_end = n.narrow;
    for (int i = 0; i < length; i++)
        if (i != n.screen[0] && i != n.screen[1])
            *narrow_end++ = i;
    std::stable_sort(n.narrow, narrow_end,
                     [&](int a, int b) { return find_commonness(pattern[a]) < find_commonness(pattern[b]); });
    std::fill(narrow_end, std::max(narrow_end, n.narrow + NARROW_AT_ONCE), n.screen[0]);  // repeats narrow nothing
    return n;
}

int64_t find_in_span(const unsigned char *bytes, int64_t size, const find_needle &n)
{
#ifdef __SSE2__
    return find_span<FORM_SSE2>(bytes, size, n);
#else
    return find_span<FORM_PORTABLE>(bytes, size, n);
#endif
}

int64_t find_in_span_portable(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    return find_span<FORM_PORTABLE>(bytes, size, n);
}
