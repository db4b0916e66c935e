#include "jpeg_codec.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

#include <jpeglib.h>

#include "bmp_codec.h"
#include "../sanitized.h"

namespace fernweave {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// --- fixtures made with libjpeg directly ---

struct Sample {
    std::uint8_t V[4];
};

// Encodes `components` samples per pixel given by `pixel(x, y)`. Valid input
// only: libjpeg's own error handler is fine for the fixtures.
Bytes MakeJpeg(int width, int height, int components, J_COLOR_SPACE in, const std::function<Sample(int, int)>& pixel,
               const std::function<void(jpeg_compress_struct&)>& tune = {}, int quality = 100) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = in;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (tune) tune(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width * components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const Sample s = pixel(x, y);
            for (int c = 0; c < components; ++c) row[static_cast<std::size_t>(x * components + c)] = s.V[c];
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Picture24 Gradient(int w, int h) {
    Picture24 p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel24(p, x, y, MakeColor(x * 255 / (w - 1), y * 255 / (h - 1), 128));
    return p;
}

int Distance(TColor a, TColor b) {
    return std::max({std::abs(RedOf(a) - RedOf(b)), std::abs(GreenOf(a) - GreenOf(b)), std::abs(BlueOf(a) - BlueOf(b))});
}

// Every pixel within `tolerance` levels of `color`.
::testing::AssertionResult AllNear(const Picture24& p, TColor color, int tolerance) {
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x)
            if (Distance(p.Pixel(x, y), color) > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << std::hex << p.Pixel(x, y) << ", expected " << color;
    return ::testing::AssertionSuccess();
}

std::uint16_t Be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]); }

// Offset of the first marker FF `code`, or npos.
std::size_t FindMarker(const Bytes& b, std::uint8_t code) {
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == code) return i;
    return std::string::npos;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/fernweave-jpeg-test-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(out.good()) << path;
        return path;
    }
    fs::path dir_;
};

// ======================= resolution: BMP =======================

TEST(BmpResolution, PixelsPerMetreToDotsPerInch) {
    EXPECT_EQ(DotsPerInch(2835), 72);
    EXPECT_EQ(DotsPerInch(3780), 96);
    EXPECT_EQ(DotsPerInch(11811), 300);
    EXPECT_EQ(DotsPerInch(47244), 1200);
    EXPECT_EQ(DotsPerInch(39), 1);
    for (int ppm = 0; ppm <= 19; ++ppm) EXPECT_EQ(DotsPerInch(ppm), 0) << ppm;
    EXPECT_EQ(DotsPerInch(20), 1);
    EXPECT_EQ(DotsPerInch(59), 1);   // 1.4986
    EXPECT_EQ(DotsPerInch(60), 2);   // 1.524
    EXPECT_EQ(DotsPerInch(-2835), 0);
    EXPECT_EQ(DotsPerInch(INT32_MIN), 0);
    // Beyond 16 bits only the low half is kept: 65536 x 39.37 reads as 0, one more inch as 1.
    EXPECT_EQ(DotsPerInch(2580111), 65535);
    EXPECT_EQ(DotsPerInch(2580152), 0);
    EXPECT_EQ(DotsPerInch(2580191), 1);
    // Every resolution we write reads back as itself.
    for (int dpi = 0; dpi <= 65535; ++dpi)
        ASSERT_EQ(DotsPerInch(PixelsPerMetre(static_cast<std::uint16_t>(dpi))), dpi) << dpi;
}

Bytes BmpHeader(std::uint32_t infoSize, std::int32_t xppm, std::int32_t yppm) {
    Bytes b = EncodeBmp(Picture24(2, 2), 0);
    for (int i = 0; i < 4; ++i) {
        b[14 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(infoSize >> (8 * i));
        b[38 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(xppm) >> (8 * i));
        b[42 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(yppm) >> (8 * i));
    }
    return b;
}

TEST_F(TempDir, BmpResolutionFromTheFile) {
    EXPECT_EQ(ReadBmpResolution(Write("a.bmp", EncodeBmp(Picture24(3, 2), PackResolution({72, 72})))),
              PackResolution({72, 72}));
    EXPECT_EQ(ReadBmpResolution(Write("b.bmp", EncodeBmp(Picture24(3, 2), PackResolution({300, 150})))),
              PackResolution({300, 150}));
    EXPECT_EQ(ReadBmpResolution(Write("c.bmp", BmpHeader(40, 3780, 19))), PackResolution({96, 0}));
    EXPECT_EQ(ReadBmpResolution(Write("d.bmp", BmpHeader(124, 20, 11811))), PackResolution({1, 300}));  // V5 header
    EXPECT_EQ(ReadBmpResolution(Write("e.bmp", BmpHeader(40, -1, 0))), PackResolution({0, 0}));
    // OS/2 core header: no resolution fields, whatever the bytes there hold.
    EXPECT_EQ(ReadBmpResolution(Write("f.bmp", BmpHeader(12, 11811, 11811))), PackResolution({72, 72}));
    // Just long enough: the vertical field ends the file.
    const Bytes full = BmpHeader(40, 3780, 3780);
    EXPECT_EQ(ReadBmpResolution(Write("g.bmp", Bytes(full.begin(), full.begin() + 46))), PackResolution({96, 96}));
}

TEST_F(TempDir, BmpResolutionFailuresThrowWithTheReason) {
    auto message = [](const std::string& path) -> std::string {
        try {
            ReadBmpResolution(path);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    };
    const std::string missing = (dir_ / "missing.bmp").string();
    Bytes bad = BmpHeader(40, 3780, 3780);
    bad[0] = 0x89;
    for (const auto& [path, says] :
         {std::pair{missing, missing + ": No such file"}, {dir_.string(), std::string("not a regular file")},
          {Write("png.bmp", bad), std::string("not a BMP")},
          {Write("empty.bmp", {}), std::string("not a BMP")}}) {
        const std::string m = message(path);
        EXPECT_NE(m.find(says), std::string::npos) << m;
    }
    const Bytes full = BmpHeader(40, 3780, 3780);
    const std::string m = message(Write("short.bmp", Bytes(full.begin(), full.begin() + 45)));
    EXPECT_NE(m.find("cut short"), std::string::npos) << m;
}

// ======================= resolution: JPEG =======================

// "JFIF\0" at `at`, then version 1.01, the units and the densities.
Bytes Jfif(std::size_t at, std::uint8_t units, std::uint16_t x, std::uint16_t y) {
    Bytes b(at, 0xEE);
    for (std::uint8_t c : {'J', 'F', 'I', 'F', '\0', '\1', '\1'}) b.push_back(c);
    b.push_back(units);
    for (std::uint16_t v : {x, y}) {
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        b.push_back(static_cast<std::uint8_t>(v));
    }
    b.resize(std::max<std::size_t>(b.size(), 64), 0);
    return b;
}

std::uint32_t FromHeader(const Bytes& b) { return JpegResolutionFromHeader(b); }

TEST(JpegResolution, UnitsAndDensities) {
    const std::uint32_t r72 = PackResolution({72, 72});
    EXPECT_EQ(FromHeader(Jfif(6, 0, 300, 150)), r72);
    EXPECT_EQ(FromHeader(Jfif(6, 0, 1, 1)), r72);
    EXPECT_EQ(FromHeader(Jfif(6, 1, 300, 150)), PackResolution({300, 150}));
    EXPECT_EQ(FromHeader(Jfif(6, 1, 0, 65535)), PackResolution({0, 65535}));
    EXPECT_EQ(FromHeader(Jfif(6, 2, 28, 118)), PackResolution({71, 300}));
    EXPECT_EQ(FromHeader(Jfif(6, 2, 25, 75)), PackResolution({64, 190}));  // 63.5 and 190.5: the even neighbour
    EXPECT_EQ(FromHeader(Jfif(6, 2, 65535, 0)), PackResolution({static_cast<std::uint16_t>(166459 & 0xFFFF), 0}));
    EXPECT_EQ(FromHeader(Jfif(6, 3, 300, 150)), r72);
    EXPECT_EQ(FromHeader(Jfif(6, 255, 300, 150)), r72);
}

TEST(JpegResolution, WhereTheIdentifierIs) {
    const std::uint32_t r72 = PackResolution({72, 72});
    EXPECT_EQ(FromHeader(Jfif(0, 1, 300, 150)), PackResolution({300, 150}));
    EXPECT_EQ(FromHeader(Jfif(38, 1, 300, 150)), PackResolution({300, 150}));  // fields end at byte 50
    EXPECT_EQ(FromHeader(Jfif(39, 1, 300, 150)), r72);  // only 50 bytes are read: the fields are cut
    EXPECT_EQ(FromHeader(Jfif(45, 1, 300, 150)), r72);
    EXPECT_EQ(FromHeader(Jfif(46, 1, 300, 150)), r72);  // the zero byte lies beyond 50 bytes
    Bytes noZero = Jfif(6, 1, 300, 150);
    noZero[10] = 'X';
    EXPECT_EQ(FromHeader(noZero), r72);
    EXPECT_EQ(FromHeader(Bytes(64, 0)), r72);
    EXPECT_EQ(FromHeader({}), r72);
    // The first identifier counts.
    Bytes two = Jfif(2, 1, 300, 150);
    const Bytes second = Jfif(0, 1, 96, 96);
    std::copy(second.begin(), second.begin() + 12, two.begin() + 20);
    EXPECT_EQ(FromHeader(two), PackResolution({300, 150}));
    // Cut inside the fields.
    const Bytes full = Jfif(6, 1, 300, 150);
    EXPECT_EQ(FromHeader(Bytes(full.begin(), full.begin() + 17)), r72);
    EXPECT_EQ(FromHeader(Bytes(full.begin(), full.begin() + 18)), PackResolution({300, 150}));
}

TEST(JpegResolution, WrittenIntoTheHeader) {
    Bytes b = Jfif(20, 0, 1, 1);
    WriteJpegResolution(b, PackResolution({300, 150}));
    Bytes expected = Jfif(20, 1, 300, 150);
    EXPECT_EQ(b, expected);

    for (const Bytes& unchanged : {Bytes(64, 0), Jfif(46, 0, 1, 1), Bytes{}}) {
        Bytes c = unchanged;
        WriteJpegResolution(c, PackResolution({300, 150}));
        EXPECT_EQ(c, unchanged);
    }
    // Too short for the fields: nothing is written beyond the end.
    const Bytes full = Jfif(6, 0, 1, 1);
    Bytes cut(full.begin(), full.begin() + 17);
    WriteJpegResolution(cut, PackResolution({300, 150}));
    EXPECT_EQ(cut, Bytes(full.begin(), full.begin() + 17));
}

TEST_F(TempDir, SavedJpegCarriesItsResolution) {
    const Bytes b = EncodeJpeg(Picture24(40, 30, clWhite), 90, PackResolution({300, 150}));
    ASSERT_GT(b.size(), 20u);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[1], 0xD8);
    EXPECT_EQ(std::memcmp(&b[6], "JFIF", 5), 0);
    EXPECT_EQ(b[13], 1);
    EXPECT_EQ(Be16(b, 14), 300);
    EXPECT_EQ(Be16(b, 16), 150);
    EXPECT_EQ(ReadJpegResolution(Write("a.jpg", b)), PackResolution({300, 150}));
    EXPECT_EQ(ReadJpegResolution(Write("b.JPEG", EncodeJpeg(Picture24(8, 8), 90, PackResolution({72, 96})))),
              PackResolution({72, 96}));
    // Shorter than 50 bytes, no identifier.
    EXPECT_EQ(ReadJpegResolution(Write("c.jpg", Bytes{0xFF, 0xD8})), PackResolution({72, 72}));
}

TEST_F(TempDir, JpegResolutionOfAnUnreadableFileThrows) {
    const std::string missing = (dir_ / "missing.jpg").string();
    try {
        ReadJpegResolution(missing);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(missing + ": No such file"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ReadJpegResolution(dir_.string()), std::runtime_error);
}

// ======================= encoding =======================

TEST(EncodeJpeg, BaselineColourWithThreeComponents) {
    const Bytes b = EncodeJpeg(Gradient(33, 17), 90, PackResolution({72, 72}));
    const std::size_t sof = FindMarker(b, 0xC0);
    ASSERT_NE(sof, std::string::npos) << "baseline frame";
    EXPECT_EQ(FindMarker(b, 0xC2), std::string::npos) << "not progressive";
    EXPECT_EQ(Be16(b, sof + 5), 17);  // height
    EXPECT_EQ(Be16(b, sof + 7), 33);  // width
    EXPECT_EQ(b[sof + 9], 3);         // components
    EXPECT_EQ(b[b.size() - 2], 0xFF);
    EXPECT_EQ(b[b.size() - 1], 0xD9);
    // The same picture gives the same bytes.
    EXPECT_EQ(EncodeJpeg(Gradient(33, 17), 90, PackResolution({72, 72})), b);
}

TEST(EncodeJpeg, RoundTripKeepsColoursAndPlaces) {
    // Four 16 x 16 blocks, so that colour subsampling does not blur across them.
    Picture24 p(32, 32);
    const TColor colours[4] = {MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 255), MakeColor(255, 255, 0)};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) SetPixel24(p, x, y, colours[(y / 16) * 2 + x / 16]);
    const auto back = DecodeJpeg(EncodeJpeg(p, 100, 0));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->Width(), 32);
    ASSERT_EQ(back->Height(), 32);
    EXPECT_EQ(back->Stride(), Picture24::StrideFor(32));
    for (int i = 0; i < 4; ++i) {
        const int cx = (i % 2) * 16 + 8, cy = (i / 2) * 16 + 8;
        EXPECT_LE(Distance(back->Pixel(cx, cy), colours[i]), 8) << i << ": " << std::hex << back->Pixel(cx, cy);
    }
}

TEST(EncodeJpeg, FlatColourComesBackWithinAFewLevels) {
    for (const TColor c : {clBlack, clWhite, MakeColor(0x12, 0x9A, 0xE7), MakeColor(200, 40, 90)}) {
        const auto back = DecodeJpeg(EncodeJpeg(Picture24(45, 29, c), 90, 0));  // sides not multiples of 8 or 16
        ASSERT_TRUE(back);
        EXPECT_EQ(back->Width(), 45);
        EXPECT_EQ(back->Height(), 29);
        EXPECT_TRUE(AllNear(*back, c, 3)) << std::hex << c;
    }
}

TEST(EncodeJpeg, QualityFromItsLowByteHeldTo1To100) {
    const Picture24 p = Gradient(64, 64);
    const Bytes q10 = EncodeJpeg(p, 10, 0), q90 = EncodeJpeg(p, 90, 0), q100 = EncodeJpeg(p, 100, 0);
    EXPECT_LT(q10.size(), q90.size());
    EXPECT_LT(q90.size(), q100.size());
    EXPECT_EQ(EncodeJpeg(p, 256 + 90, 0), q90);
    EXPECT_EQ(EncodeJpeg(p, 0, 0), EncodeJpeg(p, 1, 0));
    EXPECT_EQ(EncodeJpeg(p, 255, 0), q100);
    EXPECT_EQ(EncodeJpeg(p, 101, 0), q100);
    EXPECT_EQ(EncodeJpeg(p, -1, 0), q100);  // low byte 255
}

TEST(EncodeJpeg, FailuresThrowAndNeverEndTheProgram) {
    EXPECT_THROW(EncodeJpeg(Picture24(), 90, 0), std::runtime_error);
    EXPECT_THROW(EncodeJpeg(Picture24(0, 5), 90, 0), std::runtime_error);
    // Wider than JPEG allows: libjpeg's own error.
    try {
        EncodeJpeg(Picture24(65501, 1), 90, 0);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("JPEG"), std::string::npos) << e.what();
    }
    // And the widest it allows works, growing the output buffer many times over.
    Picture24 wide(65500, 2);
    for (int x = 0; x < 65500; ++x) SetPixel24(wide, x, x % 2, MakeColor(x & 255, (x * 7) & 255, (x * 13) & 255));
    const Bytes b = EncodeJpeg(wide, 100, 0);
    EXPECT_GT(b.size(), 4u * 64 * 1024);
    const auto back = DecodeJpeg(b);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Width(), 65500);
}

// ======================= decoding other pictures =======================

TEST(DecodeJpeg, GreyScaleArrivesAsGrey) {
    const Bytes g = MakeJpeg(24, 16, 1, JCS_GRAYSCALE, [](int x, int) { return Sample{{static_cast<std::uint8_t>(x * 10)}}; });
    std::string error;
    const auto p = DecodeJpeg(g, &error);
    ASSERT_TRUE(p) << error;
    ASSERT_EQ(p->Width(), 24);
    ASSERT_EQ(p->Height(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            const TColor c = p->Pixel(x, y);
            ASSERT_EQ(RedOf(c), GreenOf(c)) << x << "," << y;
            ASSERT_EQ(RedOf(c), BlueOf(c)) << x << "," << y;
            ASSERT_LE(std::abs(RedOf(c) - x * 10), 4) << x << "," << y;
        }
}

TEST(DecodeJpeg, ProgressiveDecodes) {
    const Bytes b = MakeJpeg(40, 24, 3, JCS_RGB, [](int, int) { return Sample{{10, 220, 130}}; },
                             [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); });
    ASSERT_NE(FindMarker(b, 0xC2), std::string::npos);
    const auto p = DecodeJpeg(b);
    ASSERT_TRUE(p);
    EXPECT_TRUE(AllNear(*p, MakeColor(10, 220, 130), 3));
}

// CMYK samples: the left half one colour, the right half another.
constexpr Sample InkLeft{{0, 100, 200, 0}};     // plain: no black ink
constexpr Sample InkRight{{50, 0, 255, 128}};  // plain: half black
// Plain CMYK to RGB: (255 - C) x (255 - K) / 255.
constexpr TColor PlainLeft = MakeColor(255, 155, 55);
constexpr TColor PlainRight = MakeColor(102, 127, 0);  // 205 x 127 / 255 = 102.1, 255 x 127 / 255 = 127

Sample Inverted(Sample s) {
    for (std::uint8_t& v : s.V) v = static_cast<std::uint8_t>(255 - v);
    return s;
}

Bytes CmykJpeg(bool adobe, bool invert, bool ycck) {
    return MakeJpeg(
        32, 16, 4, JCS_CMYK,
        [invert](int x, int) {
            const Sample s = x < 16 ? InkLeft : InkRight;
            return invert ? Inverted(s) : s;
        },
        [adobe, ycck](jpeg_compress_struct& c) {
            if (ycck) jpeg_set_colorspace(&c, JCS_YCCK);
            c.write_Adobe_marker = adobe ? TRUE : FALSE;
        });
}

TEST(DecodeJpeg, CmykPlainAndAdobeInverted) {
    // Photoshop stores 255 - value and says so with its marker: the colours are the same.
    struct Case {
        const char* Name;
        bool Adobe, Invert, Ycck;
    };
    for (const Case c : {Case{"plain", false, false, false}, Case{"Adobe", true, true, false},
                         Case{"Adobe YCCK", true, true, true}}) {
        const Bytes b = CmykJpeg(c.Adobe, c.Invert, c.Ycck);
        ASSERT_EQ(FindMarker(b, 0xEE) != std::string::npos, c.Adobe) << c.Name;
        std::string error;
        const auto p = DecodeJpeg(b, &error);
        ASSERT_TRUE(p) << c.Name << ": " << error;
        ASSERT_EQ(p->Width(), 32);
        ASSERT_EQ(p->Height(), 16);
        for (int y = 0; y < 16; ++y)
            for (int x : {0, 5, 10, 21, 26, 31})
                ASSERT_LE(Distance(p->Pixel(x, y), x < 16 ? PlainLeft : PlainRight), 3)
                    << c.Name << " " << x << "," << y << ": " << std::hex << p->Pixel(x, y);
    }
}

// ======================= refusing damaged data =======================

Bytes SmallJpeg() { return EncodeJpeg(Gradient(48, 40), 75, PackResolution({72, 72})); }

TEST(DecodeJpeg, EveryTruncationIsRefused) {
    const Bytes full = SmallJpeg();
    ASSERT_TRUE(DecodeJpeg(full));
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::string error;
        ASSERT_FALSE(DecodeJpeg(std::span(full.data(), n), &error)) << "cut at " << n;
        ASSERT_FALSE(error.empty()) << n;
    }
    // A progressive file cut in a later scan as well.
    const Bytes prog = MakeJpeg(40, 24, 3, JCS_RGB, [](int x, int y) { return Sample{{static_cast<std::uint8_t>(x * 6), static_cast<std::uint8_t>(y * 10), 50}}; },
                                [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); });
    ASSERT_TRUE(DecodeJpeg(prog));
    for (std::size_t n = 0; n < prog.size(); n += 7) ASSERT_FALSE(DecodeJpeg(std::span(prog.data(), n))) << n;
}

TEST(DecodeJpeg, EmptyAndGarbageAreRefused) {
    std::string error;
    EXPECT_FALSE(DecodeJpeg({}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(DecodeJpeg(Bytes{0xFF, 0xD8, 0xFF, 0xD9}, &error));
    EXPECT_FALSE(error.empty());
    Bytes garbage(4096);
    std::uint32_t s = 12345;
    for (auto& b : garbage) {
        s = s * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(s >> 16);
    }
    EXPECT_FALSE(DecodeJpeg(garbage));
    garbage[0] = 0xFF;
    garbage[1] = 0xD8;
    EXPECT_FALSE(DecodeJpeg(garbage));
    const Bytes bmp = EncodeBmp(Picture24(4, 4), 0);
    EXPECT_FALSE(DecodeJpeg(bmp));
}

// A picture of `w` x `h` declared in the frame header of a small file.
Bytes WithDeclaredSize(std::uint16_t w, std::uint16_t h) {
    Bytes b = SmallJpeg();
    const std::size_t sof = FindMarker(b, 0xC0);
    EXPECT_NE(sof, std::string::npos);
    b[sof + 5] = static_cast<std::uint8_t>(h >> 8);
    b[sof + 6] = static_cast<std::uint8_t>(h);
    b[sof + 7] = static_cast<std::uint8_t>(w >> 8);
    b[sof + 8] = static_cast<std::uint8_t>(w);
    return b;
}

TEST(DecodeJpeg, HugeDeclaredSizesAreRefused) {
    for (const auto& [w, h] : {std::pair<int, int>{65000, 65000}, {16385, 16384}, {65500, 4200}}) {
        std::string error;
        EXPECT_FALSE(DecodeJpeg(WithDeclaredSize(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h)), &error))
            << w << "x" << h;
        EXPECT_NE(error.find("too large"), std::string::npos) << w << "x" << h << ": " << error;
    }
    // Sides beyond JPEG's own limit: libjpeg's error.
    std::string error;
    EXPECT_FALSE(DecodeJpeg(WithDeclaredSize(65535, 10), &error));
    EXPECT_NE(error.find("65500"), std::string::npos) << error;
    // Large enough to hold, but the data runs out long before the picture does.
    EXPECT_FALSE(DecodeJpeg(WithDeclaredSize(4000, 3000)));
    // A zero side.
    EXPECT_FALSE(DecodeJpeg(WithDeclaredSize(0, 40)));
    EXPECT_FALSE(DecodeJpeg(WithDeclaredSize(48, 0)));
}

// Found by the decoder's fuzz target: 173 bytes announcing 62465 x 2049 pixels
// (within the limit) whose data ends in the first row. The refusal must come
// before the 384 MB picture is taken and cleared, not after.
const Bytes AnnouncedHugeWithoutData = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x3b, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x07, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x02, 0x02, 0x02, 0x03, 0x02, 0xa0, 0x02, 0x03,
    0x03, 0x03, 0x03, 0x04, 0x06, 0x04, 0x04, 0x04, 0x04, 0x04, 0x08, 0x06, 0x06, 0x00, 0x00, 0x00, 0xad, 0x0a,
    0x0a, 0x09, 0x08, 0x09, 0x09, 0x0a, 0x0c, 0x0f, 0x0c, 0x0a, 0x0b, 0x0e, 0x0b, 0x09, 0x09, 0x0d, 0x11, 0x0d,
    0x0e, 0x0f, 0x10, 0x10, 0x11, 0x10, 0x0a, 0x0c, 0x12, 0x13, 0x12, 0x10, 0x13, 0x0f, 0x10, 0x10, 0x10, 0xff,
    0xc0, 0x00, 0x0b, 0x08, 0x08, 0x01, 0xf4, 0x01, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0xff, 0xc4,
    0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x3c, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xff,
    0xc4, 0x00, 0x1f, 0x00, 0xf9, 0xc0, 0xff, 0xe2, 0x3f, 0xff, 0xd9};

TEST(DecodeJpeg, AnnouncedHugePictureWithoutDataIsRefusedForItsData) {
    ASSERT_EQ(AnnouncedHugeWithoutData.size(), 173u);
    std::string error;
    EXPECT_FALSE(DecodeJpeg(AnnouncedHugeWithoutData, &error));
    EXPECT_NE(error.find("premature end"), std::string::npos) << error;
}

TEST(DecodeJpeg, AnnouncedHugePictureWithoutDataTakesNoPictureMemory) {
#ifdef FERNWEAVE_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
    // In a child held to 256 MB of address space: taking the picture first
    // would fail for memory instead of refusing the data.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{256u << 20, 256u << 20};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(3);
        std::string error;
        const bool decoded = DecodeJpeg(AnnouncedHugeWithoutData, &error).has_value();
        ::_exit(decoded ? 2 : error.find("premature end") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: refused for another reason (memory), 2: decoded, 3: no limit";
#endif
}

TEST(DecodeJpeg, EndlessScansAreRefused) {
    // A progressive file whose last scan is repeated hundreds of times: each costs
    // a pass over the picture, so the scans are counted.
    const Bytes prog = MakeJpeg(16, 16, 3, JCS_RGB, [](int, int) { return Sample{{1, 2, 3}}; },
                                [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); });
    std::size_t lastScan = std::string::npos;
    for (std::size_t i = 0; i + 1 < prog.size(); ++i)
        if (prog[i] == 0xFF && prog[i + 1] == 0xDA) lastScan = i;
    ASSERT_NE(lastScan, std::string::npos);
    const Bytes scan(prog.begin() + static_cast<std::ptrdiff_t>(lastScan), prog.end() - 2);
    Bytes many(prog.begin(), prog.end() - 2);
    for (int i = 0; i < 600; ++i) many.insert(many.end(), scan.begin(), scan.end());
    many.push_back(0xFF);
    many.push_back(0xD9);
    std::string error;
    EXPECT_FALSE(DecodeJpeg(many, &error));
    EXPECT_NE(error.find("scans"), std::string::npos) << error;
}

TEST(DecodeJpeg, StrayBytesBeforeAMarkerAreHarmless) {
    // libjpeg only warns about them, and the picture is whole.
    const Bytes good = SmallJpeg();
    Bytes stray(good.begin(), good.end() - 2);
    stray.insert(stray.end(), {0x00, 0x17, 0x2A, 0xFF, 0xD9});
    const auto a = DecodeJpeg(good);
    std::string error;
    const auto b = DecodeJpeg(stray, &error);
    ASSERT_TRUE(a);
    ASSERT_TRUE(b) << error;
    EXPECT_EQ(*a, *b);
}

TEST(DecodeJpeg, DamagedBytesNeverCrash) {
    // Each byte changed in turn: the result is refused or a picture of a sane size.
    const Bytes good = EncodeJpeg(Gradient(24, 16), 60, 0);
    for (std::size_t i = 0; i < good.size(); ++i)
        for (std::uint8_t v : {std::uint8_t{0x00}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(good[i] ^ 0x55)}) {
            Bytes bad = good;
            bad[i] = v;
            const auto p = DecodeJpeg(bad);
            if (p) {
                ASSERT_GT(p->Width(), 0) << i;
                ASSERT_GT(p->Height(), 0) << i;
                ASSERT_LE(static_cast<std::uint64_t>(p->Width()) * static_cast<std::uint64_t>(p->Height()), MaxJpegPixels);
                ASSERT_EQ(p->ByteSize(), p->Stride() * static_cast<std::size_t>(p->Height()));
            }
        }
}

TEST_F(TempDir, LoadJpegFile) {
    const std::string path = Write("p.jpg", EncodeJpeg(Picture24(20, 10, MakeColor(9, 99, 199)), 95, 0));
    const auto p = LoadJpegFile(path);
    ASSERT_TRUE(p);
    EXPECT_TRUE(AllNear(*p, MakeColor(9, 99, 199), 3));
    std::string error;
    EXPECT_FALSE(LoadJpegFile((dir_ / "missing.jpg").string(), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(LoadJpegFile(dir_.string(), &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(LoadJpegFile(Write("empty.jpg", {}), &error));
}

}  // namespace
}  // namespace fernweave
