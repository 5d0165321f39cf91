// What must hold after every command, whatever keys came before: used by the randomized
// key-stream test and by the key-stream fuzzer.
#pragma once

#include "editor/state.h"

#include <string>

// Empty when the state and the in-memory screen keep every invariant; otherwise what broke.
[[nodiscard]] std::string broken_invariant(const editor_state &st);
