#include "cli/firmware.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/sender_thread.h"
#include "link/usb_printer_link.h"
#include "updater/download_stream.h"
#include "updater/usb_operations.h"

namespace cli {
namespace {

// A dry run: every write as one hex line.
class HexSink final : public updater::StreamSink {
  public:
    explicit HexSink(std::ostream& out) : out_(out) {}
    bool Write(const uint8_t* bytes, std::size_t length) override {
        out_ << HexBytes({bytes, length}) << '\n';
        return static_cast<bool>(out_);
    }

  private:
    std::ostream& out_;
};

// A bar on stderr, redrawn when its position changes; nothing when stderr is no terminal.
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, bool shown, uint64_t size)
        : err_(err), shown_(shown), size_(size) {}
    void Update(uint64_t sent) {
        const int position = updater::ProgressPosition(sent, size_);
        if (!shown_ || position == position_) return;
        position_ = position;
        constexpr int kWidth = 40;
        const int filled = position * kWidth / 100;
        err_ << '\r' << '[' << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << position
             << "% " << std::flush;
    }
    // Ends the bar's line before the final line.
    void Finish() {
        if (shown_ && position_ >= 0) err_ << '\n';
    }

  private:
    std::ostream& err_;
    bool shown_;
    uint64_t size_;
    int position_ = -1;
};

// Why the file cannot be used, naming it.
std::string FileError(const std::string& name, int error, bool readFailed) {
    if (readFailed) return "reading " + name + " failed: " + std::strerror(error);
    if (error == EWOULDBLOCK) return "cannot open " + name + ": another program is sending it";
    return "cannot open " + name + ": " + std::strerror(error);
}

std::string Hex32(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string Sent(const FirmwareJob& job, uint64_t bytes, uint32_t checksum) {
    return job.file + ": " + std::to_string(bytes) + " bytes sent" +
           (job.characterData ? std::string() : ", checksum " + Hex32(checksum));
}

// The final line for a stream result; 0 or 1.
int Report(const FirmwareJob& job, const updater::StreamResult& result, std::ostream& err) {
    switch (result.status) {
        case updater::StreamStatus::Done:
            err << "done: " << Sent(job, result.imageBytes, result.checksum) << '\n';
            return 0;
        case updater::StreamStatus::ReadFailed:
            err << "tessary-cli: " << FileError(job.file, result.error, true) << '\n';
            return 1;
        case updater::StreamStatus::CommandFailed:
            err << "tessary-cli: " << printerlink::kPrintError
                << ": the printer did not take the download command\n";
            return 1;
        case updater::StreamStatus::BlockFailed:
            err << "tessary-cli: " << printerlink::kPrintError << ": a block was not taken after "
                << result.imageBytes << " bytes\n";
            return 1;
        case updater::StreamStatus::TailFailed:
            err << "tessary-cli: " << printerlink::kPrintError
                << ": the terminator or the checksum was not taken\n";
            return 1;
    }
    return 1;
}

}  // namespace

int RunFirmware(const FirmwareJob& job, FirmwareIo& io) {
    // The file is opened before anything is sent, so no printer is left in download mode.
    updater::InputFile file = updater::InputFile::Open(job.file);
    if (!file.IsOpen()) {
        io.err << "tessary-cli: " << FileError(job.file, file.Error(), false) << '\n';
        return 1;
    }
    ProgressBar bar(io.err, io.progressBar && !job.dryRun, file.Size());
    const updater::BlockProgress progress = [&bar](uint64_t sent) { bar.Update(sent); };

    if (job.dryRun) {
        HexSink sink(io.out);
        const updater::StreamResult result =
            job.characterData ? updater::SendCharacterDataStream(file, sink)
                              : updater::SendFirmwareStream(file, sink, progress);
        return Report(job, result, io.err);
    }

    if (!job.net) {
        if (!io.link.usb) {
            io.err << "tessary-cli: " << printerlink::kUsbOpenFail << ": no USB access\n";
            return 1;
        }
        printerlink::UsbPrinterLink link(io.link.usb, printerlink::UsbProgram::Brindel);
        if (!link.Open()) {
            io.err << "tessary-cli: " << printerlink::kUsbOpenFail
                   << ": no USB printer with a listed product id could be opened\n";
            return 1;
        }
        updater::UsbLinkSink sink(link);
        const updater::StreamResult result =
            job.characterData ? updater::SendCharacterDataStream(file, sink)
                              : updater::SendFirmwareStream(file, sink, progress);
        link.Close();
        if (result.status == updater::StreamStatus::Done) bar.Update(file.Size());
        bar.Finish();
        return Report(job, result, io.err);
    }

    const updater::NetResult result =
        updater::SendImageToPrinter(job.ip, job.port, file, progress, io.pacing);
    if (result.status == updater::NetStatus::Done) bar.Update(file.Size());
    bar.Finish();
    const PortTarget target{PortTarget::Kind::Net, {}, job.ip, job.port, kDefaultBaud};
    switch (result.status) {
        case updater::NetStatus::Done:
            io.err << "done: " << Sent(job, result.imageBytes, result.checksum) << " to "
                   << FormatIpv4(job.ip) << ":" << job.port << '\n';
            return 0;
        case updater::NetStatus::ReadFailed:
            io.err << "tessary-cli: " << FileError(job.file, result.error, true) << '\n';
            return 1;
        case updater::NetStatus::ConnectFailed:
        case updater::NetStatus::BlockFailed:
        case updater::NetStatus::TailFailed:
        case updater::NetStatus::NotDelivered:
            break;
    }
    io.err << "tessary-cli: "
           << NetFailureText(target, result.tcp, {io.pacing.connect, io.pacing.stall, {}},
                             updater::FirmwareStreamSize(file.Size()))
           << '\n';
    return 1;
}

}  // namespace cli
