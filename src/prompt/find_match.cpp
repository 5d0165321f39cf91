// Looking for the pattern in bytes in memory, at the speed memory gives them whatever they hold.
// Sixteen start positions are screened at once by two of the pattern's bytes (the first-and-last
// byte filter, with a rare and unalike pair in place of the first and last), those that pass are
// narrowed by a few more of its bytes, and the few left are compared whole. A pattern of a short
// period, on which a screen would pass again and again in text that repeats like it, goes by runs
// of that period instead, found bit-parallel in the manner of shift-and.
#include "prompt/find_match.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
// How far ahead of the scan its bytes are asked for: the processor fetches ahead on its own only
// within a page, and the pages of a buffer lie anywhere in memory.
constexpr int PREFETCH_AHEAD = 2048;
// Text that repeats with a period up to this passes few screens and narrowings, where the
// pattern's bytes allow.
constexpr int BROKEN_PERIODS = 16;

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

// Whether any of the GROUP start positions from at holds the screen's two bytes: if so, bit i of
// starts[g] set where start at + g * 16 + i does. The compares are ORed as vectors, so a group
// that fails, as most do, costs one test.
template <find_form F>
static inline bool find_screen(const unsigned char *at, const find_needle &n, unsigned starts[GROUP / LANES])
{
    const unsigned char *first = at + n.screen[0];
    const unsigned char *second = at + n.screen[1];
#ifdef __SSE2__
    if constexpr (F == FORM_SSE2) {
        const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i *>(n.spread[n.screen[0]]));
        const __m128i y = _mm_load_si128(reinterpret_cast<const __m128i *>(n.spread[n.screen[1]]));
        __m128i both[GROUP / LANES];
        __m128i any = _mm_setzero_si128();
#pragma GCC unroll 4
        for (int g = 0; g < GROUP / LANES; g++) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(first + g * LANES));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(second + g * LANES));
            both[g] = _mm_and_si128(_mm_cmpeq_epi8(a, x), _mm_cmpeq_epi8(b, y));
            any = _mm_or_si128(any, both[g]);
        }
        if (_mm_movemask_epi8(any) == 0)
            return false;
        for (int g = 0; g < GROUP / LANES; g++)
            starts[g] = static_cast<unsigned>(_mm_movemask_epi8(both[g]));
        return true;
    }
#endif
    const lanes x = find_lanes_at(n.spread[n.screen[0]]);
    const lanes y = find_lanes_at(n.spread[n.screen[1]]);
    lanes both[GROUP / LANES];
    lanes any = {};
#pragma GCC unroll 4
    for (int g = 0; g < GROUP / LANES; g++) {
        lanes a = find_lanes_at(first + g * LANES);
        lanes b = find_lanes_at(second + g * LANES);
        both[g] = reinterpret_cast<lanes>((a == x) & (b == y));
        any |= both[g];
    }
    uint64_t halves[2];
    memcpy(halves, &any, sizeof halves);
    if ((halves[0] | halves[1]) == 0)
        return false;
    for (int g = 0; g < GROUP / LANES; g++)
        starts[g] = find_lane_bits(both[g]);
    return true;
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

// The search of a pattern without a short period. Most groups of start positions cost two
// compares per sixteen and no branch taken.
template <find_form F>
static int64_t find_screened(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    int64_t at = 0;
    // A group reads up to 47 bytes past its last start: whole compares of 32 bytes.
    for (; at + GROUP + 2 * LANES <= size; at += GROUP) {
        __builtin_prefetch(bytes + at + PREFETCH_AHEAD);
        unsigned starts[GROUP / LANES];
        if (!find_screen<F>(bytes + at, n, starts))
            continue;
        // A few more bytes of the pattern rule out at once the starts that lack them, which in
        // text of few values is most that pass the screen, with no branch to mispredict.
        uint64_t left = 0;
        for (int g = 0; g < GROUP / LANES; g++) {
            unsigned narrowed = starts[g] & find_equal<F>(bytes + at + g * LANES, n, n.narrow, NARROW_BYTES);
            left |= uint64_t{narrowed} << (g * LANES);
        }
        for (; left != 0; left &= left - 1) {
            const int64_t start = at + std::countr_zero(left);
            if (find_whole<F>(bytes + start, n))
                return start;
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
        __builtin_prefetch(bytes + at + PREFETCH_AHEAD);
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

// Which periods up to BROKEN_PERIODS the pattern's bytes at the given positions cannot all keep,
// the shortest (commonest in files) weighing most: text repeating with such a period fails their
// compares at every start.
static int find_periods_broken(const unsigned char *pattern, const int *positions, int count)
{
    int broken = 0;
    for (int period = 1; period <= BROKEN_PERIODS; period++) {
        bool kept = true;
        for (int i = 0; i < count && kept; i++)
            for (int j = i + 1; j < count && kept; j++)
                kept = (positions[i] - positions[j]) % period != 0 || pattern[positions[i]] == pattern[positions[j]];
        broken = broken << 1 | !kept;
    }
    return broken;
}

// The screen is the pair of unalike bytes rarest together, then the one that breaks the most
// periods, then the furthest apart. Each byte that narrows next is the one that breaks the most
// periods with those chosen before it, then the rarest, then the first.
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
            const int pair[2] = {a, b};
            int cost[3] = {find_commonness(pattern[a]) + find_commonness(pattern[b]),
                           -find_periods_broken(pattern, pair, 2), a - b};
            bool first = n.screen[0] == n.screen[1];
            if (pattern[a] != pattern[b] && (first || std::lexicographical_compare(cost, cost + 3, best, best + 3))) {
                std::copy(pair, pair + 2, n.screen);
                std::copy(cost, cost + 3, best);
            }
        }
    int chosen[2 + NARROW_BYTES] = {n.screen[0], n.screen[1]};
    for (int count = 2; count < 2 + NARROW_BYTES; count++) {
        chosen[count] = n.screen[0];  // a repeat narrows nothing: for a pattern of no more bytes
        int best_cost[2] = {1, 0};
        for (int i = 0; i < length; i++) {
            if (std::find(chosen, chosen + count, i) != chosen + count)
                continue;
            int tried[2 + NARROW_BYTES];
            std::copy(chosen, chosen + count, tried);
            tried[count] = i;
            int cost[2] = {-find_periods_broken(pattern, tried, count + 1), find_commonness(pattern[i])};
            if (std::lexicographical_compare(cost, cost + 2, best_cost, best_cost + 2)) {
                std::copy(cost, cost + 2, best_cost);
                chosen[count] = i;
            }
        }
    }
    std::copy(chosen + 2, chosen + 2 + NARROW_BYTES, n.narrow);
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
