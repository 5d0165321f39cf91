// Inside the terminal layer: catching the signals that act on the editor, and acting on them at
// the points where the editor waits for keys. The holding calls for a save are in term.h.
#pragma once

// Installs the handlers: for signals that end the editor, for faults, and for the continue after
// a stop. Signals someone else already handles or ignores are left to them.
void signals_catch();
// Ends curses mode and then the process when a signal asked for the end. Otherwise returns true
// once after the process was continued from a stop, with curses mode set up again.
bool signals_act();
