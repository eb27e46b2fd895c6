#pragma once
// The soak's jobs, drawn from a seed: print jobs of random size (some with images), setting
// frames, cuts, firmware images and status requests for the command line's paths, and commands
// for the windows' sender. Every job that prints carries its id and a checksum in a first text
// line ("JOB 000123 5F3A") and its id in a last one ("END 000123"), so the simulator's log shows
// which job a connection carried and that its end arrived; a firmware image is known by its
// checksum.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace soak {

enum class JobKind {
    Print,     // text lines and raster images, 1 byte to 200 kB of body
    Setting,   // a setting frame as `tessary-cli send` builds it
    Cut,       // a one-click command (cut, drawer kick, beep)
    Firmware,  // an image file through `tessary-cli firmware --to net:`
    Status,    // `tessary-cli status --to net:`
    Window,    // a command of at most 2048 bytes through the windows' sender thread
};
const char* KindName(JobKind kind);

inline constexpr std::size_t kMaxBody = 200 * 1024;
inline constexpr std::size_t kMaxImage = 32 * 1024;
inline constexpr std::size_t kWindowCommand = 2048;  // the windows' command buffer

// A job as planned: what it is and where it runs; the rest is known once it is built.
struct Job {
    uint32_t id = 0;
    JobKind kind = JobKind::Print;
    int lane = 0;       // the lane (and printer, from 1) that runs it
    uint64_t seed = 0;  // its content
    // Known once built:
    uint64_t bytes = 0;             // what goes to the printer in all (Firmware: the stream)
    uint16_t checksum = 0;          // in the first text line
    uint32_t firmwareChecksum = 0;  // the download's own checksum
    // Longer than the job can take on any fault the simulator draws: past it, it is lost.
    std::chrono::milliseconds limit{0};
};

// A job's bytes, made when it runs (so the sender's memory holds one job a lane).
struct JobContent {
    // Print, Setting, Cut, Window: the commands, sent as one job on one connection.
    std::vector<std::vector<uint8_t>> commands;
    std::vector<uint8_t> image;  // Firmware: the image file's bytes
};

// The marker lines: "JOB 000123 5F3A\n" and "END 000123\n".
std::string StartMarker(uint32_t id, uint16_t checksum);
std::string EndMarker(uint32_t id);
// CRC-16/CCITT of the bytes between the markers.
uint16_t Crc16(const std::vector<std::vector<uint8_t>>& parts);

struct JobMix {
    int lanes = 8;        // one printer each
    int windowLanes = 2;  // of them, the last ones run the windows' sender
};

// `count` jobs spread over the lanes in turn, the same for the same seed.
std::vector<Job> PlanJobs(uint32_t count, uint64_t seed, const JobMix& mix);
// The job's bytes, the same for the same job; its size, checksums and limit filled in.
JobContent Build(Job& job);

}  // namespace soak
