// Prompts drawn on the status line: jump to an offset and find a pattern. Each runs its own
// small key loop and returns to the command loop, which brings the cursor into view.
#pragma once

#include "editor/state.h"

#include <cstdint>
#include <string_view>

constexpr int PROMPT_END = 59;  // the last column of the prompts on the status line
constexpr int FIND_MAX_HEX_DIGITS = 16;
constexpr int FIND_MAX_CHARS = 32;
// The scan copies the file in spans of up to FIND_COPY_SPAN bytes. The sanitizer build of the
// unit tests makes them small (TOLM_SMALL_SPANS), so that small files cross many.
#ifdef TOLM_SMALL_SPANS
constexpr int FIND_COPY_SPAN = 1 << 11;
#else
constexpr int FIND_COPY_SPAN = 1 << 20;
#endif

// How a search ended.
enum find_outcome {
    FIND_FOUND,       // offset: where the pattern starts
    FIND_ABSENT,      // not from the cursor to the end of the file
    FIND_CANCELLED,   // a key stopped the search
    FIND_READ_ERROR,  // offset: the first byte the storage could not give; nothing before it matched
};
struct find_result {
    find_outcome outcome;
    int64_t offset;
};

// Asks for a hexadecimal offset and moves the cursor there (to the last byte when past the end).
void jump_prompt(editor_state &st);
// Asks for a pattern (hexadecimal digits or characters, by the cursor's column) and moves the
// cursor to its first occurrence at or after the cursor in the file as edited.
void find_prompt(editor_state &st);

// Looks for the first offset at or after the cursor where the file as edited holds pattern
// (1-32 bytes), in the order of the offsets, until a key is typed or a byte cannot be read.
[[nodiscard]] find_result find_pattern(editor_state &st, const unsigned char *pattern, int length);

// Draws text cell by cell on the status line from col in the message colour.
void prompt_draw(const editor_state &st, int col, std::string_view text);
// Draws blanks on the status line from col up to and including last.
void prompt_blank(const editor_state &st, int col, int last);
// Shows, over the find prompt, that the search runs.
void prompt_searching(const editor_state &st);
