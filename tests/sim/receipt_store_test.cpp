// The receipt folder: numbering in print order after what is there, never over a file, failures
// that keep their number, and the index page listing every picture newest first.

#include "sim/paper/receipt_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/fakes/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using sim::paper::Bitmap;
using sim::paper::ReceiptStore;

// A PNG header with the picture's size: all the store reads of a file.
void WritePngHead(const fs::path& file, int width, int height) {
    std::string head("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    for (const int value : {width, height}) {
        for (const int shift : {24, 16, 8, 0}) head += static_cast<char>((value >> shift) & 0xFF);
    }
    std::ofstream(file, std::ios::binary) << head;
}

class FileDrawing : public sim::paper::Drawing {
  public:
    bool fail = false;
    const Bitmap& Glyph(char32_t, sim::paper::Face) override { return glyph_; }
    sim::paper::Symbol DrawSymbol(const sim::paper::SymbolRequest&) override { return {}; }
    bool SavePng(const Bitmap& picture, const std::string& path, std::string* error) override {
        if (fail || !fs::is_directory(sim::paper::PathFromUtf8(path).parent_path())) {
            *error = "No space left on device";
            return false;
        }
        WritePngHead(sim::paper::PathFromUtf8(path), picture.Width(), picture.Height());
        return true;
    }

  private:
    Bitmap glyph_{12, 24};
};

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const sim::paper::ReceiptSource kTcp{2, "tcp", 7};

TEST(ReceiptStore, NumbersFollowTheHighestAlreadyThereAndNeverOverwrite) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    WritePngHead(dir / "receipt-0003.png", 576, 800);
    WritePngHead(dir / "receipt-0010.png", 384, 1200);
    WritePngHead(dir / "receipt-abc.png", 1, 1);
    WritePngHead(dir / "other.png", 1, 1);
    ReceiptStore store(dir);
    EXPECT_EQ(store.Open(), "");
    EXPECT_EQ(store.NextNumber(), 11u);

    FileDrawing drawing;
    const auto first = store.Save(drawing, Bitmap(576, 1184), kTcp);
    EXPECT_EQ(first.file, "receipt-0011.png");
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(sim::paper::Describe(first), "receipt-0011.png, 576 × 1184 dots (14.8 cm)");

    // Another program took the next number meanwhile: it is skipped, not overwritten.
    WritePngHead(dir / "receipt-0012.png", 9, 9);
    const auto second = store.Save(drawing, Bitmap(384, 203), kTcp);
    EXPECT_EQ(second.file, "receipt-0013.png");
    EXPECT_EQ(Read(dir / "receipt-0012.png").size(), 24u);

    // A failed picture says why and leaves its number to the next one.
    drawing.fail = true;
    const auto failed = store.Save(drawing, Bitmap(576, 10), kTcp);
    EXPECT_EQ(sim::paper::Describe(failed), "receipt-0014.png not saved: No space left on device");
    drawing.fail = false;
    EXPECT_EQ(store.Save(drawing, Bitmap(576, 10), kTcp).file, "receipt-0014.png");
    fs::remove_all(dir);
}

TEST(ReceiptStore, IndexListsEveryPictureNewestFirstAtItsSize) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    WritePngHead(dir / "receipt-0001.png", 576, 300);
    ReceiptStore store(dir);
    ASSERT_EQ(store.Open(), "");
    FileDrawing drawing;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(store.WriteIndex(t0), "");  // the page exists before the first receipt
    EXPECT_NE(Read(dir / "index.html").find("receipt-0001.png"), std::string::npos);
    store.Save(drawing, Bitmap(576, 1184), kTcp);
    store.Save(drawing, Bitmap(384, 50), {1, "serial", 0});

    // Not again within the interval; then once, and not again until a new receipt.
    EXPECT_EQ(store.IndexDue(), t0 + ReceiptStore::kIndexInterval);
    store.WriteIndex(t0 + ReceiptStore::kIndexInterval / 2);
    EXPECT_EQ(Read(dir / "index.html").find("receipt-0002.png"), std::string::npos);
    store.WriteIndex(t0 + ReceiptStore::kIndexInterval);
    EXPECT_FALSE(store.IndexDue().has_value());

    const std::string page = Read(dir / "index.html");
    EXPECT_NE(page.find("<meta http-equiv=\"refresh\" content=\"2\">"), std::string::npos);
    const auto newest = page.find("src=\"receipt-0003.png\" width=\"384\" height=\"50\"");
    const auto middle = page.find("src=\"receipt-0002.png\" width=\"576\" height=\"1184\"");
    const auto oldest = page.find("src=\"receipt-0001.png\" width=\"576\" height=\"300\"");
    ASSERT_NE(newest, std::string::npos);
    ASSERT_NE(middle, std::string::npos);
    ASSERT_NE(oldest, std::string::npos);
    EXPECT_LT(newest, middle);
    EXPECT_LT(middle, oldest);
    EXPECT_NE(page.find("printer 2 tcp#7"), std::string::npos);
    EXPECT_NE(page.find("printer 1 serial,"), std::string::npos);
    EXPECT_NE(page.find("an earlier run"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / ".index.html.tmp"));
    fs::remove_all(dir);
}

TEST(ReceiptStore, AFolderThatCannotBeMadeFailsEachPictureAndRecoversWhenItCan) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    std::ofstream(dir / "blocked") << "a file where the folder should be";
    ReceiptStore store(dir / "blocked" / "receipts");
    EXPECT_NE(store.Open(), "");
    FileDrawing drawing;
    const auto failed = store.Save(drawing, Bitmap(576, 10), kTcp);
    EXPECT_EQ(failed.file, "receipt-0001.png");
    EXPECT_NE(failed.error, "");
    EXPECT_NE(store.WriteIndex(std::chrono::steady_clock::now(), true), "");

    fs::remove(dir / "blocked");
    const auto saved = store.Save(drawing, Bitmap(576, 10), kTcp);
    EXPECT_EQ(saved.file, "receipt-0001.png");
    EXPECT_EQ(saved.error, "");
    EXPECT_TRUE(fs::exists(dir / "blocked" / "receipts" / "receipt-0001.png"));
    fs::remove_all(dir);
}

// A folder given as UTF-8 text (as the options give it) is that folder, whatever the system's code
// page, and a relative one is named whole.
TEST(ReceiptStore, AFolderNamedInUtf8IsThatFolderAndNamedWhole) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    const std::string name = "收据 Reçus";
    ReceiptStore store(sim::paper::Utf8FromPath(dir) + "/" + name);
    ASSERT_EQ(store.Open(), "");
    FileDrawing drawing;
    EXPECT_EQ(store.Save(drawing, Bitmap(576, 10), kTcp).error, "");
    const fs::path folder = dir / sim::paper::PathFromUtf8(name);
    EXPECT_TRUE(fs::exists(folder / "receipt-0001.png"));
    EXPECT_EQ(store.WriteIndex(std::chrono::steady_clock::now(), true), "");
    EXPECT_NE(Read(folder / "index.html").find(name), std::string::npos);

    const fs::path working = fs::current_path();
    fs::current_path(dir);
    const ReceiptStore relative(std::string("receipts"));
    fs::current_path(working);
    EXPECT_EQ(fs::weakly_canonical(relative.Folder()), fs::weakly_canonical(dir / "receipts"));
    EXPECT_TRUE(relative.Folder().is_absolute());
    fs::remove_all(dir);
}

}  // namespace
