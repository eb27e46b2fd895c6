#include "link/usb_printer_link.h"

#include <algorithm>

namespace printerlink {
namespace {

constexpr std::array<const char*, 7> kTessaryTokens{"pid_5011", "pid_0055", "pid_0200", "pid_2016",
                                                    "pid_5743", "pid_0500", "pid_0600"};
constexpr std::array<const char*, 7> kBrindelTokens{"pid_5011", "pid_0055", "pid_0200", "pid_2016",
                                                    "pid_5743", "pid_0500", "pid_2021"};
constexpr std::array<uint16_t, 7> kTessaryIds{0x5011, 0x0055, 0x0200, 0x2016,
                                              0x5743, 0x0500, 0x0600};
constexpr std::array<uint16_t, 7> kBrindelIds{0x5011, 0x0055, 0x0200, 0x2016,
                                              0x5743, 0x0500, 0x2021};

constexpr std::size_t kWriteAllPiece = 64;
constexpr unsigned kWriteAllTimeoutMs = 2000;

// The value of the first `prefix` in `path` that four lower-case hexadecimal digits follow.
std::optional<uint16_t> IdAfter(std::string_view path, std::string_view prefix) {
    for (std::size_t at = path.find(prefix); at != std::string_view::npos;
         at = path.find(prefix, at + 1)) {
        const std::string_view digits = path.substr(at + prefix.size(), 4);
        unsigned value = 0;
        std::size_t taken = 0;
        for (const char c : digits) {
            if (c >= '0' && c <= '9') {
                value = value * 16 + static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value = value * 16 + static_cast<unsigned>(c - 'a' + 10);
            } else {
                break;
            }
            ++taken;
        }
        if (taken == 4) return static_cast<uint16_t>(value);
    }
    return std::nullopt;
}

}  // namespace

std::optional<UsbDeviceInfo> DeviceFromInterfacePath(std::string_view path) {
    if (path.size() >= kMaxDevicePath) return std::nullopt;
    const std::optional<uint16_t> product = IdAfter(path, "pid_");
    if (!product) return std::nullopt;
    return UsbDeviceInfo{IdAfter(path, "vid_").value_or(0), *product, std::string(path)};
}

const std::array<const char*, 7>& ProductIdTokens(UsbProgram program) {
    return program == UsbProgram::Tessary ? kTessaryTokens : kBrindelTokens;
}

const std::array<uint16_t, 7>& ProductIds(UsbProgram program) {
    return program == UsbProgram::Tessary ? kTessaryIds : kBrindelIds;
}

UsbPrinterLink::UsbPrinterLink(std::shared_ptr<UsbBackend> backend, UsbProgram program)
    : backend_(std::move(backend)), program_(program) {}

UsbPrinterLink::~UsbPrinterLink() {
    Close();
}

int UsbPrinterLink::Open() {
    return Find(true);
}

int UsbPrinterLink::Probe() {
    return Find(false);
}

int UsbPrinterLink::Find(bool claim) {
    Close();  // an open link is not leaked when it is opened again
    if (!backend_) return 0;
    const auto& ids = ProductIds(program_);
    for (const UsbDeviceInfo& device : backend_->EnumeratePresent()) {
        if (std::find(ids.begin(), ids.end(), device.productId) == ids.end()) continue;
        std::unique_ptr<UsbDeviceHandle> handle = backend_->Open(device);
        if (!handle) continue;  // the probe failed: try the next device
        const std::string driver = handle->BoundDriver();
        const bool printerDriver = driver == kKernelPrinterDriver;
        if (!driver.empty() && !printerDriver) continue;  // another kind of device
        if (claim && !handle->Claim(printerDriver)) continue;
        path_ = device.path;
        if (claim) handle_ = std::move(handle);
        return 1;
    }
    return 0;
}

int UsbPrinterLink::Write(const uint8_t* bytes, std::size_t length, std::size_t& bytesWritten,
                          unsigned timeoutMs) {
    bytesWritten = 0;
    if (!handle_ || (bytes == nullptr && length > 0)) return 0;
    if (length == 0) return 1;
    bool ok = false;
    const std::size_t n = handle_->BulkWrite(bytes, length, timeoutMs, ok);
    bytesWritten = std::min(n, length);
    return ok ? 1 : 0;
}

std::size_t UsbPrinterLink::WriteAll(const uint8_t* bytes, std::size_t length) {
    std::size_t total = 0;
    while (total < length) {
        const std::size_t piece = std::min(length - total, kWriteAllPiece);
        std::size_t n = 0;
        if (Write(bytes + total, piece, n, kWriteAllTimeoutMs) == 0 || n == 0) return 0;
        total += n;
    }
    return total;
}

std::size_t UsbPrinterLink::Read(uint8_t* buffer, std::size_t capacity, unsigned timeoutMs,
                                 bool& ok) {
    ok = false;
    if (!handle_ || capacity == 0) return 0;
    return handle_->BulkRead(buffer, capacity, timeoutMs, ok);
}

void UsbPrinterLink::Close() {
    handle_.reset();
    path_.clear();
}

bool UsbPrinterLink::IsOpen() const {
    return handle_ != nullptr;
}

const std::string& UsbPrinterLink::DevicePath() const {
    return path_;
}

}  // namespace printerlink
