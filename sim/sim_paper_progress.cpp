// The paper of each stream while it grows, shown to the watchers of SimControl::WatchPaper: a PNG
// of what is printed since the last receipt, taken by the loop at most every kProgressInterval
// while bytes come, and a 0-high picture once what it showed has been cut or ended.
#include "sim/paper/png_file.h"
#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

bool SimServer::PaperToShow() const {
    std::lock_guard lock(subscribersMutex_);
    for (const auto& [id, subscription] : subscribers_) {
        if (subscription.paper) return true;
    }
    return false;
}

std::optional<Clock::time_point> SimServer::NextPaperShow() const {
    if (!receipts_ || !PaperToShow()) return std::nullopt;
    std::optional<Clock::time_point> next;
    for (const auto& s : streams_) {
        if (!s->job->HasPaper() || s->job->BytesFed() == s->paperFed) continue;
        const Clock::time_point due = s->paperShown + kProgressInterval;
        if (!next || due < *next) next = due;
    }
    return next;
}

void SimServer::ShowPaper() {
    if (!receipts_ || !PaperToShow()) return;
    const Clock::time_point now = Clock::now();
    for (const auto& s : streams_) {
        const uint64_t fed = s->job->BytesFed();
        const bool ended = s->finished && s->paperShowing;  // its last picture came out
        if (!s->job->HasPaper() ||
            (!ended && (fed == s->paperFed || now < s->paperShown + kProgressInterval)))
            continue;
        s->paperFed = fed;
        const paper::Bitmap strip = s->job->PaperSoFar();
        if (strip.Empty() && !s->paperShowing) continue;  // nothing shown, nothing to show
        PaperProgress progress{s->printer,    s->link,        s->connection,
                               strip.Width(), strip.Height(), nullptr};
        if (!strip.Empty()) {
            auto png = std::make_shared<std::vector<uint8_t>>();
            std::string error;
            if (!paper::EncodePng(strip, png.get(), &error)) continue;
            progress.png = std::move(png);
        } else {
            progress.width = 0;
        }
        s->paperShown = now;
        s->paperShowing = !strip.Empty();
        std::lock_guard lock(subscribersMutex_);
        for (const auto& [id, subscription] : subscribers_) {
            if (subscription.paper) subscription.paper(progress);
        }
    }
}

}  // namespace sim
