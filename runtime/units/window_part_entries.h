// Plugs the window part into the runtime core: the unit interfaces of the
// window, label, button, edit box, picture box and HTML viewer types, the
// entries the start-up, message loop and exit sequence call, and the window
// part's SystemNotify codes.
#pragma once

// Idempotent; called by the program's entry before runtime initialisation
// (and by tests).
void RegisterWindowUnits();
