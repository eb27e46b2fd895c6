#pragma once
// Brindel's USB operations over its process-wide printer link: the firmware download, the
// character-data download, the two settings commands and the USB identity switches. Every
// operation opens the link afresh and writes through WriteAll (64-byte pieces, 2000 ms each).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "link/usb_printer_link.h"
#include "updater/download_stream.h"

namespace updater {

inline constexpr const char* kFirmwareDone = "下载程序完成，打印机自动重启（请勿关闭电源）\n";
inline constexpr const char* kCharacterDataDone = "FINISH";
inline constexpr const char* kSetError = "set error no connect";
inline constexpr const char* kOptionDone = "finish ";

// What the operations report; every function is called on the thread running the operation.
struct UsbOperationSinks {
    std::function<void(const std::string&)> showMessage;    // returns once dismissed
    std::function<void(const std::string&)> showFileError;  // a box with the stop icon
    std::function<void(int status)> exitProgram;            // does not return in the program
    std::function<void(int position)> setProgress;          // bar 1000, 0..100
    std::function<void(const std::string&)> setDevicePath;  // label 1013
};

enum class UsbOutcome {
    Done,        // the completion message (if any) was shown
    FileError,   // the file error box was shown; nothing was sent
    PrintError,  // "Print error" was shown (the firmware download then asked for exit 1)
    SetError,    // "set error no connect" was shown
    NotAccepted  // identity switch not accepted (nothing shown)
};

// The USB identity a printer is switched to.
struct UsbIdentity {
    uint16_t vendorId;
    uint16_t productId;
};
inline constexpr UsbIdentity kIdentityA{0x1FC9, 0x2016};  // "A-USB"
inline constexpr UsbIdentity kIdentityB{0x0471, 0x0055};  // "B-USB"

// Entries of the code-page box 1006, in order; the last one ("China") sends FF.
const std::vector<const char*>& CodePageEntries();

// The message of a file that cannot be used: "没有找到 <name>。" when it does not exist, else
// the cause. `readFailed` words it for a read that failed part-way.
std::string FileErrorText(const std::string& name, int error, bool readFailed);

// Frames of the settings, option and identity commands.
std::vector<uint8_t> PrinterSettingsValues(int codePage, int paperWidth, int density);
std::vector<uint8_t> OptionValues(int option);
std::vector<uint8_t> IdentitySwitchFrame(UsbIdentity identity);

// Stream bytes through the link's WriteAll, which returns the full count or 0.
class UsbLinkSink final : public StreamSink {
  public:
    explicit UsbLinkSink(printerlink::UsbPrinterLink& link) : link_(link) {}
    bool Write(const uint8_t* bytes, std::size_t length) override {
        return length == 0 || link_.WriteAll(bytes, length) == length;
    }

  private:
    printerlink::UsbPrinterLink& link_;
};

class UsbOperations {
  public:
    // `workDir`: where FWIMAGE_80.bin and gb2312 are opened (empty: the current directory).
    UsbOperations(printerlink::UsbPrinterLink& link, UsbOperationSinks sinks,
                  std::filesystem::path workDir = {});

    // "USB Updata": the image is opened first, so a missing image sends nothing. A block, read
    // or tail that fails is a failed download: "Print error", then exit status 1.
    [[nodiscard]] UsbOutcome FirmwareDownload();
    // Button 1005: "gb2312" as 258-byte records; "FINISH" at the end.
    [[nodiscard]] UsbOutcome CharacterDataDownload();
    // "Set" 1009: positions of the boxes 1006, 1007, 1010 (-1: none selected).
    [[nodiscard]] UsbOutcome PrinterSettings(int codePage, int paperWidth, int density);
    // "Set" 1034: position of box 1033.
    [[nodiscard]] UsbOutcome OptionCommand(int option);
    // "A-USB" / "B-USB".
    [[nodiscard]] UsbOutcome IdentitySwitch(UsbIdentity identity);

  private:
    void FindPrinter();
    bool Send(const std::vector<uint8_t>& bytes);
    bool OpenFile(const char* name, InputFile& file);
    void Message(const std::string& text) const;
    // The end of a stream: `doneText`, the file error of a failed read, or "Print error".
    UsbOutcome Report(const StreamResult& result, const char* fileName, const char* doneText);

    printerlink::UsbPrinterLink& link_;
    UsbOperationSinks sinks_;
    std::filesystem::path workDir_;
};

}  // namespace updater
