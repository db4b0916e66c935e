#include "bmp_codec.h"

#include <algorithm>
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

std::string StreamBmp(int width, int height, const RowsOf& rows, std::uint32_t packedResolution,
                      const ByteSink& sink) {
    const std::size_t stride = Picture24::StrideFor(width);
    const std::uint64_t imageSize = stride * static_cast<std::uint64_t>(height);
    const std::size_t offset = BmpFileHeaderSize + BmpInfoHeaderSize;
    std::uint8_t h[BmpFileHeaderSize + BmpInfoHeaderSize] = {};
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<std::uint32_t>(offset + imageSize));
    Put32(h + 10, static_cast<std::uint32_t>(offset));
    std::uint8_t* info = h + BmpFileHeaderSize;
    Put32(info + 0, static_cast<std::uint32_t>(BmpInfoHeaderSize));
    Put32(info + 4, static_cast<std::uint32_t>(width));
    Put32(info + 8, static_cast<std::uint32_t>(height));  // positive: rows bottom-up
    Put16(info + 12, 1);                                  // planes
    Put16(info + 14, 24);                                 // bits per pixel
    Put32(info + 16, 0);                                  // uncompressed
    Put32(info + 20, static_cast<std::uint32_t>(imageSize));
    WriteBmpResolution(h, packedResolution);
    if (!sink(h, sizeof h)) return "not written";
    // Rows go out a few at a time; their padding stays zero.
    const std::size_t rowsAtOnce = std::max<std::size_t>(1, (std::size_t{1} << 20) / std::max<std::size_t>(stride, 1));
    std::vector<std::uint8_t> piece(std::min<std::size_t>(rowsAtOnce, static_cast<std::size_t>(height)) * stride, 0);
    std::size_t filled = 0;
    for (int y = height; y-- > 0;) {
        const std::uint8_t* row = rows(y);
        if (!row) return "stopped";
        std::memcpy(piece.data() + filled, row, 3 * static_cast<std::size_t>(width));
        filled += stride;
        if ((filled == piece.size() || y == 0) && !sink(piece.data(), filled)) return "not written";
        if (filled == piece.size()) filled = 0;
    }
    return {};
}

std::vector<std::uint8_t> EncodeBmp(const Picture24& picture, std::uint32_t packedResolution) {
    return EncodeInMemory(
        "BMP",
        [&](const ByteSink& sink) {
            return StreamBmp(picture.Width(), picture.Height(), [&](int y) { return picture.Row(y); }, packedResolution,
                             sink);
        },
        BmpFileHeaderSize + BmpInfoHeaderSize + picture.ByteSize());
}

void WriteBmpResolution(std::span<std::uint8_t> bmp, std::uint32_t packedResolution) {
    if (bmp.size() < BmpFileHeaderSize + BmpInfoHeaderSize) return;
    const TResolution r = UnpackResolution(packedResolution);
    std::uint8_t* info = bmp.data() + BmpFileHeaderSize;
    Put32(info + 24, static_cast<std::uint32_t>(PixelsPerMetre(r.X)));
    Put32(info + 28, static_cast<std::uint32_t>(PixelsPerMetre(r.Y)));
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
