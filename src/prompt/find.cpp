// Find: a pattern typed on the status line, searched forward from the cursor through the file
// as edited. The scan reads large spans straight from the file and examines sixteen start
// positions at a time.
#include "prompt/prompt.h"

#include "edit/edit.h"
#include "file/file.h"
#include "screen/screen.h"
#include "term/term.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

constexpr int HEX_ENTRY_COLUMN = 13;
constexpr int CHAR_ENTRY_COLUMN = 15;
constexpr int PROMPT_END = 59;
constexpr int SPAN = 1 << 18;
// Keys are looked at this often during a search (20 ms), well within the 100 ms in which a key
// must stop it.
constexpr int64_t POLL_INTERVAL_NS = 20'000'000;

}  // namespace

// The bytes the scan examines: one span read from the file plus the tail of the previous one,
// so that an occurrence straddling two spans is still seen whole.
static unsigned char find_window[FIND_MAX_CHARS + SPAN];

// Sixteen bytes compared at once (a vector of the compiler's, so no particular processor).
using lanes = unsigned char __attribute__((vector_size(16)));
constexpr int LANES = 16;

// First start position of pattern in bytes[0..size), or -1. Only where both the pattern's first
// and last bytes stand is the whole pattern compared. When that happens too often to pay (a
// pattern made of the data's commonest byte) memmem takes over, which stays linear.
static int64_t find_in_span(const unsigned char *bytes, int64_t size, const unsigned char *pattern, int length)
{
    const int64_t last_start = size - length;
    lanes first;
    lanes last;
    for (int k = 0; k < LANES; k++) {
        first[k] = pattern[0];
        last[k] = pattern[length - 1];
    }
    int64_t at = 0;
    int64_t busy = 0;  // groups of positions that needed a closer look
    for (; at + LANES - 1 <= last_start && busy * 4 <= at / LANES + 64; at += LANES) {
        lanes head;
        lanes tail;
        memcpy(&head, bytes + at, LANES);
        memcpy(&tail, bytes + at + length - 1, LANES);
        auto hits = (head == first) & (tail == last);
        uint64_t halves[2];
        memcpy(halves, &hits, sizeof halves);
        if ((halves[0] | halves[1]) == 0)
            continue;
        busy++;
        for (int k = 0; k < LANES; k++)
            if (hits[k] && memcmp(bytes + at + k, pattern, static_cast<size_t>(length)) == 0)
                return at + k;
    }
    if (at > last_start)
        return -1;
    const void *hit = memmem(bytes + at, static_cast<size_t>(size - at), pattern, static_cast<size_t>(length));
    return hit ? static_cast<const unsigned char *>(hit) - bytes : -1;
}

// Lays the changes at offsets from start to start + count - 1 over the bytes read there.
static void find_overlay(const change *&next, unsigned char *dst, int64_t start, int count)
{
    while (next && next->offset < start)
        next = next->next;
    for (; next && next->offset < start + count; next = next->next)
        dst[next->offset - start] = next->value;
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
    const change *next = st.changes;
    int kept = 0;  // bytes at the front of the window carried over from the previous span
    timespec last_poll{};
    clock_gettime(CLOCK_MONOTONIC, &last_poll);
    for (int64_t pos = st.cursor; pos < st.file_size;) {
        if (find_interrupted(st, last_poll))
            return FIND_CANCELLED;
        int want = static_cast<int>(std::min<int64_t>(SPAN, st.file_size - pos));
        int n = file_read_direct(find_window + kept, want, pos);
        if (n <= 0)
            return -1;
        find_overlay(next, find_window + kept, pos, n);
        int total = kept + n;
        int64_t hit = find_in_span(find_window, total, pattern, length);
        if (hit >= 0)
            return pos - kept + hit;
        kept = std::min(length - 1, total);
        memmove(find_window, find_window + total - kept, static_cast<size_t>(kept));
        pos += n;
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
