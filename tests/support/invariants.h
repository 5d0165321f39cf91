// What must hold after every command, whatever keys came before: used by the randomized
// key-stream test and by the key-stream fuzzer.
#pragma once

#include "editor/state.h"

#include <string>

// Empty when the change index keeps its invariants: every lane ascends and stops only on changes
// in the list, a stop stands on every lane below its highest, and the finger is on a change in
// the list (or on none) with, on each lane, the last stop at or before it. Otherwise what broke.
[[nodiscard]] std::string broken_index(const editor_state &st);
// Empty when the state and the in-memory screen keep every invariant, the change index's among
// them; otherwise what broke.
[[nodiscard]] std::string broken_invariant(const editor_state &st);
