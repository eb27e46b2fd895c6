#pragma once
// A scriptable USB backend: a list of present devices (some refuse to open, some are bound to a
// kernel driver or cannot be claimed) and a script of how each bulk piece goes. It records every
// open and claim attempt and every piece with the bytes that went out, so tests can check order,
// sizes and that no byte went out twice. As on a real system, a piece written to an unclaimed
// device fails, and a device held by a kernel driver is claimed only when it is detached.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/usb_printer_link.h"

namespace fakes {

class FakeUsbBackend : public printerlink::UsbBackend {
  public:
    struct Device {
        Device(printerlink::UsbDeviceInfo device, bool opensToo = true,
               std::string boundDriver = {}, bool claimable = true)
            : info(std::move(device)),
              opens(opensToo),
              driver(std::move(boundDriver)),
              claims(claimable) {}
        printerlink::UsbDeviceInfo info;
        bool opens = true;
        std::string driver;  // kernel driver bound to its bulk OUT interface ("" none)
        bool claims = true;  // false: no bulk OUT endpoint, or the claim is refused
    };
    struct ClaimAttempt {
        std::string path;
        bool detachDriver = false;
    };
    // How one BulkWrite goes; unscripted pieces complete.
    struct Piece {
        enum Kind { Complete, TimeOutAfter, Fail } kind = Complete;
        std::size_t bytesOut = 0;  // TimeOutAfter: how many bytes leave before the time-out
    };
    struct Written {
        std::string path;  // device the piece went to
        std::size_t asked = 0;
        unsigned timeoutMs = 0;
        std::vector<uint8_t> out;  // bytes that actually went out
    };

    void SetDevices(std::vector<Device> devices);
    void ScriptPieces(std::deque<Piece> pieces);
    // With hotplug events WaitForHotplug wakes on every SetDevices; without it returns false.
    void SetHotplug(bool on);
    // Every piece after the first `pieces` waits in BulkWrite until ReleaseWrites, as a printer
    // that is slow to take a piece: the operation stays running. After 10 s the hold ends by
    // itself.
    void HoldWritesAfter(std::size_t pieces);
    void ReleaseWrites();
    int HeldWrites() const;  // pieces waiting in the hold now

    // What the printer answers: each BulkRead takes the next answer (up to its capacity); with
    // none queued it reads nothing, as a printer that does not answer.
    void QueueAnswers(std::deque<std::vector<uint8_t>> answers);
    int Reads() const;  // BulkRead calls on a claimed device

    std::vector<std::string> OpenAttempts() const;  // paths, in order
    std::vector<ClaimAttempt> Claims() const;
    std::vector<Written> Pieces() const;
    std::vector<uint8_t> BytesOut() const;  // everything that went out, in order
    int OpenHandles() const;

    std::vector<printerlink::UsbDeviceInfo> EnumeratePresent() override;
    std::unique_ptr<printerlink::UsbDeviceHandle> Open(
        const printerlink::UsbDeviceInfo& device) override;
    bool WaitForHotplug(std::chrono::milliseconds limit) override;
    void InterruptWait() override;

  private:
    class Handle;
    const Device* Find(const std::string& path) const;  // caller holds mutex_
    bool Claim(const std::string& path, bool detachDriver);
    std::size_t Write(const std::string& path, const uint8_t* bytes, std::size_t length,
                      unsigned timeoutMs, bool& ok);
    std::size_t Read(uint8_t* buffer, std::size_t capacity);

    mutable std::mutex mutex_;
    std::vector<Device> devices_;
    std::deque<Piece> script_;
    std::deque<std::vector<uint8_t>> answers_;
    int reads_ = 0;
    std::vector<std::string> openAttempts_;
    std::vector<ClaimAttempt> claims_;
    std::vector<Written> pieces_;
    int openHandles_ = 0;
    std::condition_variable hotplugChanged_;
    bool hotplug_ = false;
    unsigned generation_ = 0;  // SetDevices calls
    unsigned enumerated_ = 0;  // generation_ at the last EnumeratePresent
    bool interrupted_ = false;
    std::optional<std::size_t> holdAfter_;  // pieces written before the hold
    int heldWrites_ = 0;
    std::condition_variable holdChanged_;
};

// A device of the given vendor/product with a path in the libusb backend's form.
printerlink::UsbDeviceInfo UsbDevice(uint16_t vendor, uint16_t product, const std::string& port);

}  // namespace fakes
