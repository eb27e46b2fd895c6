#include "tests/fakes/fake_usb.h"

#include <algorithm>
#include <cstdio>

namespace fakes {

class FakeUsbBackend::Handle : public printerlink::UsbDeviceHandle {
  public:
    Handle(FakeUsbBackend& backend, std::string path) : backend_(backend), path_(std::move(path)) {}
    ~Handle() override {
        std::lock_guard lock(backend_.mutex_);
        --backend_.openHandles_;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    std::string BoundDriver() override {
        std::lock_guard lock(backend_.mutex_);
        const Device* device = backend_.Find(path_);
        return device ? device->driver : std::string();
    }
    bool Claim(bool detachDriver) override {
        claimed_ = backend_.Claim(path_, detachDriver);
        return claimed_;
    }
    std::size_t BulkWrite(const uint8_t* bytes, std::size_t length, unsigned timeoutMs,
                          bool& ok) override {
        if (!claimed_) {
            ok = false;
            return 0;
        }
        return backend_.Write(path_, bytes, length, timeoutMs, ok);
    }
    std::size_t BulkRead(uint8_t* buffer, std::size_t capacity, unsigned, bool& ok) override {
        ok = claimed_;
        return claimed_ ? backend_.Read(buffer, capacity) : 0;
    }

  private:
    FakeUsbBackend& backend_;
    std::string path_;
    bool claimed_ = false;
};

printerlink::UsbDeviceInfo UsbDevice(uint16_t vendor, uint16_t product, const std::string& port) {
    char ids[32];
    std::snprintf(ids, sizeof ids, " vid_%04x&pid_%04x", vendor, product);
    return {vendor, product, "usb:" + port + ids};
}

void FakeUsbBackend::SetDevices(std::vector<Device> devices) {
    {
        std::lock_guard lock(mutex_);
        devices_ = std::move(devices);
        ++generation_;
    }
    hotplugChanged_.notify_all();
}

void FakeUsbBackend::SetHotplug(bool on) {
    std::lock_guard lock(mutex_);
    hotplug_ = on;
}

bool FakeUsbBackend::WaitForHotplug(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!hotplug_) return false;
    // A change since the last enumeration counts too, as a queued event would.
    hotplugChanged_.wait_for(lock, limit,
                             [&] { return interrupted_ || generation_ != enumerated_; });
    interrupted_ = false;
    return true;
}

void FakeUsbBackend::InterruptWait() {
    {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
    }
    hotplugChanged_.notify_all();
}

void FakeUsbBackend::ScriptPieces(std::deque<Piece> pieces) {
    std::lock_guard lock(mutex_);
    script_ = std::move(pieces);
}

std::vector<std::string> FakeUsbBackend::OpenAttempts() const {
    std::lock_guard lock(mutex_);
    return openAttempts_;
}

std::vector<FakeUsbBackend::ClaimAttempt> FakeUsbBackend::Claims() const {
    std::lock_guard lock(mutex_);
    return claims_;
}

const FakeUsbBackend::Device* FakeUsbBackend::Find(const std::string& path) const {
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const Device& d) { return d.info.path == path; });
    return it == devices_.end() ? nullptr : &*it;
}

bool FakeUsbBackend::Claim(const std::string& path, bool detachDriver) {
    std::lock_guard lock(mutex_);
    claims_.push_back({path, detachDriver});
    const Device* device = Find(path);
    if (device == nullptr || !device->claims) return false;
    return device->driver.empty() || detachDriver;
}

std::vector<FakeUsbBackend::Written> FakeUsbBackend::Pieces() const {
    std::lock_guard lock(mutex_);
    return pieces_;
}

std::vector<uint8_t> FakeUsbBackend::BytesOut() const {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> all;
    for (const Written& w : pieces_) all.insert(all.end(), w.out.begin(), w.out.end());
    return all;
}

int FakeUsbBackend::OpenHandles() const {
    std::lock_guard lock(mutex_);
    return openHandles_;
}

std::vector<printerlink::UsbDeviceInfo> FakeUsbBackend::EnumeratePresent() {
    std::lock_guard lock(mutex_);
    enumerated_ = generation_;
    std::vector<printerlink::UsbDeviceInfo> present;
    for (const Device& d : devices_) present.push_back(d.info);
    return present;
}

std::unique_ptr<printerlink::UsbDeviceHandle> FakeUsbBackend::Open(
    const printerlink::UsbDeviceInfo& device) {
    std::lock_guard lock(mutex_);
    openAttempts_.push_back(device.path);
    const Device* found = Find(device.path);
    if (found == nullptr || !found->opens) return nullptr;
    ++openHandles_;
    return std::make_unique<Handle>(*this, device.path);
}

void FakeUsbBackend::HoldWritesAfter(std::size_t pieces) {
    std::lock_guard lock(mutex_);
    holdAfter_ = pieces;
}

void FakeUsbBackend::ReleaseWrites() {
    {
        std::lock_guard lock(mutex_);
        holdAfter_.reset();
    }
    holdChanged_.notify_all();
}

int FakeUsbBackend::HeldWrites() const {
    std::lock_guard lock(mutex_);
    return heldWrites_;
}

std::size_t FakeUsbBackend::Write(const std::string& path, const uint8_t* bytes, std::size_t length,
                                  unsigned timeoutMs, bool& ok) {
    std::unique_lock lock(mutex_);
    if (holdAfter_ && pieces_.size() >= *holdAfter_) {
        ++heldWrites_;
        if (!holdChanged_.wait_for(lock, std::chrono::seconds(10), [&] { return !holdAfter_; }))
            holdAfter_.reset();  // a test that forgot to release: the rest goes on
        --heldWrites_;
    }
    Piece piece;
    if (!script_.empty()) {
        piece = script_.front();
        script_.pop_front();
    }
    std::size_t out = length;
    ok = true;
    if (piece.kind == Piece::TimeOutAfter) {
        out = std::min(piece.bytesOut, length);
        ok = false;
    } else if (piece.kind == Piece::Fail) {
        out = 0;
        ok = false;
    }
    pieces_.push_back({path, length, timeoutMs, {bytes, bytes + out}});
    return out;
}

void FakeUsbBackend::QueueAnswers(std::deque<std::vector<uint8_t>> answers) {
    std::lock_guard lock(mutex_);
    answers_ = std::move(answers);
}

int FakeUsbBackend::Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

std::size_t FakeUsbBackend::Read(uint8_t* buffer, std::size_t capacity) {
    std::lock_guard lock(mutex_);
    ++reads_;
    if (answers_.empty()) return 0;
    const std::vector<uint8_t> answer = std::move(answers_.front());
    answers_.pop_front();
    const std::size_t n = std::min(capacity, answer.size());
    std::copy_n(answer.begin(), n, buffer);
    return n;
}

}  // namespace fakes
