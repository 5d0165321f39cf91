// The status message rule shared by every subsystem: set only when none is pending.
#include "editor/editor.h"

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
