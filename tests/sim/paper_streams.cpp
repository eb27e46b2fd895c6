#include "tests/sim/paper_streams.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace papertest {
namespace {

// Command bytes (numbers, so no hex escape runs into the text after it).
std::string C(std::initializer_list<int> bytes) {
    std::string out;
    for (const int b : bytes) out += static_cast<char>(b);
    return out;
}

std::string Le(std::size_t n) {
    return C({static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF)});
}

// GS ( k: a 2D symbol's function `fn` of symbol `cn` with its parameters.
std::string K(int cn, int fn, std::string_view parameters) {
    return "\x1D(k" + Le(parameters.size() + 2) + C({cn, fn}) + std::string(parameters);
}
std::string PrintSymbol(int cn) {
    return K(cn, 81, "0");
}

// GS k m n data: a barcode of the counted form.
std::string Barcode(int m, std::string_view data) {
    return C({0x1D, 'k', m, static_cast<int>(data.size())}) + std::string(data);
}

const std::string kInit = C({0x1B, '@'});
const std::string kCut = C({0x1D, 'V', 66, 0});
const std::string kChineseOff = C({0x1C, '.'});
std::string CodePage(int n) {
    return C({0x1B, 't', n});
}

// A checkerboard of 8-dot squares, `width` × `height` dots, rows of whole bytes.
std::string Checkers(int width, int height) {
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width / 8; ++x)
            out += static_cast<char>(((x + y / 8) % 2) != 0 ? 0xFF : 0x00);
    }
    return out;
}

PaperStream Stream(std::string name, std::string bytes, std::vector<std::string> symbols) {
    std::sort(symbols.begin(), symbols.end());
    return {std::move(name), std::vector<uint8_t>(bytes.begin(), bytes.end()), std::move(symbols)};
}

PaperStream Text() {
    return Stream(
        "text in fonts A and B, sizes and styles",
        kInit + kChineseOff + "Font A 12x24: The quick brown fox 0123456789\n" + C({0x1B, 'M', 1}) +
            "Font B 9x17: The quick brown fox jumps 0123456789\n" + C({0x1B, 'M', 0}) +
            C({0x1B, 'E', 1}) + "Bold " + C({0x1B, 'E', 0}) + C({0x1B, '-', 1}) + "underline" +
            C({0x1B, '-', 2}) + " double" + C({0x1B, '-', 0}) + " " + C({0x1D, 'B', 1}) +
            " reverse " + C({0x1D, 'B', 0}) + C({0x1B, 'G', 1}) + " strike\n" + C({0x1B, 'G', 0}) +
            C({0x1D, '!', 0x11}) + "Double 2x2\n" + C({0x1D, '!', 0x20}) + "Wide x3\n" +
            C({0x1D, '!', 0x02}) + "Tall x3\n" + C({0x1D, '!', 0x00}) + C({0x1B, '!', 0x38}) +
            "ESC ! bold 2x2\n" + C({0x1B, '!', 0x01}) + "ESC ! font B\n" + C({0x1B, '!', 0x00}) +
            C({0x1B, '{', 1}) + "Upside down\n" + C({0x1B, '{', 0}) + C({0x1B, 'V', 1}) +
            "Turned 90\n" + C({0x1B, 'V', 0}) + C({0x1B, ' ', 6}) + "Spaced\n" + C({0x1B, ' ', 0}) +
            C({0x1B, 'a', 1}) + "Centred\n" + C({0x1B, 'a', 2}) + "Right\n" + C({0x1B, 'a', 0}) +
            C({0x1D, 'L', 40, 0}) + "Margin 40\n" + C({0x1D, 'L', 0, 0}) +
            C({0x1B, 'D', 8, 20, 0}) + "Tab\tA\tB\n" + "Item" + C({0x1B, '$', 0xE0, 0x01}) +
            "9.99\n" + C({0x1B, '3', 50}) + "Line spacing 50\nnext\n" + C({0x1B, '2'}) +
            C({0x1B, 'd', 2}) +
            "A long line that wraps at the paper's edge, longer than forty-eight characters of "
            "font A\n" +
            kCut,
        {});
}

PaperStream ChineseAndCodePages() {
    return Stream(
        "Chinese, code pages and UTF-8",
        kInit + C({0x1C, '&'}) +
            "\xBB\xB6\xD3\xAD\xB9\xE2\xC1\xD9 \xD6\xD0\xCE\xC4\xB4\xF2\xD3\xA1\xB2\xE2\xCA\xD4\n" +
            C({0x1D, '!', 0x11}) + "\xBA\xCF\xBC\xC6\xA3\xBA" + "12" + "\xD4\xAA\n" +
            C({0x1D, '!', 0x00}) + "\xA1\xA4\xA1\xAA \xBC\xDB\xB8\xF1\n" + C({0x1B, 'M', 1}) +
            "Font B \xD6\xD0\xCE\xC4\n" + C({0x1B, 'M', 0}) + kChineseOff + CodePage(0) +
            "PC437 \xC9\xCD\xCD\xBB \xB0\xB1\xB2 \x9C\xE1\n" + CodePage(16) +
            "WPC1252 \x43\x61\x66\xE9 \x80\x35\n" + CodePage(17) +
            "PC866 \x8F\xE0\xA8\xA2\xA5\xE2\n" + CodePage(15) +
            "ISO8859-7 \xC5\xEB\xEB\xDC\xE4\xE1\n" + CodePage(1) + "Katakana \xB1\xB2\xB3\xB4\n" +
            CodePage(0) + C({0x1C, '(', 'C', 2, 0, 48, 2}) +
            "UTF-8 \xE2\x82\xAC \xE2\x82\xB9 \xCE\xA9 \xE2\x99\xA5 \xE2\x9C\x93 "
            "\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A \xED\x95\x9C\xEA\xB8\x80\n" +
            C({0x1C, '(', 'C', 2, 0, 48, 1}) + kCut,
        {});
}

// Barcodes with their text below in font B, each on a line of its own.
const std::string kBarcodeSetup =
    C({0x1D, 'H', 2, 0x1D, 'f', 1, 0x1D, 'h', 60, 0x1D, 'w', 2}) + C({0x1B, 'a', 1});

PaperStream UpcEan() {
    return Stream("UPC and EAN barcodes (and one refused)",
                  kInit + kBarcodeSetup + Barcode(65, "01234567890") + "\n" +
                      Barcode(66, "0123456") + "\n" + Barcode(67, "400638133393") + "\n" +
                      Barcode(68, "1234567") + "\n" + C({0x1D, 'k', 2}) + "5901234123457" + C({0}) +
                      "\n" + Barcode(67, "4006381333932") + "\n" + kCut,
                  {"012345678905", "01234565", "4006381333931", "12345670", "5901234123457"});
}

PaperStream OtherLinear() {
    return Stream("CODE39, ITF, CODABAR, CODE93",
                  kInit + kBarcodeSetup + Barcode(69, "*CODE-39 $5*") + "\n" +
                      Barcode(70, "12345678") + "\n" + Barcode(71, "A40156B") + "\n" +
                      C({0x1D, 'w', 3}) + Barcode(72, "Code 93/x") + "\n" + kCut,
                  {"CODE-39 $5", "12345678", "A40156B", "Code 93/x"});
}

const std::string kGs1Read =
    "0104012345678901"
    "10ABC\x1d"
    "21XYZ";

PaperStream Code128() {
    return Stream("CODE128 code sets, GS1-128, automatic CODE128",
                  kInit + kBarcodeSetup + Barcode(73, std::string("{BNo.{C\x0c\x22\x38{AAB", 14)) +
                      "\n" + Barcode(74, "(01)04012345678901(10)ABC(21)XYZ") + "\n" +
                      Barcode(79, "Receipt 0042") + "\n" + kCut,
                  {"No.123456AB", kGs1Read, "Receipt 0042"});
}

PaperStream DataBar() {
    return Stream("GS1 DataBar omnidirectional, truncated, limited, expanded",
                  kInit + kBarcodeSetup + Barcode(75, "0401234567890") + "\n" +
                      Barcode(76, "2001234567895") + "\n" + Barcode(77, "0401234567890") + "\n" +
                      Barcode(78, "(01)04012345678901(10)A1B") + "\n" + kCut,
                  {"0104012345678901", "0120012345678954", "010401234567890110A1B"});
}

PaperStream QrAndPdf417() {
    return Stream("QR code, micro QR code, PDF417",
                  kInit + C({0x1B, 'a', 1}) + K(49, 65, C({50, 0})) + K(49, 67, C({6})) +
                      K(49, 69, C({49})) + K(49, 80, "0https://example.com/r/0042") +
                      PrintSymbol(49) + "\n" + K(49, 65, C({51, 0})) + K(49, 67, C({5})) +
                      K(49, 80, "0MICRO 42") + PrintSymbol(49) + "\n" + K(48, 67, C({3})) +
                      K(48, 68, C({3})) + K(48, 80, "0PDF417 receipt 0042") + PrintSymbol(48) +
                      "\n" + K(48, 70, C({1})) + K(48, 80, "0truncated") + PrintSymbol(48) + "\n" +
                      kCut,
                  {"https://example.com/r/0042"});
}

PaperStream OtherTwoD() {
    return Stream("MaxiCode, Aztec, DataMatrix",
                  kInit + C({0x1B, 'a', 1}) + K(50, 65, C({52})) + K(50, 80, "0MaxiCode 0042") +
                      PrintSymbol(50) + "\n" + K(53, 66, C({0, 0})) + K(53, 67, C({4})) +
                      K(53, 80, "0Aztec full range 0042") + PrintSymbol(53) + "\n" +
                      K(53, 66, C({1, 2})) + K(53, 80, "0compact") + PrintSymbol(53) + "\n" +
                      K(54, 66, C({0, 0})) + K(54, 67, C({4})) + K(54, 80, "0DataMatrix 0042") +
                      PrintSymbol(54) + "\n" + K(54, 66, C({1, 0})) + K(54, 80, "0rectangular") +
                      PrintSymbol(54) + "\n" + kCut,
                  {});
}

PaperStream StackedAndComposite() {
    return Stream(
        "GS1 DataBar stacked forms and composite symbols",
        kInit + C({0x1B, 'a', 1}) + K(51, 67, C({3})) + K(51, 80, C({48, 72}) + "0401234567890") +
            PrintSymbol(51) + "\n" + K(51, 80, C({48, 73}) + "0401234567890") + PrintSymbol(51) +
            "\n" + K(51, 80, C({48, 76}) + "(01)04012345678901(10)ABC") + PrintSymbol(51) + "\n" +
            K(52, 80, C({48, 48, 65}) + "331234567890") +
            K(52, 80, C({48, 49, 65}) + "(99)1234-abcd") + PrintSymbol(52) + "\n" +
            K(52, 80, C({48, 48, 77}) + "(01)04012345678901") +
            K(52, 80, C({48, 49, 66}) + "(21)A12") + PrintSymbol(52) + "\n" + kCut,
        {"0104012345678901", "0104012345678901", "010401234567890110ABC", "3312345678903"});
}

PaperStream Images() {
    const std::string stored = Checkers(64, 64);
    return Stream(
        "raster, bit and stored images",
        kInit + C({0x1D, 'v', '0', 0, 8, 0, 64, 0}) + Checkers(64, 64) +
            C({0x1D, 'v', '0', 3, 4, 0, 16, 0}) + Checkers(32, 16) + "\n" +
            C({0x1B, '*', 33, 48, 0}) + std::string(48 * 3, '\x5A') + "\n" +
            C({0x1B, '*', 0, 40, 0}) + std::string(40, '\x81') + "\n" + "\x1D(L" +
            Le(10 + stored.size()) + C({48, 112, 48, 2, 2, 49, 64, 0, 64, 0}) + stored +
            C({0x1D, '(', 'L', 2, 0, 48, 50}) +
            "\x1D"
            "8L" +
            Le(10 + stored.size()) + C({0, 0}) + C({48, 112, 48, 1, 1, 49, 64, 0, 64, 0}) + stored +
            C({0x1D, '(', 'L', 2, 0, 48, 50}) + C({0x1D, '*', 2, 2}) +
            std::string(2 * 2 * 8, '\x3C') + C({0x1D, '/', 0}) + C({0x1C, 'p', 1, 0}) + kCut,
        {});
}

PaperStream PageMode() {
    return Stream("page mode, its area and directions",
                  kInit + C({0x1B, 'L', 0x1B, 'W'}) + Le(100) + Le(50) + Le(300) + Le(200) +
                      "Page mode AB\n" + C({0x1D, '$'}) + Le(60) + "C at 60" + K(49, 67, C({4})) +
                      K(49, 80, "0page") + PrintSymbol(49) + C({0x0C}) +
                      C({0x1B, 'L', 0x1B, 'T', 3}) + C({0x1B, 'W'}) + Le(0) + Le(0) + Le(400) +
                      Le(160) + "Turned page\nsecond line" + C({0x1B, 0x0C}) + C({0x0C}) +
                      "Standard mode again\n" + kCut,
                  {"page"});
}

}  // namespace

std::vector<PaperStream> PaperStreams() {
    return {Text(),    ChineseAndCodePages(), UpcEan(),    OtherLinear(),         Code128(),
            DataBar(), QrAndPdf417(),         OtherTwoD(), StackedAndComposite(), Images(),
            PageMode()};
}

}  // namespace papertest
