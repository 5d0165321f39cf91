// The status message rule shared by every subsystem (set only when none is pending), the
// cursor's upper bound and the view that follows the cursor.
#include "editor/state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

void set_message(editor_state &st, const char *text)
{
    if (!st.message)
        st.message = strdup(text);
}

void clear_message(editor_state &st)
{
    free(st.message);
    st.message = nullptr;
}

int64_t last_offset(const editor_state &st) { return std::max<int64_t>(st.file_size - 1, 0); }

void keep_cursor_in_view(editor_state &st)
{
    int64_t c = st.cursor / 16;
    int64_t v = st.view / 16;
    int64_t lowest = std::max(st.rows - 3, 0);
    if (c - v > lowest)
        st.view = (c - lowest) * 16;
    else if (c < v)
        st.view = c * 16;
}
