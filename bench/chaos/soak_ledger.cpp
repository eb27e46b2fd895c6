#include "bench/chaos/soak_ledger.h"

#include <algorithm>
#include <optional>
#include <set>

namespace soak {
namespace {

std::string Name(const Attempt& a) {
    if (a.job == nullptr) return "status question after job " + std::to_string(a.after);
    return std::string(KindName(a.job->kind)) + " job " + std::to_string(a.job->id) + " (" +
           std::to_string(a.job->bytes) + " bytes)";
}

std::string Describe(const Connection& c) {
    std::string text = "printer " + std::to_string(c.printer) + " tcp#" + std::to_string(c.number) +
                       ": read " + std::to_string(c.received) + ", unread " +
                       std::to_string(c.unread) + (c.reset ? ", reset" : "");
    if (!c.fault.empty()) text += ", fault " + c.fault;
    return text;
}

// The connection each attempt of one lane made (see the header). Connections that name their
// job pin it; between two such, the others go in order to the attempts whose connect went
// through, and to an attempt reset as it connected only where there are more connections than
// those and this one is what such a reset leaves (nothing read, nothing held, reset).
std::vector<const Connection*> Align(const std::vector<Attempt>& attempts,
                                     const std::vector<const Connection*>& connections,
                                     Ledger& ledger) {
    std::vector<const Connection*> of(attempts.size(), nullptr);
    // The attempt `c` names by its marker line or checksum, from `from` on.
    const auto named = [&](const Connection& c, std::size_t from) -> std::optional<std::size_t> {
        for (std::size_t k = from; k < attempts.size(); ++k) {
            const Job* job = attempts[k].job;
            if (job == nullptr) continue;
            if (!c.starts.empty() && job->id == c.starts.front()) return k;
            if (c.starts.empty() && !c.firmwareOk.empty() && job->kind == JobKind::Firmware &&
                job->firmwareChecksum == c.firmwareOk.front())
                return k;
        }
        return std::nullopt;
    };
    // Between pins: attempts [a0, a1) and the unpinned connections given.
    const auto fill = [&](std::size_t a0, std::size_t a1,
                          const std::vector<const Connection*>& cs) {
        std::size_t yes = 0, next = 0;
        for (std::size_t k = a0; k < a1; ++k) yes += attempts[k].verdict.reach == Reach::Yes;
        for (std::size_t k = a0; k < a1; ++k) {
            const Reach reach = attempts[k].verdict.reach;
            if (reach == Reach::No) continue;
            if (reach == Reach::Yes) {
                --yes;
                if (next < cs.size()) {
                    of[k] = cs[next++];
                } else {
                    ledger.unattributed.push_back(Name(attempts[k]) +
                                                  ": connected, but no connection of its printer "
                                                  "is left for it");
                }
                continue;
            }
            const bool resetShape = next < cs.size() && cs[next]->received == 0 &&
                                    cs[next]->unread == 0 && cs[next]->reset;
            if (resetShape && cs.size() - next > yes) of[k] = cs[next++];
        }
        for (; next < cs.size(); ++next) ledger.unattributed.push_back(Describe(*cs[next]));
    };
    std::size_t from = 0;  // the first attempt after the last pin
    std::vector<const Connection*> between;
    for (const Connection* c : connections) {
        if (c->starts.empty() && c->firmwareOk.empty()) {
            between.push_back(c);
            continue;
        }
        const auto k = named(*c, from);
        if (!k) {
            // A job an earlier connection carried (a duplicate, counted by its carriers), or
            // none of this lane's.
            if (!named(*c, 0)) ledger.unattributed.push_back(Describe(*c));
            continue;
        }
        fill(from, *k, between);
        between.clear();
        of[*k] = c;
        from = *k + 1;
    }
    fill(from, attempts.size(), between);
    return of;
}

void Judge(const Attempt& a, const Connection* c, const std::set<uint32_t>& hung,
           const std::map<uint32_t, uint64_t>& carriers, Ledger& ledger) {
    const Verdict& v = a.verdict;
    if (a.job == nullptr) {
        ++ledger.askedAfter;
        ++ledger.askedAfterBy[v.done ? "answered" : v.cause.empty() ? "no cause" : v.cause];
        return;
    }
    const Job& job = *a.job;
    ++ledger.jobs;
    ++ledger.jobsByKind[KindName(job.kind)];
    if (!v.given || hung.count(job.id) != 0) {
        ledger.lost.push_back(Name(a) + (v.given ? ": outlived its limit" : ": no verdict"));
        return;
    }
    if (!v.done) {
        if (v.cause.empty()) {
            ++ledger.failedWithoutCause;
            ledger.oddities.push_back(Name(a) + " failed without a cause: " + v.text);
        } else {
            ++ledger.failedBy[v.cause];
        }
        return;
    }
    ++ledger.done;
    const auto falseDone = [&](const std::string& why) {
        ledger.falseDone.push_back(Name(a) + ": " + why + (c ? " (" + Describe(*c) + ")" : ""));
    };
    if (c == nullptr) return falseDone("done, but no connection reached the printer");
    if (!c->ended) ledger.oddities.push_back(Name(a) + ": its connection never ended");
    const uint64_t received = c->received + c->unread;
    switch (job.kind) {
        case JobKind::Status:
            if (c->statusAnswers == 0) return falseDone("answered, but the printer sent nothing");
            ++ledger.statusAnswered;
            ++ledger.completeOnce;
            return;
        case JobKind::Firmware: {
            ++ledger.firmwareDone;
            const bool ok = std::find(c->firmwareOk.begin(), c->firmwareOk.end(),
                                      job.firmwareChecksum) != c->firmwareOk.end();
            if (ok && c->received >= job.bytes) {
                ++ledger.firmwareChecksumOk;
                ++ledger.completeOnce;
            } else if (received >= job.bytes && c->unread > 0) {
                ++ledger.doneHeldUnread;
            } else {
                falseDone("done without the printer's checksum ok");
            }
            return;
        }
        default:
            break;
    }
    if (received < job.bytes) return falseDone("done, but the printer took less");
    if (c->received < job.bytes) {
        ++ledger.doneHeldUnread;
        return;
    }
    const bool ended = std::find(c->ends.begin(), c->ends.end(), job.id) != c->ends.end();
    if (!ended) ledger.oddities.push_back(Name(a) + ": read whole, but its end line is missing");
    if (!c->checksums.empty() && c->checksums.front() != job.checksum)
        ledger.oddities.push_back(Name(a) + ": its marker's checksum differs");
    const auto n = carriers.find(job.id);
    if (ended && n != carriers.end() && n->second == 1) {
        ++ledger.completeOnce;
    } else if (ended) {
        ledger.oddities.push_back(Name(a) + ": its start line is missing");
    }
}

}  // namespace

Ledger Reckon(const std::vector<Job>& jobs, const LaneResults& lanes, const SimLog& log) {
    Ledger ledger;
    const std::map<uint64_t, Connection> connections = log.Connections();
    std::map<int, std::vector<const Connection*>> byPrinter;  // in the order they came
    std::map<uint32_t, uint64_t> carriers;  // job -> connections that carried its start
    for (const auto& [number, c] : connections) {
        byPrinter[c.printer].push_back(&c);
        for (const uint32_t id : std::set<uint32_t>(c.starts.begin(), c.starts.end()))
            ++carriers[id];
        if (c.starts.size() > 1)
            ledger.oddities.push_back(Describe(c) + ": carries " + std::to_string(c.starts.size()) +
                                      " jobs");
    }
    ledger.connections = connections.size();
    for (const auto& [id, count] : carriers) {
        if (count > 1)
            ledger.duplicates.push_back("job " + std::to_string(id) + " reached the printer " +
                                        std::to_string(count) + " times");
    }
    const std::set<uint32_t> hung(lanes.hung.begin(), lanes.hung.end());
    for (std::size_t lane = 0; lane < lanes.lanes.size(); ++lane) {
        const int printer = static_cast<int>(lane) + 1;
        const auto& attempts = lanes.lanes[lane];
        const std::vector<const Connection*> of = Align(attempts, byPrinter[printer], ledger);
        for (std::size_t k = 0; k < attempts.size(); ++k)
            Judge(attempts[k], of[k], hung, carriers, ledger);
    }
    // Jobs a lane never reached (it was given up): lost as well.
    for (const Job& job : jobs) {
        if (hung.count(job.id) == 0) continue;
        bool judged = false;
        for (const auto& attempts : lanes.lanes) {
            for (const Attempt& a : attempts)
                judged = judged || (a.job != nullptr && a.job->id == job.id);
        }
        if (!judged) ledger.lost.push_back("job " + std::to_string(job.id) + ": still running");
    }
    return ledger;
}

void PrintLedger(const Ledger& l, std::ostream& out) {
    const auto list = [&out](const char* title, const std::vector<std::string>& items,
                             bool mustBeZero) {
        out << "  " << title << ": " << items.size() << (mustBeZero ? " (must be 0)" : "") << '\n';
        for (std::size_t i = 0; i < items.size() && i < 20; ++i) out << "    " << items[i] << '\n';
    };
    out << "  jobs: " << l.jobs << " (";
    for (auto it = l.jobsByKind.begin(); it != l.jobsByKind.end(); ++it)
        out << (it == l.jobsByKind.begin() ? "" : ", ") << it->first << ' ' << it->second;
    out << "), " << l.connections << " connections at the printers\n";
    out << "  done: " << l.done
        << "; complete in the simulator's log exactly once: " << l.completeOnce
        << "; done, stalled after the printer took the last bytes: " << l.doneHeldUnread << '\n';
    out << "    firmware downloads done: " << l.firmwareDone
        << ", with the printer's checksum ok: " << l.firmwareChecksumOk
        << "; status requests answered: " << l.statusAnswered << '\n';
    uint64_t failed = 0;
    for (const auto& [cause, n] : l.failedBy) failed += n;
    out << "  failed: " << failed + l.failedWithoutCause;
    for (const auto& [cause, n] : l.failedBy) out << ", " << cause << ' ' << n;
    if (l.failedWithoutCause > 0) out << ", WITHOUT A CAUSE " << l.failedWithoutCause;
    out << '\n';
    if (l.askedAfter > 0) {
        out << "  status questions the windows' sender asked after a failure: " << l.askedAfter;
        for (const auto& [what, n] : l.askedAfterBy) out << ", " << what << ' ' << n;
        out << '\n';
    }
    list("false done", l.falseDone, true);
    list("lost", l.lost, true);
    list("duplicates", l.duplicates, true);
    list("joins not made (a connection no attempt could own, or the reverse)", l.unattributed,
         true);
    if (!l.oddities.empty()) list("oddities", l.oddities, false);
}

void PrintAttempts(const LaneResults& lanes, std::ostream& out) {
    for (std::size_t lane = 0; lane < lanes.lanes.size(); ++lane) {
        for (const Attempt& a : lanes.lanes[lane]) {
            const Verdict& v = a.verdict;
            std::string text = v.text;
            std::replace(text.begin(), text.end(), '\n', ' ');
            out << "printer " << lane + 1 << ' ' << Name(a) << ": "
                << (v.done    ? "done"
                    : v.given ? "failed, " + v.cause
                              : "no verdict")
                << (v.reach == Reach::No      ? ", not connected"
                    : v.reach == Reach::Maybe ? ", reset as it connected"
                                              : "")
                << (text.empty() ? "" : ": " + text) << '\n';
        }
    }
}

}  // namespace soak
