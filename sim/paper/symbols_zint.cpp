#include "sim/paper/symbols_zint.h"

#include <zint.h>

#include <algorithm>
#include <memory>
#include <string_view>

namespace sim::paper {
namespace {

constexpr std::size_t kMaxData = 7200;  // more than any symbol holds (QR: 7089 digits)
constexpr int kMaxDots = 4096;          // a symbol's side: far wider than any paper
constexpr int kMaxModule = 16;

struct ZintDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
using ZintSymbol = std::unique_ptr<zint_symbol, ZintDeleter>;

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Printable(std::string_view data) {
    std::string text(data);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = ' ';
    }
    return text;
}

std::string Hex(uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[byte >> 4] + kDigits[byte & 15];
}

// GS1 element strings (AI digits and data, FNC1 after each variable-length field) in zint's
// bracketed form. Elements of a predefined length (by their first two digits, the table every
// GS1 reader uses) are bracketed on their own; the rest of a chunk is one variable-length
// element, and zint puts FNC1 after it again. zint's check of the AIs is off (the data came
// without parentheses, so AI lengths are not known here); the encoded content is the same.
std::string Gs1Bracketed(const std::vector<std::string>& chunks) {
    auto predefined = [](std::string_view ai) -> int {
        if (ai.size() < 2 || !AllDigits(ai.substr(0, 2))) return 0;
        const int prefix = (ai[0] - '0') * 10 + (ai[1] - '0');
        if (prefix == 0) return 20;
        if (prefix >= 1 && prefix <= 3) return 16;
        if (prefix == 4) return 18;
        if (prefix >= 11 && prefix <= 19) return 8;
        if (prefix == 20) return 4;
        if (prefix >= 31 && prefix <= 36) return 10;
        if (prefix == 41) return 16;
        return 0;
    };
    std::string out;
    for (std::string_view chunk : chunks) {
        while (chunk.size() >= 2) {
            const std::size_t length = static_cast<std::size_t>(predefined(chunk));
            const std::size_t take = length != 0 ? std::min(length, chunk.size()) : chunk.size();
            out += '[';
            out += chunk.substr(0, 2);
            out += ']';
            out += chunk.substr(2, take - 2);
            chunk.remove_prefix(take);
        }
        if (!chunk.empty()) out += chunk;  // one stray character: zint refuses it with a reason
    }
    return out;
}

// GS1 data as a printer takes it: "(01)04012345678905(10)ABC", or element strings with FNC1 as
// "{1" or GS between them. Sets zint's input mode.
std::string Gs1Input(std::string_view data, int* inputMode) {
    if (data.find('(') != std::string_view::npos) {
        std::string plain;
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (data.substr(i, 2) == "{1") {
                ++i;
                continue;
            }
            plain += data[i];
        }
        *inputMode = GS1_MODE | GS1PARENS_MODE;
        return plain;
    }
    std::vector<std::string> chunks(1);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == 0x1D || data.substr(i, 2) == "{1") {
            if (data[i] == '{') ++i;
            if (!chunks.back().empty()) chunks.emplace_back();
            continue;
        }
        chunks.back() += data[i];
    }
    *inputMode = GS1_MODE | GS1NOCHECK_MODE;
    return Gs1Bracketed(chunks);
}

// CODE128 as a printer receives it: a code set selector first ({A, {B, {C), then characters of
// that set ({C: one byte 0-99 for two digits), with {A/{B/{C switching, {S shifting the next
// character to the other of A and B, {1-{4 for FNC1-4 and {{ for "{". zint chooses its own code
// sets, so this yields the content: the characters, a leading FNC1 as GS1, FNC3 as reader
// initialisation, FNC4 as the next character plus 128.
struct Code128Content {
    std::string characters;
    bool gs1 = false;
    std::vector<std::string> elements;  // GS1: the element strings between FNC1s
    bool readerInit = false;
};

bool ParseCode128(const std::vector<uint8_t>& data, Code128Content* out, std::string* error) {
    if (data.size() < 2 || data[0] != '{' || data[1] < 'A' || data[1] > 'C') {
        *error = "CODE128 data must start with {A, {B or {C";
        return false;
    }
    char set = static_cast<char>(data[1]);
    bool fnc4 = false;
    auto fits = [](char in, uint8_t byte) {
        if (in == 'A') return byte <= 0x5F;
        if (in == 'B') return byte >= 0x20 && byte <= 0x7F;
        return byte <= 99;
    };
    auto append = [&](char in, uint8_t byte) {
        if (!fits(in, byte)) {
            *error = "CODE128: " + Hex(byte) + " is not a character of code set " + in;
            return false;
        }
        std::string characters;
        if (in == 'C') {
            if (fnc4) {
                *error = "CODE128: FNC4 before a code set C character";
                return false;
            }
            characters = {static_cast<char>('0' + byte / 10), static_cast<char>('0' + byte % 10)};
        } else {
            characters = {static_cast<char>(fnc4 ? byte + 128 : byte)};
            fnc4 = false;
        }
        out->characters += characters;
        if (out->gs1) out->elements.back() += characters;
        return true;
    };
    for (std::size_t i = 2; i < data.size(); ++i) {
        if (data[i] != '{') {
            if (!append(set, data[i])) return false;
            continue;
        }
        if (i + 1 >= data.size()) {
            *error = "CODE128: a { at the end of the data";
            return false;
        }
        const char code = static_cast<char>(data[++i]);
        if (code >= 'A' && code <= 'C') {
            set = code;
        } else if (code == 'S') {
            if (set == 'C' || i + 1 >= data.size()) {
                *error = "CODE128: {S needs code set A or B and a character after it";
                return false;
            }
            if (!append(set == 'A' ? 'B' : 'A', data[++i])) return false;
        } else if (code == '{') {
            if (!append(set, '{')) return false;
        } else if (code == '1') {
            if (out->characters.empty() && !out->gs1) {
                out->gs1 = true;
                out->elements.emplace_back();
            } else if (out->gs1) {
                out->elements.emplace_back();
            } else {
                *error = "CODE128: FNC1 inside the data is supported only after a leading FNC1";
                return false;
            }
        } else if (code == '3' && out->characters.empty() && !out->gs1) {
            out->readerInit = true;
        } else if (code == '4' && set != 'C') {
            fnc4 = true;
        } else {
            *error = std::string("CODE128: {") + code + " is not supported here";
            return false;
        }
    }
    if (fnc4) {
        *error = "CODE128: FNC4 at the end of the data";
        return false;
    }
    if (out->characters.empty()) {
        *error = "CODE128: no characters";
        return false;
    }
    return true;
}

// How the symbol's rows become dots.
enum class Shape { Linear, Stacked, Matrix, Pdf417, Hexagons };

struct Prepared {
    std::string input;  // what zint encodes
    std::string text;   // the human-readable text; empty: take zint's
    bool zintText = false;
    Shape shape = Shape::Linear;
};

bool CheckDigits(std::string_view data, std::initializer_list<std::size_t> lengths,
                 const char* name, std::string* error) {
    if (!AllDigits(data) ||
        std::find(lengths.begin(), lengths.end(), data.size()) == lengths.end()) {
        std::string counts;
        for (std::size_t n : lengths) counts += (counts.empty() ? "" : " or ") + std::to_string(n);
        *error = std::string(name) + " takes " + counts + " digits";
        return false;
    }
    return true;
}

int DataMatrixSize(int columns, bool rectangular) {
    static constexpr int kSquare[] = {10, 12, 14, 16, 18, 20, 22, 24, 26,  32,  36,  40,
                                      44, 48, 52, 64, 72, 80, 88, 96, 104, 120, 132, 144};
    static constexpr int kRectangle[] = {18, 32, 26,
                                         36, 36, 48};  // 8×18 8×32 12×26 12×36 16×36 16×48
    if (rectangular) {
        for (int i = 0; i < 6; ++i) {
            if (kRectangle[i] == columns) return 25 + i;
        }
        return 0;
    }
    for (int i = 0; i < 24; ++i) {
        if (kSquare[i] == columns) return 1 + i;
    }
    return 0;
}

// MaxiCode modes 2 and 3 carry a primary message (postcode, country, service class): the first
// three GS-separated fields, after the optional "[)>RS01GSyy" header, which stays in front of
// the rest.
bool PrepareMaxiCode(const SymbolRequest& request, std::string_view data, zint_symbol* symbol,
                     Prepared* prepared, std::string* error) {
    symbol->symbology = BARCODE_MAXICODE;
    symbol->option_1 = request.variant >= 2 && request.variant <= 6 ? request.variant : 4;
    prepared->shape = Shape::Hexagons;
    if (symbol->option_1 > 3) return true;
    std::string_view header;
    if (data.substr(0, 7) ==
            "[)>\x1e"
            "01\x1d" &&
        data.size() >= 9) {
        header = data.substr(0, 9);
        data.remove_prefix(9);
    }
    std::string_view fields[3];
    for (std::string_view& field : fields) {
        const std::size_t end = data.find('\x1d');
        if (end == std::string_view::npos) {
            *error = "MaxiCode mode " + std::to_string(symbol->option_1) +
                     " needs a postcode, a country and a service class, each ended by GS";
            return false;
        }
        field = data.substr(0, end);
        data.remove_prefix(end + 1);
    }
    if (fields[0].empty() || fields[1].size() > 3 || fields[2].size() > 3 || fields[0].size() > 9 ||
        !AllDigits(fields[1]) || !AllDigits(fields[2])) {
        *error =
            "MaxiCode: a postcode of up to 9 characters and a country and a service class "
            "of up to 3 digits";
        return false;
    }
    std::string primary(fields[0]);
    primary += std::string(3 - fields[1].size(), '0') + std::string(fields[1]);
    primary += std::string(3 - fields[2].size(), '0') + std::string(fields[2]);
    primary.copy(symbol->primary, sizeof(symbol->primary) - 1);
    prepared->input = std::string(header) + std::string(data);
    return true;
}

// A composite symbol: the linear part's data, a NUL byte, the 2D part's GS1 data.
bool PrepareComposite(const SymbolRequest& request, std::string_view data, zint_symbol* symbol,
                      Prepared* prepared, std::string* error) {
    static constexpr int kLinear[] = {
        BARCODE_EANX_CC,     BARCODE_EANX_CC,     BARCODE_UPCA_CC,        BARCODE_UPCE_CC,
        BARCODE_DBAR_OMN_CC, BARCODE_DBAR_OMN_CC, BARCODE_DBAR_STK_CC,    BARCODE_DBAR_OMNSTK_CC,
        BARCODE_DBAR_LTD_CC, BARCODE_DBAR_EXP_CC, BARCODE_DBAR_EXPSTK_CC, BARCODE_GS1_128_CC};
    const std::size_t split = data.find('\0');
    if (request.variant < 0 || request.variant > 11 || split == std::string_view::npos) {
        *error = "composite symbol: a linear type 0-11 and its data, NUL, the 2D part's data";
        return false;
    }
    symbol->symbology = kLinear[request.variant];
    prepared->shape = Shape::Stacked;
    std::string_view linear = data.substr(0, split);
    std::string primary(linear);
    if (request.variant >= 9) {
        int linearMode = 0;  // zint takes one input mode for both parts: the 2D part's
        primary = Gs1Input(linear, &linearMode);
    }
    if (primary.size() >= sizeof(symbol->primary)) {
        *error = "composite symbol: the linear part's data is too long";
        return false;
    }
    primary.copy(symbol->primary, sizeof(symbol->primary) - 1);
    if (request.size >= 1 && request.size <= 3) symbol->option_1 = request.size;
    prepared->input = Gs1Input(data.substr(split + 1), &symbol->input_mode);
    return true;
}

bool Prepare(const SymbolRequest& request, zint_symbol* symbol, Prepared* prepared,
             std::string* error) {
    const std::string_view data(reinterpret_cast<const char*>(request.data.data()),
                                request.data.size());
    prepared->input.assign(data);
    prepared->zintText = true;
    symbol->input_mode = DATA_MODE;
    switch (request.kind) {
        case SymbolKind::UpcA:
            symbol->symbology = BARCODE_UPCA;
            return CheckDigits(data, {11, 12}, "UPC-A", error);
        case SymbolKind::UpcE:
            symbol->symbology = BARCODE_UPCE;
            return CheckDigits(data, {6, 7, 8}, "UPC-E", error);
        case SymbolKind::Ean13:
            symbol->symbology = BARCODE_EANX;
            return CheckDigits(data, {12, 13}, "EAN-13", error);
        case SymbolKind::Ean8:
            symbol->symbology = BARCODE_EANX;
            return CheckDigits(data, {7, 8}, "EAN-8", error);
        case SymbolKind::Code39:
            // The printer adds the start and stop characters; data may carry them.
            symbol->symbology = BARCODE_CODE39;
            if (data.size() >= 2 && data.front() == '*' && data.back() == '*') {
                prepared->input.assign(data.substr(1, data.size() - 2));
            }
            // zint would take lower case as upper case; the printer refuses it.
            if (std::any_of(data.begin(), data.end(),
                            [](char c) { return c >= 'a' && c <= 'z'; })) {
                *error = "CODE39 takes 0-9, A-Z, space and - . $ / + %";
                return false;
            }
            return true;
        case SymbolKind::Itf:
            symbol->symbology = BARCODE_C25INTER;
            prepared->zintText = false;
            prepared->text.assign(data);
            if (!AllDigits(data) || data.empty() || data.size() % 2 != 0) {
                *error = "ITF takes an even number of digits";
                return false;
            }
            return true;
        case SymbolKind::Codabar:
            symbol->symbology = BARCODE_CODABAR;
            return true;
        case SymbolKind::Code93:
            symbol->symbology = BARCODE_CODE93;
            prepared->zintText = false;
            prepared->text = Printable(data);
            return true;
        case SymbolKind::Code128: {
            Code128Content content;
            if (!ParseCode128(request.data, &content, error)) return false;
            prepared->zintText = false;
            if (content.gs1) {
                symbol->symbology = BARCODE_GS1_128;
                symbol->input_mode = GS1_MODE | GS1NOCHECK_MODE;
                prepared->input = Gs1Bracketed(content.elements);
                prepared->zintText = true;
                return true;
            }
            symbol->symbology = BARCODE_CODE128;
            if (content.readerInit) symbol->output_options |= READER_INIT;
            prepared->input = content.characters;
            prepared->text = Printable(content.characters);
            return true;
        }
        case SymbolKind::Gs1_128:
            symbol->symbology = BARCODE_GS1_128;
            prepared->input = Gs1Input(data, &symbol->input_mode);
            return true;
        case SymbolKind::DataBarOmni:
        case SymbolKind::DataBarTruncated:  // the same bars, only shorter (the height says)
            symbol->symbology = BARCODE_DBAR_OMN;
            return CheckDigits(data, {13, 14}, "GS1 DataBar", error);
        case SymbolKind::DataBarLimited:
            symbol->symbology = BARCODE_DBAR_LTD;
            return CheckDigits(data, {13, 14}, "GS1 DataBar Limited", error);
        case SymbolKind::DataBarExpanded:
            symbol->symbology = BARCODE_DBAR_EXP;
            prepared->input = Gs1Input(data, &symbol->input_mode);
            return true;
        case SymbolKind::Code128Auto:
            symbol->symbology = BARCODE_CODE128;
            prepared->zintText = false;
            prepared->text = Printable(data);
            return true;
        case SymbolKind::Pdf417:
            symbol->symbology = request.model == 1 ? BARCODE_PDF417COMP : BARCODE_PDF417;
            symbol->option_1 =
                request.errorLevel >= 0 && request.errorLevel <= 8 ? request.errorLevel : -1;
            if (request.columns >= 1 && request.columns <= 30) symbol->option_2 = request.columns;
            if (request.rows >= 3 && request.rows <= 90) symbol->option_3 = request.rows;
            prepared->shape = Shape::Pdf417;
            return true;
        case SymbolKind::Qr:
            symbol->symbology = request.model == 3 ? BARCODE_MICROQR : BARCODE_QRCODE;
            if (request.errorLevel >= 0 && request.errorLevel <= 3) {
                symbol->option_1 = request.errorLevel + 1;
            }
            prepared->shape = Shape::Matrix;
            return true;
        case SymbolKind::MaxiCode:
            return PrepareMaxiCode(request, data, symbol, prepared, error);
        case SymbolKind::DataBar2D:
            prepared->shape = Shape::Stacked;
            if (request.variant == 2) {
                symbol->symbology = BARCODE_DBAR_EXPSTK;
                if (request.size >= 1 && request.size <= 11) symbol->option_2 = request.size;
                prepared->input = Gs1Input(data, &symbol->input_mode);
                return true;
            }
            symbol->symbology = request.variant == 1 ? BARCODE_DBAR_OMNSTK : BARCODE_DBAR_STK;
            return CheckDigits(data, {13, 14}, "GS1 DataBar Stacked", error);
        case SymbolKind::Composite:
            return PrepareComposite(request, data, symbol, prepared, error);
        case SymbolKind::Aztec:
            symbol->symbology = BARCODE_AZTEC;
            prepared->shape = Shape::Matrix;
            if (request.errorLevel >= 5 && request.errorLevel <= 95) {
                // zint's levels: 10, 23, 36 and 50 % of the symbol for error correction.
                symbol->option_1 = request.errorLevel <= 10   ? 1
                                   : request.errorLevel <= 23 ? 2
                                   : request.errorLevel <= 36 ? 3
                                                              : 4;
            }
            if (request.variant == 1 && request.size >= 1 && request.size <= 4) {
                symbol->option_2 = request.size;
            } else if (request.variant == 0 && request.size >= 1 && request.size <= 32) {
                symbol->option_2 = request.size + 4;
            }
            return true;
        case SymbolKind::DataMatrix:
            symbol->symbology = BARCODE_DATAMATRIX;
            prepared->shape = Shape::Matrix;
            if (request.variant == 0) symbol->option_3 = DM_SQUARE;
            if (request.size > 0) {
                symbol->option_2 = DataMatrixSize(request.size, request.variant == 1);
                if (symbol->option_2 == 0) {
                    *error =
                        "DataMatrix has no size of " + std::to_string(request.size) + " columns";
                    return false;
                }
            }
            return true;
    }
    *error = "unknown symbol";
    return false;
}

bool ModuleSet(const zint_symbol& symbol, int row, int column) {
    return (symbol.encoded_data[row][column >> 3] >> (column & 7)) & 1;
}

// Each module row's height in dots: linear bars `height` tall; PDF417 rows `rowHeight` modules;
// matrix rows one module; stacked symbols their fixed rows in modules (zint's row heights) and
// the rest of `height` shared by the rows zint leaves open.
std::vector<int> RowHeights(const zint_symbol& symbol, Shape shape, int module, int height,
                            int rowHeight) {
    std::vector<int> rows(static_cast<std::size_t>(symbol.rows), module);
    if (shape == Shape::Linear && symbol.rows == 1) {
        rows[0] = height;
    } else if (shape == Shape::Pdf417) {
        std::fill(rows.begin(), rows.end(), rowHeight * module);
    } else if (shape != Shape::Matrix) {
        int fixed = 0, open = 0;
        for (int r = 0; r < symbol.rows; ++r) {
            const int modules = static_cast<int>(symbol.row_height[r] + 0.5f);
            if (modules > 0) {
                rows[r] = modules * module;
                fixed += rows[r];
            } else {
                ++open;
            }
        }
        const int share = open > 0 ? std::max(module, (height - fixed) / open) : 0;
        for (int r = 0; r < symbol.rows; ++r) {
            if (symbol.row_height[r] + 0.5f < 1.0f) rows[r] = share;
        }
    }
    return rows;
}

// Draws the module rows: the first dot row of each module row from the modules, the rest of it
// copied.
bool DrawModules(const zint_symbol& symbol, const std::vector<int>& rows, int module, bool crop,
                 Bitmap* picture, std::string* error) {
    long total = 0;
    for (int h : rows) total += h;
    const long width = static_cast<long>(symbol.width) * module;
    if (width > kMaxDots || total > kMaxDots) {
        *error = "the symbol would be " + std::to_string(width) + " x " + std::to_string(total) +
                 " dots";
        return false;
    }
    // zint ends some barcodes (Codabar) with an inter-character space: bars start and end black.
    int first = 0, last = symbol.width - 1;
    if (crop) {
        first = symbol.width;
        last = -1;
        for (int r = 0; r < symbol.rows; ++r) {
            for (int column = 0; column < symbol.width; ++column) {
                if (!ModuleSet(symbol, r, column)) continue;
                first = std::min(first, column);
                last = std::max(last, column);
            }
        }
        if (last < first) {
            *error = "the symbol has no bars";
            return false;
        }
    }
    *picture = Bitmap(static_cast<int>(last - first + 1) * module, static_cast<int>(total));
    int y = 0;
    for (int r = 0; r < symbol.rows; ++r) {
        if (rows[r] <= 0) continue;
        for (int column = first; column <= last; ++column) {
            if (ModuleSet(symbol, r, column)) {
                picture->Fill((column - first) * module, y, module, 1);
            }
        }
        const std::span<const uint8_t> first = picture->Row(y);
        for (int k = 1; k < rows[r]; ++k) {
            std::copy(first.begin(), first.end(), picture->Row(y + k).begin());
        }
        y += rows[r];
    }
    return true;
}

// MaxiCode's hexagons and rings come from zint's own raster, at a scale that makes the symbol
// about an inch wide as printers print it (some 240 dots).
bool DrawHexagons(zint_symbol* symbol, Bitmap* picture, std::string* error) {
    symbol->scale = 0.75f;
    symbol->output_options |= BARCODE_NO_QUIET_ZONES;
    const int result = ZBarcode_Buffer(symbol, 0);
    if (result >= ZINT_ERROR || symbol->bitmap == nullptr) {
        *error = symbol->errtxt;
        return false;
    }
    if (symbol->bitmap_width > kMaxDots || symbol->bitmap_height > kMaxDots) {
        *error = "MaxiCode raster too large";
        return false;
    }
    *picture = Bitmap(symbol->bitmap_width, symbol->bitmap_height);
    const unsigned char* pixel = symbol->bitmap;
    for (int y = 0; y < symbol->bitmap_height; ++y) {
        for (int x = 0; x < symbol->bitmap_width; ++x, pixel += 3) {
            if (pixel[0] < 128) picture->SetDot(x, y);
        }
    }
    return true;
}

// zint's messages start with "Error 123: "; the reason is the rest.
std::string Reason(const char* message) {
    std::string_view text(message);
    const std::size_t colon = text.find(": ");
    if ((text.starts_with("Error ") || text.starts_with("Warning ")) &&
        colon != std::string_view::npos) {
        text.remove_prefix(colon + 2);
    }
    return std::string(text.empty() ? "the symbol library refused the data" : text);
}

}  // namespace

Symbol DrawSymbolWithZint(const SymbolRequest& request) {
    Symbol result;
    if (request.data.empty()) {
        result.error = "no data";
        return result;
    }
    if (request.data.size() > kMaxData) {
        result.error = std::to_string(request.data.size()) + " bytes: more than a symbol holds";
        return result;
    }
    const int module = std::clamp(request.module, 1, kMaxModule);
    const int height = std::clamp(request.height, 1, kMaxDots);
    const int rowHeight = std::clamp(request.rowHeight, 1, kMaxModule);
    ZintSymbol symbol(ZBarcode_Create());
    if (!symbol) {
        result.error = "out of memory";
        return result;
    }
    symbol->show_hrt = 0;
    Prepared prepared;
    if (!Prepare(request, symbol.get(), &prepared, &result.error)) return result;
    const int status =
        ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(prepared.input.data()),
                        static_cast<int>(prepared.input.size()));
    if (status >= ZINT_ERROR) {
        result.error = Reason(symbol->errtxt);
        return result;
    }
    const bool drawn =
        prepared.shape == Shape::Hexagons
            ? DrawHexagons(symbol.get(), &result.picture, &result.error)
            : DrawModules(*symbol, RowHeights(*symbol, prepared.shape, module, height, rowHeight),
                          module,
                          prepared.shape == Shape::Linear || prepared.shape == Shape::Stacked,
                          &result.picture, &result.error);
    if (!drawn) {
        result.picture = Bitmap();
        return result;
    }
    if (prepared.shape == Shape::Linear) {
        result.text = prepared.zintText ? Printable(reinterpret_cast<const char*>(symbol->text))
                                        : prepared.text;
    }
    return result;
}

}  // namespace sim::paper
