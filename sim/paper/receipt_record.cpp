#include "sim/paper/receipt_record.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

#include "platform/hex_text.h"
#include "platform/text_codec.h"

namespace sim::paper {
namespace {

using Json = nlohmann::ordered_json;  // fields in the order written

bool IsUtf8(std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = platform::Utf8SequenceLength(text.substr(i));
        if (n == 0) return false;
        i += n;
    }
    return true;
}

Json BoxJson(const Box& b) {
    Json out;
    out["x"] = b.x;
    out["y"] = b.y;
    out["width"] = b.width;
    out["height"] = b.height;
    return out;
}

Json ItemJson(const Item& item) {
    Json out;
    out["type"] = ItemTypeName(item.type);
    switch (item.type) {
        case ItemType::Text:
            out["text"] = item.text;
            break;
        case ItemType::Barcode:
        case ItemType::Symbol:
            out["kind"] = item.name;
            // The data as a string when it is UTF-8, and always as hex.
            if (IsUtf8(item.data)) out["data"] = std::string(item.data.begin(), item.data.end());
            out["dataHex"] = platform::HexBytes(item.data);
            if (item.type == ItemType::Barcode) {
                static constexpr const char* kPositions[] = {"none", "above", "below", "both"};
                out["text"] = item.text;
                out["textPosition"] = kPositions[item.textPosition & 3];
            }
            break;
        case ItemType::Image:
            out["kind"] = item.name;
            if (!item.text.empty()) out["label"] = item.text;
            break;
        case ItemType::Note:
            out["what"] = item.name;
            out["why"] = item.text;
            break;
    }
    if (item.box) out["box"] = BoxJson(*item.box);
    if (item.type == ItemType::Text) {
        const TextLook& l = item.look;
        out["font"] = item.name;
        out["size"] = Json{{"width", l.width}, {"height", l.height}};
        out["bold"] = l.bold;
        out["underline"] = l.underline;
        out["reverse"] = l.reverse;
        out["upsideDown"] = l.upsideDown;
        out["rotated"] = l.rotated;
    }
    out["from"] = item.bytes.from;
    out["to"] = item.bytes.to;
    if (item.stored) {
        out["storedFrom"] = item.stored->from;
        out["storedTo"] = item.stored->to;
    }
    return out;
}

Json EventJson(const StreamEvent& event) {
    Json out;
    out["from"] = event.bytes.from;
    out["to"] = event.bytes.to;
    out["kind"] = event.kind;
    out["text"] = event.text;
    out["bytes"] = platform::HexBytes(event.head);
    return out;
}

std::string Dump(const Json& json) {
    // Texts are UTF-8 already; a stray byte becomes U+FFFD rather than an exception.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

const char* ReceiptEndName(ReceiptEnd end) {
    switch (end) {
        case ReceiptEnd::FullCut:
            return "full cut";
        case ReceiptEnd::PartialCut:
            return "partial cut";
        case ReceiptEnd::StreamEnd:
            return "stream end";
        case ReceiptEnd::LengthLimit:
            return "length limit";
    }
    return "?";
}

const char* ItemTypeName(ItemType type) {
    switch (type) {
        case ItemType::Text:
            return "text";
        case ItemType::Barcode:
            return "barcode";
        case ItemType::Symbol:
            return "symbol";
        case ItemType::Image:
            return "image";
        case ItemType::Note:
            return "note";
    }
    return "?";
}

Box Union(const Box& a, const Box& b) {
    if (a.width <= 0 || a.height <= 0) return b;
    if (b.width <= 0 || b.height <= 0) return a;
    const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
    const int right = std::max(a.x + a.width, b.x + b.width);
    const int bottom = std::max(a.y + a.height, b.y + b.height);
    return {left, top, right - left, bottom - top};
}

std::string CutText(std::string text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

void ReceiptRecord::Add(Item&& item) {
    if (items.size() >= kMaxItems) {
        ++itemsLeftOut;
        return;
    }
    item.text = CutText(std::move(item.text), kMaxText);
    items.push_back(std::move(item));
}

void ReceiptRecord::AddLine(std::string&& line) {
    if (lines.size() >= kMaxItems) {
        ++linesLeftOut;
        return;
    }
    lines.push_back(CutText(std::move(line), kMaxText));
}

std::string DataFileText(const DataFileHeader& header, const ReceiptRecord& record) {
    Json head;
    head["version"] = kDataFileVersion;
    head["number"] = header.number;
    head["picture"] = header.picture;
    head["printer"] = header.source.printer;
    head["link"] = header.source.link;
    head["connection"] = header.source.connection;
    head["time"] = header.time;
    head["width"] = header.width;
    head["height"] = header.height;
    head["end"] = ReceiptEndName(header.end);
    if (!header.source.job.empty()) head["job"] = header.source.job;
    // The header's fields one a line, then the lines, the items and the events, one a line each,
    // each list followed by the count of what it left out.
    std::string text = "{\n";
    for (auto it = head.begin(); it != head.end(); ++it)
        text += "  " + Dump(it.key()) + ": " + Dump(it.value()) + ",\n";
    const auto list = [&text](const char* name, const auto& elements, uint64_t leftOut,
                              const auto& json, bool last) {
        text += std::string("  \"") + name + "\": [";
        for (std::size_t i = 0; i < elements.size(); ++i)
            text += (i == 0 ? "\n    " : ",\n    ") + Dump(json(elements[i]));
        text += elements.empty() ? "],\n" : "\n  ],\n";
        text += std::string("  \"") + name + "LeftOut\": " + std::to_string(leftOut) +
                (last ? "\n}\n" : ",\n");
    };
    list(
        "lines", record.lines, record.linesLeftOut, [](const std::string& l) { return Json(l); },
        false);
    list("items", record.items, record.itemsLeftOut, ItemJson, false);
    list("events", record.events, record.eventsLeftOut, EventJson, true);
    return text;
}

}  // namespace sim::paper
