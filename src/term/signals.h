// Inside the terminal layer: catching the signals that act on the editor, and acting on them at
// the points where the editor waits for keys. The holding calls for a save are in term.h.
#pragma once

// Installs the handlers: for signals that end the editor, for faults, for a stop asked for
// (SIGTSTP) and for the continue after a stop. Signals someone else already handles or ignores
// are left to them.
void signals_catch();
// Ends curses mode and then the process when a signal asked for the end. A stop asked for ends
// curses mode and stops the process here. Returns true once after the process was continued from
// a stop, with curses mode set up again.
bool signals_act();
