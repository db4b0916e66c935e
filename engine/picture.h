// The canvas picture: a plain 24-bit buffer. Pixel x of row y is bytes 3x..3x+2
// of that row (blue, green, red), row 0 at the top, rows padded to 4 bytes.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ifs_types.h"

namespace fernweave {

// The canvas at start-up and after New with its preset size.
constexpr int DefaultCanvasWidth = 550;
constexpr int DefaultCanvasHeight = 364;

// Grows `v` to `size` elements in pieces, stopping when `stop` is set: the
// pages of a big job are touched (Linux hands them out only then) without
// keeping a Cancel waiting. False when stopped.
template <class T>
bool GrowStoppable(std::vector<T>& v, std::size_t size, const std::atomic<bool>* stop, const T& value = T{}) {
    constexpr std::size_t Piece = (std::size_t{32} << 20) / sizeof(T) + 1;
    v.reserve(size);
    while (v.size() < size) {
        if (stop && stop->load(std::memory_order_relaxed)) return false;
        v.resize(std::min(size, v.size() + Piece), value);
    }
    return true;
}

class Picture24 {
public:
    Picture24() = default;
    Picture24(int width, int height, TColor fill = clBlack) { Reset(width, height, fill); }

    // Width and height must each be 0 or more; a 0 side makes an empty picture.
    void Reset(int width, int height, TColor fill = clBlack);
    // The same, stopping when `stop` is set while the memory is touched
    // (false, and the picture empty, when stopped).
    bool Reset(int width, int height, TColor fill, const std::atomic<bool>* stop);
    void Fill(TColor color);
    void Clear() { Reset(0, 0); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    std::size_t Stride() const { return stride_; }

    std::uint8_t* Row(int y) { return bytes_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* Row(int y) const { return bytes_.data() + static_cast<std::size_t>(y) * stride_; }
    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }
    std::size_t ByteSize() const { return bytes_.size(); }

    TColor Pixel(int x, int y) const;

    friend bool operator==(const Picture24&, const Picture24&) = default;

    static std::size_t StrideFor(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}; }

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Writes one pixel; the caller guarantees 0 <= x < W and 0 <= y < H.
inline void SetPixel24(Picture24& picture, int x, int y, TColor color) {
    std::uint8_t* p = picture.Row(y) + 3 * static_cast<std::size_t>(x);
    p[0] = static_cast<std::uint8_t>(BlueOf(color));
    p[1] = static_cast<std::uint8_t>(GreenOf(color));
    p[2] = static_cast<std::uint8_t>(RedOf(color));
}

}  // namespace fernweave
