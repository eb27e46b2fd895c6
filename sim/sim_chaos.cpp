// Chaos (--chaos): faults from the seeded plan for each new connection, serial session and
// datagram on the discovery port, met as the streams are read, each one logged, and counted when
// the simulator stops.
#include <algorithm>

#include "sim/sim_server.h"
#include "sim/sim_server_internal.h"

namespace sim {

using printerlink::kNoSocket;

namespace {

// Datagrams held back at most; more are dropped, so a flood cannot fill memory.
constexpr std::size_t kMaxLateDatagrams = 256;

LineFacts FaultFacts(const chaos::Draw& d) {
    LineFacts facts{"chaos", {{"fault", chaos::FaultName(d.fault)}}, {}};
    switch (d.fault) {
        case chaos::Fault::Reset:
        case chaos::Fault::StallForGood:
            facts.numbers.push_back({"bytes", d.bytes});
            break;
        case chaos::Fault::Stall:
        case chaos::Fault::Restart:
            facts.numbers.push_back({"bytes", d.bytes});
            facts.numbers.push_back({"ms", static_cast<uint64_t>(d.pause.count())});
            break;
        case chaos::Fault::StatusLate:
        case chaos::Fault::Late:
            facts.numbers.push_back({"ms", static_cast<uint64_t>(d.pause.count())});
            break;
        case chaos::Fault::Slow:
            facts.numbers.push_back({"rate", d.rate});
            break;
        case chaos::Fault::None:
        case chaos::Fault::Close:
        case chaos::Fault::StatusMissing:
        case chaos::Fault::Dropped:
        case chaos::Fault::Doubled:
            break;
    }
    return facts;
}

}  // namespace

void SimServer::DrawFault(Stream& s, chaos::Occasion occasion) {
    const chaos::Draw d = chaos_->Next(occasion);
    tally_.Count(d.fault);
    s.faultDrawn = true;
    s.fault = chaos::StreamFault(d);
    if (d.fault == chaos::Fault::None) return;
    Emit(SimLine{s.printer, s.link, s.connection, "chaos: " + chaos::DrawText(d), std::nullopt,
                 std::nullopt, std::nullopt, FaultFacts(d)});
    if (d.fault == chaos::Fault::Close) CloseStream(s, "connection closed at once (chaos)", false);
}

bool SimServer::MeetFault(Stream& s, chaos::Fault fault) {
    const chaos::Draw& d = s.fault.Drawn();
    const std::string after =
        " after " + std::to_string(s.received) + (s.received == 1 ? " byte" : " bytes");
    switch (fault) {
        case chaos::Fault::Reset:
            CloseStream(s, "connection reset (chaos)", true);
            return false;
        case chaos::Fault::Stall:
        case chaos::Fault::StallForGood:
            s.job->Flush();
            s.unflushed = false;
            if (fault == chaos::Fault::StallForGood) {
                s.stalled = true;
                Say(s.printer, s.link, s.connection,
                    "stalled" + after + " (chaos): no longer reading");
            } else {
                s.nextRead = std::max(s.nextRead, Clock::now() + d.pause);
                Say(s.printer, s.link, s.connection,
                    "stalling for " + std::to_string(d.pause.count()) + " ms" + after + " (chaos)");
            }
            return true;
        case chaos::Fault::Restart: {
            const auto i = static_cast<std::size_t>(s.printer - 1);
            if (!Restarting(i)) {
                BeginRestart(i, d.pause,
                             "power cycle" + after + " of " + s.link + "#" +
                                 std::to_string(s.connection) + " (chaos)");
                PublishPresence();
            }
            return s.fd != kNoSocket;
        }
        default:
            return true;
    }
}

bool SimServer::HoldAnswer(Stream& s, std::span<const uint8_t> bytes) {
    if (!s.fault.HoldAnswer(std::vector<uint8_t>(bytes.begin(), bytes.end()), Clock::now()))
        return false;
    Say(s.printer, s.link, s.connection,
        "chaos: answer " + HexBytes(bytes) + " held back " +
            std::to_string(s.fault.Drawn().pause.count()) + " ms");
    return true;
}

int SimServer::DatagramFault(std::span<const uint8_t> datagram,
                             const printerlink::SocketAddress& from) {
    const chaos::Draw d = chaos_->Next(chaos::Occasion::Datagram);
    tally_.Count(d.fault);
    if (d.fault == chaos::Fault::None) return 1;
    LineFacts facts = FaultFacts(d);
    facts.texts.push_back({"from", EndpointText(from)});
    std::string text = "chaos: " + ReadDatagram(datagram).line + " from " + EndpointText(from) +
                       " " + chaos::DrawText(d);
    const bool room = lateDatagrams_.size() < kMaxLateDatagrams;
    if (d.fault == chaos::Fault::Late && !room) text += ": too many held back, dropped";
    Emit(SimLine{0, "udp", 0, text, std::nullopt, std::nullopt, std::nullopt, std::move(facts)});
    switch (d.fault) {
        case chaos::Fault::Doubled:
            return 2;
        case chaos::Fault::Late:
            if (room)
                lateDatagrams_.push_back({Clock::now() + d.pause,
                                          std::vector<uint8_t>(datagram.begin(), datagram.end()),
                                          from});
            return 0;
        default:
            return 0;
    }
}

void SimServer::ServeLate() {
    const Clock::time_point now = Clock::now();
    for (const auto& s : streams_) {
        if (s->fd == kNoSocket) continue;  // its answers went with the connection
        for (const std::vector<uint8_t>& bytes : s->fault.DueAnswers(now)) {
            const bool sent = SendBack(*s, bytes, true);
            Say(s->printer, s->link, s->connection,
                std::string(sent ? "chaos: late answer sent: " : "chaos: late answer not sent: ") +
                    HexBytes(bytes));
        }
    }
    std::vector<LateDatagram> due;
    std::erase_if(lateDatagrams_, [&](LateDatagram& d) {
        if (d.due > now) return false;
        due.push_back(std::move(d));
        return true;
    });
    for (const LateDatagram& d : due) HandleDatagram(d.bytes, d.from);
}

Clock::time_point SimServer::ChaosWake() const {
    Clock::time_point wake = Clock::time_point::max();
    for (const auto& s : streams_) {
        if (s->fd == kNoSocket) continue;
        if (const auto due = s->fault.NextDue()) wake = std::min(wake, *due);
    }
    for (const LateDatagram& d : lateDatagrams_) wake = std::min(wake, d.due);
    return wake;
}

uint64_t SimServer::ReadRate(const Stream& s) const {
    return s.fault.Rate() > 0 ? s.fault.Rate() : options_.slowBytesPerSecond;
}

void SimServer::SayChaosSummary() {
    LineFacts facts{
        "chaos-summary", {}, {{"draws", tally_.Occasions()}, {"faults", tally_.Faults()}}};
    for (std::size_t k = 1; k < chaos::kFaultKinds; ++k) {
        const auto fault = static_cast<chaos::Fault>(k);
        facts.numbers.push_back({chaos::FaultName(fault), tally_.Of(fault)});
    }
    Emit(SimLine{0, "sim", 0, "chaos: " + tally_.Text(), std::nullopt, std::nullopt, std::nullopt,
                 std::move(facts)});
}

}  // namespace sim
