// Screen rendering: the file sixteen bytes to a line with unsaved changes laid over it, the
// status line, and the terminal cursor on the byte under the editor's cursor.
#pragma once

#include "editor/state.h"


// Redraws the whole screen from the state at the terminal's size now (a new size makes the view
// follow the cursor) and releases the pending message it showed. The terminal is refreshed once, at the end,
// with the cursor placed.
void draw_screen(editor_state &st);
// Everything draw_screen does but the drawing: the layout follows the terminal's size, and the
// pending message counts as shown and is released. For a drawing that keys already typed would
// make stale at once.
void skip_drawing(editor_state &st);
// Draws the whole screen again, at the terminal's size now, showing the status message the last
// drawing showed: for a terminal that changed size or came back from a stop while the editor
// waits for a key.
void redraw_screen(editor_state &st);
