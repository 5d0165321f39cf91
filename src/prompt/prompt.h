// Prompts drawn on the status line: jump to an offset and find a pattern. Each runs its own
// small key loop and returns to the command loop, which brings the cursor into view.
#pragma once

#include "editor/state.h"

#include <cstdint>
#include <string_view>

constexpr int PROMPT_END = 59;  // the last column of the prompts on the status line
constexpr int FIND_MAX_HEX_DIGITS = 16;
constexpr int FIND_MAX_CHARS = 32;
constexpr int64_t FIND_CANCELLED = -2;  // find_pattern: a key stopped the search

// Asks for a hexadecimal offset and moves the cursor there (to the last byte when past the end).
void jump_prompt(editor_state &st);
// Asks for a pattern (hexadecimal digits or characters, by the cursor's column) and moves the
// cursor to its first occurrence at or after the cursor in the file as edited.
void find_prompt(editor_state &st);

// First offset at or after the cursor where the file as edited holds pattern (1-32 bytes),
// -1 when there is none, or FIND_CANCELLED when the user typed a key while it searched.
[[nodiscard]] int64_t find_pattern(editor_state &st, const unsigned char *pattern, int length);

// Draws text cell by cell on the status line from col in the message colour.
void prompt_draw(const editor_state &st, int col, std::string_view text);
// Draws blanks on the status line from col up to and including last.
void prompt_blank(const editor_state &st, int col, int last);
// Shows, over the find prompt, that the search runs.
void prompt_searching(const editor_state &st);
