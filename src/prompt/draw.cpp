// Drawing on the status line for the prompts, one refreshed cell at a time; cells past the right
// edge of a narrow terminal are left out.
#include "prompt/prompt.h"

#include "term/term.h"

void prompt_draw(const editor_state &st, int col, std::string_view text)
{
    for (char ch : text) {
        if (col >= st.cols)
            return;
        cursor_move(st.rows - 1, col++);
        put_char(static_cast<unsigned char>(ch), st.attr_message);
    }
}

void prompt_blank(const editor_state &st, int col, int last)
{
    for (; col <= last; col++)
        prompt_draw(st, col, " ");
}

void prompt_searching(const editor_state &st)
{
    constexpr std::string_view NOTICE = "Searching...";
    constexpr int NOTICE_COLUMN = 1;
    constexpr int NOTICE_END = NOTICE_COLUMN + static_cast<int>(NOTICE.size());
    // Column 0 too: after a resize the status line drawn anew shows the file's name there.
    prompt_blank(st, 0, NOTICE_COLUMN - 1);
    prompt_draw(st, NOTICE_COLUMN, NOTICE);
    prompt_blank(st, NOTICE_END, PROMPT_END);
    cursor_move(st.rows - 1, NOTICE_END - 1);  // on its last full stop
}
