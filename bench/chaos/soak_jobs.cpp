#include "bench/chaos/soak_jobs.h"

#include <algorithm>
#include <cstdio>

#include "cli/send_names.h"
#include "sim/chaos/chaos_plan.h"
#include "tests/fakes/memory_source.h"
#include "updater/download_stream.h"

namespace soak {
namespace {

using sim::chaos::Generator;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Slower than any printer the simulator plays reads (4 KiB/s), plus the longest stall it plays
// (6 s), the no-progress rule (10 s), a connect's time-out (3 s), the wait for the printer's side
// (0.5 s) and a margin.
constexpr std::chrono::milliseconds kFixedLimit{30000};
constexpr uint64_t kSlowestRead = 4096;

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A line of printable words, ending in LF.
Bytes Line(Generator& g, std::size_t length) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789     ";
    Bytes line;
    for (std::size_t i = 0; i + 1 < length; ++i)
        line.push_back(static_cast<uint8_t>(kLetters[g.Below(sizeof kLetters - 1)]));
    line.push_back('\n');
    return line;
}

// GS v 0: a raster image `width` bytes across and `rows` high, random dots.
Bytes Image(Generator& g, std::size_t width, std::size_t rows) {
    Bytes image{0x1D,
                'v',
                '0',
                0,
                static_cast<uint8_t>(width & 0xFF),
                static_cast<uint8_t>(width >> 8),
                static_cast<uint8_t>(rows & 0xFF),
                static_cast<uint8_t>(rows >> 8)};
    for (std::size_t i = 0; i < width * rows; ++i)
        image.push_back(static_cast<uint8_t>(g.Below(256)));
    return image;
}

// About `size` bytes of receipt: text lines, and for most larger ones raster images carrying the
// bulk (a log line each, where text is a line per line).
std::vector<Bytes> Body(Generator& g, std::size_t size) {
    std::vector<Bytes> parts;
    std::size_t left = size;
    if (size > 4096 || (size > 512 && g.Below(4) != 0)) {
        const std::size_t lines = 1 + g.Below(4);
        for (std::size_t i = 0; i < lines; ++i) {
            parts.push_back(Line(g, 8 + g.Below(40)));
            left -= std::min(left, parts.back().size());
        }
        while (left > 8 + 72) {
            const std::size_t rows = std::min<std::size_t>((left - 8) / 72, 2000);
            parts.push_back(Image(g, 72, rows));
            left -= std::min(left, parts.back().size());
        }
    }
    while (left > 0) {
        parts.push_back(Line(g, std::min<std::size_t>(left, 1 + g.Below(48))));
        left -= parts.back().size();
    }
    return parts;
}

// Marked commands: start marker, the parts, end marker.
void Mark(Job& job, JobContent& content, std::vector<Bytes> parts) {
    job.checksum = Crc16(parts);
    content.commands.push_back(Text(StartMarker(job.id, job.checksum)));
    for (Bytes& p : parts) content.commands.push_back(std::move(p));
    content.commands.push_back(Text(EndMarker(job.id)));
    job.bytes = 0;
    for (const Bytes& c : content.commands) job.bytes += c.size();
}

// An image's checksum as the download computes it.
class NullSink final : public updater::StreamSink {
  public:
    bool Write(const uint8_t*, std::size_t) override { return true; }
};

// Body sizes spread over every scale: 2^k to 2^(k+1), k uniform.
std::size_t BodySize(Generator& g, std::size_t most) {
    const uint64_t k = g.Below(18);
    return std::clamp<std::size_t>(g.Between(uint64_t{1} << k, (uint64_t{2} << k) - 1), 1, most);
}

void MakeSetting(Generator& g, Job& job, JobContent& content) {
    struct Choice {
        const char* name;
        const char* value;
    };
    static const Choice kChoices[] = {
        {"cutter", "on"}, {"cutter", "off"},         {"sound", "on"},   {"code-page", "25"},
        {"density", "3"}, {"feed-after-cut", "off"}, {"auto-cut", "on"}};
    const Choice& c = kChoices[g.Below(std::size(kChoices))];
    const std::string value = c.value;
    cli::BuiltCommand built = cli::BuildSendCommand(c.name, std::span(&value, 1), {});
    Mark(job, content, {std::move(built.bytes)});
}

void MakeCut(Generator& g, Job& job, JobContent& content) {
    static const char* kNames[] = {"cut", "drawer", "beep"};
    const char* name = kNames[g.Below(std::size(kNames))];
    const std::string value = "2";
    cli::BuiltCommand built = cli::BuildSendCommand(
        name, std::string_view(name) == "beep" ? std::span(&value, 1) : std::span<std::string>(),
        {});
    Mark(job, content, {std::move(built.bytes)});
}

void MakeFirmware(Generator& g, Job& job, JobContent& content) {
    content.image.resize(static_cast<std::size_t>(g.Between(1, kMaxImage)));
    for (uint8_t& b : content.image) b = static_cast<uint8_t>(g.Below(256));
    fakes::MemorySource source(content.image);
    NullSink sink;
    job.firmwareChecksum = updater::SendFirmwareStream(source, sink).checksum;
    job.bytes = updater::FirmwareStreamSize(content.image.size());
}

}  // namespace

const char* KindName(JobKind kind) {
    switch (kind) {
        case JobKind::Print:
            return "print";
        case JobKind::Setting:
            return "setting";
        case JobKind::Cut:
            return "cut";
        case JobKind::Firmware:
            return "firmware";
        case JobKind::Status:
            return "status";
        case JobKind::Window:
            return "window";
    }
    return "?";
}

std::string StartMarker(uint32_t id, uint16_t checksum) {
    char text[32];
    std::snprintf(text, sizeof text, "JOB %06u %04X\n", id, checksum);
    return text;
}

std::string EndMarker(uint32_t id) {
    char text[32];
    std::snprintf(text, sizeof text, "END %06u\n", id);
    return text;
}

uint16_t Crc16(const std::vector<std::vector<uint8_t>>& parts) {
    uint16_t crc = 0xFFFF;
    for (const auto& part : parts) {
        for (const uint8_t byte : part) {
            crc ^= static_cast<uint16_t>(byte << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

std::vector<Job> PlanJobs(uint32_t count, uint64_t seed, const JobMix& mix) {
    Generator g(seed);
    std::vector<Job> jobs;
    jobs.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        Job job;
        job.id = i + 1;
        job.lane = static_cast<int>(i % static_cast<uint32_t>(mix.lanes));
        if (job.lane >= mix.lanes - mix.windowLanes) {
            job.kind = JobKind::Window;
        } else {
            const uint64_t pick = g.Below(100);
            job.kind = pick < 55   ? JobKind::Print
                       : pick < 65 ? JobKind::Setting
                       : pick < 75 ? JobKind::Cut
                       : pick < 85 ? JobKind::Firmware
                                   : JobKind::Status;
        }
        job.seed = g.Below(UINT64_MAX);
        jobs.push_back(job);
    }
    return jobs;
}

JobContent Build(Job& job) {
    Generator g(job.seed);
    JobContent content;
    switch (job.kind) {
        case JobKind::Print:
            Mark(job, content, Body(g, BodySize(g, kMaxBody)));
            break;
        case JobKind::Window: {
            // One command of the windows' buffer: the markers and the body in it.
            Mark(job, content, Body(g, BodySize(g, kWindowCommand - 32)));
            Bytes command;
            for (const Bytes& c : content.commands)
                command.insert(command.end(), c.begin(), c.end());
            content.commands = {std::move(command)};
            break;
        }
        case JobKind::Setting:
            MakeSetting(g, job, content);
            break;
        case JobKind::Cut:
            MakeCut(g, job, content);
            break;
        case JobKind::Firmware:
            MakeFirmware(g, job, content);
            break;
        case JobKind::Status:
            job.bytes = 12;  // DLE EOT 1 to 4 at most
            break;
    }
    // Firmware: 10 ms a block and the pauses of its tail on top.
    const auto pacing = job.kind == JobKind::Firmware
                            ? std::chrono::milliseconds(job.bytes / 512 * 10 + 1000)
                            : 0ms;
    job.limit = kFixedLimit + pacing + std::chrono::milliseconds(job.bytes * 1000 / kSlowestRead);
    return content;
}

}  // namespace soak
