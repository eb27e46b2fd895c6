// The Windows USB backend: the present devices of the USB device interface class in SetupAPI's
// order, recognised by the product-id token in their device path, probed by an open without
// access rights, then opened once for reading and once for writing. Writes are overlapped, so
// a piece the printer does not take is cancelled after its time-out.
#include <windows.h>
// After windows.h:
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "link/usb_printer_link.h"

namespace printerlink {
namespace {

// GUID_DEVINTERFACE_USB_DEVICE {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

HANDLE OpenPath(const std::string& path, DWORD access, DWORD flags) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

class SetupApiHandle : public UsbDeviceHandle {
  public:
    explicit SetupApiHandle(std::string path)
        : path_(std::move(path)), done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~SetupApiHandle() override {
        for (HANDLE h : {read_, write_}) {
            if (h == INVALID_HANDLE_VALUE) continue;
            CancelIo(h);
            CloseHandle(h);
        }
        if (done_ != nullptr) CloseHandle(done_);
    }
    SetupApiHandle(const SetupApiHandle&) = delete;
    SetupApiHandle& operator=(const SetupApiHandle&) = delete;

    // Windows picks the device's driver; nothing here is another kind of device's.
    std::string BoundDriver() override { return {}; }

    // The read and the write handle. Whether they open is not examined: a device whose write
    // handle did not open still counts as opened, and its first write fails.
    bool Claim(bool) override {
        if (read_ == INVALID_HANDLE_VALUE)
            read_ = OpenPath(path_, GENERIC_READ, FILE_FLAG_OVERLAPPED);
        if (write_ == INVALID_HANDLE_VALUE)
            write_ = OpenPath(path_, GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
        return true;
    }

    std::size_t BulkWrite(const uint8_t* bytes, std::size_t length, unsigned timeoutMs,
                          bool& ok) override {
        ok = false;
        if (write_ == INVALID_HANDLE_VALUE || done_ == nullptr || length > MAXDWORD) return 0;
        OVERLAPPED overlapped{};
        overlapped.hEvent = done_;
        ResetEvent(done_);
        if (!WriteFile(write_, bytes, static_cast<DWORD>(length), nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return 0;
        const DWORD wait = WaitForSingleObject(done_, timeoutMs);
        if (wait != WAIT_OBJECT_0) CancelIo(write_);  // time-out: the piece is given up
        DWORD written = 0;
        const BOOL finished = GetOverlappedResult(write_, &overlapped, &written, TRUE);
        ok = wait == WAIT_OBJECT_0 && finished;
        return written;  // what went out, also when the time-out cut the piece short
    }

    // An overlapped read on the read handle, given up (CancelIo) when the time-out passes.
    std::size_t BulkRead(uint8_t* buffer, std::size_t capacity, unsigned timeoutMs,
                         bool& ok) override {
        ok = false;
        if (read_ == INVALID_HANDLE_VALUE || done_ == nullptr || capacity > MAXDWORD) return 0;
        OVERLAPPED overlapped{};
        overlapped.hEvent = done_;
        ResetEvent(done_);
        if (!ReadFile(read_, buffer, static_cast<DWORD>(capacity), nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return 0;
        const DWORD wait = WaitForSingleObject(done_, timeoutMs);
        if (wait != WAIT_OBJECT_0) CancelIo(read_);
        DWORD read = 0;
        const BOOL finished = GetOverlappedResult(read_, &overlapped, &read, TRUE);
        ok = finished || GetLastError() == ERROR_OPERATION_ABORTED;  // aborted: no answer
        return read;
    }

  private:
    std::string path_;
    HANDLE read_ = INVALID_HANDLE_VALUE;
    HANDLE write_ = INVALID_HANDLE_VALUE;
    HANDLE done_;
};

class SetupApiBackend : public UsbBackend {
  public:
    std::vector<UsbDeviceInfo> EnumeratePresent() override {
        std::vector<UsbDeviceInfo> present;
        const HDEVINFO set = SetupDiGetClassDevsA(&kUsbDeviceInterface, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) return present;
        SP_DEVICE_INTERFACE_DATA interface {};
        interface.cbSize = sizeof interface;
        for (DWORD index = 0;
             SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDeviceInterface, index, &interface);
             ++index) {
            DWORD size = 0;
            SetupDiGetDeviceInterfaceDetailA(set, &interface, nullptr, 0, &size, nullptr);
            if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
            std::vector<unsigned char> record;
            try {
                record.resize(size);
            } catch (const std::bad_alloc&) {
                break;  // out of memory: the devices listed so far are all there is
            }
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);  // its fixed part
            if (!SetupDiGetDeviceInterfaceDetailA(set, &interface, detail, size, nullptr, nullptr))
                continue;
            const std::size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
            const std::string_view path(detail->DevicePath,
                                        strnlen(detail->DevicePath, size - offset));
            if (auto device = DeviceFromInterfacePath(path)) present.push_back(std::move(*device));
        }
        SetupDiDestroyDeviceInfoList(set);
        return present;
    }

    // The probe: an open without access rights, released at once.
    std::unique_ptr<UsbDeviceHandle> Open(const UsbDeviceInfo& device) override {
        const HANDLE probe = OpenPath(device.path, 0, 0);
        if (probe == INVALID_HANDLE_VALUE) return nullptr;
        CloseHandle(probe);
        return std::make_unique<SetupApiHandle>(device.path);
    }
};

}  // namespace

std::shared_ptr<UsbBackend> MakeSystemUsbBackend() {
    return std::make_shared<SetupApiBackend>();
}

}  // namespace printerlink
