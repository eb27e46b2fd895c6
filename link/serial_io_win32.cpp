// Serial and parallel ports on Windows: "COM%d" (from 10 on "\\.\COM%d") and "LPT1" opened
// with CreateFileA without sharing, the line set through the DCB, serial writes overlapped so a
// line held by flow control is given up at the command's deadline.
#include <windows.h>

#include <algorithm>
#include <thread>

#include "link/device_io.h"
#include "platform/win32/system_text.h"

namespace printerlink {
namespace {

constexpr auto kSerialWaitStep = std::chrono::milliseconds(100);

HANDLE Native(DeviceHandle port) {
    return reinterpret_cast<HANDLE>(port);
}

DeviceHandle FromNative(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoDevice : reinterpret_cast<DeviceHandle>(handle);
}

// Opens for reading and writing, exclusively, only if it exists; refused unless it is a device
// (a file of that name is no port).
HANDLE OpenDevice(const std::string& path, DWORD flags) {
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_CHAR) {
        CloseHandle(handle);
        SetLastError(ERROR_BAD_DEVICE);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Milliseconds to wait in the next step, 0 when the deadline has passed.
DWORD StepMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return static_cast<DWORD>(std::min(left, kSerialWaitStep).count());
}

class Event {
  public:
    Event() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace

std::vector<std::string> SystemSerialPatterns() {
    return {"COM%d"};
}

int LastDeviceError() {
    return static_cast<int>(GetLastError());
}

std::string DeviceErrorText(int error) {
    return platform::SystemErrorText(static_cast<unsigned long>(error));
}

DeviceHandle OpenSerialExclusive(const std::string& name) {
    return FromNative(OpenDevice(WindowsSerialPath(name), FILE_FLAG_OVERLAPPED));
}

bool ApplySerialLine(DeviceHandle port, unsigned baud) {
    if (baud == 0) return false;
    DCB old{};
    old.DCBlength = sizeof old;
    if (!GetCommState(Native(port), &old)) return false;
    DCB line = old;
    line.BaudRate = baud;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fParity = FALSE;
    if (!SetCommState(Native(port), &line)) {
        SetCommState(Native(port), &old);
        return false;
    }
    return true;
}

bool MakeSerialRaw(DeviceHandle) {
    return true;
}

unsigned SerialOutputBaud(DeviceHandle port) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(Native(port), &line)) return 0;
    return line.BaudRate;
}

SerialWrite WriteSerialUntil(DeviceHandle port, const uint8_t* bytes, std::size_t length,
                             std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled) {
    const HANDLE handle = Native(port);
    const Event done;
    if (done.get() == nullptr) return SerialWrite::Failed;
    std::size_t written = 0;
    while (written < length) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = done.get();
        ResetEvent(done.get());
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(length - written, MAXDWORD));
        SerialWrite held = SerialWrite::Done;
        if (!WriteFile(handle, bytes + written, piece, nullptr, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) return SerialWrite::Failed;
            // Held by flow control or slower than the writes: wait in steps.
            for (;;) {
                const DWORD step = StepMs(deadline);
                const DWORD wait = WaitForSingleObject(done.get(), step);
                if (wait == WAIT_OBJECT_0) break;
                if (wait != WAIT_TIMEOUT) {
                    held = SerialWrite::Failed;
                } else if (cancelled && cancelled()) {
                    held = SerialWrite::Cancelled;
                } else if (step == 0) {
                    held = SerialWrite::TimedOut;
                }
                if (held != SerialWrite::Done) break;
            }
            if (held != SerialWrite::Done) CancelIo(handle);
        }
        DWORD n = 0;
        const BOOL finished = GetOverlappedResult(handle, &overlapped, &n, TRUE);
        if (held != SerialWrite::Done) return held;
        if (!finished) return SerialWrite::Failed;
        written += n;
        if (n == 0) {
            // The port's own write time-out passed with nothing taken: look again until the
            // deadline.
            if (cancelled && cancelled()) return SerialWrite::Cancelled;
            if (StepMs(deadline) == 0) return SerialWrite::TimedOut;
        }
    }
    return SerialWrite::Done;
}

SerialWrite DrainSerialUntil(DeviceHandle port, std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled) {
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(Native(port), &errors, &status) || status.cbOutQue == 0)
            return SerialWrite::Done;
        if (cancelled && cancelled()) return SerialWrite::Cancelled;
        const DWORD step = StepMs(deadline);
        if (step == 0) return SerialWrite::TimedOut;
        // The port has no wake-up for "output drained": look again shortly.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<DWORD>(step, 10)));
    }
}

void DiscardSerialOutput(DeviceHandle port) {
    PurgeComm(Native(port), PURGE_TXABORT | PURGE_TXCLEAR);
}

void DiscardSerialInput(DeviceHandle port) {
    PurgeComm(Native(port), PURGE_RXABORT | PURGE_RXCLEAR);
}

long ReadSerialUntil(DeviceHandle port, uint8_t* buffer, std::size_t capacity,
                     std::chrono::steady_clock::time_point deadline) {
    const HANDLE handle = Native(port);
    const Event done;
    if (done.get() == nullptr || capacity == 0) return -1;
    for (;;) {
        // One byte at a time: whatever the port's read time-outs, a read of one byte ends when
        // one arrives; the rest that is already there follows at once.
        OVERLAPPED overlapped{};
        overlapped.hEvent = done.get();
        ResetEvent(done.get());
        bool waited = false;
        if (!ReadFile(handle, buffer, 1, nullptr, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) return -1;
            const DWORD wait = WaitForSingleObject(done.get(), StepMs(deadline));
            if (wait != WAIT_OBJECT_0) CancelIo(handle);
            waited = true;
        }
        DWORD n = 0;
        const BOOL finished = GetOverlappedResult(handle, &overlapped, &n, TRUE);
        if (!finished && GetLastError() != ERROR_OPERATION_ABORTED) return -1;
        if (n > 0) {
            DWORD errors = 0;
            COMSTAT status{};
            std::size_t got = 1;
            if (ClearCommError(handle, &errors, &status) && status.cbInQue > 0 && capacity > 1) {
                const auto more =
                    static_cast<DWORD>(std::min<std::size_t>(capacity - 1, status.cbInQue));
                OVERLAPPED rest{};
                rest.hEvent = done.get();
                ResetEvent(done.get());
                DWORD m = 0;
                if (ReadFile(handle, buffer + 1, more, nullptr, &rest) ||
                    GetLastError() == ERROR_IO_PENDING) {
                    if (GetOverlappedResult(handle, &rest, &m, TRUE)) got += m;
                }
            }
            return static_cast<long>(got);
        }
        if (StepMs(deadline) == 0) return 0;
        // The port's time-outs ended the read with nothing: look again after a short pause.
        if (!waited) Sleep(std::min<DWORD>(10, StepMs(deadline)));
    }
}

void CloseSerial(DeviceHandle port) {
    if (port != kNoDevice) CloseHandle(Native(port));
}

bool SerialPortIsFree(const std::string& name) {
    const HANDLE handle = OpenDevice(WindowsSerialPath(name), 0);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

DeviceHandle OpenParallelPort(const std::string& path) {
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return kNoDevice;
    }
    return FromNative(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteFully(DeviceHandle port, const uint8_t* bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        DWORD n = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(length - done, MAXDWORD));
        if (!WriteFile(Native(port), bytes + done, piece, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

void ClosePort(DeviceHandle port) {
    if (port != kNoDevice) CloseHandle(Native(port));
}

}  // namespace printerlink
