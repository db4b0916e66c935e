// Strict parsing of the numbers and colours given on the command line and in
// drawings: the whole text must be the value, with nothing before or after it,
// and the value must lie in its range. Nothing wraps round or saturates.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ifs_types.h"

namespace fernweave::cli {

// Decimal digits with an optional leading '-'; no blanks, no '+', no hex.
std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max);

// Decimal digits only.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t min, std::uint64_t max);

// "#RRGGBB" (hex digits in either case) as a colour value. The '#' may be left
// out only when `hashOptional` is set: on a command line it starts a shell comment.
std::optional<TColor> ParseColor(std::string_view text, bool hashOptional);

// "AxB" (or a single "A" when `allowSingle` is set, meaning A for both), each
// part a decimal number in [min, max].
struct NumberPair {
    std::int64_t First = 0;
    std::int64_t Second = 0;
};
std::optional<NumberPair> ParsePair(std::string_view text, std::int64_t min, std::int64_t max, bool allowSingle);

// Formats a colour as "#RRGGBB".
std::string FormatColor(TColor color);

}  // namespace fernweave::cli
