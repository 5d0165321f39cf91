// Start-up and the command loop: the top of the editor, which main runs. Subsystems include
// editor/state.h, the vocabulary they share, and never this header.
#pragma once

#include "editor/state.h"

// Starts curses mode, reads the command line, creates the colour pairs, opens the file and
// clears the screen. Returns 0 when the editor is ready for its loop; otherwise curses mode has
// ended, the reason is printed on stdout, and the result is the exit status (1, 2 or 6).
[[nodiscard]] int editor_start(editor_state &st, int argc, char **argv);
// Reads one key (both halves of a two-part key, or'ed with 0x100) and returns its command;
// a key that is no command goes to byte entry, whose result is returned.
[[nodiscard]] command read_command(editor_state &st);
// One pass of the command loop: draw (unless more keys are already waiting), read one command,
// carry it out, keep the cursor in view.
// Returns false once the user has quit; the file, curses mode and the changes are then released.
[[nodiscard]] bool loop_step(editor_state &st);
// Releases what the editor holds: the file, curses mode, the changes and a pending message, as
// quitting does. Harmless when they are released already.
void editor_end(editor_state &st);
// The whole program: start-up, then the loop. Returns the process's exit status.
[[nodiscard]] int editor_main(int argc, char **argv);
