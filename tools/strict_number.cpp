#include "strict_number.h"

#include <charconv>
#include <string>

namespace fernweave::cli {

namespace {

// from_chars takes a '-' for signed types only, no '+', no blanks and no
// prefix, and reports overflow.
template <class T>
std::optional<T> ParseWhole(std::string_view text, T min, T max, int base = 10) {
    T value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc{} || ptr != end || value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max) {
    return ParseWhole(text, min, max);
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t min, std::uint64_t max) {
    return ParseWhole(text, min, max);
}

std::optional<TColor> ParseColor(std::string_view text, bool hashOptional) {
    if (text.starts_with('#')) {
        text.remove_prefix(1);
    } else if (!hashOptional) {
        return std::nullopt;
    }
    const auto rgb = ParseWhole<std::int32_t>(text, 0, 0xFFFFFF, 16);
    if (!rgb || text.size() != 6) return std::nullopt;
    return MakeColor(*rgb >> 16, *rgb >> 8, *rgb);  // MakeColor keeps the low byte of each
}

std::optional<NumberPair> ParsePair(std::string_view text, std::int64_t min, std::int64_t max, bool allowSingle) {
    const auto x = text.find('x');
    if (x == std::string_view::npos && !allowSingle) return std::nullopt;
    const auto a = ParseInteger(text.substr(0, x), min, max);
    const auto b = x == std::string_view::npos ? a : ParseInteger(text.substr(x + 1), min, max);
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
