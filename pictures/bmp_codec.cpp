#include "bmp_codec.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "safe_file.h"

namespace fernweave {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t BmpResolutionEnd = 46;  // the vertical field ends here

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

std::uint16_t DotsPerInch(std::int32_t pixelsPerMetre) {
    if (pixelsPerMetre <= 0) return 0;
    return static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(pixelsPerMetre / 39.37)) & 0xFFFF);
}

std::uint32_t BmpResolutionFromHeader(std::span<const std::uint8_t> b) {
    if (b.size() < BmpFileHeaderSize + 4 || b[0] != 'B' || b[1] != 'M')
        throw std::runtime_error("not a BMP picture");
    // The OS/2 core header has no resolution fields.
    if (Get32(b.data() + BmpFileHeaderSize) < BmpInfoHeaderSize) return PackResolution({72, 72});
    if (b.size() < BmpResolutionEnd) throw std::runtime_error("the BMP header is cut short");
    return PackResolution({DotsPerInch(static_cast<std::int32_t>(Get32(b.data() + 38))),
                           DotsPerInch(static_cast<std::int32_t>(Get32(b.data() + 42)))});
}

std::uint32_t ReadBmpResolution(const std::string& fileName) {
    std::string bytes, why;
    if (!ReadFilePrefix(fileName, BmpResolutionEnd, bytes, &why))
        throw std::runtime_error("Cannot read the resolution of the picture: " + why);
    try {
        return BmpResolutionFromHeader(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("Cannot read the resolution of the picture: " + fileName + ": " + e.what());
    }
}

}  // namespace fernweave
