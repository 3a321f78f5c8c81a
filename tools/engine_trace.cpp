// engine-trace: runs one pass of the uptime engine on a fresh board for each tick count read
// from standard input (one decimal number per line) and prints the whole board as one JSON
// object per line. A developer tool for checking the engine against other models.

#include <charconv>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "engine/conversions.h"
#include "engine/field_board.h"
#include "engine/quoted_text.h"
#include "engine/uptime_steps.h"

namespace {

constexpr std::uint64_t kMaxTick = 9007199254740991ULL;  // 2^53 - 1, exact in a double

void appendJsonString(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 15]);
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
}

bool parseTick(std::string_view line, std::uint64_t& tick) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.empty()) return false;
    for (char c : line)
        if (c < '0' || c > '9') return false;
    auto r = std::from_chars(line.data(), line.data() + line.size(), tick);
    return r.ec == std::errc() && r.ptr == line.data() + line.size() && tick <= kMaxTick;
}

// One line of JSON: the tick, every field of the board by name, the four whole counts and the
// caption.
void boardAsJson(std::string& out, std::uint64_t tick, const qv::FieldBoard& board,
                 std::string_view caption) {
    out.clear();
    out += "{\"tick\":";
    out += qv::unsignedText(tick).view();
    for (const qv::FieldInfo& f : qv::kFields) {
        out += ",\"";
        out += f.name;
        out += "\":";
        appendJsonString(out, board.text(f.field));
    }
    const std::pair<const char*, std::int32_t> counts[] = {{"DaysWhole", board.DaysWhole},
                                                           {"HoursWhole", board.HoursWhole},
                                                           {"MinutesWhole", board.MinutesWhole},
                                                           {"SecondsWhole", board.SecondsWhole}};
    for (const auto& [name, value] : counts) {
        out += ",\"";
        out += name;
        out += "\":";
        out += qv::integerText(value).view();
    }
    out += ",\"caption\":";
    appendJsonString(out, caption);
    out += "}\n";
}

}  // namespace

int main() {
    std::ios::sync_with_stdio(false);
    std::uint64_t tick = 0;
    std::string_view caption;
    qv::FieldBoard board;
    std::string scratch;
    std::string out;
    std::string line;
    std::uint64_t lineNo = 0;
    int status = 0;
    while (std::getline(std::cin, line)) {
        ++lineNo;
        if (!parseTick(line, tick)) {
            std::cerr << "engine-trace: line " << qv::unsignedText(lineNo).view() << ": "
                      << qv::quotedForReport(line) << " is not a whole number from 0 to "
                      << qv::unsignedText(kMaxTick).view() << "\n";
            status = 2;
            continue;
        }
        board.reset();
        try {
            caption = qv::runOnePass(board, tick, scratch);
        } catch (const std::exception& e) {
            std::cerr << "engine-trace: line " << qv::unsignedText(lineNo).view() << ": "
                      << e.what() << "\n";
            status = 2;
            continue;
        }
        boardAsJson(out, tick, board, caption);
        std::cout << out;
    }
    std::cout.flush();
    return status;
}
