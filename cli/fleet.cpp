#include "cli/fleet.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "cli/cli_app.h"
#include "netcfg/address_set.h"
#include "setuptool/test_text.h"

namespace cli {
namespace {

enum class Result { Moved, Unchanged, Missing, Refused, Failed };

const char* ResultName(Result result) {
    switch (result) {
        case Result::Moved:
            return "moved";
        case Result::Unchanged:
            return "unchanged";
        case Result::Missing:
            return "missing";
        case Result::Refused:
            return "refused";
        case Result::Failed:
            return "failed";
    }
    return "";
}

struct RowResult {
    Result result = Result::Failed;
    std::string detail;
    std::vector<const PlanSetting*> sent;  // the settings the printer acknowledged
    bool testPageSent = false;
};

// The rows' results as they come, one line each (unless JSON is asked for), from any thread.
class Report {
  public:
    Report(std::span<const PlanRow> rows, const MoveOrder& order, bool json, std::ostream& out)
        : rows_(rows), order_(order), json_(json), out_(out), results_(rows.size()) {}

    void Finish(std::size_t r, RowResult result) {
        const std::lock_guard lock(mutex_);
        results_[r] = std::move(result);
        if (!json_) out_ << Line(r) << '\n' << std::flush;
    }

    // The summary line, or the JSON array; the exit status.
    int End() {
        const std::lock_guard lock(mutex_);
        std::map<Result, int> counts;
        for (const auto& r : results_) ++counts[r ? r->result : Result::Failed];
        if (json_) {
            auto array = nlohmann::ordered_json::array();
            for (std::size_t r = 0; r < rows_.size(); ++r) array.push_back(Json(r));
            out_ << array.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                 << '\n';
        } else {
            out_ << rows_.size() << (rows_.size() == 1 ? " printer: " : " printers: ");
            const Result all[] = {Result::Moved, Result::Unchanged, Result::Missing,
                                  Result::Refused, Result::Failed};
            for (const Result result : all)
                out_ << (result == all[0] ? "" : ", ") << counts[result] << ' '
                     << ResultName(result);
            out_ << '\n';
        }
        return counts[Result::Moved] + counts[Result::Unchanged] == static_cast<int>(rows_.size())
                   ? kDone
                   : kFailed;
    }

  private:
    std::string From(std::size_t r) const {
        const auto& device = order_.rows[r].device;
        return device ? FormatIpv4(device->Address()) : "-";
    }

    std::string Line(std::size_t r) const {
        const RowResult& result = *results_[r];
        std::string line = FormatMac(rows_[r].mac) + " " + From(r) + " " + FormatIpv4(rows_[r].ip) +
                           " " + ResultName(result.result);
        if (!result.detail.empty()) line += ": " + result.detail;
        std::string sent;
        for (const PlanSetting* s : result.sent)
            sent += (sent.empty() ? "" : ", ") + s->name + " " + s->value;
        if (result.testPageSent) sent += sent.empty() ? "test page" : ", test page";
        if (!sent.empty()) line += " (sent " + sent + ")";
        return line;
    }

    nlohmann::ordered_json Json(std::size_t r) const {
        static const RowResult kNotRun{Result::Failed, "not run", {}, false};  // never, in a run
        const RowResult& result = results_[r] ? *results_[r] : kNotRun;
        nlohmann::ordered_json settings = nlohmann::ordered_json::array();
        for (const PlanSetting* s : result.sent)
            settings.push_back({{"name", s->name}, {"value", s->value}});
        const auto& device = order_.rows[r].device;
        return {{"line", rows_[r].line},
                {"mac", FormatMac(rows_[r].mac)},
                {"from", device ? nlohmann::ordered_json(FormatIpv4(device->Address()))
                                : nlohmann::ordered_json(nullptr)},
                {"to", FormatIpv4(rows_[r].ip)},
                {"result", ResultName(result.result)},
                {"detail", result.detail},
                {"settings", settings},
                {"testPage", result.testPageSent}};
    }

    std::span<const PlanRow> rows_;
    const MoveOrder& order_;
    const bool json_;
    std::ostream& out_;
    std::mutex mutex_;
    std::vector<std::optional<RowResult>> results_;
};

// What goes to the printer over TCP: its setting frames in column order, then the test page.
std::vector<std::vector<uint8_t>> TcpCommands(const PlanRow& row) {
    std::vector<std::vector<uint8_t>> commands;
    for (const PlanSetting& s : row.settings) commands.push_back(s.frame);
    if (row.testPage) {
        for (const std::string& text : setuptool::TestPrintCommands(setuptool::kWelcomeText))
            commands.emplace_back(text.begin(), text.end());
    }
    return commands;
}

std::array<uint8_t, 32> PacketFor(const PlanRow& row, const PlannedMove& move,
                                  const netcfg::DeviceEntry& device) {
    // The printer keeps its MAC; the packet names it as it answered.
    return netcfg::AddressSetPacket(move.to, row.mask, device.Mac(), row.gateway, device, false);
}

class FleetRun {
  public:
    FleetRun(const FleetJob& job, std::span<const PlanRow> rows, const MoveOrder& order,
             std::ostream& out)
        : job_(job),
          rows_(rows),
          order_(order),
          out_(out),
          report_(rows, order, job.json, out),
          departed_(rows.size(), false),
          done_(rows.size(), false) {}

    int Run() {
        std::vector<std::size_t> contact;  // rows for the TCP step
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            const RowOrder& o = order_.rows[r];
            switch (o.fate) {
                case Fate::Missing:
                    report_.Finish(
                        r, {Result::Missing,
                            "did not answer discovery within " + SecondsText(job_.discoverFor),
                            {},
                            false});
                    break;
                case Fate::Refused:
                    report_.Finish(r, {Result::Refused, o.detail, {}, false});
                    break;
                case Fate::Unchanged:
                    if (rows_[r].settings.empty() && !rows_[r].testPage) {
                        report_.Finish(r, {Result::Unchanged, {}, {}, false});
                    } else {
                        contact.push_back(r);
                    }
                    break;
                case Fate::Move:
                    break;
            }
        }
        if (job_.dryRun) return DryRun(contact);
        for (const auto& step : order_.steps) Step(step);
        for (std::size_t r = 0; r < rows_.size(); ++r)
            if (order_.rows[r].fate == Fate::Move && departed_[r] && !done_[r])
                contact.push_back(r);
        std::sort(contact.begin(), contact.end());
        Connect(contact);
        return report_.End();
    }

  private:
    void Fail(std::size_t r, std::string detail) {
        done_[r] = true;
        report_.Finish(r, {Result::Failed, std::move(detail), {}, false});
    }

    // The step's packets at once, then one wait for all its printers at their new addresses.
    void Step(const std::vector<PlannedMove>& step) {
        std::vector<const PlannedMove*> sent;
        for (const PlannedMove& move : step) {
            const std::size_t r = move.row;
            if (done_[r]) continue;  // its parking failed
            if (!move.parking) {
                const auto& waitsFor = order_.rows[r].waitsFor;
                const auto stays = std::find_if(waitsFor.begin(), waitsFor.end(),
                                                [&](std::size_t d) { return !departed_[d]; });
                if (stays != waitsFor.end()) {
                    Fail(r, "not moved: " + FormatMac(rows_[*stays].mac) + " (line " +
                                std::to_string(rows_[*stays].line) + ") did not leave " +
                                FormatIpv4(rows_[r].ip));
                    continue;
                }
            }
            const auto packet = PacketFor(rows_[r], move, *order_.rows[r].device);
            const std::string error = BroadcastPacket(
                job_.endpoints.broadcast, std::vector<uint8_t>(packet.begin(), packet.end()));
            if (!error.empty()) {
                Fail(r, error);
                continue;
            }
            sent.push_back(&move);
        }
        if (sent.empty()) return;

        // Verified when the printer answers with its MAC at the new address, mask and gateway.
        std::vector<bool> seen(sent.size(), false);
        std::size_t checked = 0, left = sent.size();
        std::map<Mac, std::size_t> byMac;
        for (std::size_t i = 0; i < sent.size(); ++i) byMac[rows_[sent[i]->row].mac] = i;
        DiscoveryEndpoints endpoints = job_.endpoints;
        endpoints.interval = job_.verifyInterval;
        const DiscoveryResult answers = Discover(
            endpoints, job_.restartTimeout, [&](const std::vector<netcfg::DeviceEntry>& devices) {
                for (; checked < devices.size(); ++checked) {
                    const netcfg::DeviceEntry& d = devices[checked];
                    const auto it = byMac.find(d.Mac());
                    if (it == byMac.end() || seen[it->second]) continue;
                    const PlannedMove& move = *sent[it->second];
                    const PlanRow& row = rows_[move.row];
                    if (d.Address() == move.to && d.Mask() == row.mask &&
                        d.Gateway() == row.gateway) {
                        seen[it->second] = true;
                        --left;
                    }
                }
                return left == 0;
            });
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const PlannedMove& move = *sent[i];
            const std::size_t r = move.row;
            if (seen[i]) {
                departed_[r] = true;  // from its old address; after its parking, not done yet
                continue;
            }
            std::string detail = "did not answer at " + FormatIpv4(move.to) + " within " +
                                 SecondsText(job_.restartTimeout);
            if (!answers.error.empty()) detail = "cannot verify the move: " + answers.error;
            if (move.parking) {
                detail += " (parked there while printers trade addresses)";
            } else if (const auto& spare = order_.rows[r].spare) {
                detail += " (it was parked at " + FormatIpv4(*spare) + ")";
            }
            departed_[r] = false;
            Fail(r, detail);
        }
    }

    // One connection per printer, `job_.jobs` at a time: its frames and test page, done when
    // the printer acknowledged every byte. For a moved printer it is also the proof that it
    // listens at its new address.
    void Connect(const std::vector<std::size_t>& rows) {
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t i = next++; i < rows.size(); i = next++) {
                const std::size_t r = rows[i];
                const PlanRow& row = rows_[r];
                PortTarget port;
                port.kind = PortTarget::Kind::Net;
                port.ip = row.ip;
                port.port = job_.tcpPort;
                const auto commands = TcpCommands(row);
                const WriteResult written = WriteCommands(port, commands, job_.link);
                if (!written.ok) {
                    report_.Finish(r, {Result::Failed, written.error, {}, false});
                    continue;
                }
                RowResult result{
                    order_.rows[r].fate == Fate::Move ? Result::Moved : Result::Unchanged,
                    {},
                    {},
                    row.testPage};
                for (const PlanSetting& s : row.settings) result.sent.push_back(&s);
                report_.Finish(r, std::move(result));
            }
        };
        const std::size_t count = std::min<std::size_t>(std::max(job_.jobs, 1u), rows.size());
        std::vector<std::thread> workers;
        for (std::size_t i = 1; i < count; ++i) workers.emplace_back(work);
        work();
        for (std::thread& t : workers) t.join();
    }

    // What a run would send, as hex lines: the packets step by step, then each connection's
    // frames. Nothing goes out but the discovery requests.
    int DryRun(const std::vector<std::size_t>& unchanged) {
        std::ostream& out = out_;
        for (std::size_t s = 0; s < order_.steps.size(); ++s) {
            out << "step " << s + 1 << ": address-set packets to "
                << FormatIpv4(Ipv4OfNumber(job_.endpoints.broadcast.address)) << ':'
                << job_.endpoints.broadcast.port << ", then the printers answer there\n";
            for (const PlannedMove& move : order_.steps[s]) {
                const RowOrder& o = order_.rows[move.row];
                out << FormatMac(rows_[move.row].mac) << ' ' << FormatIpv4(o.device->Address())
                    << " -> " << FormatIpv4(move.to) << (move.parking ? " (parked)" : "") << '\n'
                    << HexBytes(PacketFor(rows_[move.row], move, *o.device)) << '\n';
            }
        }
        std::vector<std::size_t> contact = unchanged;
        for (std::size_t r = 0; r < rows_.size(); ++r)
            if (order_.rows[r].fate == Fate::Move) contact.push_back(r);
        std::sort(contact.begin(), contact.end());
        if (!contact.empty()) out << "then over TCP port " << job_.tcpPort << ":\n";
        for (const std::size_t r : contact) {
            const PlanRow& row = rows_[r];
            const std::string to = FormatMac(row.mac) + " net:" + FormatIpv4(row.ip) + ":" +
                                   std::to_string(job_.tcpPort);
            if (row.settings.empty() && !row.testPage) out << to << " connect only\n";
            for (const PlanSetting& s : row.settings)
                out << to << ' ' << s.name << ' ' << s.value << '\n' << HexBytes(s.frame) << '\n';
            if (row.testPage) {
                out << to << " test page\n";
                for (const std::string& text :
                     setuptool::TestPrintCommands(setuptool::kWelcomeText))
                    out << HexBytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()})
                        << '\n';
            }
        }
        int missing = 0;
        for (const RowOrder& o : order_.rows)
            missing += o.fate == Fate::Missing || o.fate == Fate::Refused;
        out << "dry run: nothing was sent\n";
        return missing == 0 ? kDone : kFailed;
    }

    const FleetJob& job_;
    std::span<const PlanRow> rows_;
    const MoveOrder& order_;
    std::ostream& out_;
    Report report_;
    std::vector<bool> departed_;  // left its old address (parked or moved), verified
    std::vector<bool> done_;      // failed: nothing more for it
};

}  // namespace

int RunFleet(const FleetJob& job, std::ostream& out, std::ostream& err) {
    const Plan plan = ReadPlan(job.planText, job.build);
    if (!plan.errors.empty()) {
        for (const PlanError& e : plan.errors) err << PlanErrorLine(e) << '\n';
        err << "tessary-cli: " << plan.errors.size()
            << (plan.errors.size() == 1 ? " error" : " errors")
            << " in the plan: nothing was sent\n";
        return kUsage;
    }
    const DiscoveryResult found = Discover(job.endpoints, job.discoverFor);
    if (!found.error.empty()) {
        err << "tessary-cli: " << found.error << '\n';
        return kFailed;
    }
    const MoveOrder order = OrderMoves(plan.rows, found.devices, job.order);
    return FleetRun(job, plan.rows, order, out).Run();
}

}  // namespace cli
