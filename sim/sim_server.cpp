#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

uint32_t HostOrder(const netcfg::Ipv4Octets& a) {
    return static_cast<uint32_t>(a[0]) << 24 | a[1] << 16 | a[2] << 8 | a[3];
}

sockaddr_in SocketAddress(const netcfg::Ipv4Octets& address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(HostOrder(address));
    return sa;
}

std::string EndpointText(const sockaddr_in& sa) {
    char text[32];
    const uint32_t a = ntohl(sa.sin_addr.s_addr);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                  a & 0xFF, ntohs(sa.sin_port));
    return text;
}

uint16_t BoundPort(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

int BoundSocket(int type, const netcfg::Ipv4Octets& address, uint16_t port, int receiveBuffer,
                std::string* error) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    if (type == SOCK_STREAM) {
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        // Before listen, so accepted connections inherit it and announce a small window.
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in sa = SocketAddress(address, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
        (type == SOCK_STREAM && listen(fd, 16) != 0)) {
        *error = "cannot listen on " + EndpointText(sa) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

// A byte stream being read: a TCP connection or the pseudo-terminal.
struct SimServer::Stream {
    int fd = -1;
    int printer = 1;
    std::string link;
    uint64_t connection = 0;
    uint64_t received = 0;
    bool stalled = false;
    bool unflushed = false;  // bytes fed since the last flush
    Clock::time_point lastData{};
    Clock::time_point nextRead{};  // --slow: not before
    std::unique_ptr<StreamDecoder> decoder;
};

std::string FormatLine(const SimLine& line, bool json) {
    std::string source = line.printer > 0 ? "printer " + std::to_string(line.printer) + " " : "";
    source += line.link;
    if (line.connection > 0) source += "#" + std::to_string(line.connection);
    if (!json) return source + " " + line.text;
    nlohmann::ordered_json out;  // fields in this order
    out["printer"] = line.printer;
    out["link"] = line.link;
    out["connection"] = line.connection;
    if (line.event) {
        const Event& e = *line.event;
        out["kind"] = KindName(e.kind);
        out["title"] = e.title;
        out["detail"] = e.detail;
        out["offset"] = e.offset;
        out["length"] = e.length;
        if (e.kind == EventKind::Setting || e.kind == EventKind::Unknown)
            out["bytes"] = HexBytes(e.frame);
    }
    out["line"] = line.text;
    // Printer text may hold any bytes: what is not UTF-8 is shown as U+FFFD, never thrown.
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

SimServer::SimServer(SimOptions options, LineSink sink)
    : options_(std::move(options)), sink_(std::move(sink)) {
    for (int i = 0; i < options_.printers; ++i) printers_.push_back(PrinterAt(options_, i));
    listeners_.assign(printers_.size(), -1);
    tcpPorts_.assign(printers_.size(), 0);
}

SimServer::~SimServer() {
    for (auto& s : streams_) close(s->fd);
    for (const int fd : listeners_) {
        if (fd >= 0) close(fd);
    }
    for (const int fd : {udp_, wake_[0], wake_[1], ptySlave_}) {
        if (fd >= 0) close(fd);
    }
}

bool SimServer::Start(std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (options_.tcpPort) {
        for (std::size_t i = 0; i < printers_.size(); ++i) {
            listeners_[i] = BoundSocket(SOCK_STREAM, printers_[i].address, *options_.tcpPort,
                                        options_.receiveBuffer, error);
            if (listeners_[i] < 0) return false;
            tcpPorts_[i] = BoundPort(listeners_[i]);
        }
    }
    if (options_.udpPort) {
        udp_ = BoundSocket(SOCK_DGRAM, options_.listen, *options_.udpPort, 0, error);
        if (udp_ < 0) return false;
        udpPort_ = BoundPort(udp_);
    }
    if (options_.serial) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0) {
            *error = std::string("pseudo-terminal: ") + std::strerror(errno);
            if (master >= 0) close(master);
            return false;
        }
        // The slave stays open here, so the master never reads a hang-up between the tools'
        // open/close cycles; raw, so every byte arrives as sent.
        ptySlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (ptySlave_ < 0 || tcgetattr(ptySlave_, &tio) != 0) {
            *error = std::string("pseudo-terminal ") + name + ": " + std::strerror(errno);
            close(master);
            return false;
        }
        cfmakeraw(&tio);
        tcsetattr(ptySlave_, TCSANOW, &tio);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        serialPath_ = name;
        auto stream = std::make_unique<Stream>();
        stream->fd = master;
        stream->link = "serial";
        Stream* raw = stream.get();
        stream->decoder = std::make_unique<StreamDecoder>(
            [this, raw](Event&& e) { OnEvent(raw->printer, raw->link, 0, std::move(e)); });
        streams_.push_back(std::move(stream));
    }
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        const PrinterSettings& p = printers_[i];
        std::string text = "MAC " + MacText(p.mac) + ", address " + Ipv4Text(p.address);
        if (listeners_[i] >= 0) text += ", listening on TCP port " + std::to_string(tcpPorts_[i]);
        Say(static_cast<int>(i) + 1, "sim", 0, text);
    }
    if (udp_ >= 0) {
        Say(0, "sim", 0,
            "discovery answered on " + Ipv4Text(options_.listen) + ":" + std::to_string(udpPort_) +
                (options_.noReply ? " (silent: --no-reply)"
                                  : ", replies to port " + std::to_string(options_.replyPort)));
    }
    if (!serialPath_.empty()) Say(1, "sim", 0, "serial port " + serialPath_);
    return true;
}

void SimServer::Stop() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wake_[1], &byte, 1);
}

uint16_t SimServer::TcpPort(int printer) const {
    return printer >= 1 && printer <= static_cast<int>(tcpPorts_.size()) ? tcpPorts_[printer - 1]
                                                                         : 0;
}

uint16_t SimServer::UdpPort() const {
    return udpPort_;
}

PrinterSettings SimServer::Printer(int printer) const {
    std::lock_guard lock(printersMutex_);
    return printers_.at(static_cast<std::size_t>(printer - 1));
}

void SimServer::Say(int printer, const std::string& link, uint64_t connection,
                    const std::string& text) {
    if (sink_) sink_(SimLine{printer, link, connection, text, std::nullopt});
}

void SimServer::OnEvent(int printer, const std::string& link, uint64_t connection, Event&& event) {
    const std::string text = Describe(event);
    bool changed = false;
    PrinterSettings now;
    {
        std::lock_guard lock(printersMutex_);
        PrinterSettings& p = printers_[static_cast<std::size_t>(printer - 1)];
        changed = ApplySettingFrame(p, event);
        now = p;
    }
    if (sink_) sink_(SimLine{printer, link, connection, text, std::move(event)});
    if (changed) {
        Say(printer, link, connection,
            "printer now: MAC " + MacText(now.mac) + ", address " + Ipv4Text(now.address) +
                ", mask " + Ipv4Text(now.mask) + ", gateway " + Ipv4Text(now.gateway) + ", DHCP " +
                (now.dhcp ? "on" : "off"));
    }
}

Clock::time_point SimServer::NextWake() const {
    const Clock::time_point now = Clock::now();
    Clock::time_point wake = Clock::time_point::max();
    for (const auto& s : streams_) {
        if (s->unflushed) wake = std::min(wake, s->lastData + kIdleFlush);
        // A stream whose pause is over is polled for its bytes: no wake-up needed for it.
        if (options_.slowBytesPerSecond > 0 && !s->stalled && s->nextRead > now)
            wake = std::min(wake, s->nextRead);
    }
    if (acceptPausedUntil_ > now) wake = std::min(wake, acceptPausedUntil_);
    return wake;
}

void SimServer::Run() {
    std::vector<pollfd> fds;
    std::vector<int> roles;  // -1 wake, -2 udp, 0..n-1 listener of printer, 100+k stream k
    for (;;) {
        fds.clear();
        roles.clear();
        fds.push_back({wake_[0], POLLIN, 0});
        roles.push_back(-1);
        if (udp_ >= 0) {
            fds.push_back({udp_, POLLIN, 0});
            roles.push_back(-2);
        }
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (listeners_[i] < 0 || Clock::now() < acceptPausedUntil_) continue;
            fds.push_back({listeners_[i], POLLIN, 0});
            roles.push_back(static_cast<int>(i));
        }
        const Clock::time_point now = Clock::now();
        for (std::size_t k = 0; k < streams_.size(); ++k) {
            const Stream& s = *streams_[k];
            if (s.stalled || (options_.slowBytesPerSecond > 0 && now < s.nextRead)) continue;
            fds.push_back({s.fd, POLLIN, 0});
            roles.push_back(100 + static_cast<int>(k));
        }
        const Clock::time_point wake = NextWake();
        int timeout = -1;
        if (wake != Clock::time_point::max()) {
            const auto ms =
                std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 60000));
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) break;
        bool stop = false;
        std::vector<Stream*> readable;
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            if (roles[i] == -1) {
                stop = true;
            } else if (roles[i] == -2) {
                ServeDatagram();
            } else if (roles[i] < 100) {
                Accept(roles[i]);
            } else {
                readable.push_back(streams_[static_cast<std::size_t>(roles[i] - 100)].get());
            }
        }
        for (Stream* s : readable) ReadStream(*s);
        const Clock::time_point after = Clock::now();
        for (const auto& s : streams_) {
            if (s->fd >= 0 && s->unflushed && after - s->lastData >= kIdleFlush) {
                s->decoder->Flush();
                s->unflushed = false;
            }
        }
        std::erase_if(streams_, [](const std::unique_ptr<Stream>& s) { return s->fd < 0; });
        if (stop) break;
    }
    for (auto& s : streams_) {
        if (s->fd >= 0) CloseStream(*s, s->link + " ended: simulator stopped", false);
    }
    streams_.clear();
}

void SimServer::Accept(int index) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    const int fd = accept4(listeners_[static_cast<std::size_t>(index)],
                           reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        // Out of descriptors or memory: the listener stays readable, so wait before trying again
        // instead of spinning.
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
            acceptPausedUntil_ = Clock::now() + kAcceptPause;
        return;
    }
    // Stalled connections are never read again; the oldest go when too many have piled up.
    std::size_t stalled = 0;
    for (auto it = streams_.rbegin(); it != streams_.rend(); ++it) {
        Stream& old = **it;
        if (old.fd >= 0 && old.stalled && ++stalled > kMaxStalled)
            CloseStream(old, "stalled connection dropped", false);
    }
    auto stream = std::make_unique<Stream>();
    stream->fd = fd;
    stream->printer = index + 1;
    stream->link = "tcp";
    stream->connection = ++connections_;
    stream->nextRead = Clock::now();
    Stream* raw = stream.get();
    stream->decoder = std::make_unique<StreamDecoder>([this, raw](Event&& e) {
        OnEvent(raw->printer, raw->link, raw->connection, std::move(e));
    });
    Say(raw->printer, raw->link, raw->connection, "connection from " + EndpointText(peer));
    streams_.push_back(std::move(stream));
}

void SimServer::ReadStream(Stream& s) {
    uint8_t buffer[4096];
    uint64_t limit = sizeof buffer;
    if (options_.resetAfter && s.link == "tcp")
        limit = std::min(limit, *options_.resetAfter - std::min(*options_.resetAfter, s.received));
    if (options_.stallAfter)
        limit = std::min(limit, *options_.stallAfter - std::min(*options_.stallAfter, s.received));
    if (options_.slowBytesPerSecond > 0) {
        const uint64_t chunk = std::max<uint64_t>(1, options_.slowBytesPerSecond / 50);
        limit = std::min(limit, chunk);
        s.nextRead =
            Clock::now() + std::chrono::microseconds(chunk * 1000000 / options_.slowBytesPerSecond);
    }
    ssize_t n = 0;
    if (limit > 0) {
        n = read(s.fd, buffer, limit);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (n <= 0) {
            CloseStream(s,
                        n == 0 ? "connection closed"
                               : std::string("connection read failed: ") + std::strerror(errno),
                        false);
            return;
        }
        s.received += static_cast<uint64_t>(n);
        s.lastData = Clock::now();
        s.unflushed = true;
        s.decoder->Feed(std::span<const uint8_t>(buffer, static_cast<std::size_t>(n)));
    }
    if (options_.resetAfter && s.link == "tcp" && s.received >= *options_.resetAfter) {
        CloseStream(s, "connection reset (--reset-after)", true);
    } else if (options_.stallAfter && s.received >= *options_.stallAfter && !s.stalled) {
        s.decoder->Flush();
        s.unflushed = false;
        s.stalled = true;
        Say(s.printer, s.link, s.connection,
            "stalled after " + std::to_string(s.received) + " bytes: no longer reading");
    }
}

void SimServer::CloseStream(Stream& s, const std::string& why, bool reset) {
    s.decoder->Finish();
    if (reset) {
        const linger hard{1, 0};  // close with a reset, as a printer that restarts
        setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    close(s.fd);
    s.fd = -1;
    Say(s.printer, s.link, s.connection, why + ", " + std::to_string(s.received) + " bytes in all");
}

void SimServer::ServeDatagram() {
    uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        recvfrom(udp_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    const std::span<const uint8_t> datagram(buffer, static_cast<std::size_t>(n));
    const DatagramReading reading = sim::ReadDatagram(datagram);
    std::string text = "from " + EndpointText(from) + ": " + reading.line;
    if (reading.kind == DatagramKind::DiscoveryRequest) {
        if (options_.noReply) {
            text += ", not answered (--no-reply)";
        } else {
            std::vector<PrinterSettings> now;
            {
                std::lock_guard lock(printersMutex_);
                now = printers_;
            }
            sockaddr_in to = from;
            to.sin_port = htons(options_.replyPort);
            for (const PrinterSettings& p : now) {
                const auto reply = DiscoveryReply(p);
                sendto(udp_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to);
            }
            text += ", answered by " + std::to_string(now.size()) + " printer" +
                    (now.size() == 1 ? "" : "s") + " to " + EndpointText(to);
        }
    } else if (reading.set) {
        int applied = 0;
        {
            std::lock_guard lock(printersMutex_);
            for (std::size_t i = 0; i < printers_.size() && applied == 0; ++i) {
                if (ApplyAddressSet(printers_[i], *reading.set)) applied = static_cast<int>(i) + 1;
            }
        }
        text += applied > 0 ? ", applied to printer " + std::to_string(applied)
                            : ", no printer has that MAC and identity";
    }
    Say(0, "udp", 0, text);
}

}  // namespace sim
