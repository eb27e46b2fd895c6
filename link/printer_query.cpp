#include "link/printer_query.h"

#include "link/device_io.h"

namespace printerlink {
namespace {

using Clock = std::chrono::steady_clock;

QueryAnswer Failed(std::string error) {
    return {QueryAnswer::Status::Failed, {}, std::move(error)};
}

QueryAnswer Answer(const uint8_t* bytes, std::size_t count) {
    if (count == 0) return {QueryAnswer::Status::NoAnswer, {}, {}};
    return {QueryAnswer::Status::Answered, {bytes, bytes + count}, {}};
}

class TcpQuery final : public PrinterQuery {
  public:
    TcpQuery(TcpConnection connection, TcpLimits limits)
        : connection_(std::move(connection)), limits_(std::move(limits)) {}
    // A printer that answered is reading: its connection ends as a job's does. One that did not
    // may have stopped reading; its wait would be the stall time.
    ~TcpQuery() override {
        if (answered_) (void)connection_.Finish();
    }
    TcpQuery(const TcpQuery&) = delete;
    TcpQuery& operator=(const TcpQuery&) = delete;

    QueryAnswer Ask(std::span<const uint8_t> request, std::size_t capacity,
                    std::chrono::milliseconds timeout) override {
        std::vector<uint8_t> buffer(std::max<std::size_t>(capacity, 64));
        // Whatever the printer sent unasked is not the answer to this request.
        while (connection_.Receive(buffer.data(), buffer.size(), std::chrono::milliseconds(0)) >
               0) {
        }
        if (connection_.SendAll(request.data(), request.size(), request.size() + 1)) {
            const std::size_t n = connection_.Receive(buffer.data(), capacity, timeout);
            answered_ = n > 0;
            if (connection_.Result().Ok()) return Answer(buffer.data(), n);
        }
        return Failed(FaultText(connection_.Result(), limits_));
    }

  private:
    TcpConnection connection_;
    TcpLimits limits_;
    bool answered_ = false;  // the last question got an answer
};

// While a cancel may come, reads wait in pieces this long.
constexpr std::chrono::milliseconds kCancelCheck{20};

class SerialQuery final : public PrinterQuery {
  public:
    SerialQuery(DeviceHandle port, std::function<bool()> cancelled)
        : port_(port), cancelled_(std::move(cancelled)) {}
    ~SerialQuery() override {
        DiscardSerialOutput(port_);  // the close must not wait for a held line
        CloseSerial(port_);
    }
    SerialQuery(const SerialQuery&) = delete;
    SerialQuery& operator=(const SerialQuery&) = delete;

    QueryAnswer Ask(std::span<const uint8_t> request, std::size_t capacity,
                    std::chrono::milliseconds timeout) override {
        DiscardSerialInput(port_);
        const auto writeDeadline =
            Clock::now() + SerialWriteTimeout(SerialOutputBaud(port_), request.size());
        if (WriteSerialUntil(port_, request.data(), request.size(), writeDeadline, cancelled_) !=
            SerialWrite::Done)
            return Failed("the serial port did not take the request in time");
        std::vector<uint8_t> buffer(std::max<std::size_t>(capacity, 1));
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const auto until =
                cancelled_ ? std::min(deadline, Clock::now() + kCancelCheck) : deadline;
            const long n = ReadSerialUntil(port_, buffer.data(), capacity, until);
            if (n < 0)
                return Failed("reading the serial port failed: " +
                              DeviceErrorText(LastDeviceError()));
            if (n > 0 || until >= deadline)
                return Answer(buffer.data(), static_cast<std::size_t>(n));
            if (cancelled_()) return Failed("cancelled");
        }
    }

  private:
    DeviceHandle port_;
    std::function<bool()> cancelled_;
};

class UsbQuery final : public PrinterQuery {
  public:
    UsbQuery(std::unique_ptr<UsbPrinterLink> link, unsigned writeTimeoutMs)
        : link_(std::move(link)), writeTimeoutMs_(writeTimeoutMs) {}

    QueryAnswer Ask(std::span<const uint8_t> request, std::size_t capacity,
                    std::chrono::milliseconds timeout) override {
        std::size_t written = 0;
        if (link_->Write(request.data(), request.size(), written, writeTimeoutMs_) == 0 ||
            written < request.size())
            return Failed("USB write to " + link_->DevicePath() + " timed out or failed");
        std::vector<uint8_t> buffer(std::max<std::size_t>(capacity, 1));
        bool ok = false;
        const auto ms = static_cast<unsigned>(std::max<long long>(1, timeout.count()));
        const std::size_t n = link_->Read(buffer.data(), capacity, ms, ok);
        if (!ok && n == 0)
            return Failed("the USB printer at " + link_->DevicePath() +
                          " has no way to answer (no bulk IN endpoint) or the read failed");
        return Answer(buffer.data(), n);
    }

  private:
    std::unique_ptr<UsbPrinterLink> link_;
    unsigned writeTimeoutMs_;
};

}  // namespace

std::unique_ptr<PrinterQuery> OpenTcpQuery(const std::array<uint8_t, 4>& ip, uint16_t port,
                                           const TcpLimits& limits, TcpResult& failure) {
    TcpConnection connection = TcpConnection::Connect(ip, port, limits);
    if (!connection.IsOpen()) {
        failure = connection.Result();
        return nullptr;
    }
    return std::make_unique<TcpQuery>(std::move(connection), limits);
}

std::unique_ptr<PrinterQuery> OpenSerialQuery(const std::string& name, unsigned baud,
                                              std::string& error, std::function<bool()> cancelled) {
    const DeviceHandle port = OpenSerialExclusive(name);
    if (port == kNoDevice) {
        error = DeviceErrorText(LastDeviceError());
        return nullptr;
    }
    MakeSerialRaw(port);
    ApplySerialLine(port, baud);
    return std::make_unique<SerialQuery>(port, std::move(cancelled));
}

std::unique_ptr<PrinterQuery> OpenUsbQuery(std::shared_ptr<UsbBackend> backend, UsbProgram program,
                                           unsigned writeTimeoutMs, std::string& error) {
    auto link = std::make_unique<UsbPrinterLink>(std::move(backend), program);
    if (!link->Open()) {
        error = "no USB printer with a listed product id could be opened";
        return nullptr;
    }
    return std::make_unique<UsbQuery>(std::move(link), writeTimeoutMs);
}

}  // namespace printerlink
