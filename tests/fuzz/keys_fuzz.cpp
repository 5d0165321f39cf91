// Fuzzes the whole editor with arbitrary key streams on a real file. The first bytes choose the
// file's size, the terminal's size and read-only mode, whether keys are UTF-8 and which form of
// mouse report curses knows; every further byte is a key, or a resize of the terminal. After every
// command the editor's invariants must hold, and at the end the file on disk must equal its
// original bytes with exactly the saved changes applied.
#include "edit/edit.h"
#include "editor/editor.h"
#include "file/file.h"
#include "support/fake_term.h"
#include "support/invariants.h"
#include "support/keys.h"
#include "term/term_io.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

constexpr size_t FILE_SIZES[] = {0, 1, 15, 16, 17, 100, 511, 512, 513, 1000, 2049, 5000};
constexpr int HEADER = 3;
constexpr int MAX_STEPS = 20000;

// Input bytes from 0xE0 up stand for the keys curses delivers as codes of their own.
constexpr int SPECIAL_KEYS[] = {
    IO_KEY_DOWN, IO_KEY_UP,    IO_KEY_LEFT,  IO_KEY_RIGHT, IO_KEY_HOME, IO_KEY_END,
    IO_KEY_NPAGE, IO_KEY_PPAGE, IO_KEY_BACKSPACE, IO_KEY_ENTER, IO_KEY_MOUSE, IO_NO_KEY,
    CURSES_DELETE, CURSES_INSERT, CURSES_SHIFT_DOWN, CURSES_SHIFT_UP, CURSES_BACK_TAB,
    CURSES_RESIZE, CURSES_F1, curses_f(14), curses_f(23), curses_f(25), curses_f(27),
    curses_f(28), curses_f(51), curses_f(63),
    27, 27, 's', 'u', 'j', 'f',
};

std::string fuzz_path()
{
    static std::string path = [] {
        char dir[] = "/tmp/tolm-fuzz-XXXXXX";
        return std::string(mkdtemp(dir)) + "/file.bin";
    }();
    return path;
}

bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const bytes &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
}

// A resize takes the byte after it as the new size: 1-40 lines, 40-100 columns.
void queue_keys(const uint8_t *data, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        int key = data[i] >= 0xE0 ? SPECIAL_KEYS[data[i] - 0xE0] : data[i];
        if (key == IO_KEY_RESIZE && i + 1 < size) {
            uint8_t next = data[++i];
            fake_resize(1 + next % 40, 40 + next / 40 * 10);
        } else {
            fake_keys({key});
        }
    }
}

// The bytes as edited: what the disk must hold once a save has succeeded.
bytes apply_changes(bytes content, const change *c)
{
    for (; c; c = c->next) {
        if (static_cast<size_t>(c->offset) >= content.size())
            content.resize(static_cast<size_t>(c->offset) + 1);
        content[static_cast<size_t>(c->offset)] = c->value;
    }
    return content;
}

[[noreturn]] void fail(const std::string &what)
{
    fprintf(stderr, "invariant broken: %s\n", what.c_str());
    abort();
}

}  // namespace

void fake_out_of_keys() {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HEADER)
        return 0;
    bytes original(FILE_SIZES[data[0] % std::size(FILE_SIZES)]);
    for (size_t i = 0; i < original.size(); i++)
        original[i] = static_cast<unsigned char>(i * 7 + data[0]);
    std::string path = fuzz_path();
    write_file(path, original);

    fake_term_reset(1 + data[1] % 60, 80 + data[2] % 3 * 10);
    fake_locale(data[1] & 0x80 ? "C.UTF-8" : "C");
    fake_mouse_sgr(data[1] & 0x40);
    fake_type_ahead(data[2] & 0x40);
    queue_keys(data + HEADER, size - HEADER);
    std::vector<char *> argv = {const_cast<char *>("tolm"), path.data()};
    if (data[2] & 0x80)
        argv.push_back(const_cast<char *>("-ro"));
    editor_state st{};
    if (editor_start(st, static_cast<int>(argv.size()), argv.data()) != 0)
        fail("start-up refused a good file");

    bytes expected = original;
    bool running = true;
    for (int step = 0; running && step < MAX_STEPS; step++) {
        bytes edited = apply_changes(expected, st.changes);
        running = loop_step(st);
        if (!running)
            break;
        if (std::string broken = broken_invariant(st); !broken.empty())
            fail(broken);
        if (st.message && strcmp(st.message, "File saved.") == 0)
            expected = edited;
    }
    editor_end(st);
    if (read_file(path) != expected)
        fail("the file on disk differs from its original with the saved changes");
    return 0;
}
