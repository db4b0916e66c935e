#include <gtest/gtest.h>

#include <cstring>

#include "bmp_codec.h"

namespace fernweave {
namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(PixelsPerMetre, DotsPerInchTimes3937RoundedHalfToEven) {
    EXPECT_EQ(PixelsPerMetre(72), 2835);
    EXPECT_EQ(PixelsPerMetre(96), 3780);
    EXPECT_EQ(PixelsPerMetre(300), 11811);
    EXPECT_EQ(PixelsPerMetre(1), 39);
    EXPECT_EQ(PixelsPerMetre(1200), 47244);
    EXPECT_EQ(PixelsPerMetre(0), 0);
    EXPECT_EQ(PixelsPerMetre(50), 1968);  // 1968.5 in decimal: the even neighbour
    EXPECT_EQ(PixelsPerMetre(65535), 2580113);
}

TEST(PackedResolution, XLowYHigh) {
    EXPECT_EQ(PackResolution({300, 150}), 300u | (150u << 16));
    EXPECT_EQ(UnpackResolution(0x00960 | (0x12Cu << 16)), (TResolution{0x960, 0x12C}));
}

TEST(EncodeBmp, WritesTheHeaderOfAnUncompressed24BitPicture) {
    Picture24 p(5, 3, MakeColor(1, 2, 3));
    SetPixel24(p, 0, 0, MakeColor(0xAA, 0xBB, 0xCC));  // top-left
    SetPixel24(p, 4, 2, MakeColor(0x11, 0x22, 0x33));  // bottom-right
    const auto b = EncodeBmp(p, PackResolution({300, 150}));
    const std::size_t stride = 16;  // 15 bytes padded to 16
    ASSERT_EQ(b.size(), 54 + stride * 3);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32(b, 2), b.size());
    EXPECT_EQ(U32(b, 6), 0u);
    EXPECT_EQ(U32(b, 10), 54u);
    EXPECT_EQ(U32(b, 14), 40u);
    EXPECT_EQ(U32(b, 18), 5u);
    EXPECT_EQ(U32(b, 22), 3u);
    EXPECT_EQ(U16(b, 26), 1);
    EXPECT_EQ(U16(b, 28), 24);
    EXPECT_EQ(U32(b, 30), 0u);
    EXPECT_EQ(U32(b, 34), stride * 3);
    EXPECT_EQ(U32(b, 38), 11811u);
    EXPECT_EQ(U32(b, 42), 5906u);  // 150 x 39.37 = 5905.5, to the even neighbour
    EXPECT_EQ(U32(b, 46), 0u);
    EXPECT_EQ(U32(b, 50), 0u);
    // Bottom row first, blue-green-red, rows padded with zeros.
    const std::uint8_t bottomRight[] = {0x33, 0x22, 0x11};
    EXPECT_EQ(std::memcmp(&b[54 + 12], bottomRight, 3), 0);
    EXPECT_EQ(b[54 + 15], 0);
    const std::uint8_t topLeft[] = {0xCC, 0xBB, 0xAA};
    EXPECT_EQ(std::memcmp(&b[54 + 2 * stride], topLeft, 3), 0);
}

TEST(WriteBmpResolution, LeavesShortDataAlone) {
    std::vector<std::uint8_t> shortData(53, 7);
    WriteBmpResolution(shortData, PackResolution({72, 72}));
    EXPECT_EQ(shortData, std::vector<std::uint8_t>(53, 7));
}

}  // namespace
}  // namespace fernweave
