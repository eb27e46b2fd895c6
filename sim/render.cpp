#include "sim/render.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "platform/console.h"
#include "sim/paper/drawing.h"
#include "sim/paper/files.h"
#include "sim/paper/receipt_store.h"
#include "sim/print_job.h"

namespace sim {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr const char* kLink = "file";

std::string Cause(int error) {
    return std::generic_category().message(error);
}

}  // namespace

int RenderFiles(const SimOptions& options, const std::vector<std::string>& files,
                const std::function<void(const SimLine&)>& lines,
                const std::function<void(const std::string&)>& errors) {
    const auto say = [&](int printer, uint64_t connection, const std::string& text,
                         std::optional<paper::SavedReceipt> receipt = std::nullopt) {
        if (lines) {
            lines(SimLine{printer, printer > 0 ? kLink : "sim", connection, text, std::nullopt,
                          std::move(receipt), std::nullopt});
        }
    };
    std::string why;
    const std::unique_ptr<paper::Drawing> drawing = paper::MakeDrawing(&why, options.fonts);
    if (!drawing) {
        errors("render: " + why);
        return 1;
    }
    paper::ReceiptStore store(options.receipts.empty() ? "." : options.receipts);
    const std::string warning = store.Open();
    say(0, 0, PaperLine(options.paperWidth, store));
    int status = 0;
    if (!warning.empty()) {
        say(0, 0, "paper: " + warning);
        status = 1;
    }
    std::vector<uint8_t> buffer(kChunk);
    // A capture on standard input is bytes, never text.
    for (const std::string& name : files) {
        if (name == "-") platform::BinaryStandardInput();
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& name = files[i];
        const bool standardInput = name == "-";
        const std::string shown = standardInput ? "standard input" : name;
        std::string cause;
        std::FILE* file =
            standardInput ? stdin : paper::OpenToRead(paper::PathFromUtf8(name), &cause);
        if (file == nullptr) {
            errors("cannot read " + shown + ": " + cause);
            status = 1;
            continue;
        }
        const uint64_t connection = i + 1;
        PrintJob job(
            paper::ReceiptSource{1, kLink, connection, shown},
            JobPaper{drawing.get(), &store, options.paperWidth},
            [&](Event&& e) {
                const std::string text = Describe(e);
                if (lines)
                    lines(SimLine{1, kLink, connection, text, std::move(e), std::nullopt,
                                  std::nullopt});
            },
            [&](const std::string& text, std::optional<paper::SavedReceipt> receipt) {
                say(1, connection, text, std::move(receipt));
            });
        say(1, connection, "reading " + shown);
        for (;;) {
            errno = 0;
            const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
            if (n > 0) job.Feed(std::span<const uint8_t>(buffer.data(), n));
            if (n < buffer.size()) break;
        }
        if (std::ferror(file)) {
            errors("cannot read " + shown + " to the end (" + std::to_string(job.BytesFed()) +
                   " bytes read): " + Cause(errno));
            status = 1;
        }
        if (!standardInput) std::fclose(file);
        job.Finish();
        say(1, connection,
            "end of " + shown + ", " + std::to_string(job.BytesFed()) + " bytes in all");
        if (job.Failures() > 0) status = 1;
    }
    const std::string failure = store.WriteIndex(std::chrono::steady_clock::now(), true);
    if (!failure.empty()) {
        say(0, 0, "paper: " + failure);
        status = 1;
    }
    return status;
}

}  // namespace sim
