// Jump to offset: a hexadecimal number typed on the status line becomes the cursor.
#include "prompt/prompt.h"

#include "edit/edit.h"
#include "screen/screen.h"
#include "term/term.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string_view>

namespace {

constexpr std::string_view LABEL = " Jump to offset: 0x";
constexpr int VALUE_COLUMN = static_cast<int>(LABEL.size());
// The cap is 2^31 - 1, or the last offset of a file larger than 2 GiB. A digit is taken only
// while the value is at most a sixteenth of the cap, so every offset up to the cap can be typed.
constexpr int64_t SMALL_FILE_CAP = 0x7FFFFFFF;

}  // namespace

// Draws the value followed by a blank that wipes out a digit just removed.
static void jump_draw_value(const editor_state &st, int64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "%" PRIX64 " ", value);
    prompt_draw(st, VALUE_COLUMN, text);
}

static void jump_draw_prompt(const editor_state &st)
{
    prompt_draw(st, 0, LABEL);
    prompt_blank(st, VALUE_COLUMN, PROMPT_END);
}

void jump_prompt(editor_state &st)
{
    jump_draw_prompt(st);
    int64_t value = 0;
    int64_t max_before_digit = std::max(SMALL_FILE_CAP, last_offset(st)) / 16;
    for (;;) {
        jump_draw_value(st, value);
        int key = get_key();
        int digit = hex_digit_value(key);
        if (key == KEY_REDRAW) {
            redraw_screen(st);
            jump_draw_prompt(st);
        } else if (digit >= 0) {
            if (value <= max_before_digit)
                value = value * 16 + digit;
        } else if (key == KEY_BACKSPACE_CODE) {
            value /= 16;
        } else if (key == KEY_ENTER_CODE) {
            st.cursor = value < st.file_size ? value : last_offset(st);
            return;
        } else {
            // A two-part key ends the prompt whole, so its second half does nothing later.
            if (key == KEY_TWO_PART)
                (void)get_key();
            return;
        }
    }
}
