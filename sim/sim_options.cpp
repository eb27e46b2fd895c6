#include "sim/sim_options.h"

#include <charconv>
#include <cstdio>
#include <functional>
#include <map>

#include "sim/paper/drawing.h"
#include "sim/pseudo_terminal.h"

namespace sim {
namespace {

std::optional<uint64_t> Number(const std::string& text, uint64_t max) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > max)
        return std::nullopt;
    return value;
}

std::optional<netcfg::Ipv4Octets> Address(const std::string& text) {
    netcfg::Ipv4Octets out{};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? text.find('.', at) : text.size();
        if (dot == std::string::npos) return std::nullopt;
        const auto octet = Number(text.substr(at, dot - at), 255);
        if (!octet) return std::nullopt;
        out[i] = static_cast<uint8_t>(*octet);
        at = dot + 1;
    }
    return out;
}

std::optional<netcfg::MacBytes> Mac(const std::string& text) {
    netcfg::MacBytes out{};
    if (text.size() != 17) return std::nullopt;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':') return std::nullopt;
        unsigned value = 0;
        const char* from = text.data() + i * 3;
        const auto [end, ec] = std::from_chars(from, from + 2, value, 16);
        if (ec != std::errc() || end != from + 2) return std::nullopt;
        out[i] = static_cast<uint8_t>(value);
    }
    return out;
}

}  // namespace

std::string SimUsage() {
    const char* serial =
        PseudoTerminalsAvailable()
            ? "  --serial            also read a pseudo-terminal (its path is shown)\n"
            : "  --serial            Linux only: this system has no pseudo-terminals\n";
    const char* receipts =
        "  --receipts DIR      save every receipt printed as DIR/receipt-NNNN.png with its\n"
        "                      data file DIR/receipt-NNNN.json (its text, symbols and\n"
        "                      images), listed newest first in DIR/index.html (made if\n"
        "                      missing)\n"
        "  --fonts DIR         a folder with the printer's font files (terminus-bold.otb,\n"
        "                      DejaVuSansMono-Bold.ttf, wqy-microhei.ttc), looked in first\n";
    const char* render =
        "\nRender mode draws captured print jobs (files of raw bytes, - for standard\n"
        "input), each as a new connection to printer 1, into DIR (default: the current\n"
        "folder) as the server would, prints the same lines and ends: status 0, 1 when a\n"
        "file could not be read or a receipt not saved, 2 for usage. No port is opened.\n";
    const char* http =
        "  --http [ADDR:]PORT  serve the console, a page and a JSON API for the printers\n"
        "                      (their paper, status, log, a job to print), on PORT (0: a\n"
        "                      free one, shown) at ADDR (default 127.0.0.1: this computer\n"
        "                      only; 0.0.0.0: every address, reachable from the network);\n"
        "                      without --receipts the receipts go to a new temporary folder,\n"
        "                      removed at the end\n";
    return std::string(
               "Usage: pos-printer-sim [options]\n"
               "  or:  pos-printer-sim render [--paper-width 80|58] [--receipts DIR] [--fonts DIR] "
               "[--json] "
               "FILE...\n"
               "A virtual receipt printer: prints one line for every command it receives.\n"
               "\n"
               "  --tcp-port N        printer port of every printer (default 9100; 0: a free one,\n"
               "                      shown)\n"
               "  --udp-port N        discovery port (default 9000; 0: no discovery answers)\n"
               "  --lpd-port N        also take LPR jobs on this port of every printer (off by\n"
               "                      default; printers use 515, which needs root on Linux;\n"
               "                      0: a free one, shown); each data file prints as a TCP job\n"
               "  --reply-port N      port of the asker that replies go to (default 8999)\n"
               "  --listen A          address discovery requests are heard on (default 127.0.0.1;\n"
               "                      0.0.0.0 also hears broadcasts)\n"
               "  --printers N        virtual printers, 1 to 250 (default 1); printer i is at\n"
               "                      the address raised by i in its last octet, all on one port\n"
               "  --address A         first printer's address (default 127.0.0.1)\n"
               "  --mask A            subnet mask in the reply (default 255.255.255.0)\n"
               "  --gateway A         gateway in the reply (default 127.0.0.1)\n"
               "  --mac M             first printer's MAC, aa:bb:cc:dd:ee:ff (default "
               "02:00:00:00:00:01)\n"
               "  --restart-ms N      an address-set packet restarts its printer: silent for N ms\n"
               "                      (default 1000), then at its new address\n"
               "  --deaf M            the printer with MAC M ignores address-set packets\n"
               "                      (repeatable)\n") +
           serial +
           "  --reset-after BYTES reset a TCP connection after so many bytes\n"
           "  --stall-after BYTES stop reading a connection after so many bytes\n"
           "  --no-reply          stay silent to discovery requests\n"
           "  --slow BYTES_PER_S  read no faster than this\n"
           "  --chaos SEED[:RATE] faults at random, the same for the same seed: each new TCP\n"
           "                      connection, serial session and discovery datagram draws one\n"
           "                      with chance RATE (default 0.3): a reset, a stall (50 ms to\n"
           "                      6 s, or for good), slow reading, a close at once, a printer\n"
           "                      restart (0.2 to 3 s), status answers late or missing, a\n"
           "                      datagram dropped, doubled or late; each logged, and counted\n"
           "                      at the end\n"
           "  --recv-buffer BYTES receive buffer of a TCP connection (default 4096, as small\n"
           "                      as a printer's, so a stalled printer stops acknowledging)\n"
           "  --paper ok|near-end|out  the paper at start (default ok); out: nothing printed\n"
           "  --cover-open        start with the cover open (offline: nothing printed)\n"
           "  --offline           start offline (nothing printed until online)\n"
           "  --cutter-error      start with an auto-cutter error (offline; DLE ENQ 1 recovers)\n"
           "  --drawer-open       start with the drawer open (connector pin 3 high)\n"
           "  --no-status         never answer status requests (DLE EOT, GS a, GS r, GS I,\n"
           "                      GS ( H)\n"
           "  --model TEXT        the model GS I 67 answers (default pos-printer-sim)\n"
           "  --firmware TEXT     the firmware version GS I 65 answers (default 1.00)\n"
           "  --maker TEXT        the maker GS I 66 answers (default pos-printer-tools)\n"
           "  --serial-number TEXT  the serial number GS I 68 answers (printer i > 1: TEXT-i;\n"
           "                      default SIM and the MAC's hex digits)\n" +
           receipts +
           "  --paper-width 80|58 paper of 80 mm (576 dots, default) or 58 mm (384 dots)\n" + http +
           "  --json              JSON lines instead of text lines\n"
           "  -h, --help          this text\n" +
           render;
}

namespace {

using Setter = std::function<bool(const std::string&)>;

// The options: flags, and options with a value whose setter says whether the value is good.
struct OptionTable {
    std::map<std::string, bool*> flags;
    std::map<std::string, Setter> valued;
};

// Every option of the server, setting `o`.
OptionTable ServerOptions(SimOptions& o) {
    OptionTable t;
    t.flags = {
        {"--serial", &o.serial},
        {"--no-reply", &o.noReply},
        {"--json", &o.json},
        {"--cover-open", &o.status.coverOpen},
        {"--offline", &o.status.offline},
        {"--cutter-error", &o.status.cutterError},
        {"--drawer-open", &o.status.drawerOpen},
        {"--no-status", &o.noStatus},
    };
    const auto port = [](std::optional<uint16_t>& to, bool zeroIsNone) {
        return [&to, zeroIsNone](const std::string& v) {
            const auto n = Number(v, 65535);
            if (!n) return false;
            to = (*n == 0 && zeroIsNone) ? std::nullopt : std::optional<uint16_t>(*n);
            return true;
        };
    };
    const auto bytes = [](std::optional<uint64_t>& to) {
        return [&to](const std::string& v) {
            const auto n = Number(v, UINT64_MAX);
            if (n) to = *n;
            return n.has_value();
        };
    };
    const auto address = [](netcfg::Ipv4Octets& to) {
        return [&to](const std::string& v) {
            const auto a = Address(v);
            if (a) to = *a;
            return a.has_value();
        };
    };
    // What GS I answers: printable ASCII, not empty, at most 40 characters.
    const auto text = [](std::string& to) {
        return [&to](const std::string& v) {
            if (v.empty() || !commands::IsInfoText(v)) return false;
            to = v;
            return true;
        };
    };
    t.valued = {
        {"--tcp-port", port(o.tcpPort, false)},
        {"--lpd-port", port(o.lpdPort, false)},
        {"--udp-port", port(o.udpPort, true)},
        {"--reply-port",
         [&](const std::string& v) {
             const auto n = Number(v, 65535);
             if (n && *n > 0) o.replyPort = static_cast<uint16_t>(*n);
             return n && *n > 0;
         }},
        {"--listen", address(o.listen)},
        {"--printers",
         [&](const std::string& v) {
             const auto n = Number(v, kMaxPrinters);
             if (n && *n > 0) o.printers = static_cast<int>(*n);
             return n && *n > 0;
         }},
        {"--address", address(o.first.address)},
        {"--mask", address(o.first.mask)},
        {"--gateway", address(o.first.gateway)},
        {"--mac",
         [&](const std::string& v) {
             const auto m = Mac(v);
             if (m) o.first.mac = *m;
             return m.has_value();
         }},
        {"--reset-after", bytes(o.resetAfter)},
        {"--stall-after", bytes(o.stallAfter)},
        {"--recv-buffer",
         [&](const std::string& v) {
             const auto n = Number(v, 64 * 1024 * 1024);
             if (n && *n > 0) o.receiveBuffer = static_cast<int>(*n);
             return n && *n > 0;
         }},
        {"--paper",
         [&](const std::string& v) {
             if (v == "ok") o.status.paper = commands::PaperLevel::Present;
             if (v == "near-end") o.status.paper = commands::PaperLevel::NearEnd;
             if (v == "out") o.status.paper = commands::PaperLevel::Out;
             return v == "ok" || v == "near-end" || v == "out";
         }},
        {"--receipts",
         [&](const std::string& v) {
             o.receipts = v;
             return !v.empty();
         }},
        {"--fonts",
         [&](const std::string& v) {
             o.fonts = v;
             return !v.empty();
         }},
        {"--paper-width",
         [&](const std::string& v) {
             if (v == "80") o.paperWidth = 576;
             if (v == "58") o.paperWidth = 384;
             return v == "80" || v == "58";
         }},
        {"--restart-ms",
         [&](const std::string& v) {
             const auto n = Number(v, 600000);
             if (n) o.restart = std::chrono::milliseconds(*n);
             return n.has_value();
         }},
        {"--deaf",
         [&](const std::string& v) {
             const auto m = Mac(v);
             if (m) o.deaf.push_back(*m);
             return m.has_value();
         }},
        {"--model", text(o.identity.model)},
        {"--firmware", text(o.identity.firmware)},
        {"--maker", text(o.identity.maker)},
        {"--serial-number", text(o.identity.serialNumber)},
        {"--chaos",
         [&](const std::string& v) {
             o.chaos = chaos::ParseChaosSetting(v);
             return o.chaos.has_value();
         }},
        {"--http",
         [&](const std::string& v) {
             ConsoleAddress at;
             const std::size_t colon = v.rfind(':');
             if (colon != std::string::npos) {
                 const std::string host = v.substr(0, colon);
                 const auto a = host == "localhost" ? std::optional(at.address) : Address(host);
                 if (!a) return false;
                 at.address = *a;
             }
             const auto n = Number(v.substr(colon == std::string::npos ? 0 : colon + 1), 65535);
             if (!n) return false;
             at.port = static_cast<uint16_t>(*n);
             o.http = at;
             return true;
         }},
        {"--slow",
         [&](const std::string& v) {
             const auto n = Number(v, UINT32_MAX);
             if (n && *n > 0) o.slowBytesPerSecond = *n;
             return n && *n > 0;
         }},
    };
    return t;
}

// Reads `arguments` by `table`, "--name value" and "--name=value", -h and --help; with `files`,
// what does not start with "-" (and "-" itself, and all after "--") is a file. Returns the usage
// error, empty when there is none; `unknown` starts the text for an option the table lacks.
std::string ReadOptions(std::span<const std::string> arguments, const OptionTable& table,
                        const std::string& unknown, bool& help, std::vector<std::string>* files) {
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        if (files != nullptr && (onlyFiles || name == "-" || name.empty() || name[0] != '-')) {
            files->push_back(name);
            continue;
        }
        if (files != nullptr && name == "--") {
            onlyFiles = true;
            continue;
        }
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != name.npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if ((name == "-h" || name == "--help") && !value) {
            help = true;
            continue;
        }
        if (const auto flag = table.flags.find(name); flag != table.flags.end() && !value) {
            *flag->second = true;
            continue;
        }
        const auto setter = table.valued.find(name);
        if (setter == table.valued.end()) return unknown + arguments[i];
        if (!value) {
            if (i + 1 >= arguments.size()) return name + " needs a value";
            value = arguments[++i];
        }
        if (!setter->second(*value)) return "bad value for " + name + ": " + *value;
    }
    return {};
}

// render [--paper-width 80|58] [--receipts DIR] [--json] FILE...
ParsedOptions ParseRender(std::span<const std::string> arguments) {
    ParsedOptions parsed;
    parsed.render = true;
    SimOptions& o = parsed.options;
    o.receipts = ".";
    const OptionTable all = ServerOptions(o);
    OptionTable render;
    render.flags = {{"--json", all.flags.at("--json")}};
    for (const char* name : {"--receipts", "--paper-width", "--fonts"})
        render.valued.emplace(name, all.valued.at(name));
    parsed.error =
        ReadOptions(arguments, render, "unknown option for render: ", parsed.help, &parsed.files);
    if (!parsed.error.empty()) return parsed;
    if (parsed.files.empty() && !parsed.help) {
        parsed.error = "render: no file to render";
    }
    return parsed;
}

}  // namespace

ParsedOptions ParseSimOptions(std::span<const std::string> arguments) {
    if (!arguments.empty() && arguments[0] == "render") return ParseRender(arguments.subspan(1));
    ParsedOptions parsed;
    SimOptions& o = parsed.options;
    parsed.error =
        ReadOptions(arguments, ServerOptions(o), "unknown option ", parsed.help, nullptr);
    if (!parsed.error.empty()) return parsed;
    if (o.serial && !PseudoTerminalsAvailable()) {
        parsed.error = "--serial is Linux only: this system has no pseudo-terminals";
        return parsed;
    }
    if (o.first.address[3] + o.printers - 1 > 255) {
        parsed.error = "--printers " + std::to_string(o.printers) +
                       " runs past the last octet of " + Ipv4Text(o.first.address);
    }
    return parsed;
}

commands::PrinterIdentity DefaultIdentity() {
    commands::PrinterIdentity id;
    id.firmware = "1.00";
    id.maker = "pos-printer-tools";
    id.model = "pos-printer-sim";
    id.language = "CHINA GB2312";  // Chinese mode reads GBK by default
    return id;
}

commands::PrinterIdentity IdentityOf(const SimOptions& options, int index) {
    commands::PrinterIdentity id = options.identity;
    if (id.serialNumber.empty()) {
        const netcfg::MacBytes mac = PrinterAt(options, index).mac;
        char text[16];
        std::snprintf(text, sizeof text, "SIM%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2],
                      mac[3], mac[4], mac[5]);
        id.serialNumber = text;
    } else if (index > 0) {
        id.serialNumber += "-" + std::to_string(index + 1);
    }
    return id;
}

PrinterSettings PrinterAt(const SimOptions& options, int index) {
    PrinterSettings p = options.first;
    p.address[3] = static_cast<uint8_t>(p.address[3] + index);
    p.mac[5] = static_cast<uint8_t>(p.mac[5] + index);
    return p;
}

}  // namespace sim
