// The window's picture loader, without a window: Qt's image reader needs no
// application object for BMP.
#include "picture_loader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <QImage>
#include <zlib.h>

#include "bmp_codec.h"
#include "picture_budget.h"
#include "png_codec.h"

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
    // A PNG written by Qt, not by us.
    QString WriteQt(const std::string& name, const QImage& image) {
        const fs::path p = dir / name;
        EXPECT_TRUE(image.save(QString::fromStdString(p.string()), "png"));
        return QString::fromStdString(p.string());
    }
    QString Write(const std::string& name, const Bytes& bytes) {
        const fs::path p = dir / name;
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(out.good());
        return QString::fromStdString(p.string());
    }
};

void Put32(Bytes& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A chunk with its length and checksum; `claimed` overrides the length field.
void PutChunk(Bytes& png, const char* type, const Bytes& data, std::optional<std::uint32_t> claimed = {}) {
    Put32(png, claimed.value_or(static_cast<std::uint32_t>(data.size())));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Put32(png, static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

Bytes PngHead(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colorType) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    Put32(ihdr, width);
    Put32(ihdr, height);
    ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, 0});
    PutChunk(png, "IHDR", ihdr);
    return png;
}

// A black 1-bit grey PNG of any size, its rows deflated as they go: a few
// kilobytes for millions of rows.
Bytes BlackPng(std::uint32_t width, std::uint32_t height) {
    Bytes png = PngHead(width, height, 1, 0);
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    const Bytes rows(std::size_t{1} << 20, 0);  // whole rows of zeros, each with filter 0
    const std::uint64_t rowBytes = (std::uint64_t{width} + 7) / 8 + 1;
    std::uint64_t left = rowBytes * height;
    Bytes idat;
    std::uint8_t out[1 << 16];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, rows.size()));
        z.next_in = const_cast<Bytef*>(rows.data());
        z.avail_in = static_cast<uInt>(n);
        left -= n;
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            status = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
            idat.insert(idat.end(), out, out + (sizeof out - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    PutChunk(png, "IDAT", idat);
    PutChunk(png, "IEND", {});
    return png;
}

// The peak resident memory since the last ResetPeakMemory(), from /proc/self/status.
std::uint64_t PeakMemoryBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    ADD_FAILURE() << "no VmHWM in /proc/self/status";
    return 0;
}

void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::uint64_t CurrentMemoryBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

// How much more than now the process held at most while `load` ran.
template <class Load>
std::uint64_t PeakGrowth(Load load) {
    ResetPeakMemory();
    const std::uint64_t before = CurrentMemoryBytes();
    load();
    const std::uint64_t peak = PeakMemoryBytes();
    return peak > before ? peak - before : 0;
}

constexpr std::uint64_t MiB = 1 << 20;

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

// A 32-bit BMP with an alpha mask (V4 header): each pixel keeps its stored
// colour, whatever its alpha says.
TEST_F(PictureLoader, BmpAlphaIsDropped) {
    constexpr std::size_t info = 108;
    Bytes b(BmpFileHeaderSize + info + 8, 0);
    const auto put = [&b](std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put(2, static_cast<std::uint32_t>(b.size()));
    put(10, BmpFileHeaderSize + info);
    put(14, info);
    put(18, 2);   // width
    put(22, 1);   // height
    b[26] = 1;    // planes
    b[28] = 32;   // bits per pixel
    put(30, 3);   // bit fields
    put(54, 0x00FF0000);
    put(58, 0x0000FF00);
    put(62, 0x000000FF);
    put(66, 0xFF000000);  // alpha
    const std::uint8_t pixels[8] = {50, 100, 200, 0, 1, 2, 3, 128};  // blue, green, red, alpha
    std::memcpy(b.data() + BmpFileHeaderSize + info, pixels, 8);
    const auto loaded = LoadPictureFile(Write("alpha.bmp", b));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->Pixel(0, 0), MakeColor(200, 100, 50));
    EXPECT_EQ(loaded->Pixel(1, 0), MakeColor(3, 2, 1));
}

// Channels of 16 bits round to 8 (0x12FF / 257 = 18.9 gives 19 where its high
// byte is 18); palette and grey pictures give their colours; a transparent
// pixel keeps its stored colour.
TEST_F(PictureLoader, PngsArriveAsTheir24BitColours) {
    QImage deep(2, 1, QImage::Format_RGBA64);
    deep.setPixelColor(0, 0, QColor::fromRgba64(0x12FF, 0x0080, 0xFFFF, 0xFFFF));
    deep.setPixelColor(1, 0, QColor::fromRgba64(0xFF00, 0x12FF, 0x0000, 0x0000));
    QImage palette(2, 1, QImage::Format_Indexed8);
    palette.setColorTable({qRgba(10, 20, 30, 0), qRgb(200, 100, 50)});
    palette.setPixel(0, 0, 0);
    palette.setPixel(1, 0, 1);
    QImage grey(2, 1, QImage::Format_Grayscale16);
    reinterpret_cast<std::uint16_t*>(grey.scanLine(0))[0] = 0x12FF;
    reinterpret_cast<std::uint16_t*>(grey.scanLine(0))[1] = 0xFFFF;
    const std::pair<QImage, std::pair<TColor, TColor>> cases[] = {
        {deep, {MakeColor(19, 0, 255), MakeColor(254, 19, 0)}},
        {palette, {MakeColor(10, 20, 30), MakeColor(200, 100, 50)}},
        {grey, {MakeColor(19, 19, 19), MakeColor(255, 255, 255)}},
    };
    for (const auto& [image, expected] : cases) {
        const auto loaded = LoadPictureFile(WriteQt("p.PNG", image));
        ASSERT_TRUE(loaded) << image.format();
        EXPECT_EQ(loaded->Pixel(0, 0), expected.first) << image.format();
        EXPECT_EQ(loaded->Pixel(1, 0), expected.second) << image.format();
    }
}

TEST_F(PictureLoader, CutOrDamagedPngIsRefused) {
    const Picture24 original = Distinct(9, 7);
    const Bytes whole = EncodePng(original, PackResolution({72, 72}));
    const auto loaded = LoadPictureFile(Write("whole.png", whole));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(*loaded == original);
    Bytes damaged = whole;
    damaged[std::search(whole.begin(), whole.end(), "IDAT", "IDAT" + 4) - whole.begin() + 6] ^= 0x55;  // checksum fails
    for (const Bytes& bad : {Bytes(whole.begin(), whole.end() - 12), Bytes(whole.begin(), whole.begin() + 60), damaged})
        EXPECT_FALSE(LoadPictureFile(Write("bad.png", bad)));
}

// The pHYs chunk as another writer (Qt) puts it, and ours as Qt reads it.
TEST_F(PictureLoader, PngResolutionTravelsInPhys) {
    QImage image(4, 4, QImage::Format_RGB888);
    image.fill(Qt::red);
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(3780);
    EXPECT_EQ(ReadPngResolution(WriteQt("qt.png", image).toStdString()), PackResolution({300, 96}));

    Bytes ours = EncodePng(Distinct(4, 4), PackResolution({1200, 1}));
    QImage read;
    ASSERT_TRUE(read.loadFromData(ours.data(), static_cast<int>(ours.size()), "png"));
    EXPECT_EQ(read.dotsPerMeterX(), 47244);
    EXPECT_EQ(read.dotsPerMeterY(), 39);
    EXPECT_EQ(PngResolutionFromBytes(ours), PackResolution({1200, 1}));
    const auto phys = std::search(ours.begin(), ours.end(), "pHYs", "pHYs" + 4);
    ASSERT_NE(phys, ours.end());
    phys[12] = 0;  // unit 0: an aspect ratio only
    EXPECT_EQ(PngResolutionFromBytes(ours), PackResolution({72, 72}));
    const Bytes without = EncodePng(Distinct(4, 4), PackResolution({0, 300}));
    EXPECT_EQ(std::search(without.begin(), without.end(), "pHYs", "pHYs" + 4), without.end());
    EXPECT_EQ(PngResolutionFromBytes(without), PackResolution({72, 72}));
    EXPECT_THROW(ReadPngResolution((dir / "missing.png").string()), std::runtime_error);
}

// 44 bytes whose text chunk claims 2 GiB: libpng took and cleared the whole
// length before finding the file ends, also for the Load dialog's preview.
TEST_F(PictureLoader, AChunkRunningPastTheEndIsRefusedBeforeItsMemoryIsTaken) {
    Bytes bomb = PngHead(1, 1, 8, 2);
    Put32(bomb, 0x7FFFFFF0);
    bomb.insert(bomb.end(), {'t', 'E', 'X', 't', 'a', 'b', 'c'});
    ASSERT_EQ(bomb.size(), 44u);
    const QString file = Write("bomb.png", bomb);
    EXPECT_LT(PeakGrowth([&] { EXPECT_FALSE(LoadPictureFile(file)); }), 16 * MiB);
    std::string error;
    EXPECT_FALSE(DecodePng(bomb, &error));
    EXPECT_EQ(error, "a chunk runs past the end of the file");

    // A whole, good picture with such a chunk after its image data is refused too;
    // without it, the same picture loads.
    Bytes good = EncodePng(Distinct(3, 2), PackResolution({72, 72}));
    ASSERT_TRUE(LoadPictureFile(Write("good.png", good)));
    Bytes late(good.begin(), good.end() - 12);
    PutChunk(late, "zTXt", {'k', 0, 0, 'x'}, 0x7FFFFFF0);
    PutChunk(late, "IEND", {});
    EXPECT_FALSE(LoadPictureFile(Write("late.png", late)));
}

// A picture one pixel wide or tall costs its rows: beyond the side Qt can
// show, it is refused before its memory is taken; within it, it loads for
// little more than the picture itself (no row pointers).
TEST_F(PictureLoader, ThinPicturesCostTheirRowsAndNoMore) {
    for (const auto& [w, h] : {std::pair{1u, 1u << 27}, std::pair{1u << 27, 1u}, std::pair{1u, 1u << 24}}) {
        const QString file = Write("thin.png", BlackPng(w, h));
        EXPECT_LT(PeakGrowth([&] { EXPECT_FALSE(LoadPictureFile(file)) << w << " x " << h; }), 16 * MiB);
    }
    for (const auto& [w, h] : {std::pair{1u, 4'000'000u}, std::pair{4'000'000u, 1u}}) {
        const QString file = Write("thin.png", BlackPng(w, h));
        std::optional<Picture24> loaded;
        const std::uint64_t growth = PeakGrowth([&] { loaded = LoadPictureFile(file); });
        ASSERT_TRUE(loaded) << w << " x " << h;
        EXPECT_EQ(loaded->Width(), int(w));
        EXPECT_EQ(loaded->Pixel(int(w) - 1, int(h) - 1), clBlack);
        EXPECT_LE(growth, PictureRowBytes(w, h) + 16 * MiB) << w << " x " << h;
    }
    EXPECT_TRUE(PictureWithinBudget(MaxPictureSide, 1, MaxPngPixels));
    EXPECT_FALSE(PictureWithinBudget(MaxPictureSide + 1, 1, MaxPngPixels));
}

}  // namespace
}  // namespace fernweave
