// The tolm program.
#include "editor/editor.h"

int main(int argc, char **argv) { return editor_main(argc, argv); }
