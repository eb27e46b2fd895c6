#include "updater/usb_operations.h"

#include <cerrno>
#include <cstring>

#include "commands/setting_frames.h"
#include "link/sender_thread.h"

namespace updater {
namespace {

constexpr uint8_t kCodePageFunction = 0x05;
constexpr uint8_t kOptionFunction = 0x01;
constexpr uint8_t kIdentityFunction = 0x06;

// The head of a setting frame that Brindel sends on its own, ahead of its values.
std::vector<uint8_t> FrameHead(uint8_t function) {
    return {0x1F, 0x1B, function};
}

}  // namespace

const std::vector<const char*>& CodePageEntries() {
    static const std::vector<const char*> entries{
        "PC437(Std.Europe)",
        "Katakana",
        "PC850(Multilingual)",
        "PC860(Portuguese)",
        "PC863(Canadian)",
        "PC865(Nordic)",
        "ISO8859-1,Latin-1 West Europe",
        "ISO8859-7,Greek",
        "ISO8859-8,Hebrew)",
        "ISO8859-2,CP1250,East Europe",
        "Iran",
        "WPC1252",
        "PC866(cyrillic#2)",
        "PC852(Latin2)",
        "PC858",
        "IranII",
        "Latvian",
        "Arabic",
        "CP1251,pt151",
        "PC747",
        "wpc1257",
        "Vietnam",
        "PC864",
        "pc1001",
        "China",
    };
    return entries;
}

std::string FileErrorText(const std::string& name, int error, bool readFailed) {
    if (readFailed) return "读取 " + name + " 时出错：" + std::strerror(error);
    if (error == ENOENT || error == ENOTDIR) return "没有找到 " + name + "。";
    if (error == EWOULDBLOCK) return "无法打开 " + name + "：文件正被另一个程序使用。";
    return "无法打开 " + name + "：" + std::strerror(error);
}

std::vector<uint8_t> PrinterSettingsValues(int codePage, int paperWidth, int density) {
    const int last = static_cast<int>(CodePageEntries().size()) - 1;
    const uint8_t page = (codePage < 0 || codePage >= last) ? 0xFF : commands::ListValue(codePage);
    return {page, commands::ListValue(paperWidth), commands::ListValue(density), 0x00};
}

std::vector<uint8_t> OptionValues(int option) {
    return {0x00, 0x00, 0x00, commands::ListValue(option), 0x00, 0x00, 0x00, 0x00};
}

std::vector<uint8_t> IdentitySwitchFrame(UsbIdentity identity) {
    return commands::BuildSettingFrame(
        kIdentityFunction,
        {static_cast<uint8_t>(identity.vendorId), static_cast<uint8_t>(identity.vendorId >> 8),
         static_cast<uint8_t>(identity.productId), static_cast<uint8_t>(identity.productId >> 8)});
}

UsbOperations::UsbOperations(printerlink::UsbPrinterLink& link, UsbOperationSinks sinks,
                             std::filesystem::path workDir)
    : link_(link), sinks_(std::move(sinks)), workDir_(std::move(workDir)) {}

void UsbOperations::FindPrinter() {
    // Whether a printer was found shows at the first write: with none every write fails.
    if (link_.Open() == 1 && sinks_.setDevicePath) sinks_.setDevicePath(link_.DevicePath());
}

bool UsbOperations::Send(const std::vector<uint8_t>& bytes) {
    return link_.WriteAll(bytes.data(), bytes.size()) == bytes.size();
}

bool UsbOperations::OpenFile(const char* name, InputFile& file) {
    file = InputFile::Open(workDir_.empty() ? std::filesystem::path(name) : workDir_ / name);
    if (file.IsOpen()) return true;
    if (sinks_.showFileError) sinks_.showFileError(FileErrorText(name, file.Error(), false));
    return false;
}

void UsbOperations::Message(const std::string& text) const {
    if (sinks_.showMessage) sinks_.showMessage(text);
}

UsbOutcome UsbOperations::FirmwareDownload() {
    InputFile image;
    if (!OpenFile(kImageFileName, image)) return UsbOutcome::FileError;
    FindPrinter();

    const uint64_t size = image.Size();
    int shown = -1;
    auto show = [&](int position) {
        if (position == shown || !sinks_.setProgress) return;
        shown = position;
        sinks_.setProgress(position);
    };
    UsbLinkSink sink(link_);
    const StreamResult result =
        SendFirmwareStream(image, sink, [&](uint64_t sent) { show(ProgressPosition(sent, size)); });
    image.Close();
    link_.Close();

    if (result.status == StreamStatus::Done) show(100);  // an empty image ends full too
    const UsbOutcome outcome = Report(result, kImageFileName, kFirmwareDone);
    if (outcome == UsbOutcome::PrintError && sinks_.exitProgram) sinks_.exitProgram(1);
    return outcome;
}

UsbOutcome UsbOperations::CharacterDataDownload() {
    InputFile data;
    if (!OpenFile(kCharacterDataFileName, data)) return UsbOutcome::FileError;
    FindPrinter();
    UsbLinkSink sink(link_);
    const StreamResult result = SendCharacterDataStream(data, sink);
    data.Close();
    link_.Close();
    return Report(result, kCharacterDataFileName, kCharacterDataDone);
}

UsbOutcome UsbOperations::Report(const StreamResult& result, const char* fileName,
                                 const char* doneText) {
    switch (result.status) {
        case StreamStatus::Done:
            Message(doneText);
            return UsbOutcome::Done;
        case StreamStatus::ReadFailed:
            if (sinks_.showFileError)
                sinks_.showFileError(FileErrorText(fileName, result.error, true));
            return UsbOutcome::FileError;
        case StreamStatus::CommandFailed:
        case StreamStatus::BlockFailed:
        case StreamStatus::TailFailed:
            break;
    }
    Message(printerlink::kPrintError);
    return UsbOutcome::PrintError;
}

UsbOutcome UsbOperations::PrinterSettings(int codePage, int paperWidth, int density) {
    FindPrinter();
    const bool sent = Send(FrameHead(kCodePageFunction)) &&
                      Send(PrinterSettingsValues(codePage, paperWidth, density));
    link_.Close();
    if (sent) return UsbOutcome::Done;
    Message(kSetError);
    return UsbOutcome::SetError;
}

UsbOutcome UsbOperations::OptionCommand(int option) {
    FindPrinter();
    const bool sent = Send(FrameHead(kOptionFunction)) && Send(OptionValues(option));
    link_.Close();
    Message(sent ? kOptionDone : kSetError);
    return sent ? UsbOutcome::Done : UsbOutcome::SetError;
}

UsbOutcome UsbOperations::IdentitySwitch(UsbIdentity identity) {
    FindPrinter();
    const bool sent = Send(IdentitySwitchFrame(identity));
    link_.Close();
    return sent ? UsbOutcome::Done : UsbOutcome::NotAccepted;
}

}  // namespace updater
