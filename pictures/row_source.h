// Where a picture written as it is made takes its rows from, and where its bytes go.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "safe_file.h"

namespace fernweave {

// Row y as Picture24 holds it; nullptr to give up (the rendering was stopped).
using RowsOf = std::function<const std::uint8_t*(int y)>;
// Row y of a deep picture: red, green, blue (and alpha) samples a pixel.
using DeepRowsOf = std::function<const std::uint16_t*(int y)>;

// What `stream` writes to its sink, kept in memory; `size`, when known, is
// taken at once, so that a large picture is never held twice. Throws
// std::bad_alloc when memory runs out, and std::runtime_error "<format>
// encoding failed: why" when the stream gives up.
inline std::vector<std::uint8_t> EncodeInMemory(std::string_view format,
                                                const std::function<std::string(const ByteSink&)>& stream,
                                                std::size_t size = 0) {
    std::vector<std::uint8_t> out;
    out.reserve(size);
    bool full = false;
    const std::string why = stream([&](const std::uint8_t* data, std::size_t length) {
        try {
            out.insert(out.end(), data, data + length);
            return true;
        } catch (const std::bad_alloc&) {
            full = true;
            return false;
        }
    });
    if (full) throw std::bad_alloc();
    if (!why.empty()) throw std::runtime_error(std::string(format) + " encoding failed: " + why);
    return out;
}

}  // namespace fernweave
