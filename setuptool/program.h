#pragma once
// Tessary's start, whatever the toolkit: the command line, the main window and its start-up, the
// end of the process.

#include <string>
#include <vector>

#include "shell/start_up.h"

namespace setuptool {

// `arguments`: UTF-8, the program's name first. Returns the status of a usage error or of the
// usage asked for; otherwise the process ends when the window has closed.
int RunTessary(const std::vector<std::string>& arguments, const shell::RunWindow& run);

}  // namespace setuptool
