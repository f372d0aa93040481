#pragma once

#include "Main.h"

#include <memory>

// Creates the program's windows in their fixed order: the main window, then
// the pre-setting edit dialog, the hover information window, the TCP
// configuration dialog, the search wizard and the typed confirmation dialog.
// The main window owns the dialogs.
std::unique_ptr<TForm1> CreateApplicationWindows(const TForm1Options& options = TForm1Options());
