// The receipt folder: numbering in print order after what is there, never over a file, failures
// that keep their number, the data file beside each picture, the bounded index and its queries,
// and the index page listing the newest pictures.

#include "sim/paper/receipt_store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/fakes/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using sim::paper::Bitmap;
using sim::paper::ReceiptEnd;
using sim::paper::ReceiptEntry;
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

const sim::paper::ReceiptSource kTcp{2, "tcp", 7, {}};

sim::paper::Receipt Picture(int width, int height) {
    return {Bitmap(width, height), sim::paper::ReceiptEnd::FullCut, {}};
}

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
    const auto first = store.Save(drawing, Picture(576, 1184), kTcp);
    EXPECT_EQ(first.file, "receipt-0011.png");
    EXPECT_EQ(first.error, "");
    EXPECT_EQ(sim::paper::Describe(first), "receipt-0011.png, 576 × 1184 dots (14.8 cm)");

    // Another program took the next number meanwhile: it is skipped, not overwritten.
    WritePngHead(dir / "receipt-0012.png", 9, 9);
    const auto second = store.Save(drawing, Picture(384, 203), kTcp);
    EXPECT_EQ(second.file, "receipt-0013.png");
    EXPECT_EQ(Read(dir / "receipt-0012.png").size(), 24u);

    // A failed picture says why and leaves its number to the next one.
    drawing.fail = true;
    const auto failed = store.Save(drawing, Picture(576, 10), kTcp);
    EXPECT_EQ(sim::paper::Describe(failed), "receipt-0014.png not saved: No space left on device");
    drawing.fail = false;
    EXPECT_EQ(store.Save(drawing, Picture(576, 10), kTcp).file, "receipt-0014.png");
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
    store.Save(drawing, Picture(576, 1184), kTcp);
    store.Save(drawing, Picture(384, 50), {1, "serial", 0, {}});

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
    const auto failed = store.Save(drawing, Picture(576, 10), kTcp);
    EXPECT_EQ(failed.file, "receipt-0001.png");
    EXPECT_NE(failed.error, "");
    EXPECT_NE(store.WriteIndex(std::chrono::steady_clock::now(), true), "");

    fs::remove(dir / "blocked");
    const auto saved = store.Save(drawing, Picture(576, 10), kTcp);
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
    EXPECT_EQ(store.Save(drawing, Picture(576, 10), kTcp).error, "");
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
}

// Each picture's data file: its header first, then the lines and items as the paper recorded them.
TEST(ReceiptStore, ADataFileBesideEachPicture) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    std::ofstream(dir / "receipt-0001.json") << "{}";  // a number taken by a data file alone
    ReceiptStore store(dir);
    ASSERT_EQ(store.Open(), "");
    sim::paper::Receipt receipt = Picture(576, 100);
    receipt.end = ReceiptEnd::PartialCut;
    sim::paper::Item text;
    text.name = "A";
    text.text = "Total 9.20";
    text.box = sim::paper::Box{0, 0, 120, 24};
    text.bytes = {3, 13};
    sim::paper::Item qr;
    qr.type = sim::paper::ItemType::Symbol;
    qr.name = "QR code";
    qr.data = {'h', 'i', 0xFF};
    qr.box = sim::paper::Box{10, 30, 44, 44};
    qr.bytes = {40, 48};
    qr.stored = sim::paper::ByteRange{20, 40};
    sim::paper::Item note;
    note.type = sim::paper::ItemType::Note;
    note.name = "multi-tone graphics";
    note.text = "not drawn";
    for (sim::paper::Item* item : {&text, &qr, &note}) receipt.record.Add(std::move(*item));
    receipt.record.AddLine("Total 9.20");
    FileDrawing drawing;
    const auto saved = store.Save(drawing, receipt, {2, "file", 3, "job \"7\".bin"});
    EXPECT_EQ(saved.number, 2u);
    EXPECT_EQ(saved.dataFile, "receipt-0002.json");
    EXPECT_EQ(saved.dataError, "");
    const std::string data = Read(dir / "receipt-0002.json");
    const auto json = nlohmann::json::parse(data, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << data;
    EXPECT_EQ(data.rfind("{\n  \"version\": 1,\n  \"number\": 2,\n", 0), 0u) << data;
    EXPECT_EQ(json["picture"], "receipt-0002.png");
    EXPECT_EQ(json["printer"], 2);
    EXPECT_EQ(json["link"], "file");
    EXPECT_EQ(json["connection"], 3);
    EXPECT_EQ(json["job"], "job \"7\".bin");
    EXPECT_EQ(json["end"], "partial cut");
    EXPECT_EQ(json["width"], 576);
    EXPECT_EQ(json["height"], 100);
    EXPECT_EQ(json["time"].get<std::string>().size(), 25u);  // 2025-01-30T14:03:07+01:00
    EXPECT_EQ(json["lines"], nlohmann::json::array({"Total 9.20"}));
    EXPECT_EQ(json["itemsLeftOut"], 0);
    ASSERT_EQ(json["items"].size(), 3u);
    const auto& t = json["items"][0];
    EXPECT_EQ(t["type"], "text");
    EXPECT_EQ(t["font"], "A");
    EXPECT_EQ(t["box"], (nlohmann::json{{"x", 0}, {"y", 0}, {"width", 120}, {"height", 24}}));
    EXPECT_EQ(t["size"], (nlohmann::json{{"width", 1}, {"height", 1}}));
    EXPECT_EQ(t["from"], 3);
    EXPECT_EQ(t["to"], 13);
    const auto& s = json["items"][1];  // not UTF-8: as hex only
    EXPECT_EQ(s["kind"], "QR code");
    EXPECT_FALSE(s.contains("data"));
    EXPECT_EQ(s["dataHex"], "68 69 FF");
    EXPECT_EQ(s["storedFrom"], 20);
    EXPECT_EQ(s["storedTo"], 40);
    const auto& n = json["items"][2];  // nothing drawn: no box
    EXPECT_EQ(n["what"], "multi-tone graphics");
    EXPECT_EQ(n["why"], "not drawn");
    EXPECT_FALSE(n.contains("box"));
    fs::remove_all(dir);
}

TEST(ReceiptStore, TheIndexAnswersForEachPrinterNewestFirstAndSurvivesARestart) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    WritePngHead(dir / "receipt-0001.png", 576, 300);  // an earlier run's, without data
    FileDrawing drawing;
    {
        ReceiptStore store(dir);
        ASSERT_EQ(store.Open(), "");
        // Receipts 2 to 9: printers 1, 2, 1, 2, ...
        for (int i = 0; i < 8; ++i)
            store.Save(drawing, Picture(576, 10 + i), {1 + i % 2, "tcp", 10u + i, {}});
        const auto numbers = [](const std::vector<ReceiptEntry>& list) {
            std::vector<unsigned> out;
            for (const ReceiptEntry& e : list) out.push_back(e.number);
            return out;
        };
        EXPECT_EQ(numbers(store.List({1, 0, 100})), (std::vector<unsigned>{8, 6, 4, 2}));
        EXPECT_EQ(numbers(store.List({2, 5, 100})), (std::vector<unsigned>{9, 7}));
        EXPECT_EQ(numbers(store.List({std::nullopt, 0, 3})), (std::vector<unsigned>{9, 8, 7}));
        EXPECT_EQ(numbers(store.List({0, 0, 100})), (std::vector<unsigned>{1}));
        EXPECT_EQ(numbers(store.List({1, 0, 2, 7})), (std::vector<unsigned>{6, 4}));
        EXPECT_EQ(numbers(store.List({std::nullopt, 3, 100, 7})), (std::vector<unsigned>{6, 5, 4}));
        EXPECT_EQ(numbers(store.List({std::nullopt, 0, 100, 1})), (std::vector<unsigned>{}));
        EXPECT_EQ(store.Latest(2)->number, 9u);
        EXPECT_EQ(store.Latest(2)->connection, 17u);
        EXPECT_FALSE(store.Latest(3).has_value());
        const auto found = store.Find(4);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->printer, 1);
        EXPECT_EQ(found->height, 12);
        EXPECT_EQ(found->end, ReceiptEnd::FullCut);
        EXPECT_TRUE(found->data);
        EXPECT_FALSE(store.Find(10).has_value());
    }
    // Started again on the folder: the receipts keep their printer from their data files.
    std::error_code ignored;
    fs::remove(dir / "receipt-0003.json", ignored);
    ReceiptStore store(dir);
    ASSERT_EQ(store.Open(), "");
    EXPECT_EQ(store.Count(), 9u);
    EXPECT_EQ(store.NextNumber(), 10u);
    const auto latest = store.Latest(2);
    ASSERT_TRUE(latest.has_value());
    EXPECT_EQ(latest->number, 9u);
    EXPECT_EQ(latest->link, sim::paper::ReceiptLink::Tcp);
    EXPECT_EQ(latest->connection, 17u);
    EXPECT_EQ(latest->width, 576);
    EXPECT_EQ(latest->height, 17);
    const auto unknown = store.List({0, 0, 100});  // no data file: printer not known
    ASSERT_EQ(unknown.size(), 2u);
    EXPECT_EQ(unknown[0].number, 3u);
    EXPECT_EQ(unknown[1].number, 1u);
    EXPECT_EQ(unknown[1].height, 300);
    fs::remove_all(dir);
}

// The page shows the newest receipts only and says how many older ones the folder holds.
TEST(ReceiptStore, ThePageShowsTheNewest) {
    const fs::path dir = fakes::NewTempFolder("receipts-");
    ASSERT_FALSE(dir.empty());
    ReceiptStore store(dir);
    ASSERT_EQ(store.Open(), "");
    FileDrawing drawing;
    const std::size_t total = ReceiptStore::kPageShown + 5;
    for (std::size_t i = 0; i < total; ++i) store.Save(drawing, Picture(384, 20), kTcp);
    ASSERT_EQ(store.WriteIndex(std::chrono::steady_clock::now(), true), "");
    const std::string page = Read(dir / "index.html");
    EXPECT_NE(page.find("src=\"receipt-0305.png\""), std::string::npos);
    EXPECT_NE(page.find("src=\"receipt-0006.png\""), std::string::npos);
    EXPECT_EQ(page.find("src=\"receipt-0005.png\""), std::string::npos);
    EXPECT_NE(page.find("<a href=\"receipt-0305.json\">data</a>"), std::string::npos);
    EXPECT_NE(page.find("305 receipts in "), std::string::npos);
    EXPECT_NE(page.find("5 older receipts in this folder"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
