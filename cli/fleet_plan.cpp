#include "cli/fleet_plan.h"

#include <algorithm>
#include <map>
#include <set>

namespace cli {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// One CSV line: fields split at commas, blanks around them dropped; a field in double quotes may
// hold commas and "" for a quote. A quoted field does not span lines.
struct CsvFields {
    std::vector<std::string> values;
    std::string error;
};

CsvFields SplitCsv(std::string_view line) {
    CsvFields out;
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    };
    for (;;) {
        skipBlanks();
        std::string field;
        if (at < line.size() && line[at] == '"') {
            bool closed = false;
            for (++at; at < line.size() && !closed; ++at) {
                if (line[at] != '"') {
                    field += line[at];
                } else if (at + 1 < line.size() && line[at + 1] == '"') {
                    field += '"';
                    ++at;
                } else {
                    closed = true;
                }
            }
            if (!closed) {
                out.error = "a quoted field is not closed (a field cannot span lines)";
                return out;
            }
            skipBlanks();
            if (at < line.size() && line[at] != ',') {
                out.error = "text after the closing quote of a field";
                return out;
            }
        } else {
            const std::size_t comma = std::min(line.find(',', at), line.size());
            field = std::string(Trim(line.substr(at, comma - at)));
            at = comma;
        }
        out.values.push_back(std::move(field));
        if (at >= line.size()) return out;
        ++at;  // the comma
    }
}

enum class Column { Mac, Ip, Mask, Gateway, Test, Setting, Unknown };

struct ColumnInfo {
    Column kind = Column::Unknown;
    std::string name;
};

// Names `send` takes that a plan cannot: they would undo the move or change on every run.
struct NotAColumn {
    const char* name;
    const char* why;
};
constexpr NotAColumn kNotColumns[] = {
    {"dhcp", "it would change the address: the mac, ip, mask and gateway columns set that"},
    {"mac", "it would change the MAC the plan finds the printer by"},
    {"volume", "it is a step, not a setting: every run would change the volume again"},
};

// The column a header cell names, or an error.
ColumnInfo ReadColumn(const std::string& cell, std::string& error) {
    const std::string name = LowerAscii(cell);
    static const std::map<std::string, Column> fixed{{"mac", Column::Mac},
                                                     {"ip", Column::Ip},
                                                     {"mask", Column::Mask},
                                                     {"gateway", Column::Gateway},
                                                     {"test", Column::Test}};
    if (const auto it = fixed.find(name); it != fixed.end()) return {it->second, name};
    for (const NotAColumn& no : kNotColumns) {
        if (name == no.name) {
            error = "column '" + name + "' cannot be in a plan: " + no.why;
            return {};
        }
    }
    const SendName* send = FindSendName(name);
    if (send == nullptr) {
        error = "unknown column '" + cell +
                "': the columns are mac, ip, mask, gateway, test and the send NAMEs that take "
                "one value (send --list shows them)";
        return {};
    }
    const std::string_view arguments = send->arguments;
    const auto values =
        arguments.empty() ? 0 : 1 + std::count(arguments.begin(), arguments.end(), ' ');
    if (values != 1) {
        error = "column '" + name + "' cannot be in a plan: " + name +
                (values == 0 ? " takes no value"
                             : " takes " + std::to_string(values) + " values (" + send->arguments +
                                   "), a cell holds one");
        return {};
    }
    return {Column::Setting, name};
}

bool ContiguousMask(uint32_t mask) {
    const uint32_t hosts = ~mask;
    return mask != 0 && (hosts & (hosts + 1)) == 0;
}

// What a row's cells give, with what could be read of them.
struct RowReading {
    PlanRow row;
    bool macOk = false, ipOk = false, gatewayOk = false;
};

class PlanReader {
  public:
    explicit PlanReader(const BuildContext& context) : context_(context) {}

    Plan Read(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a spreadsheet's BOM
        int number = 0;
        while (!text.empty()) {
            const std::size_t end = std::min(text.find('\n'), text.size());
            std::string_view line = text.substr(0, end);
            text.remove_prefix(std::min(end + 1, text.size()));
            ++number;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const std::string_view trimmed = Trim(line);
            if (trimmed.empty() || trimmed.front() == '#') continue;
            const CsvFields fields = SplitCsv(line);
            if (!fields.error.empty()) {
                Error(number, fields.error);
                if (headerLine_ == 0) {  // no header to read the rows by
                    headerLine_ = number;
                    incomplete_ = true;
                }
                continue;
            }
            if (headerLine_ == 0) {
                Header(number, fields.values);
            } else {
                Row(number, fields.values);
            }
        }
        if (headerLine_ == 0) {
            Error(0, "the plan is empty: it needs a header row naming mac, ip, mask and gateway");
        } else if (readings_.empty() && !rowsSeen_) {
            Error(headerLine_, "the plan names no printer: one row per printer follows the header");
        }
        CrossCheck();
        std::stable_sort(errors_.begin(), errors_.end(),
                         [](const PlanError& a, const PlanError& b) { return a.line < b.line; });
        Plan plan;
        plan.errors = std::move(errors_);
        if (plan.errors.empty()) {
            for (RowReading& r : readings_) plan.rows.push_back(std::move(r.row));
        }
        return plan;
    }

  private:
    void Error(int line, std::string text) { errors_.push_back({line, std::move(text)}); }

    void Header(int line, const std::vector<std::string>& cells) {
        headerLine_ = line;
        std::set<std::string> seen;
        for (const std::string& cell : cells) {
            std::string error;
            ColumnInfo column = ReadColumn(cell, error);
            if (!error.empty()) Error(line, error);
            if (column.kind != Column::Unknown && !seen.insert(column.name).second) {
                Error(line, "column '" + column.name + "' appears twice");
                column.kind = Column::Unknown;
            }
            columns_.push_back(column);
        }
        for (const char* required : {"mac", "ip", "mask", "gateway"}) {
            if (seen.count(required) == 0) {
                Error(line, std::string("no column '") + required +
                                "': mac, ip, mask and gateway " + "are needed");
                incomplete_ = true;
            }
        }
    }

    void Row(int line, const std::vector<std::string>& cells) {
        rowsSeen_ = true;
        if (incomplete_) return;  // the header's error says it all
        if (cells.size() != columns_.size()) {
            Error(line, std::to_string(cells.size()) + " fields where the header has " +
                            std::to_string(columns_.size()));
            return;
        }
        RowReading r;
        r.row.line = line;
        std::string ipText, maskText, gatewayText;
        bool maskOk = false;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string& cell = cells[i];
            switch (columns_[i].kind) {
                case Column::Mac:
                    if (const auto mac = ParseMac(cell)) {
                        r.row.mac = *mac;
                        r.macOk = true;
                    } else {
                        Error(line, "bad MAC '" + cell + "': write it as XX:XX:XX:XX:XX:XX");
                    }
                    break;
                case Column::Ip:
                    r.ipOk = Address(line, "address", cell, r.row.ip);
                    break;
                case Column::Mask:
                    maskOk = Address(line, "mask", cell, r.row.mask);
                    if (maskOk && !ContiguousMask(Ipv4Number(r.row.mask))) {
                        Error(line,
                              "mask " + cell + " is no subnet mask: write it as 255.255.255.0");
                        maskOk = false;
                    }
                    break;
                case Column::Gateway:
                    r.gatewayOk = Address(line, "gateway", cell, r.row.gateway);
                    break;
                case Column::Test: {
                    const std::string value = LowerAscii(cell);
                    if (value != "yes" && value != "no" && !value.empty())
                        Error(line, "bad test '" + cell + "': write yes, no or leave it empty");
                    r.row.testPage = value == "yes";
                    break;
                }
                case Column::Setting: {
                    if (cell.empty()) break;  // left as it is
                    const std::string value[] = {cell};
                    BuiltCommand built = BuildSendCommand(columns_[i].name, value, context_);
                    if (!built.error.empty()) {
                        Error(line, built.error);
                    } else {
                        r.row.settings.push_back({columns_[i].name, cell, std::move(built.bytes)});
                    }
                    break;
                }
                case Column::Unknown:
                    break;
            }
        }
        if (maskOk && r.ipOk) SubnetChecks(r);
        readings_.push_back(std::move(r));
    }

    bool Address(int line, const char* what, const std::string& cell, Ipv4& to) {
        if (const auto ip = ParseIpv4(cell)) {
            to = *ip;
            return true;
        }
        Error(line, std::string("bad ") + what + " '" + cell + "': write it as 192.168.1.50");
        return false;
    }

    // The address must be a host of its subnet, the gateway another host of it.
    void SubnetChecks(RowReading& r) {
        const PlanRow& row = r.row;
        const uint32_t mask = Ipv4Number(row.mask), network = Ipv4Number(row.ip) & mask;
        const uint32_t broadcast = network | ~mask;
        const std::string subnet = SubnetText(row.ip, row.mask);
        const auto special = [&](uint32_t a) -> std::string {
            if (a == network) return "the network address of " + subnet;
            if (a == broadcast) return "the broadcast address of " + subnet;
            return {};
        };
        if (const std::string s = special(Ipv4Number(row.ip)); !s.empty()) {
            Error(row.line, "address " + FormatIpv4(row.ip) + " is " + s);
            r.ipOk = false;
        }
        if (!r.gatewayOk) return;
        const uint32_t gateway = Ipv4Number(row.gateway);
        std::string why;
        if ((gateway & mask) != network) {
            why = "is outside " + subnet;
        } else if (const std::string s = special(gateway); !s.empty()) {
            why = "is " + s;
        } else if (gateway == Ipv4Number(row.ip)) {
            why = "is the printer's own address";
        }
        if (!why.empty()) Error(row.line, "gateway " + FormatIpv4(row.gateway) + " " + why);
    }

    // No MAC or address twice, and no printer on a gateway.
    void CrossCheck() {
        std::map<Mac, int> macs;
        std::map<uint32_t, int> addresses, gateways;
        for (const RowReading& r : readings_) {
            if (r.gatewayOk) gateways.emplace(Ipv4Number(r.row.gateway), r.row.line);
        }
        for (const RowReading& r : readings_) {
            const int line = r.row.line;
            if (r.macOk) {
                if (const auto [it, added] = macs.emplace(r.row.mac, line); !added)
                    Error(line, "MAC " + FormatMac(r.row.mac) + " is also on line " +
                                    std::to_string(it->second));
            }
            if (!r.ipOk) continue;
            if (const auto [it, added] = addresses.emplace(Ipv4Number(r.row.ip), line); !added)
                Error(line, "address " + FormatIpv4(r.row.ip) + " is also on line " +
                                std::to_string(it->second));
            // Its own gateway is said above.
            if (const auto g = gateways.find(Ipv4Number(r.row.ip));
                g != gateways.end() && g->second != line)
                Error(line, "address " + FormatIpv4(r.row.ip) + " is the gateway on line " +
                                std::to_string(g->second));
        }
    }

    const BuildContext& context_;
    std::vector<ColumnInfo> columns_;
    int headerLine_ = 0;
    bool incomplete_ = false;
    bool rowsSeen_ = false;
    std::vector<RowReading> readings_;
    std::vector<PlanError> errors_;
};

// ---- Ordering

class Orderer {
  public:
    Orderer(std::span<const PlanRow> rows, std::span<const netcfg::DeviceEntry> found,
            const OrderInputs& inputs)
        : rows_(rows), found_(found), inputs_(inputs) {
        order_.rows.resize(rows.size());
    }

    MoveOrder Run() {
        FindDevices();
        // Each round refuses at least one row or ends: a refused row may leave others blocked.
        for (;;) {
            RefuseHeldAddresses();
            if (BreakCycles()) break;
        }
        Steps();
        return std::move(order_);
    }

  private:
    bool Moves(std::size_t r) const { return order_.rows[r].fate == Fate::Move; }

    void FindDevices() {
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            const PlanRow& row = rows_[r];
            RowOrder& o = order_.rows[r];
            std::vector<std::size_t> matches;
            for (std::size_t d = 0; d < found_.size(); ++d)
                if (found_[d].Mac() == row.mac) matches.push_back(d);
            if (matches.empty()) {
                o.fate = Fate::Missing;
                continue;
            }
            o.device = found_[matches[0]];
            if (matches.size() > 1) {
                o.fate = Fate::Refused;
                o.detail = "answered discovery twice, differently (at " +
                           FormatIpv4(found_[matches[0]].Address()) + " and " +
                           FormatIpv4(found_[matches[1]].Address()) + ")";
                continue;
            }
            rowOf_[matches[0]] = r;
            const netcfg::DeviceEntry& d = found_[matches[0]];
            o.fate = d.Address() == row.ip && d.Mask() == row.mask && d.Gateway() == row.gateway
                         ? Fate::Unchanged
                         : Fate::Move;
        }
    }

    // A row whose address a printer holds that stays there is refused, until nothing changes.
    void RefuseHeldAddresses() {
        for (bool changed = true; changed;) {
            changed = false;
            for (std::size_t r = 0; r < rows_.size(); ++r) {
                if (!Moves(r)) continue;
                RowOrder& o = order_.rows[r];
                o.waitsFor.clear();
                for (std::size_t d = 0; d < found_.size(); ++d) {
                    if (found_[d].Address() != rows_[r].ip || found_[d] == *o.device) continue;
                    const auto owner = rowOf_.find(d);
                    if (owner != rowOf_.end() && Moves(owner->second)) {
                        o.waitsFor.push_back(owner->second);
                        continue;
                    }
                    o.fate = Fate::Refused;
                    o.detail = "address " + FormatIpv4(rows_[r].ip) + " is held by " +
                               FormatMac(found_[d].Mac()) +
                               (owner != rowOf_.end()
                                    ? " (line " + std::to_string(rows_[owner->second].line) +
                                          ", not moved)"
                                    : "");
                    changed = true;
                    break;
                }
            }
        }
    }

    // The rows that must wait for a row that is still to move, with parked rows gone from their
    // addresses in the first step.
    std::vector<std::size_t> Blocking(std::size_t r, const std::set<std::size_t>& left) const {
        std::vector<std::size_t> out;
        for (const std::size_t d : order_.rows[r].waitsFor)
            if (!order_.rows[d].spare && left.count(d) == 0) out.push_back(d);
        return out;
    }

    // Parks one printer of every cycle of rows waiting for each other. False when no spare was
    // left for one: that row is refused and the ordering starts again.
    bool BreakCycles() {
        for (RowOrder& o : order_.rows) o.spare.reset();
        spares_.clear();
        for (;;) {
            // Rows that can go in some step: everything they wait for goes before them.
            std::set<std::size_t> left;
            for (bool progress = true; progress;) {
                progress = false;
                for (std::size_t r = 0; r < rows_.size(); ++r) {
                    if (!Moves(r) || left.count(r) != 0 || !Blocking(r, left).empty()) continue;
                    left.insert(r);
                    progress = true;
                }
            }
            std::optional<std::size_t> start;
            for (std::size_t r = 0; r < rows_.size() && !start; ++r)
                if (Moves(r) && left.count(r) == 0) start = r;
            if (!start) return true;
            // Every row still blocked waits for another blocked one: walking on from any of
            // them comes back to a row on a cycle.
            std::size_t at = *start;
            std::set<std::size_t> walked;
            while (walked.insert(at).second) at = Blocking(at, left).front();
            RowOrder& o = order_.rows[at];
            o.spare = Spare(at);
            if (!o.spare) {
                o.fate = Fate::Refused;
                o.detail = "it trades addresses with other printers and " +
                           SubnetText(rows_[at].ip, rows_[at].mask) +
                           " has no free address to park it on meanwhile (--spare)";
                return false;
            }
            spares_.insert(Ipv4Number(*o.spare));
        }
    }

    std::optional<Ipv4> Spare(std::size_t r) const {
        std::set<uint32_t> taken(spares_);
        for (const netcfg::DeviceEntry& d : found_) taken.insert(Ipv4Number(d.Address()));
        for (const PlanRow& row : rows_) {
            taken.insert(Ipv4Number(row.ip));
            taken.insert(Ipv4Number(row.gateway));
        }
        for (const Ipv4& a : inputs_.avoid) taken.insert(Ipv4Number(a));
        const uint32_t mask = Ipv4Number(rows_[r].mask), network = Ipv4Number(rows_[r].ip) & mask;
        const uint32_t broadcast = network | ~mask;
        const auto fits = [&](uint32_t a) {
            return (a & mask) == network && a != network && a != broadcast && taken.count(a) == 0;
        };
        if (!inputs_.spares.empty()) {
            for (const Ipv4& spare : inputs_.spares)
                if (fits(Ipv4Number(spare))) return spare;
            return std::nullopt;
        }
        // From the top of the subnet, where printers are rarely put; a bounded search.
        constexpr uint32_t kTries = 4096;
        for (uint32_t a = broadcast - 1, tries = 0; a > network && tries < kTries; --a, ++tries)
            if (fits(a)) return Ipv4OfNumber(a);
        return std::nullopt;
    }

    // A row moves in the step after the rows it waits for moved; a parked row left its address
    // in the first step and moves on in the second at the earliest.
    int Level(std::size_t r, std::map<std::size_t, int>& memo) const {
        if (const auto it = memo.find(r); it != memo.end()) return it->second;
        int level = order_.rows[r].spare ? 2 : 1;
        for (const std::size_t d : order_.rows[r].waitsFor)
            level = std::max(level, 1 + (order_.rows[d].spare ? 1 : Level(d, memo)));
        memo[r] = level;
        return level;
    }

    void Steps() {
        std::map<std::size_t, int> memo;
        for (std::size_t r = 0; r < rows_.size(); ++r) {
            if (!Moves(r)) continue;
            const auto level = static_cast<std::size_t>(Level(r, memo));
            if (order_.steps.size() < level) order_.steps.resize(level);
            if (const auto& spare = order_.rows[r].spare)
                order_.steps[0].push_back({r, *spare, true});
            order_.steps[level - 1].push_back({r, rows_[r].ip, false});
        }
    }

    std::span<const PlanRow> rows_;
    std::span<const netcfg::DeviceEntry> found_;
    const OrderInputs& inputs_;
    MoveOrder order_;
    std::map<std::size_t, std::size_t> rowOf_;  // found printer -> the row that names it alone
    std::set<uint32_t> spares_;                 // spares given out
};

}  // namespace

Plan ReadPlan(std::string_view text, const BuildContext& context) {
    return PlanReader(context).Read(text);
}

std::string PlanErrorLine(const PlanError& error) {
    return (error.line > 0 ? "line " + std::to_string(error.line) : std::string("plan")) + ": " +
           error.text;
}

std::string SubnetText(const Ipv4& address, const Ipv4& mask) {
    const uint32_t m = Ipv4Number(mask);
    int bits = 0;
    for (uint32_t b = m; b != 0; b <<= 1) ++bits;
    return FormatIpv4(Ipv4OfNumber(Ipv4Number(address) & m)) + "/" + std::to_string(bits);
}

MoveOrder OrderMoves(std::span<const PlanRow> rows, std::span<const netcfg::DeviceEntry> found,
                     const OrderInputs& inputs) {
    return Orderer(rows, found, inputs).Run();
}

}  // namespace cli
