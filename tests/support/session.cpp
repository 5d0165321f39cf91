// The editor on a temporary file through the in-memory terminal.
#include "support/session.h"

#include "edit/edit.h"
#include "support/failing_reads.h"
#include "support/failing_writes.h"
#include "support/fake_term.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <utility>

session::session(const bytes &content, int rows, const std::vector<std::string> &switches,
                 const std::string &name, int64_t length, bool colors, const std::string &parent)
    : file(content, name, parent)
{
    if (length >= 0) {
        EXPECT_EQ(truncate(file.path.c_str(), length), 0);
    }
    fake_term_reset(rows, 80, colors);
    fail_reads(0, 0);
    slow_reads(0);
    cut_when_read("", 0);
    fail_writes(0, 0);
    refuse_misaligned(1);
    args = {"tolm", file.path};
    args.insert(args.end(), switches.begin(), switches.end());
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    running = editor_start(st, static_cast<int>(argv.size()), argv.data()) == 0;
    EXPECT_TRUE(running) << "the editor did not start on " << file.path;
}

session::~session() { editor_end(st); }

bool session::step(int n)
{
    for (int i = 0; i < n && running; i++)
        running = loop_step(st);
    return running;
}

bool session::run()
{
    while (running && fake_keys_left() > 0)
        running = loop_step(st);
    return running;
}

std::string session::roles(int row) const
{
    const std::pair<int32_t, char> letters[] = {
        {st.attr_background, 'b'}, {st.attr_offset, 'o'},         {st.attr_normal, 'n'},
        {st.attr_changed, 'e'},    {st.attr_cursor, 'c'},         {st.attr_cursor_changed, 'C'},
        {st.attr_past_end, 'p'},   {st.attr_status, 's'},         {st.attr_message, 'm'},
    };
    std::string out;
    for (int pair : fake_pair_row(row)) {
        char letter = '?';
        for (const auto &[number, role] : letters)
            if (number == pair)
                letter = role;
        out += letter;
    }
    return out;
}

std::string text_row(int row) { return fake_text_row(row); }

std::vector<change_entry> change_list(const editor_state &st)
{
    std::vector<change_entry> out;
    for (const change *c = st.changes; c; c = c->next)
        out.push_back({c->offset, c->value, c->file_value});
    return out;
}
