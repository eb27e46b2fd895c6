// Jobs given through SimControl::Print: queued (bounded), started in order for each printer once
// it prints, fed to their decoder a slice a turn of the loop, their receipts handed back.
#include <algorithm>

#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

std::future<JobResult> SimServer::Print(PrintRequest job) {
    std::promise<JobResult> promise;
    std::future<JobResult> future = promise.get_future();
    const auto refuse = [&promise](ControlResult result, std::string why) {
        JobResult r;
        r.result = result;
        r.error = std::move(why);
        promise.set_value(std::move(r));
    };
    if (job.printer < 1 || job.printer > static_cast<int>(printers_.size())) {
        refuse(ControlResult::NoSuchPrinter, "no printer " + std::to_string(job.printer));
        return future;
    }
    if (job.bytes.size() > kMaxJobBytes) {
        refuse(ControlResult::Refused, "a job of " + std::to_string(job.bytes.size()) +
                                           " bytes: at most " + std::to_string(kMaxJobBytes));
        return future;
    }
    // Names come from outside (a print queue's job name): one line of printable text, short.
    job.name = OneLine(job.name, kMaxJobName);
    job.link = OneLine(job.link, 16);
    if (job.link.empty()) job.link = "api";
    {
        std::lock_guard lock(jobsMutex_);
        if (ended_) {
            refuse(ControlResult::Stopped, "the simulator has stopped");
            return future;
        }
        if (jobs_.size() + jobsActive_ >= kMaxJobs) {
            refuse(ControlResult::Refused,
                   std::to_string(kMaxJobs) + " jobs are waiting or printing already");
            return future;
        }
        auto queued = std::make_shared<QueuedJob>();
        queued->request = std::move(job);
        queued->promise = std::move(promise);
        jobs_.push_back(std::move(queued));
    }
    wake_.Wake();
    return future;
}

void SimServer::StartJobs() {
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        const int printer = static_cast<int>(i) + 1;
        const bool printing = std::any_of(streams_.begin(), streams_.end(), [&](const auto& s) {
            return s->queued && s->printer == printer;
        });
        if (printing || !PrintsNow(printer)) continue;
        std::shared_ptr<QueuedJob> job;
        {
            std::lock_guard lock(jobsMutex_);
            const auto next = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& j) {
                return j->request.printer == printer;
            });
            if (next == jobs_.end()) continue;
            job = *next;
            jobs_.erase(next);
            ++jobsActive_;
        }
        auto stream = std::make_unique<Stream>();
        stream->printer = printer;
        stream->link = job->request.link;
        stream->connection = ++connections_;
        stream->queued = job;
        job->result.connection = stream->connection;
        {
            std::lock_guard lock(printersMutex_);
            ++counters_[i].connections;
        }
        stream->job = MakeJob(stream.get());
        Say(printer, stream->link, stream->connection,
            "job" + (job->request.name.empty() ? std::string() : " \"" + job->request.name + "\"") +
                ": " + std::to_string(job->request.bytes.size()) + " bytes");
        streams_.push_back(std::move(stream));
    }
}

bool SimServer::JobsToFeed() const {
    return std::any_of(streams_.begin(), streams_.end(), [this](const auto& s) {
        return s->queued && !s->finished && PrintsNow(s->printer);
    });
}

void SimServer::FeedJobs() {
    for (const auto& s : streams_) {
        if (!s->queued || s->finished || !PrintsNow(s->printer)) continue;
        QueuedJob& job = *s->queued;
        const std::span<const uint8_t> rest =
            std::span<const uint8_t>(job.request.bytes).subspan(job.fed);
        const std::span<const uint8_t> slice = rest.first(std::min(rest.size(), kJobSlice));
        CountBytes(s->printer, slice.size());
        s->received += slice.size();
        s->job->Feed(slice);
        job.fed += slice.size();
        if (job.fed == job.request.bytes.size()) FinishJob(*s, ControlResult::Done);
    }
}

void SimServer::FinishJob(Stream& s, ControlResult result) {
    const std::shared_ptr<QueuedJob> job = s.queued;
    EndJob(s);  // its last receipt comes out here
    Say(s.printer, s.link, s.connection,
        std::string(result == ControlResult::Done ? "job ended" : "job ended: simulator stopped") +
            ", " + std::to_string(job->fed) + " bytes, " +
            std::to_string(job->result.receipts.size()) + " receipts");
    job->result.result = result;
    job->promise.set_value(std::move(job->result));
    s.queued.reset();
    {
        std::lock_guard lock(jobsMutex_);
        --jobsActive_;
    }
    wake_.Wake();  // the printer's next job starts on the next turn
}

void SimServer::StopJobs() {
    std::deque<std::shared_ptr<QueuedJob>> waiting;
    {
        std::lock_guard lock(jobsMutex_);
        ended_ = true;
        waiting.swap(jobs_);
    }
    for (const auto& job : waiting) {
        job->result.result = ControlResult::Stopped;
        job->result.error = "the simulator stopped before the job started";
        job->promise.set_value(std::move(job->result));
    }
}

}  // namespace sim
