// The command loop. Until the editing commands exist it waits for Esc.
#include "editor/editor.h"

#include "file/file.h"
#include "term/term.h"

bool loop_step(editor_state &st)
{
    if (get_key() != KEY_ESC_CODE)
        return true;
    file_close();
    term_close();
    clear_message(st);
    return false;
}

int editor_main(int argc, char **argv)
{
    editor_state st{};
    int status = editor_start(st, argc, argv);
    if (status != 0)
        return status;
    while (loop_step(st)) {
    }
    return 0;
}
