#pragma once
// Render mode: captured print jobs (files of the raw bytes a program sends, one file a job) drawn
// with the server's own job path (decoder, paper, receipts with their data files, log lines), for
// a CI job or a developer with a capture; no port is opened.

#include <functional>
#include <string>
#include <vector>

#include "sim/sim_options.h"
#include "sim/sim_server.h"

namespace sim {

// Renders `files` ("-": standard input) in order, each a job of its own as a new connection to
// printer 1 (link "file", numbered from 1 by its place, named by the file), into
// options.receipts (made if missing) at options.paperWidth. Files are read in chunks, never whole.
// Log lines go to `lines`, one line for each file that cannot be read (or to the end) to
// `errors`. Returns the exit status: 0, or 1 when a file could not be read (the others are still
// rendered) or a picture, data file or the index could not be written.
int RenderFiles(const SimOptions& options, const std::vector<std::string>& files,
                const std::function<void(const SimLine&)>& lines,
                const std::function<void(const std::string&)>& errors);

}  // namespace sim
