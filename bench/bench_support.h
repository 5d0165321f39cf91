// Opening a file for a benchmark the way start-up does, on the terminal that draws nowhere.
#pragma once

#include "editor/editor.h"

#include <cstdint>

// Starts the editor on path (80x25, colour). Returns false, having printed why, on failure.
bool bench_open(editor_state &st, const char *path);
// Makes the keyboard press key (a curses key code) presses times, then Esc alone for ever.
void bench_keyboard(int key, int64_t presses);
