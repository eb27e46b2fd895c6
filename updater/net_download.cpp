#include "updater/net_download.h"

#include <algorithm>
#include <thread>

#include "link/sender_thread.h"
#include "link/tcp_link.h"
#include "status/status_query.h"
#include "updater/usb_operations.h"

namespace updater {
namespace {

void Pause(std::chrono::milliseconds duration) {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

// Writes stream pieces to the printer's connection. Blocks go out with one send call per unsent
// remainder, each followed by the block pause; the connection's no-progress rule turns a printer
// that stopped reading into a failed call instead of a thread blocked for ever.
class PacedTcpSink final : public StreamSink {
  public:
    PacedTcpSink(printerlink::TcpConnection& connection, const NetPacing& pacing)
        : connection_(connection), pacing_(pacing) {}

    void Begin(StreamPart part) override { part_ = part; }

    bool Write(const uint8_t* bytes, std::size_t length) override {
        if (part_ == StreamPart::Command) return connection_.SendSome(bytes, length) == length;
        std::size_t sent = 0;
        bool ok = true;
        while (sent < length) {
            const std::size_t n = connection_.SendSome(bytes + sent, length - sent);
            if (part_ == StreamPart::Block) Pause(pacing_.afterSend);
            if (n == 0) {
                ok = false;
                break;
            }
            sent += n;
        }
        switch (part_) {
            case StreamPart::TerminatorFirst:
                Pause(pacing_.afterFirstHalf);
                break;
            case StreamPart::TerminatorSecond:
                Pause(pacing_.afterSecondHalf);
                break;
            case StreamPart::Checksum:
                Pause(pacing_.afterChecksum);
                break;
            case StreamPart::Command:
            case StreamPart::Block:
                break;
        }
        return ok;
    }

  private:
    printerlink::TcpConnection& connection_;
    const NetPacing& pacing_;
    StreamPart part_ = StreamPart::Command;
};

}  // namespace

NetResult SendImageToPrinter(const std::array<uint8_t, 4>& ip, uint16_t port, ByteSource& image,
                             const BlockProgress& progress, const NetPacing& pacing) {
    NetResult result;
    printerlink::TcpConnection connection =
        printerlink::TcpConnection::Connect(ip, port, {pacing.connect, pacing.stall, {}});
    if (!connection.IsOpen()) {
        result.status = NetStatus::ConnectFailed;
        result.tcp = connection.Result();
        return result;
    }
    PacedTcpSink sink(connection, pacing);
    const StreamResult stream = SendFirmwareStream(image, sink, progress);
    // The pause after the checksum is over; the download is done once the printer has
    // acknowledged every byte of it.
    const bool delivered = stream.status == StreamStatus::Done && connection.Finish();
    result.tcp = connection.Result();
    result.imageBytes = stream.imageBytes;
    result.checksum = stream.checksum;
    switch (stream.status) {
        case StreamStatus::Done:
            if (!delivered) result.status = NetStatus::NotDelivered;
            break;
        case StreamStatus::ReadFailed:
            result.status = NetStatus::ReadFailed;
            result.error = stream.error;
            break;
        case StreamStatus::CommandFailed:
        case StreamStatus::BlockFailed:
            result.status = NetStatus::BlockFailed;
            break;
        case StreamStatus::TailFailed:
            result.status = NetStatus::TailFailed;
            break;
    }
    return result;
}

NetworkDownload::NetworkDownload(netcfg::DeviceTable& table, NetDownloadSinks sinks,
                                 std::filesystem::path workDir, uint16_t port, NetPacing pacing)
    : table_(table),
      sinks_(std::move(sinks)),
      workDir_(std::move(workDir)),
      port_(port),
      pacing_(pacing) {}

void NetworkDownload::Message(const std::string& text) const {
    if (sinks_.showMessage) sinks_.showMessage(text);
}

void NetworkDownload::ReportPrinterStatus(const std::array<uint8_t, 4>& ip) const {
    if (!sinks_.showPrinterReport) return;
    printerstatus::Where where;
    where.ip = ip;
    where.port = port_;
    const printerstatus::AskLimits limits{printerstatus::kAnswerTimeout,
                                          std::min(pacing_.connect, printerstatus::kAnswerTimeout),
                                          {}};
    // The window speaks Chinese.
    const std::string report = printerstatus::FaultReport(printerstatus::AskAt(where, limits), 0);
    if (!report.empty()) sinks_.showPrinterReport(report);
}

NetOutcome NetworkDownload::Run() {
    Pause(pacing_.before);
    // The image first: a missing image must say so rather than end without a word.
    InputFile image = InputFile::Open(workDir_ / kImageFileName);
    if (!image.IsOpen()) {
        if (sinks_.showFileError)
            sinks_.showFileError(FileErrorText(kImageFileName, image.Error(), false));
        return NetOutcome::FileError;
    }
    const int line = sinks_.selectedLine ? sinks_.selectedLine() : -1;
    const std::optional<netcfg::DeviceEntry> entry = table_.Slot(line);
    if (!entry) {
        Message(kSelectPrinter);
        return NetOutcome::NoSelection;
    }
    if (entry->Byte(8) == 0) return NetOutcome::Refused;

    const uint64_t size = image.Size();
    const auto progress = [this, size](uint64_t sent) {
        if (sinks_.setProgress) sinks_.setProgress(ProgressPosition(sent, size));
    };
    const NetResult result = SendImageToPrinter(entry->Address(), port_, image, progress, pacing_);
    image.Close();
    switch (result.status) {
        case NetStatus::Done:
            break;
        case NetStatus::ConnectFailed:
            Message(kNetConnectFailed);
            return NetOutcome::ConnectFailed;
        case NetStatus::ReadFailed:
            if (sinks_.showFileError)
                sinks_.showFileError(FileErrorText(kImageFileName, result.error, true));
            return NetOutcome::FileError;
        case NetStatus::BlockFailed:
        case NetStatus::TailFailed:
        case NetStatus::NotDelivered:
            ReportPrinterStatus(entry->Address());
            Message(printerlink::kPrintError);
            if (sinks_.exitProgram) sinks_.exitProgram(1);
            return NetOutcome::PrintError;
    }
    // Replies that arrive while the printer restarts are dropped with the second clear.
    if (sinks_.clearList) sinks_.clearList();
    table_.Clear();
    Pause(pacing_.settle);
    table_.Clear();
    if (sinks_.clearList) sinks_.clearList();
    Message(kNetDownloadDone);
    return NetOutcome::Done;
}

}  // namespace updater
