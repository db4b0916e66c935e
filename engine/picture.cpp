#include "picture.h"

#include <stdexcept>

namespace fernweave {

void Picture24::Reset(int width, int height, TColor fill) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
    width_ = width;
    height_ = height;
    stride_ = StrideFor(width);
    bytes_.assign(stride_ * static_cast<std::size_t>(height), 0);
    Fill(fill);
}

bool Picture24::Reset(int width, int height, TColor fill, const std::atomic<bool>* stop) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative picture size");
    Clear();
    std::vector<std::uint8_t> bytes;
    if (!GrowStoppable(bytes, StrideFor(width) * static_cast<std::size_t>(height), stop)) return false;
    bytes_ = std::move(bytes);
    width_ = width;
    height_ = height;
    stride_ = StrideFor(width);
    Fill(fill);
    return true;
}

void Picture24::Fill(TColor color) {
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) SetPixel24(*this, x, y, color);
}

TColor Picture24::Pixel(int x, int y) const {
    const std::uint8_t* p = Row(y) + 3 * static_cast<std::size_t>(x);
    return MakeColor(p[2], p[1], p[0]);
}

}  // namespace fernweave
