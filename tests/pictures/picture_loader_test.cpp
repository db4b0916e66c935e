// The window's picture loader, without a window: Qt's image reader needs no
// application object for BMP.
#include "picture_loader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "bmp_codec.h"

namespace fernweave {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class PictureLoader : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        char name[] = "/tmp/fernweave-loader-test-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    QString Write(const std::string& name, const Bytes& bytes) {
        const fs::path p = dir / name;
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(out.good());
        return QString::fromStdString(p.string());
    }
};

// Every pixel different, so that a flipped or shifted picture shows.
Picture24 Distinct(int w, int h) {
    Picture24 p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel24(p, x, y, MakeColor(20 * x + 3, 40 * y + 5, 7 * x + 11 * y));
    return p;
}

// The same picture stored top-down: a negative height and the rows in screen order.
Bytes TopDown(const Bytes& bottomUp, int height) {
    Bytes b = bottomUp;
    const std::int32_t negative = -height;
    std::memcpy(b.data() + 22, &negative, 4);
    const std::size_t offset = BmpFileHeaderSize + BmpInfoHeaderSize;
    const std::size_t stride = (b.size() - offset) / static_cast<std::size_t>(height);
    for (int y = 0; y < height; ++y)
        std::memcpy(b.data() + offset + stride * static_cast<std::size_t>(y),
                    bottomUp.data() + offset + stride * static_cast<std::size_t>(height - 1 - y), stride);
    return b;
}

TEST_F(PictureLoader, BottomUpBmpLoadsAsSaved) {
    const Picture24 original = Distinct(7, 5);
    const auto loaded = LoadPictureFile(Write("up.bmp", EncodeBmp(original, PackResolution({72, 72}))));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(*loaded == original);
}

// Found with the BMP loader's fuzz seeds: Qt reports a top-down picture's
// height as negative, and the loader refused the picture for it.
TEST_F(PictureLoader, TopDownBmpLoadsUpright) {
    const Picture24 original = Distinct(7, 5);
    const Bytes bottomUp = EncodeBmp(original, PackResolution({72, 72}));
    const auto loaded = LoadPictureFile(Write("down.bmp", TopDown(bottomUp, 5)));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(*loaded == original);
}

TEST_F(PictureLoader, CutBmpIsRefusedInEitherRowOrder) {
    const Bytes bottomUp = EncodeBmp(Distinct(7, 5), PackResolution({72, 72}));
    for (const Bytes& whole : {bottomUp, TopDown(bottomUp, 5)}) {
        const Bytes cut(whole.begin(), whole.end() - 1);
        EXPECT_FALSE(LoadPictureFile(Write("cut.bmp", cut)));
    }
}

}  // namespace
}  // namespace fernweave
