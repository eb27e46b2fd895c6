#include "updater/net_download.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "link/device_io.h"
#include "link/sender_thread.h"
#include "updater/usb_operations.h"

namespace updater {
namespace {

void Pause(std::chrono::milliseconds duration) {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

// Writes stream pieces to a connected TCP socket. Blocks go out with one send call per unsent
// remainder, each followed by the block pause; the send time-out turns a printer that stopped
// reading into a failed call instead of a thread blocked for ever.
class PacedTcpSink final : public StreamSink {
  public:
    PacedTcpSink(int fd, const NetPacing& pacing) : fd_(fd), pacing_(pacing) {}

    void Begin(StreamPart part) override { part_ = part; }

    bool Write(const uint8_t* bytes, std::size_t length) override {
        if (part_ == StreamPart::Command) return SendOnce(bytes, length) == length;
        std::size_t sent = 0;
        bool ok = true;
        while (sent < length) {
            const std::size_t n = SendOnce(bytes + sent, length - sent);
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

    int Error() const { return error_; }

  private:
    // One send call; 0 when it sent nothing, failed or timed out.
    std::size_t SendOnce(const uint8_t* bytes, std::size_t length) {
        for (;;) {
            const ssize_t n = ::send(fd_, bytes, length, MSG_NOSIGNAL);
            if (n > 0) return static_cast<std::size_t>(n);
            if (n < 0 && errno == EINTR) continue;
            error_ = n < 0 ? errno : 0;
            return 0;
        }
    }

    int fd_;
    const NetPacing& pacing_;
    StreamPart part_ = StreamPart::Command;
    int error_ = 0;
};

}  // namespace

NetResult SendImageToPrinter(const std::array<uint8_t, 4>& ip, uint16_t port, ByteSource& image,
                             const BlockProgress& progress, const NetPacing& pacing) {
    NetResult result;
    const int fd = printerlink::ConnectTcp(ip, port, pacing.connect);
    if (fd < 0) {
        result.status = NetStatus::ConnectFailed;
        result.error = errno;
        return result;
    }
    // A send that blocks this long without taking a byte returns, and counts as failed.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(pacing.stall);
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(seconds.count());
    limit.tv_usec = static_cast<suseconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(pacing.stall - seconds).count());
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

    PacedTcpSink sink(fd, pacing);
    const StreamResult stream = SendFirmwareStream(image, sink, progress);
    ::close(fd);
    result.imageBytes = stream.imageBytes;
    result.checksum = stream.checksum;
    switch (stream.status) {
        case StreamStatus::Done:
            break;
        case StreamStatus::ReadFailed:
            result.status = NetStatus::ReadFailed;
            result.error = stream.error;
            break;
        case StreamStatus::CommandFailed:
        case StreamStatus::BlockFailed:
            result.status = NetStatus::BlockFailed;
            result.error = sink.Error();
            break;
        case StreamStatus::TailFailed:
            result.status = NetStatus::TailFailed;
            result.error = sink.Error();
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
