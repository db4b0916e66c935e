#include "strict_number.h"

#include <charconv>
#include <string>

namespace fernweave::cli {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max) {
    if (text.empty()) return std::nullopt;
    // from_chars takes a '-' but no '+' and no blanks, and reports overflow.
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t min, std::uint64_t max) {
    if (text.empty() || text.front() == '-') return std::nullopt;
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<TColor> ParseColor(std::string_view text, bool hashOptional) {
    if (!text.empty() && text.front() == '#') {
        text.remove_prefix(1);
    } else if (!hashOptional) {
        return std::nullopt;
    }
    if (text.size() != 6) return std::nullopt;
    int channel[3];
    for (int i = 0; i < 3; ++i) {
        const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        channel[i] = hi * 16 + lo;
    }
    return MakeColor(channel[0], channel[1], channel[2]);
}

std::optional<NumberPair> ParsePair(std::string_view text, std::int64_t min, std::int64_t max, bool allowSingle) {
    const auto x = text.find('x');
    if (x == std::string_view::npos) {
        if (!allowSingle) return std::nullopt;
        const auto v = ParseInteger(text, min, max);
        if (!v) return std::nullopt;
        return NumberPair{*v, *v};
    }
    const auto a = ParseInteger(text.substr(0, x), min, max);
    const auto b = ParseInteger(text.substr(x + 1), min, max);
    if (!a || !b) return std::nullopt;
    return NumberPair{*a, *b};
}

std::string FormatColor(TColor color) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s = "#";
    for (int v : {RedOf(color), GreenOf(color), BlueOf(color)}) {
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

}  // namespace fernweave::cli
