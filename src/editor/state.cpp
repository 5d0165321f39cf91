// The status message rule shared by every subsystem (set only when none is pending), and the
// cursor's upper bound.
#include "editor/editor.h"

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
