// Find: a pattern typed on the status line, searched forward from the cursor through the file
// as edited. The scan reads the file in place through a mapping where no change lies, and reads
// a copy to lay the changes over where they do; it passes over holes of sparse files, which
// hold only zero bytes.
#include "prompt/prompt.h"

#include "edit/edit.h"
#include "file/file.h"
#include "screen/screen.h"
#include "term/term.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <ctime>
#include <iterator>
#include <tuple>

namespace {

constexpr int HEX_ENTRY_COLUMN = 13;
constexpr int CHAR_ENTRY_COLUMN = 15;
constexpr int PROMPT_END = 59;
// Keys are looked at this often during a search (20 ms), well within the 100 ms in which a key
// must stop it.
constexpr int64_t POLL_INTERVAL_NS = 20'000'000;
constexpr int COPY_SPAN = 1 << 18;              // bytes read at a time where changes lie
constexpr int64_t MAP_SPAN = int64_t{8} << 20;  // bytes read in place at a time elsewhere
constexpr int LANES = 16;
constexpr int GROUP = 4 * LANES;  // start positions sifted at a time, as four vectors
// How far ahead of the scan its bytes are asked for: the processor fetches ahead on its own only
// within a page, and mapped pages lie anywhere in memory.
constexpr int PREFETCH_AHEAD = 2048;
constexpr int GRAM = 8;              // bytes of a word that tells how far a start may move
constexpr int GRAM_TABLE_BITS = 12;  // a hash of the word picks one of these many moves
constexpr int64_t FIND_NONE = -1;
constexpr int64_t FIND_CUT_SHORT = -3;  // apart from FIND_CANCELLED

// What the scan knows about the pattern.
struct find_needle {
    const unsigned char *bytes;
    int length;
    int rare[2];      // positions of its two rarest bytes, which sift the start positions
    int8_t last[256];  // the last position of each byte value in it; -1 where it has none
    // For a pattern of GRAM bytes or more: how far a start may move on, by the hash of the
    // GRAM bytes that end the bytes compared with the pattern.
    int8_t gram_move[1 << GRAM_TABLE_BITS];
    // Whether those moves may take over from sifting. Not for a run of one byte value: bytes
    // that keep passing its sift are mostly that run too, whose words move nothing, while a
    // byte that breaks the run already moves the start past it.
    bool by_grams;
};

}  // namespace

// Sixteen bytes compared at once (a vector of the compiler's, so no particular processor).
using lanes = unsigned char __attribute__((vector_size(LANES)));
static_assert(std::endian::native == std::endian::little, "a word's last byte is its most significant");

// The bytes copied for a span with changes, and the pattern's length more, so that an
// occurrence that starts in the span is seen whole.
static unsigned char find_window[COPY_SPAN + FIND_MAX_CHARS];

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
static find_needle find_prepare(const unsigned char *pattern, int length)
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
    n.by_grams = length >= GRAM && std::any_of(pattern, pattern + length, [&](unsigned char b) { return b != pattern[0]; });
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

// Whether any of the start positions at .. at + GROUP - 1 has the pattern's two rare bytes;
// want holds them in every lane. Most groups have none, which costs a few vector operations.
static bool find_sift(const unsigned char *bytes, int64_t at, const find_needle &n, const lanes want[2])
{
    lanes any = {};
    for (int g = 0; g < GROUP / LANES; g++) {
        lanes first;
        lanes second;
        memcpy(&first, bytes + at + g * LANES + n.rare[0], LANES);
        memcpy(&second, bytes + at + g * LANES + n.rare[1], LANES);
        any |= reinterpret_cast<lanes>((first == want[0]) & (second == want[1]));
    }
    uint64_t halves[2];
    memcpy(halves, &any, sizeof halves);
    return (halves[0] | halves[1]) != 0;
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
static int64_t find_in_span(const unsigned char *bytes, int64_t size, const find_needle &n)
{
    lanes want[2];
    for (int r = 0; r < 2; r++)
        for (int k = 0; k < LANES; k++)
            want[r][k] = n.bytes[n.rare[r]];
    int64_t from = 0;  // the start positions before this are done with
    int64_t at = 0;
    int64_t busy = 0;  // groups that passed the sift
    for (; at + GROUP - 1 + n.length - 1 < size; at += GROUP) {
        if (n.by_grams && busy * 2 > at / GROUP + 16)
            return find_by_grams(bytes, std::max(from, at), size - n.length + 1, n);
        __builtin_prefetch(bytes + at + PREFETCH_AHEAD);
        if (from < at + GROUP && find_sift(bytes, at, n, want)) {
            busy++;
            from = std::max(from, at);
            int64_t found = find_try(bytes, from, at + GROUP, n);
            if (found >= 0)
                return found;
        }
    }
    from = std::max(from, at);
    return find_try(bytes, from, size - n.length + 1, n);
}

// Lays the changes from next on that fall among the count bytes read at start over them.
static void find_overlay(const change *next, unsigned char *dst, int64_t start, int count)
{
    for (; next && next->offset < start + count; next = next->next)
        dst[next->offset - start] = next->value;
}

// Searches the start positions from pos to stop - 1, whose bytes run to stop + length - 1: in
// place through a mapping when no change lies among them, else in a copy with the changes laid
// over, which holds less and so may bring stop nearer. next is the first change at or after
// pos. Returns the offset found, FIND_NONE, or FIND_CUT_SHORT when the file ended early.
static int64_t find_span(const change *next, int64_t pos, int64_t &stop, const find_needle &n)
{
    const int tail = n.length - 1;
    if (!next || next->offset >= stop + tail) {
        if (const unsigned char *bytes = file_map(pos, stop + tail - pos)) {
            int64_t hit = find_in_span(bytes, stop + tail - pos, n);
            if (file_unmap() == 0)
                return hit < 0 ? FIND_NONE : pos + hit;
        }
    }
    stop = std::min<int64_t>(stop, pos + COPY_SPAN);
    int count = static_cast<int>(stop + tail - pos);
    int got = file_read_direct(find_window, count, pos);
    if (got <= 0)
        return FIND_CUT_SHORT;
    find_overlay(next, find_window, pos, got);
    int64_t hit = find_in_span(find_window, got, n);
    if (hit >= 0)
        return pos + hit;
    return got < count ? FIND_CUT_SHORT : FIND_NONE;
}

// Past the last of the changes from c on (up to limit) that follow each other closer than the
// pattern's length: the start positions after it see none of them.
static int64_t find_changes_end(const change *c, int64_t limit, int length)
{
    int64_t end = c->offset + 1;
    for (c = c->next; c && c->offset < limit && c->offset < end + length - 1; c = c->next)
        end = c->offset + 1;
    return end;
}

// For a pattern that cannot lie wholly in a hole: moves pos on to the first start position
// whose bytes reach data or a change, and brings stop in to where the data ends, or, in a hole,
// to where its changes end. [data_start, data_end) is the first data at or after pos; next is
// the first change at or after pos.
static void find_skip_hole(const change *next, int64_t data_start, int64_t data_end, int length,
                           int64_t &pos, int64_t &stop)
{
    const int tail = length - 1;
    int64_t first = next ? std::min(data_start, next->offset) : data_start;
    pos = std::max(pos, first - tail);
    if (data_start <= pos + tail)
        stop = std::min(stop, data_end);
    else
        stop = std::min({stop, data_start - tail, find_changes_end(next, stop, length)});
}

static void find_show_notice(const editor_state &st)
{
    prompt_draw(st, 1, "Searching...");
    prompt_blank(st, 13, PROMPT_END);
    cursor_move(st.rows - 1, 12);
}

// Gives the user's keys a look every POLL_INTERVAL_NS while a search runs. Returns true when a
// key was typed (it is dropped: it asked for the search to stop, not for an edit); a resized or
// resumed terminal is drawn again with the notice and the search goes on.
static bool find_interrupted(editor_state &st, timespec &last_poll)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t elapsed = (now.tv_sec - last_poll.tv_sec) * 1000000000LL + (now.tv_nsec - last_poll.tv_nsec);
    if (elapsed < POLL_INTERVAL_NS)
        return false;
    last_poll = now;
    int key = poll_key();
    if (key == KEY_REDRAW) {
        redraw_screen(st);
        find_show_notice(st);
        return false;
    }
    return key != KEY_NONE;
}

int64_t find_pattern(editor_state &st, const unsigned char *pattern, int length)
{
    const find_needle n = find_prepare(pattern, length);
    const bool skips_holes = std::any_of(pattern, pattern + length, [](unsigned char b) { return b != 0; });
    const int64_t last_start = st.file_size - length;
    const change *next = first_change_from(st, st.cursor);
    int64_t data_start = 0;  // the first stretch of data at or after pos, once asked for
    int64_t data_end = 0;
    timespec last_poll{};
    clock_gettime(CLOCK_MONOTONIC, &last_poll);
    for (int64_t pos = st.cursor; pos <= last_start;) {
        if (find_interrupted(st, last_poll))
            return FIND_CANCELLED;
        while (next && next->offset < pos)
            next = next->next;
        int64_t stop = std::min(pos + MAP_SPAN, last_start + 1);
        if (skips_holes) {
            if (data_end <= pos)
                file_data_extent(pos, data_start, data_end);
            find_skip_hole(next, data_start, data_end, length, pos, stop);
            if (pos > last_start)
                break;
        }
        int64_t found = find_span(next, pos, stop, n);
        if (found >= 0)
            return found;
        if (found == FIND_CUT_SHORT)
            break;
        pos = stop;
    }
    return -1;
}

// What has been typed: hexadecimal digits (upper case) or characters.
struct find_entry {
    char text[FIND_MAX_CHARS];
    int count;
};

// Hexadecimal digits become bytes pair by pair, high digit first; an odd last digit stands
// alone as a byte of its own value. Returns the pattern's length.
static int find_hex_pattern(const find_entry &entry, unsigned char *pattern)
{
    int length = 0;
    for (int i = 0; i < entry.count; i += 2) {
        int value = hex_digit_value(entry.text[i]);
        if (i + 1 < entry.count)
            value = value * 16 + hex_digit_value(entry.text[i + 1]);
        pattern[length++] = static_cast<unsigned char>(value);
    }
    return length;
}

// Column of entry character i: hexadecimal digits stand in pairs with a blank between pairs.
static int find_entry_column(const editor_state &st, int i)
{
    return st.ascii_mode ? CHAR_ENTRY_COLUMN + i : HEX_ENTRY_COLUMN + i + i / 2;
}

static void find_draw_entry(const editor_state &st, const find_entry &entry)
{
    for (int i = 0; i < entry.count; i++)
        prompt_draw(st, find_entry_column(st, i), std::string_view(&entry.text[i], 1));
    int end = find_entry_column(st, entry.count);
    prompt_draw(st, end, " ");
    cursor_move(st.rows - 1, end);
}

// Adds a typed key to the entry. Returns false when the key ends the prompt instead.
static bool find_take_key(const editor_state &st, find_entry &entry, int key)
{
    if (key == KEY_BACKSPACE_CODE) {
        if (entry.count > 0)
            entry.count--;
        return true;
    }
    if (st.ascii_mode) {
        if (key < 32)
            return false;
        if (entry.count < FIND_MAX_CHARS)
            entry.text[entry.count++] = static_cast<char>(key);
        return true;
    }
    int digit = hex_digit_value(key);
    if (digit < 0)
        return false;
    if (entry.count < FIND_MAX_HEX_DIGITS)
        entry.text[entry.count++] = "0123456789ABCDEF"[digit];
    return true;
}

static void find_draw_prompt(const editor_state &st)
{
    prompt_draw(st, 0, " ");
    prompt_draw(st, 1, st.ascii_mode ? "Find [ASCII]:" : "Find [HEX]:");
    prompt_blank(st, st.ascii_mode ? 14 : 12, PROMPT_END);
}

// Runs the entry's key loop. Returns false when the user left without asking for a search.
static bool find_read_entry(editor_state &st, find_entry &entry)
{
    for (;;) {
        find_draw_entry(st, entry);
        int key = get_key();
        if (key == KEY_REDRAW) {
            redraw_screen(st);
            find_draw_prompt(st);
            continue;
        }
        if (key == KEY_TWO_PART) {
            (void)get_key();
            return false;
        }
        if (key > 0xFF || key == KEY_ESC_CODE)
            return false;
        if (key == KEY_ENTER_CODE)
            return true;
        if (!find_take_key(st, entry, key))
            return false;
    }
}

void find_prompt(editor_state &st)
{
    find_draw_prompt(st);
    find_entry entry{};
    if (!find_read_entry(st, entry))
        return;
    if (entry.count == 0) {
        set_message(st, "No search string provided!");
        return;
    }
    unsigned char pattern[FIND_MAX_CHARS];
    int length = entry.count;
    if (st.ascii_mode)
        memcpy(pattern, entry.text, static_cast<size_t>(length));
    else
        length = find_hex_pattern(entry, pattern);
    find_show_notice(st);
    int64_t found = find_pattern(st, pattern, length);
    if (found == FIND_CANCELLED)
        set_message(st, "Search cancelled.");
    else if (found < 0)
        set_message(st, "No match found");
    else
        st.cursor = found;
}
