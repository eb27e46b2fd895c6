#pragma once
// `tessary-cli status`: asks the printer the four real-time status questions on one connection
// and prints what its answers say.

#include <chrono>
#include <ostream>

#include "cli/printer_port.h"
#include "status/status_query.h"

namespace cli {

inline constexpr int kNotReady = 3;  // the printer answered, but is not ready

struct StatusJob {
    PortTarget port;
    bool json = false;
    bool dryRun = false;
    std::chrono::milliseconds answerTimeout = printerstatus::kAnswerTimeout;  // per request
};

// 0 ready, 3 answered but not ready, 1 no answer or a port failure, 2 a port that cannot answer.
int RunStatus(const StatusJob& job, const LinkSettings& link, std::ostream& out, std::ostream& err);

}  // namespace cli
