// The LPD exchange on any bytes a client may send: the same acknowledgements, data and steps
// however the bytes are cut into pieces; data passed on only inside a data file and never more
// than came; a refusal ends the exchange and nothing follows it; a data file read no further
// than its count. The control file reader on the same bytes: bounded and printable.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "sim/lpd/lpd_exchange.h"

namespace {

struct Transcript final : sim::lpd::Events {
    std::string replies;
    std::string data;
    std::vector<std::string> steps;
    bool inData = false;
    bool refused = false;  // a non-zero acknowledgement went out

    void Reply(std::span<const uint8_t> bytes) override {
        FUZZ_CHECK(!refused && !bytes.empty());
        if (bytes.size() == 1 && bytes[0] != sim::lpd::kAccepted) {
            FUZZ_CHECK(bytes[0] == sim::lpd::kRefused || bytes[0] == sim::lpd::kNoRoom);
            refused = true;
        }
        replies.append(bytes.begin(), bytes.end());
        steps.push_back("reply");
    }
    void Say(const std::string& text) override {
        FUZZ_CHECK(!text.empty());
        steps.push_back(text);
    }
    void Control(const sim::lpd::ControlFile& c) override {
        FUZZ_CHECK(!inData && c.prints.size() <= sim::lpd::ControlFile::kMaxPrints);
        steps.push_back("control " + c.JobName());
    }
    void DataBegin(const sim::lpd::DataFile& f) override {
        FUZZ_CHECK(!inData && f.received == 0 && f.count <= sim::lpd::kMaxDataFile);
        inData = true;
        steps.push_back("begin " + f.name);
    }
    void Data(std::span<const uint8_t> bytes) override {
        FUZZ_CHECK(inData && !bytes.empty());
        data.append(bytes.begin(), bytes.end());
    }
    void DataEnd(const sim::lpd::DataFile& f, bool whole) override {
        FUZZ_CHECK(inData);
        FUZZ_CHECK(f.count == 0 || f.received <= f.count);
        FUZZ_CHECK(!whole || f.count == 0 || f.received == f.count);
        inData = false;
        steps.push_back(std::string(whole ? "whole " : "cut ") + std::to_string(f.received));
    }
    void Abort() override {
        FUZZ_CHECK(!inData);
        steps.push_back("abort");
    }
    sim::lpd::QueueView Queue(const std::string& queue) override {
        steps.push_back("queue " + queue);
        return {"printer 1", "ready and printing", {{true, "anna", 42, "dfA042till", 9}}};
    }
};

// The bytes fed in pieces whose sizes `cuts` gives in turn (empty: all at once), reading no
// further than the exchange wants, as the server does; then the client's end.
Transcript Run(std::span<const uint8_t> bytes, const std::vector<uint8_t>& cuts) {
    Transcript t;
    sim::lpd::Exchange exchange;
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size() && !exchange.Over(); ++i) {
        const uint64_t wanted = exchange.Wanted();
        FUZZ_CHECK(wanted > 0);
        std::size_t n = cuts.empty() ? bytes.size() : cuts[i % cuts.size()] % 64 + 1;
        n = static_cast<std::size_t>(std::min<uint64_t>({n, bytes.size() - at, wanted}));
        const uint64_t before = exchange.DataBytes();
        exchange.Feed(bytes.subspan(at, n), t);
        FUZZ_CHECK(exchange.DataBytes() - before <= n);
        FUZZ_CHECK(!t.refused || exchange.Over());
        at += n;
    }
    const std::size_t steps = t.steps.size();
    if (exchange.Over()) {
        exchange.End(t);  // nothing after the end
        FUZZ_CHECK(t.steps.size() == steps);
    } else {
        exchange.End(t);
        FUZZ_CHECK(exchange.Over() && !t.inData);
    }
    FUZZ_CHECK(t.data.size() == exchange.DataBytes() && t.data.size() <= bytes.size());
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // A count (mod 9), that many piece sizes, then the bytes a client sends.
    if (size == 0) return 0;
    const std::size_t count = std::min<std::size_t>(data[0] % 9, size - 1);
    const std::vector<uint8_t> cuts(data + 1, data + 1 + count);
    const std::span<const uint8_t> bytes(data + 1 + count, size - 1 - count);

    const Transcript whole = Run(bytes, {});
    for (const auto& pieces : {std::vector<uint8_t>{0}, cuts}) {
        if (pieces.empty()) continue;
        const Transcript cut = Run(bytes, pieces);
        FUZZ_CHECK(cut.replies == whole.replies);
        FUZZ_CHECK(cut.data == whole.data);
        FUZZ_CHECK(cut.steps == whole.steps);
    }

    const std::string text(bytes.begin(), bytes.end());
    const sim::lpd::ControlFile c = sim::lpd::ParseControlFile(text.substr(0, 200), text);
    FUZZ_CHECK(c.prints.size() <= sim::lpd::ControlFile::kMaxPrints);
    for (const std::string* field : {&c.name, &c.host, &c.user, &c.job, &c.source, &c.title}) {
        FUZZ_CHECK(field->size() <= 99);
        FUZZ_CHECK(std::none_of(field->begin(), field->end(), [](char ch) {
            return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F;
        }));
    }
    FUZZ_CHECK(!sim::lpd::Describe(c).empty());
    return 0;
}
