#pragma once
// A printer's side of one line printer daemon connection (RFC 1179), without sockets: the bytes a
// client sends go in as they arrive, in pieces of any size; acknowledgements and answers come out,
// each step is told as one log line, and a data file's bytes are handed on as they arrive, never
// held whole. What a client announces is bounded: a command line, the control file, the count of
// a data file. A refused step (a non-zero acknowledgement) ends the exchange.
//
//   lpd::Exchange exchange;
//   exchange.Feed(bytes, events);  // events.Reply(...) goes back to the client
//   if (exchange.Over()) ... close the connection
//   exchange.End(events);          // the client closed its side first

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/lpd/lpd_text.h"

namespace sim::lpd {

// A command or subcommand line with its LF, a control file, a data file: at most so many bytes.
inline constexpr std::size_t kMaxLine = 1024;
inline constexpr std::size_t kMaxControlFile = 64 * 1024;
inline constexpr uint64_t kMaxDataFile = uint64_t{64} * 1024 * 1024;

// Acknowledgements: taken; refused (a bad or unknown request, a file that came bad); no room for
// a file that large.
inline constexpr uint8_t kAccepted = 0;
inline constexpr uint8_t kRefused = 1;
inline constexpr uint8_t kNoRoom = 2;

struct DataFile {
    std::string name;       // as the subcommand named it, e.g. dfA644host
    uint64_t count = 0;     // as announced; 0: until the connection ends
    uint64_t received = 0;  // of its bytes so far
    std::string job;        // the job's name when it began: the control file's, else its own
};

// What an exchange asks of the printer it serves.
class Events {
  public:
    virtual ~Events() = default;
    // Bytes for the client: an acknowledgement, or the text answering a command.
    virtual void Reply(std::span<const uint8_t> bytes) = 0;
    // One log line.
    virtual void Say(const std::string& text) = 0;
    // A control file came whole (a second one replaces the first).
    virtual void Control(const ControlFile& control) = 0;
    // A data file begins; its bytes follow in Data, in order; DataEnd says whether it came whole
    // (`whole` false: cut short, its end byte bad or the connection ended before all of it).
    virtual void DataBegin(const DataFile& file) = 0;
    virtual void Data(std::span<const uint8_t> bytes) = 0;
    virtual void DataEnd(const DataFile& file, bool whole) = 0;
    // The client aborted the job: its control file is forgotten (data files already printed).
    virtual void Abort() = 0;
    // The queue's state, for a queue-state command.
    virtual QueueView Queue(const std::string& queue) = 0;
};

class Exchange {
  public:
    void Feed(std::span<const uint8_t> bytes, Events& events);
    // The client's side ended: a data file sent "until the connection ends" is whole; anything
    // else cut short is told. The exchange is then over.
    void End(Events& events);

    // Nothing more is read: the exchange ended, was refused, or the connection ended.
    bool Over() const { return phase_ == Phase::Over; }
    // Why it is over, for the connection's closing line.
    const std::string& Ending() const { return ending_; }
    // At most this many bytes should be read next: a data file's bytes are read up to its count,
    // so its end byte comes with a read of its own.
    uint64_t Wanted() const;
    // All of a data file's bytes came; its end byte (and acknowledgement) is next.
    bool AtDataEnd() const { return phase_ == Phase::DataEnd; }
    // The job's control file, once one came; the data file begun last.
    const std::optional<ControlFile>& Control() const { return control_; }
    const std::optional<DataFile>& Current() const { return data_; }
    // Data bytes received in all.
    uint64_t DataBytes() const { return dataBytes_; }

  private:
    enum class Phase { Command, Subcommand, ControlBody, ControlEnd, DataBody, DataEnd, Over };

    // Bytes taken from `bytes` for the phase.
    std::size_t ReadLine(std::span<const uint8_t> bytes, Events& events);
    void OnCommand(Events& events);
    void OnSubcommand(Events& events);
    void OnFileCommand(bool control, Events& events);
    void OnControlEnd(uint8_t end, Events& events);
    void OnDataEnd(uint8_t end, Events& events);
    void Accept(Events& events);
    // A non-zero acknowledgement and the end of the exchange.
    void Refuse(uint8_t code, const std::string& why, Events& events);
    void Finish(const std::string& why);
    std::string JobText() const;

    Phase phase_ = Phase::Command;
    std::string ending_;
    std::string line_;  // the command line read so far
    std::string queue_;
    std::string controlName_;
    std::string controlText_;  // the control file read so far, at most kMaxControlFile
    uint64_t remaining_ = 0;   // bytes of the file being read still to come
    bool untilEnd_ = false;    // the data file ends with the connection
    std::optional<ControlFile> control_;
    std::optional<DataFile> data_;
    uint64_t dataFiles_ = 0;
    uint64_t dataBytes_ = 0;
};

}  // namespace sim::lpd
