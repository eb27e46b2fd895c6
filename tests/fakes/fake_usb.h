#pragma once
// A scriptable USB backend: a list of present devices (some refuse to open) and a script of how
// each bulk piece goes. It records every open attempt and every piece with the bytes that went
// out, so tests can check order, sizes and that no byte went out twice.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/usb_printer_link.h"

namespace fakes {

class FakeUsbBackend : public printerlink::UsbBackend {
  public:
    struct Device {
        printerlink::UsbDeviceInfo info;
        bool opens = true;
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

    std::vector<std::string> OpenAttempts() const;  // paths, in order
    std::vector<Written> Pieces() const;
    std::vector<uint8_t> BytesOut() const;  // everything that went out, in order
    int OpenHandles() const;

    std::vector<printerlink::UsbDeviceInfo> EnumeratePresent() override;
    std::unique_ptr<printerlink::UsbDeviceHandle> Open(
        const printerlink::UsbDeviceInfo& device) override;

  private:
    class Handle;
    std::size_t Write(const std::string& path, const uint8_t* bytes, std::size_t length,
                      unsigned timeoutMs, bool& ok);

    mutable std::mutex mutex_;
    std::vector<Device> devices_;
    std::deque<Piece> script_;
    std::vector<std::string> openAttempts_;
    std::vector<Written> pieces_;
    int openHandles_ = 0;
};

// A device of the given vendor/product with a path in the libusb backend's form.
printerlink::UsbDeviceInfo UsbDevice(uint16_t vendor, uint16_t product, const std::string& port);

}  // namespace fakes
