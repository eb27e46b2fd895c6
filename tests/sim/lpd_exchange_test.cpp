// The LPD exchange without sockets: whole jobs and every way one goes wrong, each fed in one piece,
// byte by byte and in uneven pieces, with the same acknowledgements, data and steps every time;
// control files and queue listings as text.
#include "sim/lpd/lpd_exchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace simtest {
namespace {

using sim::lpd::ControlFile;
using sim::lpd::DataFile;
using sim::lpd::Exchange;
using sim::lpd::QueueEntry;
using sim::lpd::QueueView;

// What an exchange did: the bytes it sent back, the data it passed on, its steps in order (log
// lines, and the events in brackets).
struct Recorder final : sim::lpd::Events {
    std::string replies;
    std::string data;
    std::vector<std::string> said;
    std::vector<std::string> events;

    void Reply(std::span<const uint8_t> bytes) override {
        replies.append(bytes.begin(), bytes.end());
    }
    void Say(const std::string& text) override { said.push_back(text); }
    void Control(const ControlFile& c) override { events.push_back("control " + c.JobName()); }
    void DataBegin(const DataFile& f) override {
        events.push_back("begin " + f.name + " " + std::to_string(f.count) + " " + f.job);
    }
    void Data(std::span<const uint8_t> bytes) override {
        ASSERT_FALSE(bytes.empty());
        data.append(bytes.begin(), bytes.end());
    }
    void DataEnd(const DataFile& f, bool whole) override {
        events.push_back("end " + f.name + (whole ? " whole " : " cut ") +
                         std::to_string(f.received));
    }
    void Abort() override { events.push_back("abort"); }
    QueueView Queue(const std::string& queue) override {
        events.push_back("queue " + queue);
        return {"printer 1", "ready and printing", {}};
    }
};

std::string Nul() {
    return std::string(1, '\0');
}
std::string Receive(const std::string& queue = "receipt") {
    return "\x02" + queue + "\n";
}
std::string Control(const std::string& name, const std::string& text) {
    return "\x02" + std::to_string(text.size()) + " " + name + "\n" + text + Nul();
}
std::string Data(const std::string& name, const std::string& bytes) {
    return "\x03" + std::to_string(bytes.size()) + " " + name + "\n" + bytes + Nul();
}
const std::string kControl =
    Control("cfA042till", "Htill\nPanna\nJReceipt 42\nldfA042till\nNsale.bin\n");
const std::string kData = Data("dfA042till", "hello\n");
std::string Acks(std::size_t n) {
    return std::string(n, '\0');
}

struct Case {
    const char* name;
    std::string input;
    bool end;  // the client closes its side after the input
    std::string replies;
    std::string data;
    std::vector<std::string> events;
    std::string said;  // a part of one log line
    bool over;
};

struct Outcome {
    Recorder r;
    bool over = false;
};

// Feeds the input in pieces of the sizes given, in turn (0: all at once).
Outcome Feed(const Case& c, std::vector<std::size_t> pieces) {
    Outcome run;
    Exchange exchange;
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.input.data());
    std::size_t at = 0;
    for (std::size_t i = 0; at < c.input.size(); ++i) {
        std::size_t n = pieces[i % pieces.size()];
        if (n == 0 || n > c.input.size() - at) n = c.input.size() - at;
        exchange.Feed(std::span(bytes + at, n), run.r);
        at += n;
    }
    if (c.end) exchange.End(run.r);
    run.over = exchange.Over();
    return run;
}

TEST(LpdExchange, JobsAndRefusalsInAnyPieces) {
    const std::string digits40(40, '9');
    const std::vector<Case> cases = {
        {"control file first",
         Receive() + kControl + kData,
         true,
         Acks(5),
         "hello\n",
         {"control Receipt 42", "begin dfA042till 6 Receipt 42", "end dfA042till whole 6"},
         "job 'Receipt 42' received: 1 data file, 6 bytes",
         true},
        {"data file first: named by the file until the control file comes",
         Receive() + kData + kControl,
         true,
         Acks(5),
         "hello\n",
         {"begin dfA042till 6 dfA042till", "end dfA042till whole 6", "control Receipt 42"},
         "control file cfA042till, 46 bytes: job 'Receipt 42', user 'anna', host 'till', prints "
         "dfA042till (l)",
         true},
        {"two data files",
         Receive() + kControl + Data("dfA042till", "one") + Data("dfB042till", "two!"),
         true,
         Acks(7),
         "onetwo!",
         {"control Receipt 42", "begin dfA042till 3 Receipt 42", "end dfA042till whole 3",
          "begin dfB042till 4 Receipt 42", "end dfB042till whole 4"},
         "job 'Receipt 42' received: 2 data files, 7 bytes",
         true},
        {"abort forgets the control file",
         Receive() + kControl + "\x01\n" + kData,
         true,
         Acks(6),
         "hello\n",
         {"control Receipt 42", "abort", "begin dfA042till 6 dfA042till", "end dfA042till whole 6"},
         "abort: the job's control file dropped",
         true},
        {"still open after a whole job",
         Receive() + kControl + kData,
         false,
         Acks(5),
         "hello\n",
         {"control Receipt 42", "begin dfA042till 6 Receipt 42", "end dfA042till whole 6"},
         "data file dfA042till whole: 6 bytes",
         false},
        {"count 0: the data file ends with the connection, NULs and all",
         Receive() +
             "\x03"
             "0 dfA042till\n" +
             "raw" + Nul() + "bytes",
         true,
         Acks(2),
         "raw" + Nul() + "bytes",
         {"begin dfA042till 0 dfA042till", "end dfA042till whole 9"},
         "data file dfA042till ends with the connection: 9 bytes",
         true},
        {"data file cut short",
         Receive() + "\x03"
                     "10 dfA042till\nabcd",
         true,
         Acks(2),
         "abcd",
         {"begin dfA042till 10 dfA042till", "end dfA042till cut 4"},
         "data file dfA042till cut short: 4 of 10 bytes came and went to the printer, job "
         "'dfA042till' "
         "refused",
         true},
        {"data file without its end byte",
         Receive() + "\x03"
                     "4 dfA042till\nabcd",
         true,
         Acks(2),
         "abcd",
         {"begin dfA042till 4 dfA042till", "end dfA042till cut 4"},
         "its 4 bytes came and went to the printer, its end byte did not",
         true},
        {"data file the client marks bad",
         Receive() +
             "\x03"
             "4 dfA042till\nabcd\x01" +
             kData,
         false,
         Acks(2) + "\x01",
         "abcd",
         {"begin dfA042till 4 dfA042till", "end dfA042till cut 4"},
         "ends with 01 instead of 00 (the client found it bad); its 4 bytes went to the printer: "
         "refused "
         "(01)",
         true},
        {"control file cut short",
         Receive() + "\x02"
                     "50 cfA042till\nHtill\n",
         true,
         Acks(2),
         "",
         {},
         "control file cfA042till cut short: 6 bytes came, the job refused",
         true},
        {"control file the client marks bad",
         Receive() +
             "\x02"
             "5 cfA042till\nHtill\x02" +
             kData,
         false,
         Acks(2) + "\x01",
         "",
         {},
         "control file cfA042till ends with 02 instead of 00: dropped: refused (01)",
         true},
        {"control file over 64 KiB",
         Receive() +
             "\x02"
             "65537 cfA042till\n" +
             kData,
         false,
         Acks(1) + "\x02",
         "",
         {},
         "control file cfA042till of 65537 bytes, more than 65536 bytes: refused (02)",
         true},
        {"control file of 0 bytes",
         Receive() + "\x02"
                     "0 cfA042till\n",
         false,
         Acks(1) + "\x01",
         "",
         {},
         "control file cfA042till of 0 bytes: refused (01)",
         true},
        {"data file over 64 MiB",
         Receive() + "\x03"
                     "67108865 dfA042till\nabc",
         false,
         Acks(1) + "\x02",
         "",
         {},
         "of 67108865 bytes, more than 67108864 bytes: refused (02)",
         true},
        {"a count no client means (no byte counting)",
         Receive() + "\x03"
                     "125899906843000 dfA042till\nabc",
         false,
         Acks(1) + "\x02",
         "",
         {},
         "data file dfA042till of 125899906843000 bytes, more than 67108864 bytes: refused (02)",
         true},
        {"forty digits",
         Receive() + "\x03" + digits40 + " dfA042till\n",
         false,
         Acks(1) + "\x02",
         "",
         {},
         "of " + std::string(24, '9') + "... bytes, more than",
         true},
        {"white space before the count",
         Receive() + "\x02 51 cfA042till\n",
         false,
         Acks(1) + "\x01",
         "",
         {},
         "control file subcommand without a count and one name",
         true},
        {"a letter in the count",
         Receive() + "\x03"
                     "5x dfA042till\n",
         false,
         Acks(1) + "\x01",
         "",
         {},
         "data file subcommand without a count and one name: '5x dfA042till'",
         true},
        {"a negative count",
         Receive() + "\x03-5 dfA042till\n",
         false,
         Acks(1) + "\x01",
         "",
         {},
         "without a count",
         true},
        {"no name",
         Receive() + "\x03"
                     "5\n",
         false,
         Acks(1) + "\x01",
         "",
         {},
         "without a count",
         true},
        {"two names",
         Receive() + "\x03"
                     "5 dfA042till other\n",
         false,
         Acks(1) + "\x01",
         "",
         {},
         "without a count",
         true},
        {"unknown subcommand",
         Receive() + "\x09\n" + kData,
         false,
         Acks(1) + "\x01",
         "",
         {},
         "unknown subcommand 09: refused (01)",
         true},
        {"unknown command, and nothing after it",
         "\x07receipt\n" + Receive() + kData,
         false,
         "\x01",
         "",
         {},
         "unknown command 07: refused (01)",
         true},
        {"an empty command line", "\n", false, "\x01", "", {}, "unknown command 00", true},
        {"the longest command line",
         "\x02" + std::string(1022, 'q') + "\n",
         false,
         Acks(1),
         "",
         {},
         "receive job for queue 'qqq",
         false},
        {"a command line too long",
         "\x02" + std::string(1023, 'q') + "\n",
         false,
         "\x01",
         "",
         {},
         "a command line longer than 1024 bytes: refused (01)",
         true},
        {"a command line that never ends",
         "\x02" + std::string(5000, 'q'),
         false,
         "\x01",
         "",
         {},
         "a command line longer than 1024 bytes",
         true},
        {"cut inside a command",
         "\x02rec",
         true,
         "",
         "",
         {},
         "the connection ended inside a command",
         true},
        {"queue state",
         "\x03receipt\n" + Receive(),
         false,
         "printer 1 is ready and printing\nno entries\n",
         "",
         {"queue receipt"},
         "queue state (short) of queue 'receipt': printer 1 is ready and printing, 0 jobs, 2 lines "
         "sent",
         true},
        {"queue state, long",
         "\x04receipt anna 42\n",
         false,
         "printer 1 is ready and printing\nno entries\n",
         "",
         {"queue receipt"},
         "queue state (long)",
         true},
        {"remove jobs",
         "\x05receipt root 42\n",
         false,
         "printer 1: no job removed, each job prints as it comes\n",
         "",
         {"queue receipt"},
         "remove jobs from queue 'receipt' for 'root': none removed",
         true},
        {"print waiting jobs",
         "\x01receipt\n",
         false,
         "",
         "",
         {},
         "print waiting jobs in queue 'receipt'",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome whole = Feed(c, {0});
        EXPECT_EQ(whole.r.replies, c.replies);
        EXPECT_EQ(whole.r.data, c.data);
        EXPECT_EQ(whole.r.events, c.events);
        EXPECT_EQ(whole.over, c.over);
        bool found = false;
        for (const std::string& line : whole.r.said)
            found = found || line.find(c.said) != std::string::npos;
        EXPECT_TRUE(found) << "no line with: " << c.said << "\nlines:\n"
                           << testing::PrintToString(whole.r.said);
        for (const std::vector<std::size_t>& pieces :
             {std::vector<std::size_t>{1}, std::vector<std::size_t>{2, 7, 1, 3, 64}}) {
            const Outcome cut = Feed(c, pieces);
            EXPECT_EQ(cut.r.replies, whole.r.replies);
            EXPECT_EQ(cut.r.data, whole.r.data);
            EXPECT_EQ(cut.r.events, whole.r.events);
            EXPECT_EQ(cut.r.said, whole.r.said);
            EXPECT_EQ(cut.over, whole.over);
        }
    }
}

// A data file is read up to its count, so its end byte comes in a read of its own; the glue
// holds the next read back while the file's last bytes wait to be printed.
TEST(LpdExchange, ReadsADataFileUpToItsCount) {
    Exchange exchange;
    Recorder r;
    const auto feed = [&](const std::string& bytes) {
        exchange.Feed(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), r);
    };
    EXPECT_EQ(exchange.Wanted(), UINT64_MAX);
    feed(Receive() +
         "\x03"
         "6 dfA042till\n");
    EXPECT_EQ(exchange.Wanted(), 6u);
    feed("hel");
    EXPECT_EQ(exchange.Wanted(), 3u);
    EXPECT_FALSE(exchange.AtDataEnd());
    feed("lo\n");
    EXPECT_TRUE(exchange.AtDataEnd());
    EXPECT_EQ(exchange.DataBytes(), 6u);
    ASSERT_TRUE(exchange.Current());
    EXPECT_EQ(exchange.Current()->received, 6u);
    feed(Nul());
    EXPECT_FALSE(exchange.AtDataEnd());
    EXPECT_EQ(exchange.Wanted(), UINT64_MAX);
    EXPECT_EQ(r.replies, Acks(3));
}

TEST(LpdControlFile, LinesReadAsAPrinterNeedsThem) {
    struct Row {
        const char* name;
        std::string text;
        std::string job;
        std::string described;
    };
    const std::vector<Row> rows = {
        {"J names the job", "Htill\nPanna\nJReceipt 42\nNsale.bin\nldfA042till\n", "Receipt 42",
         "job 'Receipt 42', user 'anna', host 'till', prints dfA042till (l)"},
        {"else N, the source file", "Htill\nPanna\nfdfA042till\nNsale.bin\nUdfA042till\n",
         "sale.bin", "job 'sale.bin', user 'anna', host 'till', prints dfA042till (f)"},
        {"CR LF lines, no last LF", "Htill\r\nPanna\r\nJBon\r\nldfA042till", "Bon",
         "job 'Bon', user 'anna', host 'till', prints dfA042till (l)"},
        {"copies and a banner page", "Htill\nPanna\nJBon\nLanna\nldfA042till\nldfA042till\n", "Bon",
         "job 'Bon', user 'anna', host 'till', banner page for 'anna' (not printed), prints "
         "dfA042till (ll); copies are printed once"},
        {"nothing to print", "Htill\nPanna\n", "",
         "job unnamed, user 'anna', host 'till', prints no file"},
        {"control characters made printable",
         "JBon\x1b"
         "E\"1\"\nldfA\n",
         "Bon?E?1?", "job 'Bon?E?1?', prints dfA (l)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ControlFile c = sim::lpd::ParseControlFile("cfA042till", row.text);
        EXPECT_EQ(c.JobName(), row.job);
        EXPECT_EQ(sim::lpd::Describe(c), row.described);
    }
    // Lines kept are bounded however long the file.
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "ldfA042till\nX\n";
    const ControlFile big =
        sim::lpd::ParseControlFile("cfA042till", many + "J" + std::string(500, 'j'));
    EXPECT_EQ(big.prints.size(), ControlFile::kMaxPrints);
    EXPECT_EQ(big.printsLeftOut, 1000 - ControlFile::kMaxPrints);
    EXPECT_EQ(big.otherLines, 1000u);
    EXPECT_EQ(big.job.size(), 99u);
    EXPECT_EQ(sim::lpd::JobNumber("cfA042till"), 42);
    EXPECT_EQ(sim::lpd::JobNumber("dfB999x"), 999);
    EXPECT_EQ(sim::lpd::JobNumber("dfA42"), -1);
    EXPECT_EQ(sim::lpd::JobNumber("job"), -1);
}

TEST(LpdQueue, ListsTheJobsAskedFor) {
    QueueView view{"printer 2", "not printing (paper out)", {}};
    view.jobs.push_back(QueueEntry{true, "anna", 42, "dfA042till", 300});
    view.jobs.push_back(QueueEntry{false, "", -1, "dfA", 5});
    EXPECT_EQ(sim::lpd::QueueText(view, false, {}),
              "printer 2 is not printing (paper out)\n"
              "Rank   Owner      Job  File(s)                               Total Size\n"
              "held   anna       42   dfA042till                            300 bytes\n"
              "2      ?          ?    dfA                                   5 bytes\n");
    EXPECT_EQ(
        sim::lpd::QueueText(view, true, {"42"}),
        "printer 2 is not printing (paper out)\n"
        "\nanna: held   [job 42]\n        dfA042till                               300 bytes\n");
    EXPECT_EQ(sim::lpd::QueueText(view, false, {"bob", "7"}),
              "printer 2 is not printing (paper out)\nno entries\n");
    view.jobs.assign(QueueView::kMaxListed + 3, QueueEntry{false, "anna", 1, "dfA001x", 1});
    const std::string text = sim::lpd::QueueText(view, false, {"anna"});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + QueueView::kMaxListed + 1);
    EXPECT_NE(text.find("and 3 more\n"), std::string::npos);
}

}  // namespace
}  // namespace simtest
