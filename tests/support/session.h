// An editor started on a temporary file through the in-memory terminal, for tests that draw,
// type and step the loop. Whatever the editor still holds when a test ends is released here.
#pragma once

#include "editor/editor.h"
#include "support/temp_file.h"

#include <cstdint>
#include <string>
#include <vector>

struct session {
    temp_file file;
    std::vector<std::string> args;  // the command line; st.path points into it
    editor_state st{};
    bool running = false;  // started and not yet quit

    // Starts the editor on a file of these bytes (extended sparsely to length when that is set),
    // made in a private folder in parent (the temporary folder when it is empty), on a terminal
    // of 80 columns and the given lines, with or without colours, with switches after the name,
    // on storage that reads and writes well.
    explicit session(const bytes &content, int rows = 25, const std::vector<std::string> &switches = {},
                     const std::string &name = "data.bin", int64_t length = -1, bool colors = true,
                     const std::string &parent = "");
    ~session();
    session(const session &) = delete;
    session &operator=(const session &) = delete;

    // Runs loop_step n times or until the editor quits. Returns whether it still runs.
    bool step(int n = 1);
    // Runs loop_step until every queued key has been read or the editor quits.
    bool run();
    // One letter per column of a screen line for the pair it is drawn in: b background,
    // o offset, n normal, e changed, c cursor, C cursor on a changed byte, p past end,
    // s status, m message, '?' anything else.
    [[nodiscard]] std::string roles(int row) const;
};

// The characters of a screen line.
[[nodiscard]] std::string text_row(int row);
// The changes as (offset, value, file value), in list order.
struct change_entry {
    int64_t offset;
    int value;
    int file_value;
    bool operator==(const change_entry &) const = default;
};
[[nodiscard]] std::vector<change_entry> change_list(const editor_state &st);
