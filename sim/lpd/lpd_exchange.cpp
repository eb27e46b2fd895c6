#include "sim/lpd/lpd_exchange.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "sim/sim_line.h"

namespace sim::lpd {
namespace {

constexpr std::size_t kMaxName = 99;  // names as the log shows them

std::string Hex(uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

std::string Quoted(std::string_view text) {
    return "'" + OneLine(text, kMaxName) + "'";
}

std::string Bytes(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

}  // namespace

uint64_t Exchange::Wanted() const {
    if (phase_ == Phase::DataBody && !untilEnd_) return remaining_;
    return std::numeric_limits<uint64_t>::max();
}

void Exchange::Feed(std::span<const uint8_t> bytes, Events& events) {
    while (!bytes.empty() && phase_ != Phase::Over) {
        std::size_t used = 1;
        switch (phase_) {
            case Phase::Command:
            case Phase::Subcommand:
                used = ReadLine(bytes, events);
                break;
            case Phase::ControlBody:
                used = static_cast<std::size_t>(std::min<uint64_t>(remaining_, bytes.size()));
                controlText_.append(reinterpret_cast<const char*>(bytes.data()), used);
                remaining_ -= used;
                if (remaining_ == 0) phase_ = Phase::ControlEnd;
                break;
            case Phase::ControlEnd:
                OnControlEnd(bytes[0], events);
                break;
            case Phase::DataBody:
                used = untilEnd_
                           ? bytes.size()
                           : static_cast<std::size_t>(std::min<uint64_t>(remaining_, bytes.size()));
                data_->received += used;
                dataBytes_ += used;
                events.Data(bytes.first(used));
                if (!untilEnd_) {
                    remaining_ -= used;
                    if (remaining_ == 0) phase_ = Phase::DataEnd;
                }
                break;
            case Phase::DataEnd:
                OnDataEnd(bytes[0], events);
                break;
            case Phase::Over:
                break;
        }
        bytes = bytes.subspan(used);
    }
}

std::size_t Exchange::ReadLine(std::span<const uint8_t> bytes, Events& events) {
    const auto lf = std::find(bytes.begin(), bytes.end(), uint8_t{'\n'});
    const auto length = static_cast<std::size_t>(lf - bytes.begin());
    // The line with its LF fits kMaxLine.
    if (line_.size() + length >= kMaxLine) {
        Refuse(kRefused, "a command line longer than " + Bytes(kMaxLine), events);
        return bytes.size();
    }
    line_.append(reinterpret_cast<const char*>(bytes.data()), length);
    if (lf == bytes.end()) return bytes.size();
    if (phase_ == Phase::Command) {
        OnCommand(events);
    } else {
        OnSubcommand(events);
    }
    line_.clear();
    return length + 1;
}

void Exchange::OnCommand(Events& events) {
    const uint8_t code = line_.empty() ? 0 : static_cast<uint8_t>(line_[0]);
    std::vector<std::string> operands =
        Operands(std::string_view(line_).substr(line_.empty() ? 0 : 1));
    queue_ = operands.empty() ? std::string() : operands.front();
    if (!operands.empty()) operands.erase(operands.begin());
    const std::string queue = "queue " + Quoted(queue_);
    const auto answer = [&](const std::string& text) {
        events.Reply(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    };
    switch (code) {
        case 1:
            events.Say("print waiting jobs in " + queue +
                       ": none wait, each job prints as it comes");
            return Finish("exchange over");
        case 2:
            events.Say("receive job for " + queue);
            Accept(events);
            phase_ = Phase::Subcommand;
            return;
        case 3:
        case 4: {
            const QueueView view = events.Queue(queue_);
            const std::string text = QueueText(view, code == 4, operands);
            const std::size_t lines =
                static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
            events.Say(std::string("queue state (") + (code == 4 ? "long" : "short") + ") of " +
                       queue + ": " + view.printer + " is " + view.state + ", " +
                       std::to_string(view.jobs.size()) + " jobs, " + std::to_string(lines) +
                       " lines sent");
            answer(text);
            return Finish("queue state sent");
        }
        case 5: {
            const QueueView view = events.Queue(queue_);
            const std::string agent = operands.empty() ? std::string() : operands.front();
            events.Say("remove jobs from " + queue + " for " + Quoted(agent) +
                       ": none removed, each job prints as it comes");
            answer(view.printer + ": no job removed, each job prints as it comes\n");
            return Finish("exchange over");
        }
        default:
            return Refuse(kRefused, "unknown command " + Hex(code), events);
    }
}

void Exchange::OnSubcommand(Events& events) {
    const uint8_t code = line_.empty() ? 0 : static_cast<uint8_t>(line_[0]);
    switch (code) {
        case 1:
            events.Say("abort: the job's control file dropped" +
                       (dataBytes_ > 0 ? ", the " + Bytes(dataBytes_) +
                                             " of its data files printed stay printed"
                                       : std::string()));
            control_.reset();
            Accept(events);
            return events.Abort();
        case 2:
            return OnFileCommand(true, events);
        case 3:
            return OnFileCommand(false, events);
        default:
            return Refuse(kRefused, "unknown subcommand " + Hex(code), events);
    }
}

void Exchange::OnFileCommand(bool control, Events& events) {
    const std::string what = control ? "control file" : "data file";
    // The count in decimal digits right after the code, white space, one name.
    const std::string_view rest = std::string_view(line_).substr(1);
    std::size_t digits = 0;
    uint64_t count = 0;
    bool huge = false;  // more than any file taken
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
        if (count > kMaxDataFile) {
            huge = true;
        } else {
            count = count * 10 + static_cast<uint64_t>(rest[digits] - '0');
        }
        ++digits;
    }
    const std::vector<std::string> names = Operands(rest.substr(digits));
    if (digits == 0 || digits == rest.size() || !IsSpace(rest[digits]) || names.size() != 1)
        return Refuse(kRefused, what + " subcommand without a count and one name: " + Quoted(rest),
                      events);
    const std::string name = OneLine(names.front(), kMaxName);
    const std::string announced =
        huge ? OneLine(rest.substr(0, digits), 24) + (digits > 24 ? "..." : "") + " bytes"
             : Bytes(count);
    if (control) {
        if (huge || count > kMaxControlFile)
            return Refuse(
                kNoRoom,
                what + " " + name + " of " + announced + ", more than " + Bytes(kMaxControlFile),
                events);
        if (count == 0) return Refuse(kRefused, what + " " + name + " of 0 bytes", events);
        controlName_ = name;
        controlText_.clear();
        remaining_ = count;
        Accept(events);
        phase_ = Phase::ControlBody;
        return;
    }
    if (huge || count > kMaxDataFile)
        return Refuse(kNoRoom,
                      what + " " + name + " of " + announced + ", more than " + Bytes(kMaxDataFile),
                      events);
    std::string job = control_ ? control_->JobName() : std::string();
    if (job.empty()) job = name;
    data_ = DataFile{name, count, 0, job};
    remaining_ = count;
    untilEnd_ = count == 0;
    ++dataFiles_;
    Accept(events);
    events.Say(what + " " + name + ", " +
               (untilEnd_ ? std::string("until the connection ends") : Bytes(count)) + ", job " +
               Quoted(job));
    events.DataBegin(*data_);
    phase_ = Phase::DataBody;
}

void Exchange::OnControlEnd(uint8_t end, Events& events) {
    if (end != 0) {
        return Refuse(
            kRefused,
            "control file " + controlName_ + " ends with " + Hex(end) + " instead of 00: dropped",
            events);
    }
    control_ = ParseControlFile(controlName_, controlText_);
    events.Say("control file " + controlName_ + ", " + Bytes(controlText_.size()) + ": " +
               Describe(*control_));
    controlText_.clear();
    controlText_.shrink_to_fit();
    Accept(events);
    events.Control(*control_);
    phase_ = Phase::Subcommand;
}

void Exchange::OnDataEnd(uint8_t end, Events& events) {
    if (end != 0) {
        Refuse(kRefused,
               "data file " + data_->name + " ends with " + Hex(end) +
                   " instead of 00 (the client found it bad); its " + Bytes(data_->received) +
                   " went to the printer",
               events);
        return events.DataEnd(*data_, false);
    }
    events.Say("data file " + data_->name + " whole: " + Bytes(data_->received));
    Accept(events);
    phase_ = Phase::Subcommand;
    events.DataEnd(*data_, true);
}

void Exchange::End(Events& events) {
    if (phase_ == Phase::Over) return;
    const Phase phase = phase_;
    Finish("connection closed");
    switch (phase) {
        case Phase::Command:
            if (!line_.empty()) events.Say("the connection ended inside a command: nothing done");
            return;
        case Phase::Subcommand:
            if (!line_.empty()) {
                events.Say("the connection ended inside a subcommand: " + JobText() + " refused");
            } else {
                events.Say(JobText() + " received: " + std::to_string(dataFiles_) +
                           (dataFiles_ == 1 ? " data file, " : " data files, ") +
                           Bytes(dataBytes_));
            }
            return;
        case Phase::ControlBody:
        case Phase::ControlEnd:
            events.Say("control file " + controlName_ + " cut short: " +
                       Bytes(controlText_.size()) + " came, " + JobText() + " refused");
            return;
        case Phase::DataBody:
            if (untilEnd_) {
                events.Say("data file " + data_->name +
                           " ends with the connection: " + Bytes(data_->received));
                events.DataEnd(*data_, true);
                events.Say(JobText() + " received: " + std::to_string(dataFiles_) +
                           (dataFiles_ == 1 ? " data file, " : " data files, ") +
                           Bytes(dataBytes_));
                return;
            }
            [[fallthrough]];
        case Phase::DataEnd:
            // What came went to the printer, as a real one prints what it got.
            events.Say("data file " + data_->name + " cut short: " +
                       (phase == Phase::DataEnd
                            ? "its " + Bytes(data_->received) +
                                  " came and went to the printer, its end byte did not"
                            : std::to_string(data_->received) + " of " + Bytes(data_->count) +
                                  " came and went to the printer") +
                       ", " + JobText() + " refused");
            events.DataEnd(*data_, false);
            return;
        case Phase::Over:
            return;
    }
}

void Exchange::Accept(Events& events) {
    const uint8_t ack = kAccepted;
    events.Reply(std::span(&ack, 1));
}

void Exchange::Refuse(uint8_t code, const std::string& why, Events& events) {
    events.Say(why + ": refused (" + Hex(code) + ")");
    events.Reply(std::span(&code, 1));
    Finish("refused");
}

void Exchange::Finish(const std::string& why) {
    phase_ = Phase::Over;
    ending_ = why;
}

std::string Exchange::JobText() const {
    const std::string name = control_ ? control_->JobName() : std::string();
    if (!name.empty()) return "job " + Quoted(name);
    if (data_) return "job " + Quoted(data_->job);
    return "the job";
}

}  // namespace sim::lpd
