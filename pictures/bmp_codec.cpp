#include "bmp_codec.h"

#include <cstring>

namespace fernweave {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Picture24& picture, std::uint32_t packedResolution) {
    const std::size_t stride = Picture24::StrideFor(picture.Width());
    const std::size_t imageSize = stride * static_cast<std::size_t>(picture.Height());
    const std::size_t offset = BmpFileHeaderSize + BmpInfoHeaderSize;
    std::vector<std::uint8_t> out(offset + imageSize, 0);
    std::uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<std::uint32_t>(out.size()));
    Put32(h + 10, static_cast<std::uint32_t>(offset));
    std::uint8_t* info = h + BmpFileHeaderSize;
    Put32(info + 0, static_cast<std::uint32_t>(BmpInfoHeaderSize));
    Put32(info + 4, static_cast<std::uint32_t>(picture.Width()));
    Put32(info + 8, static_cast<std::uint32_t>(picture.Height()));  // positive: rows bottom-up
    Put16(info + 12, 1);                                            // planes
    Put16(info + 14, 24);                                           // bits per pixel
    Put32(info + 16, 0);                                            // uncompressed
    Put32(info + 20, static_cast<std::uint32_t>(imageSize));
    std::uint8_t* rows = h + offset;
    for (int y = 0; y < picture.Height(); ++y)
        std::memcpy(rows + stride * static_cast<std::size_t>(picture.Height() - 1 - y), picture.Row(y),
                    3 * static_cast<std::size_t>(picture.Width()));
    WriteBmpResolution(out, packedResolution);
    return out;
}

void WriteBmpResolution(std::span<std::uint8_t> bmp, std::uint32_t packedResolution) {
    if (bmp.size() < BmpFileHeaderSize + BmpInfoHeaderSize) return;
    const TResolution r = UnpackResolution(packedResolution);
    std::uint8_t* info = bmp.data() + BmpFileHeaderSize;
    Put32(info + 24, static_cast<std::uint32_t>(PixelsPerMetre(r.X)));
    Put32(info + 28, static_cast<std::uint32_t>(PixelsPerMetre(r.Y)));
}

}  // namespace fernweave
