#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "cli/firmware.h"
#include "cli/fleet.h"
#include "cli/network.h"
#include "cli/send_names.h"
#include "cli/status.h"
#include "link/device_io.h"
#include "link/usb_printer_link.h"
#include "netcfg/address_set.h"
#include "netcfg/local_addresses.h"
#include "setuptool/test_text.h"

namespace cli {
namespace {

constexpr const char* kProgram = "tessary-cli";

// Everything the subcommands read from the command line.
struct Options {
    bool dryRun = false;
    std::string to = "usb";
    // print
    std::string text;
    bool textGiven = false;
    std::string file;
    // send
    bool list = false;
    std::string name;
    std::vector<std::string> values;
    // discover, set-address
    double seconds = 2.0;
    double findSeconds = 3.0;
    bool json = false;
    std::string broadcast;  // --broadcast, by default the environment's
    uint16_t replyPort = netcfg::kReplyPort;
    std::string mac, ip, mask, gateway, newMac;
    bool dhcp = false;
    // status: --json as for discover
    // fleet: --seconds (findSeconds), --json, --broadcast, --reply-port as above
    std::string plan;
    double restartTimeout = 20.0;
    unsigned jobs = 8;
    uint16_t tcpPort = kDefaultTcpPort;
    std::vector<std::string> spares;
    // firmware
    bool gb2312 = false;
    std::string image;
};

class Runner {
  public:
    Runner(std::ostream& out, std::ostream& err, const CliEnvironment& environment)
        : out_(out), err_(err), env_(environment) {}

    int Usage(const std::string& text) {
        err_ << kProgram << ": " << text << "\nRun with --help for more information.\n";
        return kUsage;
    }
    int Failed(const std::string& text) {
        err_ << kProgram << ": " << text << '\n';
        return kFailed;
    }

    // The USB backend is only made for a USB port: libusb is not touched otherwise.
    LinkSettings Link(bool usb) {
        LinkSettings link;
        if (usb) link.usb = Usb();
        link.connectTimeout = env_.connectTimeout;
        link.stall = env_.netPacing.stall;
        link.usbPieceTimeoutMs = env_.usbPieceTimeoutMs;
        return link;
    }

    std::shared_ptr<printerlink::UsbBackend> Usb() {
        if (!usb_ && env_.usb) usb_ = env_.usb();
        return usb_;
    }

    // Sends the commands one after another through the port, each waited for; or prints them.
    int SendAll(const Options& o, const std::vector<std::vector<uint8_t>>& commands) {
        const ParsedPort port = ParsePortText(o.to, env_.lptPath);
        if (!port.target) return Usage(port.error);
        if (o.dryRun) {
            for (const auto& command : commands) out_ << HexBytes(command) << '\n';
            return kDone;
        }
        const LinkSettings link = Link(port.target->kind == PortTarget::Kind::Usb);
        const WriteResult result = WriteCommands(*port.target, commands, link);
        return result.ok ? kDone : Failed(result.error);
    }

    int Status(const Options& o) {
        const ParsedPort port = ParsePortText(o.to, env_.lptPath);
        if (!port.target) return Usage(port.error);
        StatusJob job{*port.target, o.json, o.dryRun, env_.statusTimeout};
        return RunStatus(job, Link(port.target->kind == PortTarget::Kind::Usb), out_, err_);
    }

    int Ports() {
        for (const std::string& name : printerlink::ListFreeSerialPorts(env_.serialProbe))
            out_ << "serial:" << name << '\n';
        if (const auto usb = Usb()) {
            const auto listed = [](printerlink::UsbProgram program, uint16_t id) {
                const auto& ids = printerlink::ProductIds(program);
                return std::find(ids.begin(), ids.end(), id) != ids.end();
            };
            for (const printerlink::UsbDeviceInfo& device : usb->EnumeratePresent()) {
                const bool tessary = listed(printerlink::UsbProgram::Tessary, device.productId);
                const bool brindel = listed(printerlink::UsbProgram::Brindel, device.productId);
                if (!tessary && !brindel) continue;
                out_ << "usb " << device.path << " ("
                     << (tessary && brindel ? "Tessary and Brindel"
                         : tessary          ? "Tessary only"
                                            : "Brindel only")
                     << ")\n";
            }
        }
        const printerlink::DeviceHandle lpt = printerlink::OpenParallelPort(env_.lptPath);
        if (lpt != printerlink::kNoDevice) {
            printerlink::ClosePort(lpt);
            out_ << "lpt:" << env_.lptPath << '\n';
        }
        return kDone;
    }

    int Print(const Options& o) {
        std::string text = o.text;
        if (!o.file.empty()) {
            std::string read;
            if (!ReadTextFile(o.file, read)) return kFailed;
            if (read.empty()) return Failed(o.file + " is empty: nothing to print");
            text = std::move(read);
        } else if (!o.textGiven) {
            text = setuptool::kWelcomeText;  // the test page as the main window starts with it
        } else if (text.empty()) {
            return Usage("the text is empty: give TEXT or --file F");
        }
        return SendAll(o, Commands(setuptool::TestPrintCommands(text)));
    }

    int Send(const Options& o) {
        if (o.list) {
            out_ << SendListText();
            return kDone;
        }
        if (o.name.empty()) return Usage("send needs a NAME (send --list shows them)");
        BuildContext context;
        context.nowSeconds = env_.now ? env_.now() : static_cast<int64_t>(std::time(nullptr));
        BuiltCommand built = BuildSendCommand(o.name, o.values, context);
        if (!built.error.empty()) return Usage(built.error);
        return SendAll(o, {std::move(built.bytes)});
    }

    int Discover(const Options& o) {
        DiscoveryEndpoints endpoints;
        if (const int status = Endpoints(o, endpoints)) return status;
        const DiscoveryResult result = cli::Discover(endpoints, Millis(o.seconds));
        if (!result.error.empty()) return Failed(result.error);
        if (o.json) {
            out_ << DevicesJson(result.devices) << '\n';
        } else {
            for (const netcfg::DeviceEntry& device : result.devices)
                out_ << DeviceLine(device) << '\n';
        }
        return kDone;
    }

    int SetAddress(const Options& o) {
        const auto mac = ParseMac(o.mac);
        if (!mac) return Usage("bad --mac '" + o.mac + "': write it as XX:XX:XX:XX:XX:XX");
        const auto ip = ParseIpv4(o.ip);
        if (!ip) return Usage("bad --ip '" + o.ip + "': write it as 192.168.0.199");
        std::optional<Ipv4> mask, gateway;
        std::optional<Mac> newMac;
        if (!o.mask.empty() && !(mask = ParseIpv4(o.mask)))
            return Usage("bad --mask '" + o.mask + "': write it as 255.255.255.0");
        if (!o.gateway.empty() && !(gateway = ParseIpv4(o.gateway)))
            return Usage("bad --gateway '" + o.gateway + "': write it as 192.168.0.1");
        if (!o.newMac.empty() && !(newMac = ParseMac(o.newMac)))
            return Usage("bad --new-mac '" + o.newMac + "': write it as XX:XX:XX:XX:XX:XX");
        DiscoveryEndpoints endpoints;
        if (const int status = Endpoints(o, endpoints)) return status;

        const auto matches = [&](const netcfg::DeviceEntry& d) { return d.Mac() == *mac; };
        const DiscoveryResult result =
            cli::Discover(endpoints, Millis(o.findSeconds), [&](const auto& devices) {
                return std::any_of(devices.begin(), devices.end(), matches);
            });
        if (!result.error.empty()) return Failed(result.error);
        const auto found = std::find_if(result.devices.begin(), result.devices.end(), matches);
        if (found == result.devices.end())
            return Failed("no printer with MAC " + FormatMac(*mac) + " answered within " +
                          SecondsText(Millis(o.findSeconds)));
        // Mask, gateway and MAC stay as the printer replied unless given.
        const auto packet = netcfg::AddressSetPacket(
            *ip, mask.value_or(found->Mask()), newMac.value_or(found->Mac()),
            gateway.value_or(found->Gateway()), *found, o.dhcp);
        if (o.dryRun) {
            out_ << HexBytes(packet) << '\n';
            return kDone;
        }
        const std::string error = BroadcastPacket(
            endpoints.broadcast, std::vector<uint8_t>(packet.begin(), packet.end()));
        if (!error.empty()) return Failed(error);
        return kDone;
    }

    int Fleet(const Options& o) {
        if (o.dryRun && o.json) return Usage("--dry-run prints hex lines: leave out --json");
        FleetJob job;
        if (!ReadTextFile(o.plan, job.planText)) return kUsage;  // nothing was sent
        for (const std::string& text : o.spares) {
            const auto spare = ParseIpv4(text);
            if (!spare) return Usage("bad --spare '" + text + "': write it as 192.168.1.250");
            job.order.spares.push_back(*spare);
        }
        // This PC's own addresses are never a printer's parking place.
        for (const netcfg::InterfaceAddress& a : netcfg::LocalInterfaces())
            job.order.avoid.push_back(a.address);
        if (const int status = Endpoints(o, job.endpoints)) return status;
        job.discoverFor = Millis(o.findSeconds);
        job.restartTimeout = Millis(o.restartTimeout);
        job.verifyInterval = env_.verifyInterval;
        job.tcpPort = o.tcpPort;
        job.jobs = o.jobs;
        job.json = o.json;
        job.dryRun = o.dryRun;
        job.link = Link(false);
        job.build.nowSeconds = env_.now ? env_.now() : static_cast<int64_t>(std::time(nullptr));
        return RunFleet(job, out_, err_);
    }

    int Firmware(const Options& o) {
        FirmwareJob job;
        job.file = o.image;
        job.characterData = o.gb2312;
        job.dryRun = o.dryRun;
        const ParsedPort port = ParsePortText(o.to, env_.lptPath);
        if (!port.target) return Usage(port.error);
        if (port.target->kind == PortTarget::Kind::Net) {
            if (o.gb2312) return Usage("--gb2312 goes over USB only");
            job.net = true;
            job.ip = port.target->ip;
            job.port = port.target->port;
        } else if (port.target->kind != PortTarget::Kind::Usb) {
            return Usage("firmware goes to usb or net:IP[:PORT] only");
        }
        FirmwareIo io{out_, err_, env_.stderrIsTerminal, {}, env_.netPacing};
        if (!job.net && !job.dryRun) io.link = Link(true);
        return RunFirmware(job, io);
    }

  private:
    static std::chrono::milliseconds Millis(double seconds) {
        return std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000.0)));
    }

    int Endpoints(const Options& o, DiscoveryEndpoints& endpoints) {
        const auto broadcast = ParseBroadcast(o.broadcast);
        if (!broadcast) return Usage("bad --broadcast '" + o.broadcast + "': write ADDR[:PORT]");
        endpoints.broadcast = *broadcast;
        endpoints.replyPort = o.replyPort;
        endpoints.interval = env_.discoveryInterval;
        return kDone;
    }

    bool ReadTextFile(const std::string& path, std::string& text) {
        if (path == "-") {
            if (env_.in == nullptr) return Failed("no standard input") == kDone;
            text.assign(std::istreambuf_iterator<char>(*env_.in), {});
            return true;
        }
        errno = 0;
        std::ifstream file(path, std::ios::binary);
        if (!file) return Failed("cannot open " + path + ": " + std::strerror(errno)) == kDone;
        text.assign(std::istreambuf_iterator<char>(file), {});
        if (file.bad()) return Failed("reading " + path + " failed") == kDone;
        return true;
    }

    static std::vector<std::vector<uint8_t>> Commands(const std::vector<std::string>& texts) {
        std::vector<std::vector<uint8_t>> out;
        for (const std::string& t : texts) out.emplace_back(t.begin(), t.end());
        return out;
    }

    std::ostream& out_;
    std::ostream& err_;
    const CliEnvironment& env_;
    std::shared_ptr<printerlink::UsbBackend> usb_;
};

void AddDryRun(CLI::App* command, Options& o) {
    command->add_flag("--dry-run", o.dryRun,
                      "print the exact bytes as hex lines instead of sending them");
}

void AddPort(CLI::App* command, Options& o, const char* what) {
    command->add_option("--to", o.to, what)->type_name("PORT")->capture_default_str();
}

void AddEndpoints(CLI::App* command, Options& o) {
    command->add_option("--broadcast", o.broadcast, "where requests and packets go")
        ->type_name("ADDR[:PORT]")
        ->capture_default_str();
    command->add_option("--reply-port", o.replyPort, "the UDP port replies come back to")
        ->type_name("N")
        ->capture_default_str();
}

}  // namespace

int RunCli(std::span<const std::string> arguments, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment) {
    Options o;
    o.broadcast = environment.broadcast;
    CLI::App app{
        "Scripted set-up of POS receipt printers: the commands of Tessary and the firmware "
        "download of Brindel.\nExit status: 0 done, 1 failed (port, printer, file), 2 usage; "
        "status: 3 answered but not ready.",
        kProgram};
    app.require_subcommand(1);
    // The same options everywhere: on Windows too a "/path" is an argument, not an option.
    app.allow_windows_style_options(false);
    AddDryRun(&app, o);
    AddEndpoints(&app, o);  // also before the subcommand, for discover and set-address
    constexpr const char* kPortHelp =
        "PORT: usb, lpt[:PATH], net:IP[:PORT] or serial:DEVICE[@BAUD]";

    CLI::App* ports = app.add_subcommand(
        "ports",
        "list the serial ports that can be opened, the USB printers with a listed product id and "
        "the parallel port");

    CLI::App* discover = app.add_subcommand(
        "discover", "broadcast discovery requests and print each printer that answers once");
    discover->add_option("--seconds", o.seconds, "how long to broadcast and listen")
        ->type_name("S")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 600.0));
    discover->add_flag("--json", o.json, "print one JSON array");
    AddEndpoints(discover, o);

    CLI::App* print = app.add_subcommand(
        "print",
        "print a text as the test page does: GBK, CR LF, at most 2047 bytes a command "
        "(without TEXT: the test page's welcome text)");
    AddPort(print, o, kPortHelp);
    CLI::Option* text = print->add_option("TEXT", o.text, "the text (UTF-8)")->type_name("");
    print->add_option("--file", o.file, "print this UTF-8 file instead (- for standard input)")
        ->type_name("F")
        ->excludes(text);
    AddDryRun(print, o);

    CLI::App* send = app.add_subcommand(
        "send", "send a setting frame or one-click command by name (send --list shows them)");
    AddPort(send, o, kPortHelp);
    send->add_flag("--list", o.list, "list every NAME with its values and their meanings");
    send->add_option("NAME", o.name, "what to send")->type_name("");
    send->add_option("VALUE", o.values, "its values")->type_name("");
    AddDryRun(send, o);

    CLI::App* setAddress = app.add_subcommand(
        "set-address",
        "find the printer with a MAC by discovery, then broadcast the address-set packet for it");
    setAddress->add_option("--mac", o.mac, "the printer's MAC")->type_name("MAC")->required();
    setAddress->add_option("--ip", o.ip, "its new IPv4 address")->type_name("IP")->required();
    setAddress->add_option("--mask", o.mask, "its new mask (default: as it replied)")
        ->type_name("M");
    setAddress->add_option("--gateway", o.gateway, "its new gateway (default: as it replied)")
        ->type_name("G");
    setAddress->add_option("--new-mac", o.newMac, "its new MAC (default: as it replied)")
        ->type_name("MAC");
    setAddress->add_flag("--dhcp", o.dhcp, "switch the printer to DHCP");
    setAddress->add_option("--seconds", o.findSeconds, "how long to look for the printer at most")
        ->type_name("S")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 600.0));
    AddEndpoints(setAddress, o);
    setAddress->add_flag("--dry-run", o.dryRun,
                         "print the address-set packet as a hex line instead of broadcasting it "
                         "(the discovery still runs)");

    CLI::App* status = app.add_subcommand(
        "status",
        "ask the printer whether it is ready (DLE EOT 1-4): online, cover, paper, errors, drawer; "
        "exit status 0 ready, 3 answered but not ready, 1 no answer or port failure");
    AddPort(status, o, "usb, net:IP[:PORT] or serial:DEVICE[@BAUD]");
    status->add_flag("--json", o.json, "print one JSON object, with the raw answer bytes");
    AddDryRun(status, o);

    CLI::App* fleet = app.add_subcommand(
        "fleet",
        "set up every printer of a plan: find each by its MAC, move it to its address with the "
        "address-set packet, verify it answers there, then send its settings over TCP; exit "
        "status 0 every printer moved or unchanged, 1 otherwise, 2 a bad plan");
    fleet->add_option("PLAN", o.plan, "the plan, a CSV file (- for standard input)")
        ->type_name("")
        ->required();
    fleet
        ->add_option("--seconds", o.findSeconds,
                     "how long the discovery round asks for the printers")
        ->type_name("S")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 600.0));
    fleet
        ->add_option("--restart-timeout", o.restartTimeout,
                     "how long a moved printer has to answer at its new address")
        ->type_name("S")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 3600.0));
    fleet->add_option("--jobs", o.jobs, "printers sent their settings at once")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1u, 256u));
    fleet->add_option("--port", o.tcpPort, "the printers' TCP port")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1, 65535));
    fleet
        ->add_option("--spare", o.spares,
                     "an address to park a printer on while printers trade addresses (repeatable; "
                     "default: the highest free addresses of its subnet)")
        ->type_name("IP");
    fleet->add_flag("--json", o.json, "print one JSON array of the printers' results");
    AddEndpoints(fleet, o);
    fleet->add_flag("--dry-run", o.dryRun,
                    "discover, then print the packets and frames as hex lines instead of sending "
                    "them");
    fleet->footer(
        "PLAN is CSV with a header row; mac, ip, mask and gateway are required, any other column "
        "is a send NAME that takes one value (empty: left as it is), and test = yes prints the "
        "test page at the end. Lines starting with # and empty lines are skipped. For example:\n"
        "\n"
        "  mac,ip,mask,gateway,cutter,code-page,test\n"
        "  00:11:22:33:44:01,192.168.1.51,255.255.255.0,192.168.1.1,on,25,yes\n"
        "  00:11:22:33:44:02,192.168.1.52,255.255.255.0,192.168.1.1,,,\n"
        "\n"
        "The whole plan is checked first: a bad MAC or address, a MAC or address used twice, a "
        "subnet's network or broadcast address, a gateway outside the subnet, an unknown column "
        "or value: every error is listed with its line, nothing is sent, status 2. A printer "
        "already at its address, mask and gateway is unchanged (no packet); one whose address "
        "another printer holds that stays there is refused; one not found is missing. Printers "
        "that trade addresses are moved one after the other, one of them parked on a spare "
        "address meanwhile, so no two printers answer at one address. Results, one line per "
        "printer: moved, unchanged, missing, refused, failed.");

    CLI::App* firmware = app.add_subcommand(
        "firmware", "download an image file to a printer over USB or the network");
    AddPort(firmware, o, "usb or net:IP[:PORT]");
    firmware->add_flag("--gb2312", o.gb2312, "send FILE as character data (USB only)");
    firmware->add_option("FILE", o.image, "the image file")->type_name("")->required();
    AddDryRun(firmware, o);

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return status == 0 ? kDone : kUsage;
    }
    o.textGiven = text->count() > 0;

    Runner runner(out, err, environment);
    if (ports->parsed()) return runner.Ports();
    if (discover->parsed()) return runner.Discover(o);
    if (print->parsed()) return runner.Print(o);
    if (send->parsed()) return runner.Send(o);
    if (setAddress->parsed()) return runner.SetAddress(o);
    if (status->parsed()) return runner.Status(o);
    if (fleet->parsed()) return runner.Fleet(o);
    if (firmware->parsed()) return runner.Firmware(o);
    return kUsage;
}

}  // namespace cli
