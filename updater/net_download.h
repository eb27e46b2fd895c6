#pragma once
// The network firmware download: the image over a TCP connection to the printer's raw port with
// the fixed pauses the printers expect, and Brindel's operation around it (selection, refused
// slot, connection failure, completion, clearing the discovery list).

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "link/tcp_link.h"
#include "netcfg/device_table.h"
#include "updater/download_stream.h"

namespace updater {

inline constexpr const char* kSelectPrinter = "请选择列表里面的打印机IP";
inline constexpr const char* kNetConnectFailed = "网络连接失败,请确定IP地址是否与电脑同一网段";
inline constexpr const char* kNetDownloadDone = "网络下载数据完成";
inline constexpr uint16_t kPrinterPort = 9100;

// The pauses of the transfer; tests and the CLI's dry runs may shorten them.
struct NetPacing {
    std::chrono::milliseconds afterSend{10};         // after every send call of a block
    std::chrono::milliseconds afterFirstHalf{20};    // between the terminator halves
    std::chrono::milliseconds afterSecondHalf{200};  // before the checksum
    std::chrono::milliseconds afterChecksum{700};    // before the last acknowledgements are
                                                     // waited for and the socket is closed
    std::chrono::milliseconds stall{10000};          // no progress this long: a failed send
    std::chrono::milliseconds connect{3000};         // connection time-out
    std::chrono::milliseconds before{1000};          // Brindel: before the operation starts
    std::chrono::milliseconds settle{1000};          // Brindel: between the two table clears
};

enum class NetStatus {
    Done,
    ConnectFailed,  // nothing was sent
    ReadFailed,     // the image could not be read part-way; error holds the errno
    BlockFailed,    // a send call of a block sent nothing, failed or stalled
    TailFailed,     // the terminator or the checksum did not leave
    NotDelivered,   // everything left, but the printer did not acknowledge all of it
};

struct NetResult {
    NetStatus status = NetStatus::Done;
    int error = 0;               // errno of a failed read
    printerlink::TcpResult tcp;  // the connection: its fault and how much the printer took
    uint64_t imageBytes = 0;     // file bytes sent in whole blocks
    uint32_t checksum = 0;
};

// Connects to ip:port and sends `1B 2B`, the image blocks (one send call per unsent remainder,
// `afterSend` after each), the terminator halves and the checksum with their pauses, waits until
// the printer has acknowledged every byte, then closes. `progress` gets the file bytes sent after
// every block.
[[nodiscard]] NetResult SendImageToPrinter(const std::array<uint8_t, 4>& ip, uint16_t port,
                                           ByteSource& image, const BlockProgress& progress = {},
                                           const NetPacing& pacing = {});

// What the operation reports; every function is called on the thread running it.
struct NetDownloadSinks {
    std::function<void(const std::string&)> showMessage;    // returns once dismissed
    std::function<void(const std::string&)> showFileError;  // a box with the stop icon
    std::function<void(int status)> exitProgram;            // does not return in the program
    std::function<void(int position)> setProgress;          // 0..100
    std::function<int()> selectedLine;                      // list 1019, -1 when none
    std::function<void()> clearList;                        // empties list 1019
    // What the printer reports after a failed download ("打印机报告:缺纸"), shown before the
    // failure's message; not called when it reports nothing wrong or does not answer.
    std::function<void(const std::string&)> showPrinterReport;
};

enum class NetOutcome { Done, FileError, NoSelection, Refused, ConnectFailed, PrintError };

// Brindel's "网络升级": image "FWIMAGE_80.bin" from `workDir` to the printer of the selected
// line of `table`. A failed block, terminator or checksum is "Print error" and exit status 1,
// after the printer was asked its status (what it reports goes to showPrinterReport).
class NetworkDownload {
  public:
    NetworkDownload(netcfg::DeviceTable& table, NetDownloadSinks sinks,
                    std::filesystem::path workDir = {}, uint16_t port = kPrinterPort,
                    NetPacing pacing = {});
    [[nodiscard]] NetOutcome Run();

  private:
    void Message(const std::string& text) const;
    // Asks the printer at `ip` its status and shows what it reports wrong.
    void ReportPrinterStatus(const std::array<uint8_t, 4>& ip) const;

    netcfg::DeviceTable& table_;
    NetDownloadSinks sinks_;
    std::filesystem::path workDir_;
    uint16_t port_;
    NetPacing pacing_;
};

}  // namespace updater
