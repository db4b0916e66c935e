#include "render_cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "bmp_codec.h"
#include "jpeg_codec.h"
#include "png_codec.h"
#include "object_file.h"
#include "solver.h"
#include "../reference_game.h"
#include "../sanitized.h"

namespace fernweave::cli {
namespace {

namespace fs = std::filesystem;

// Corners of a right triangle. Map 1 is plain, so that the Diffuse rule shows,
// and does not hold the start point (base vertex 1) still: the very first
// step of a fresh generator (which chooses map 1) must show in the picture.
constexpr const char* ThreeMaps =
    "base 10 10 100 10 10 100\n"
    "map 55 10 100 10 55 55 #00C080 plain\n"
    "map 10 10 55 10 10 55 #FF4000 diffuse\n"
    "map 10 55 55 55 10 100 #2040FF diffuse\n";

struct RunResult {
    int Code = -1;
    std::string Out;
    std::string Err;
};

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << p;
}

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/fernweave-render-test-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    RunResult Run(std::initializer_list<std::string> args, const RunHooks& hooks = {}) {
        const std::vector<std::string> v(args);
        std::ostringstream out, err;
        RunResult r;
        r.Code = RunRenderTool(v, out, err, hooks);
        r.Out = out.str();
        r.Err = err.str();
        return r;
    }

    // Names in the folder, to see that nothing (no temporary file) was left behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

// --- what the program itself does, through the engine ---

std::unique_ptr<FractalState> DrawnState(const TDrawing& d) {
    auto s = std::make_unique<FractalState>();
    LoadDrawing(*s, d);
    return s;
}

TDrawing Parse(std::string_view text) {
    TDrawing d;
    DrawingError e;
    EXPECT_TRUE(ParseTextDrawing(text, d, e)) << e.Message;
    return d;
}

std::vector<std::uint8_t> EngineBmp(FractalState& s, int w, int h, TColor background, std::uint64_t steps,
                                    TResolution resolution = {}) {
    Picture24 canvas(w, h, background);
    s.ResetPaintedBits(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    RenderObject(s, canvas, RepaintRequest{}, steps);
    return EncodeBmp(canvas, PackResolution(resolution));
}

std::unique_ptr<FractalState> ImportedState(const std::string& file, const TTriangle& place) {
    auto s = std::make_unique<FractalState>();
    s->SaveObject();
    EXPECT_TRUE(ReadObjectFile(*s, file));
    PlaceImported(*s, place);
    return s;
}

// --- the chaos game written out step by step with the solver's primitives,
// independent of the engine's batched loop ---

Picture24 ReferenceRender(FractalState& s, int w, int h, TColor background, std::uint64_t steps, bool placed) {
    if (placed) {
        s.ObjectImported = false;
        s.TargetTriangle = {s.Points[1], s.Points[2], s.Points[3]};
        SolvePlacementMap(s);
    } else {
        SolveAllMaps(s);
        ComputeProbabilities(s);
    }
    Picture24 pic(w, h, background);
    reference::PlayGame(s, placed, steps, [&](std::int64_t ix, std::int64_t iy, TColor color) {
        if (ix < 0 || ix >= w || iy < 0 || iy >= h) return false;
        SetPixel24(pic, static_cast<int>(ix), static_cast<int>(iy), color);
        return true;
    });
    return pic;
}

// --- reading our BMP back ---

std::uint32_t Le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

struct Bmp {
    std::string Bytes;
    int Width() const { return static_cast<int>(Le32(Bytes, 18)); }
    int Height() const { return static_cast<int>(Le32(Bytes, 22)); }
    // Blue, green, red as a colour value; rows are stored bottom-up.
    TColor Pixel(int x, int y) const {
        const std::size_t stride = Picture24::StrideFor(Width());
        const std::size_t at = Le32(Bytes, 10) + stride * static_cast<std::size_t>(Height() - 1 - y) + 3 * static_cast<std::size_t>(x);
        return MakeColor(static_cast<std::uint8_t>(Bytes[at + 2]), static_cast<std::uint8_t>(Bytes[at + 1]),
                         static_cast<std::uint8_t>(Bytes[at]));
    }
};

std::string AsString(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// ======================= options =======================

bool Parses(std::initializer_list<std::string> args, RenderOptions& options, std::string& error) {
    const std::vector<std::string> v(args);
    return ParseRenderOptions(v, options, error);
}

TEST(RenderOptionsTest, Defaults) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parses({"in.txt", "-o", "out.bmp"}, o, error)) << error;
    EXPECT_EQ(o.Input, "in.txt");
    EXPECT_EQ(o.Output, "out.bmp");
    EXPECT_EQ(o.Width, 550);
    EXPECT_EQ(o.Height, 364);
    EXPECT_EQ(o.Background, clBlack);
    EXPECT_EQ(o.Steps, 10'000'000u);
    EXPECT_EQ(o.Resolution, (TResolution{72, 72}));
    EXPECT_FALSE(o.Placement);
    EXPECT_FALSE(o.Stats);
    EXPECT_TRUE(o.ExportPath.empty());
    EXPECT_FALSE(o.Quality);
}

TEST(RenderOptionsTest, JpegQuality) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parses({"a", "-o", "b.jpg", "--quality", "10"}, o, error)) << error;
    EXPECT_EQ(o.Quality, 10);
    ASSERT_TRUE(Parses({"a", "-o", "b.jpg", "--quality=100"}, o, error)) << error;
    EXPECT_EQ(o.Quality, 100);
}

TEST(RenderOptionsTest, EveryOptionBothSpellings) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parses({"--size", "16384x1", "--background=#102030", "--steps", "0", "--dpi=300x150",
                        "--place", "-5,6,70,-8,9,100", "--export", "x.ifs", "--stats", "--output=o.bmp", "--",
                        "-in.ifs"},
                       o, error))
        << error;
    EXPECT_EQ(o.Input, "-in.ifs");
    EXPECT_EQ(o.Output, "o.bmp");
    EXPECT_EQ(o.Width, 16384);
    EXPECT_EQ(o.Height, 1);
    EXPECT_EQ(o.Background, MakeColor(0x10, 0x20, 0x30));
    EXPECT_EQ(o.Steps, 0u);
    EXPECT_EQ(o.Resolution, (TResolution{300, 150}));
    ASSERT_TRUE(o.Placement);
    EXPECT_EQ(*o.Placement, (TTriangle{TPoint{-5, 6}, TPoint{70, -8}, TPoint{9, 100}}));
    EXPECT_EQ(o.ExportPath, "x.ifs");
    EXPECT_TRUE(o.Stats);

    ASSERT_TRUE(Parses({"--dpi", "96", "--background", "FFFFFF", "--steps=1000000000000000", "a", "-o", "b.bmp"}, o,
                       error));
    EXPECT_EQ(o.Resolution, (TResolution{96, 96}));
    EXPECT_EQ(o.Background, clWhite);
    EXPECT_EQ(o.Steps, 1'000'000'000'000'000u);
}

TEST(RenderOptionsTest, HelpNeedsNoFiles) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(Parses({"--help"}, o, error));
    EXPECT_TRUE(o.Help);
    ASSERT_TRUE(Parses({"-h"}, o, error));
    EXPECT_TRUE(o.Help);
    ASSERT_TRUE(Parses({"--version"}, o, error));
    EXPECT_TRUE(o.Version);
}

struct BadArgs {
    std::vector<std::string> Args;
    const char* Says;
};

const std::vector<BadArgs> BadArgList{
    BadArgs{{"a", "-o", "b.bmp", "--bogus"}, "unknown option '--bogus'"},
    BadArgs{{"a", "-o", "b.bmp", "-x"}, "unknown option '-x'"},
    BadArgs{{"a", "-o", "b.bmp", "--bogus=1"}, "unknown option '--bogus'"},
    BadArgs{{"a", "-o"}, "needs a value"},
    BadArgs{{"a", "-o", "b.bmp", "--steps"}, "needs a value"},
    BadArgs{{"a", "-o", "b.bmp", "--steps", "12x"}, "bad number of steps '12x'"},
    BadArgs{{"a", "-o", "b.bmp", "--steps", "-1"}, "bad number of steps"},
    BadArgs{{"a", "-o", "b.bmp", "--steps", "1e6"}, "bad number of steps"},
    BadArgs{{"a", "-o", "b.bmp", "--steps", "1000000000000001"}, "bad number of steps"},
    BadArgs{{"a", "-o", "b.bmp", "--steps", "18446744073709551616"}, "bad number of steps"},
    BadArgs{{"a", "-o", "b.bmp", "--steps="}, "bad number of steps"},
    BadArgs{{"a", "-o", "b.bmp", "--size", "0x10"}, "bad canvas size"},
    BadArgs{{"a", "-o", "b.bmp", "--size", "65537x10"}, "bad canvas size"},
    BadArgs{{"a", "-o", "b.bmp", "--size", "550"}, "bad canvas size"},
    BadArgs{{"a", "-o", "b.bmp", "--size", "550x364x1"}, "bad canvas size"},
    BadArgs{{"a", "-o", "b.bmp", "--size", "4294967846x364"}, "bad canvas size"},
    BadArgs{{"a", "-o", "b.bmp", "--background", "red"}, "bad background colour"},
    BadArgs{{"a", "-o", "b.bmp", "--background", "#12345"}, "bad background colour"},
    BadArgs{{"a", "-o", "b.bmp", "--dpi", "0"}, "bad resolution"},
    BadArgs{{"a", "-o", "b.bmp", "--dpi", "65536"}, "bad resolution"},
    BadArgs{{"a", "-o", "b.bmp", "--dpi", "72x"}, "bad resolution"},
    BadArgs{{"a", "-o", "b.bmp", "--place", "1,2,3,4,5"}, "bad placement triangle"},
    BadArgs{{"a", "-o", "b.bmp", "--place", "1,2,3,4,5,6,7"}, "bad placement triangle"},
    BadArgs{{"a", "-o", "b.bmp", "--place", "1,2,3,4,5,"}, "bad placement triangle"},
    BadArgs{{"a", "-o", "b.bmp", "--place", "1,2,3,4,5,6.5"}, "bad placement triangle"},
    BadArgs{{"a", "-o", "b.bmp", "--place", "1,2,3,4,5,16777217"}, "bad placement triangle"},
    BadArgs{{"a", "-o", "b.bmp", "--stats=yes"}, "takes no value"},
    BadArgs{{"a", "-o", "b.jpg", "--quality", "9"}, "bad JPEG quality '9' (expected 10 to 100)"},
    BadArgs{{"a", "-o", "b.jpg", "--quality", "101"}, "bad JPEG quality"},
    BadArgs{{"a", "-o", "b.jpg", "--quality", "-50"}, "bad JPEG quality"},
    BadArgs{{"a", "-o", "b.jpg", "--quality", "90%"}, "bad JPEG quality"},
    BadArgs{{"a", "-o", "b.jpg", "--quality="}, "bad JPEG quality"},
    BadArgs{{"a", "-o", "b.jpg", "--quality"}, "needs a value"},
    BadArgs{{"a", "b", "-o", "c.bmp"}, "more than one input"},
    BadArgs{{"-o", "c.bmp"}, "no input file"},
    BadArgs{{"a"}, "no output file"},
    BadArgs{{"a", "-o", ""}, "empty output file name"},
    BadArgs{{"", "-o", "c.bmp"}, "empty input file name"},
    BadArgs{{"a", "-o", "c.bmp", "--export", ""}, "empty object file name"}};

// Parameterised by index, so that the test names stay short and stable.
class BadOptions : public ::testing::TestWithParam<int> {};

TEST_P(BadOptions, AreRefusedWithAReason) {
    const BadArgs& c = BadArgList[static_cast<std::size_t>(GetParam())];
    RenderOptions o;
    std::string error;
    EXPECT_FALSE(ParseRenderOptions(c.Args, o, error));
    EXPECT_NE(error.find(c.Says), std::string::npos) << "message: " << error;
}

INSTANTIATE_TEST_SUITE_P(Arguments, BadOptions, ::testing::Range(0, static_cast<int>(BadArgList.size())));

TEST(PictureFormats, ChosenByExtensionInAnyCase) {
    ASSERT_NE(FormatInfoForFileName("a.bmp"), nullptr);
    EXPECT_EQ(FormatInfoForFileName("dir.x/A.BMP"), FormatInfoForFileName("a.bmp"));
    EXPECT_EQ(FormatInfoForFileName("a.gif"), nullptr);
    EXPECT_EQ(FormatInfoForFileName("bmp"), nullptr);
    EXPECT_EQ(FormatInfoForFileName(".bmp"), nullptr);  // a hidden file without an extension
    EXPECT_EQ(FormatInfoForFileName("x.bmp/picture"), nullptr);
    const TPictureFormatInfo* jpeg = FormatInfoForFileName("a.jpg");
    ASSERT_NE(jpeg, nullptr);
    EXPECT_NE(jpeg, FormatInfoForFileName("a.bmp"));
    EXPECT_TRUE(jpeg->HasQuality);
    EXPECT_FALSE(FormatInfoForFileName("a.bmp")->HasQuality);
    for (const char* name : {"A.JPG", "a.Jpg", "a.jpeg", "dir/A.JPEG", "a.jPeG"})
        EXPECT_EQ(FormatInfoForFileName(name), jpeg) << name;
    EXPECT_EQ(FormatInfoForFileName("a.jpe"), nullptr);
    EXPECT_EQ(FormatInfoForFileName("a.jpg.txt"), nullptr);
    EXPECT_EQ(KnownPictureExtensions(), ".bmp, .jpg, .jpeg, .png");
}

TEST(InputDetection, MagicBytesFirstThenTheIfsName) {
    EXPECT_EQ(DetectInputKind("a.txt", std::string("\xB6\xA3\x01", 3)), InputKind::ObjectFile);
    EXPECT_EQ(DetectInputKind("a", "\xB6\xA3"), InputKind::ObjectFile);
    EXPECT_EQ(DetectInputKind("a.IFS", "base 1 2"), InputKind::ObjectFile);
    EXPECT_EQ(DetectInputKind("a.txt", "base 1 2"), InputKind::TextDrawing);
    EXPECT_EQ(DetectInputKind("a.txt", "\xA3\xB6"), InputKind::TextDrawing);
    EXPECT_EQ(DetectInputKind("a", ""), InputKind::TextDrawing);
}

// ======================= rendering =======================

TEST_F(RenderTool, DrawingGivesTheEnginesPicture) {
    WriteAll(Path("d.txt"), ThreeMaps);
    // Few steps, so that the picture depends on the exact sequence and not just on the attractor.
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "3000", "--size", "123x97",
                             "--background", "#102030", "--dpi", "300x150"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, "");

    auto s = DrawnState(Parse(ThreeMaps));
    const auto expected = EngineBmp(*s, 123, 97, MakeColor(0x10, 0x20, 0x30), 3000, {300, 150});
    const std::string got = ReadAll(Path("d.bmp"));
    EXPECT_EQ(got, AsString(expected));

    // The header carries size and resolution: 300 and 150 dpi are 11811 and 5906 pixels per metre.
    const Bmp bmp{got};
    EXPECT_EQ(bmp.Width(), 123);
    EXPECT_EQ(bmp.Height(), 97);
    EXPECT_EQ(Le32(got, 38), 11811u);
    EXPECT_EQ(Le32(got, 42), 5906u);
    EXPECT_EQ(bmp.Pixel(122, 96), MakeColor(0x10, 0x20, 0x30));  // never plotted: background
}

TEST_F(RenderTool, DrawingMatchesTheChaosGameStepByStep) {
    WriteAll(Path("d.txt"), ThreeMaps);
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "2500", "--size", "110x110"}).Code, ExitOk);
    auto s = DrawnState(Parse(ThreeMaps));
    const Picture24 reference = ReferenceRender(*s, 110, 110, clBlack, 2500, false);
    const Bmp bmp{ReadAll(Path("d.bmp"))};
    int plotted = 0;
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 110; ++x) {
            ASSERT_EQ(bmp.Pixel(x, y), reference.Pixel(x, y)) << x << "," << y;
            plotted += reference.Pixel(x, y) != clBlack;
        }
    EXPECT_GT(plotted, 1000);
    // All three colours appear, and the plain map's own colour too.
    bool seen[3] = {};
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 110; ++x) {
            const TColor c = bmp.Pixel(x, y);
            seen[0] |= c == MakeColor(0xFF, 0x40, 0x00);
            seen[1] |= c == MakeColor(0x00, 0xC0, 0x80);
            seen[2] |= c == MakeColor(0x20, 0x40, 0xFF);
        }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST_F(RenderTool, ColourBytesGoOutBlueGreenRed) {
    // One map shrinking the base towards its first vertex: every step plots that vertex.
    WriteAll(Path("d.txt"), "base 10 20 100 20 10 110\nmap 10 20 55 20 10 65 #FF8001 plain\n");
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "10", "--size", "30x30"}).Code, ExitOk);
    const std::string b = ReadAll(Path("d.bmp"));
    const Bmp bmp{b};
    EXPECT_EQ(bmp.Pixel(10, 20), MakeColor(0xFF, 0x80, 0x01));
    const std::size_t at = 54 + Picture24::StrideFor(30) * (30 - 1 - 20) + 3 * 10;
    EXPECT_EQ(static_cast<std::uint8_t>(b[at]), 0x01);
    EXPECT_EQ(static_cast<std::uint8_t>(b[at + 1]), 0x80);
    EXPECT_EQ(static_cast<std::uint8_t>(b[at + 2]), 0xFF);
    int plotted = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) plotted += bmp.Pixel(x, y) != clBlack;
    EXPECT_EQ(plotted, 1);
}

struct StatsLine {
    bool Valid = false;
    unsigned long long Steps = 0, Plotted = 0;
};

// "steps=N plotted=N seconds=S.SSS steps_per_second=R\n", exactly.
StatsLine ReadStats(const std::string& line) {
    StatsLine s;
    char seconds[32] = {}, rate[32] = {};
    int used = 0;
    if (std::sscanf(line.c_str(), "steps=%llu plotted=%llu seconds=%31[0-9.] steps_per_second=%31[0-9]%n", &s.Steps,
                    &s.Plotted, seconds, rate, &used) != 4)
        return s;
    const std::string secs = seconds;
    const auto dot = secs.find('.');
    s.Valid = line.substr(static_cast<std::size_t>(used)) == "\n" && dot != std::string::npos && dot > 0 &&
              secs.size() - dot == 4 && secs.find('.', dot + 1) == std::string::npos;
    return s;
}

TEST_F(RenderTool, ZeroStepsGiveTheBackgroundAndStatsCount) {
    WriteAll(Path("d.txt"), ThreeMaps);
    RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "0", "--size", "7x5", "--background",
                       "abcdef", "--stats"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    StatsLine stats = ReadStats(r.Out);
    EXPECT_TRUE(stats.Valid) << r.Out;
    EXPECT_EQ(stats.Steps, 0u);
    EXPECT_EQ(stats.Plotted, 0u);
    EXPECT_EQ(ReadAll(Path("d.bmp")), AsString(EncodeBmp(Picture24(7, 5, MakeColor(0xAB, 0xCD, 0xEF)), PackResolution({}))));

    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "20000", "--size", "50x50", "--stats"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    stats = ReadStats(r.Out);
    ASSERT_TRUE(stats.Valid) << r.Out;
    EXPECT_EQ(stats.Steps, 20000u);
    // The whole attractor lies inside 10..100, so only part of it is on a 50 x 50 canvas.
    EXPECT_GT(stats.Plotted, 0u);
    EXPECT_LT(stats.Plotted, 20000u);
}

Picture24 EngineCanvas(FractalState& s, int w, int h, TColor background, std::uint64_t steps) {
    Picture24 canvas(w, h, background);
    s.ResetPaintedBits(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    RenderObject(s, canvas, RepaintRequest{}, steps);
    return canvas;
}

TEST_F(RenderTool, JpegOutputIsTheEncodedCanvas) {
    WriteAll(Path("d.txt"), ThreeMaps);
    RunResult r = Run({Path("d.txt"), "-o", Path("d.jpg"), "--steps", "3000", "--size", "120x90"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    auto s = DrawnState(Parse(ThreeMaps));
    const Picture24 canvas = EngineCanvas(*s, 120, 90, clBlack, 3000);
    const std::string got = ReadAll(Path("d.jpg"));
    // Quality 90 unless told, 72 DPI.
    EXPECT_EQ(got, AsString(EncodeJpeg(canvas, 90, PackResolution({72, 72}))));
    EXPECT_EQ(ReadJpegResolution(Path("d.jpg")), PackResolution({72, 72}));
    const auto back = DecodeJpeg(std::span(reinterpret_cast<const std::uint8_t*>(got.data()), got.size()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Width(), 120);
    EXPECT_EQ(back->Height(), 90);
}

// The same pixels as the BMP output, bit for bit, and the resolution in pHYs.
TEST_F(RenderTool, PngOutputHoldsTheBmpOutputsPixels) {
    WriteAll(Path("d.txt"), ThreeMaps);
    for (const char* name : {"d.bmp", "d.PNG"})
        ASSERT_EQ(Run({Path("d.txt"), "-o", Path(name), "--steps", "3000", "--size", "120x90", "--dpi", "300x150"}).Code,
                  ExitOk);
    const std::string png = ReadAll(Path("d.PNG"));
    const auto back = DecodePng(std::span(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()));
    ASSERT_TRUE(back);
    EXPECT_EQ(AsString(EncodeBmp(*back, PackResolution({300, 150}))), ReadAll(Path("d.bmp")));
    EXPECT_EQ(ReadPngResolution(Path("d.PNG")), PackResolution({300, 150}));
}

TEST_F(RenderTool, JpegQualityAndResolutionInAnyCaseOfTheExtension) {
    WriteAll(Path("d.txt"), ThreeMaps);
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("lo.JPEG"), "--steps", "20000", "--size", "110x110", "--quality", "10",
                   "--dpi", "300x150", "--background", "#336699"})
                  .Code,
              ExitOk);
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("hi.Jpg"), "--steps", "20000", "--size", "110x110", "--quality=100",
                   "--dpi", "300x150", "--background", "#336699"})
                  .Code,
              ExitOk);
    auto s = DrawnState(Parse(ThreeMaps));
    const Picture24 canvas = EngineCanvas(*s, 110, 110, MakeColor(0x33, 0x66, 0x99), 20000);
    const std::string lo = ReadAll(Path("lo.JPEG")), hi = ReadAll(Path("hi.Jpg"));
    EXPECT_EQ(lo, AsString(EncodeJpeg(canvas, 10, PackResolution({300, 150}))));
    EXPECT_EQ(hi, AsString(EncodeJpeg(canvas, 100, PackResolution({300, 150}))));
    EXPECT_LT(lo.size(), hi.size());
    // Units 1 and the densities at their places in the JFIF header.
    ASSERT_GT(hi.size(), 18u);
    EXPECT_EQ(hi.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(hi.substr(6, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(hi[13], 1);
    EXPECT_EQ(hi.substr(14, 4), std::string("\x01\x2C\x00\x96", 4));
    EXPECT_EQ(ReadJpegResolution(Path("lo.JPEG")), PackResolution({300, 150}));
}

TEST_F(RenderTool, QualityIsForJpegOnly) {
    WriteAll(Path("d.txt"), ThreeMaps);
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--quality", "50"});
    EXPECT_EQ(r.Code, ExitUsage);
    EXPECT_EQ(r.Err, "fernweave-render: --quality is for JPEG pictures; '" + Path("d.bmp") + "' is written as BMP\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"d.txt"});
}

TEST_F(RenderTool, ExportHoldsTheSolvedObject) {
    WriteAll(Path("d.txt"), ThreeMaps);
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "1000", "--export", Path("d.ifs")}).Code, ExitOk);
    auto s = DrawnState(Parse(ThreeMaps));
    EngineBmp(*s, 550, 364, clBlack, 1000);
    const std::string file = ReadAll(Path("d.ifs"));
    EXPECT_EQ(file, AsString(EncodeObject(s->CurrentObject())));
    ASSERT_EQ(file.size(), 30u + 3 * 36u);

    const auto object = DecodeObject(file, TIfsObject{});
    ASSERT_TRUE(object);
    EXPECT_EQ(object->MapCount, 3);
    EXPECT_EQ(object->BaseTriangle, (TTriangle{TPoint{10, 10}, TPoint{100, 10}, TPoint{10, 100}}));
    // Map 1 halves towards (100, 10): x' = 0.5 x + 50; all three triangles a quarter of the base.
    EXPECT_FLOAT_EQ(object->Maps[1].A, 0.5f);
    EXPECT_FLOAT_EQ(object->Maps[1].C, 50.0f);
    EXPECT_FLOAT_EQ(object->Maps[1].F, 5.0f);
    for (int k = 1; k <= 3; ++k) EXPECT_NEAR(object->Maps[k].Probability, 1.0f / 3, 1e-6);
    EXPECT_EQ(object->Maps[1].Color, MakeColor(0x00, 0xC0, 0x80));
    EXPECT_EQ(object->Maps[1].Diffuse, 0);
    EXPECT_EQ(object->Maps[2].Color, MakeColor(0xFF, 0x40, 0x00));
    EXPECT_EQ(object->Maps[3].Diffuse, 1);
}

TEST_F(RenderTool, ObjectFileOnItsOwnBaseRendersAsTheDrawingDid) {
    WriteAll(Path("d.txt"), ThreeMaps);
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "4000", "--export", Path("d.ifs")}).Code, ExitOk);
    // Read back as an object file placed on its own base triangle: the placement
    // is the identity, so the fresh generator plots the same pixels.
    const RunResult r = Run({Path("d.ifs"), "-o", Path("o.bmp"), "--steps", "4000", "--export", Path("o.ifs")});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    EXPECT_EQ(ReadAll(Path("o.bmp")), ReadAll(Path("d.bmp")));
    // An imported object is exported as it was read.
    EXPECT_EQ(ReadAll(Path("o.ifs")), ReadAll(Path("d.ifs")));

    auto s = ImportedState(Path("d.ifs"), {TPoint{10, 10}, TPoint{100, 10}, TPoint{10, 100}});
    EXPECT_EQ(ReadAll(Path("o.bmp")), AsString(EngineBmp(*s, 550, 364, clBlack, 4000)));
}

TEST_F(RenderTool, ObjectFilePlacedOnAnotherTriangle) {
    WriteAll(Path("d.txt"), ThreeMaps);
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "0", "--export", Path("d.ifs")}).Code, ExitOk);
    // The object file need not be named .ifs: its first bytes say what it is.
    fs::rename(Path("d.ifs"), Path("object.dat"));
    const TTriangle place{TPoint{200, 300}, TPoint{400, 250}, TPoint{150, 20}};
    const RunResult r = Run({Path("object.dat"), "-o", Path("p.bmp"), "--steps", "5000", "--size", "450x320",
                             "--place", "200,300,400,250,150,20"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;

    auto s = ImportedState(Path("object.dat"), place);
    EXPECT_EQ(ReadAll(Path("p.bmp")), AsString(EngineBmp(*s, 450, 320, clBlack, 5000)));

    auto ref = ImportedState(Path("object.dat"), place);
    const Picture24 reference = ReferenceRender(*ref, 450, 320, clBlack, 5000, true);
    EXPECT_EQ(ReadAll(Path("p.bmp")), AsString(EncodeBmp(reference, PackResolution({}))));
}

TEST_F(RenderTool, SamplesRenderAsTheirDrawings) {
    for (const char* name : {"sierpinski.txt", "fern.txt"}) {
        const std::string sample = std::string(FERNWEAVE_SAMPLES_DIR) + "/" + name;
        const RunResult r = Run({sample, "-o", Path("s.bmp"), "--steps", "100000"});
        ASSERT_EQ(r.Code, ExitOk) << name << ": " << r.Err;
        EXPECT_EQ(r.Err, "") << name;  // no warnings
        auto s = DrawnState(Parse(ReadAll(sample)));
        EXPECT_EQ(ReadAll(Path("s.bmp")), AsString(EngineBmp(*s, 550, 364, clBlack, 100000))) << name;
    }
}

TEST_F(RenderTool, BaseVertexInColumnZeroWarnsButRenders) {
    WriteAll(Path("d.txt"), "base 0 10 100 10 10 100\nmap 10 10 55 10 10 55 #FFFFFF diffuse\n");
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "100"});
    EXPECT_EQ(r.Code, ExitOk);
    EXPECT_NE(r.Err.find("warning: base vertex 1 or 2 lies in column 0"), std::string::npos) << r.Err;
    EXPECT_TRUE(fs::exists(Path("d.bmp")));
    EXPECT_EQ(BaseTriangleWarnings({TPoint{5, 5}, TPoint{10, 10}, TPoint{20, 20}}).size(), 1u);  // no area
    EXPECT_TRUE(BaseTriangleWarnings({TPoint{10, 10}, TPoint{100, 10}, TPoint{10, 100}}).empty());
    // Extreme coordinates from an object file must not overflow the area test.
    EXPECT_TRUE(BaseTriangleWarnings({TPoint{INT32_MIN, INT32_MIN}, TPoint{INT32_MAX, INT32_MIN},
                                      TPoint{INT32_MIN, INT32_MAX}})
                    .empty());
}

// ======================= bad input =======================

TEST_F(RenderTool, MalformedDrawingNamesTheLineAndWritesNothing) {
    WriteAll(Path("d.txt"), "base 10 10 100 10 10 100\nmap 10 10 55 10 10 55 #FF0000 diffuse\nmap 1 2 3 4 5 6 #FF00 plain\n");
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_EQ(r.Err, "fernweave-render: " + Path("d.txt") + ":3: bad colour '#FF00' (expected #RRGGBB)\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"d.txt"});
}

TEST_F(RenderTool, UnreadableOrInvalidInput) {
    RunResult r = Run({Path("missing.txt"), "-o", Path("d.bmp")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("No such file"), std::string::npos) << r.Err;

    fs::create_directory(Path("folder.txt"));
    r = Run({Path("folder.txt"), "-o", Path("d.bmp")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("not a regular file"), std::string::npos) << r.Err;

    // Named as an object file but without the magic bytes.
    WriteAll(Path("text.ifs"), ThreeMaps);
    r = Run({Path("text.ifs"), "-o", Path("d.bmp")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("not a valid object file"), std::string::npos) << r.Err;

    // Magic bytes, but a map count of 0, of 121, or records missing.
    auto object = [](std::int32_t count, std::size_t records) {
        std::string b = "\xB6\xA3";
        for (int i = 0; i < 4; ++i) b += static_cast<char>((static_cast<std::uint32_t>(count) >> (8 * i)) & 0xFF);
        b += std::string(24, '\0');
        b += std::string(36 * records, '\0');
        return b;
    };
    for (const auto& [count, records] : {std::pair{0, 0u}, {121, 121u}, {-1, 0u}, {2, 1u}}) {
        WriteAll(Path("bad.dat"), object(count, records));
        r = Run({Path("bad.dat"), "-o", Path("d.bmp")});
        EXPECT_EQ(r.Code, ExitFailed) << count;
        EXPECT_NE(r.Err.find("not a valid object file"), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(fs::exists(Path("d.bmp")));

    // A text drawing cannot be placed.
    WriteAll(Path("d.txt"), ThreeMaps);
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--place", "1,2,3,4,5,6"});
    EXPECT_EQ(r.Code, ExitUsage);
    EXPECT_FALSE(fs::exists(Path("d.bmp")));

    // Nor can anything big pass for a drawing.
    WriteAll(Path("big.txt"), std::string(ThreeMaps) + std::string(TextDrawingMaxSize, '\n'));
    r = Run({Path("big.txt"), "-o", Path("d.bmp")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("too large"), std::string::npos) << r.Err;
}

TEST_F(RenderTool, UsageErrorsExitWithTwoAndOneLine) {
    WriteAll(Path("d.txt"), ThreeMaps);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {Path("d.txt"), "-o", Path("d.bmp"), "--frobnicate"},
             {Path("d.txt"), "-o", Path("d.bmp"), "--steps", "10 "},
             {Path("d.txt"), "-o", Path("d.gif")},
             {Path("d.txt"), "-o", Path("d.txt")},
             {Path("d.txt"), "-o", Path("d.bmp"), "--export", Path("d.txt")},
             {Path("d.txt"), "-o", Path("d.bmp"), "--export", Path("d.bmp")},
             {Path("d.txt"), "-o", Path("d.bmp"), "--export", dir_.string() + "/./d.bmp"},
         }) {
        std::ostringstream out, err;
        EXPECT_EQ(RunRenderTool(args, out, err), ExitUsage) << args.back();
        const std::string e = err.str();
        EXPECT_TRUE(e.starts_with("fernweave-render: ")) << e;
        EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1) << e;
    }
    EXPECT_EQ(ReadAll(Path("d.txt")), ThreeMaps);
    EXPECT_EQ(Entries(), std::vector<std::string>{"d.txt"});
}

TEST_F(RenderTool, HelpDocumentsOptionsAndTheFormat) {
    const RunResult r = Run({"--help"});
    EXPECT_EQ(r.Code, ExitOk);
    for (const char* word : {"--output", "--size", "--background", "--steps", "--dpi", "--quality", "--place",
                             "--export", "--stats", "base x1 y1", "#RRGGBB diffuse|plain", "B6 A3", "Exit status",
                             ".jpg or .jpeg", "JPEG quality, 10 to 100 (default 90)"})
        EXPECT_NE(r.Out.find(word), std::string::npos) << word;
}

// ======================= failing output =======================

std::vector<std::string> hookCalls;
void StopAtOnce(std::atomic<bool>* stop) {
    hookCalls.push_back(stop ? "render" : "rendered");
    if (stop) stop->store(true);
}
void RecordWriting(bool begin) { hookCalls.push_back(begin ? "write" : "written"); }
void RecordFlag(std::atomic<bool>* stop) { hookCalls.push_back(stop ? "render" : "rendered"); }


TEST_F(RenderTool, OutputThroughARegularFileLeavesNothing) {
    WriteAll(Path("d.txt"), ThreeMaps);
    WriteAll(Path("plain"), "keep");
    RunHooks hooks;
    hooks.RenderFlag = RecordFlag;
    hookCalls.clear();
    RunResult r = Run({Path("d.txt"), "-o", Path("plain") + "/x.bmp", "--steps", "10"}, hooks);
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("Not a directory"), std::string::npos) << r.Err;
    EXPECT_TRUE(hookCalls.empty()) << "a target that cannot be written is found before the rendering";
    r = Run({Path("d.txt"), "-o", "/etc/passwd/x.bmp", "--steps", "10"});
    EXPECT_EQ(r.Code, ExitFailed);
    r = Run({Path("d.txt"), "-o", Path("nowhere") + "/x.bmp", "--steps", "10"});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_EQ(ReadAll(Path("plain")), "keep");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"d.txt", "plain"}));
}

TEST_F(RenderTool, DirectoryAsTargetIsNotReplaced) {
    WriteAll(Path("d.txt"), ThreeMaps);
    fs::create_directory(Path("pic.bmp"));
    WriteAll(Path("pic.bmp") + "/inside", "x");
    RunResult r = Run({Path("d.txt"), "-o", Path("pic.bmp"), "--steps", "10"});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("not a regular file"), std::string::npos) << r.Err;
    EXPECT_TRUE(fs::is_directory(Path("pic.bmp")));
    EXPECT_EQ(ReadAll(Path("pic.bmp") + "/inside"), "x");

    // The same for the object file; the picture is not written either.
    fs::create_directory(Path("obj.ifs"));
    r = Run({Path("d.txt"), "-o", Path("new.bmp"), "--steps", "10", "--export", Path("obj.ifs")});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_TRUE(fs::is_directory(Path("obj.ifs")));
    EXPECT_FALSE(fs::exists(Path("new.bmp")));
}

bool FullDisk(int, const std::uint8_t*, std::size_t) {
    errno = ENOSPC;
    return false;
}

std::atomic<int> writesLeft{0};
bool FullDiskAfterOneFile(int fd, const std::uint8_t* data, std::size_t size) {
    if (writesLeft.fetch_sub(1) > 0) return WriteAllToDescriptor(fd, data, size);
    errno = ENOSPC;
    return false;
}

TEST_F(RenderTool, FailedWriteKeepsTheExistingFile) {
    WriteAll(Path("d.txt"), ThreeMaps);
    WriteAll(Path("d.bmp"), "the old picture");
    RunHooks hooks;
    hooks.Writer.WriteAll = FullDisk;
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "1000"}, hooks);
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("cannot write the picture"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("No space left"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadAll(Path("d.bmp")), "the old picture");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"d.bmp", "d.txt"}));  // no temporary file left
}

TEST_F(RenderTool, FailedExportAfterThePictureIsReported) {
    WriteAll(Path("d.txt"), ThreeMaps);
    WriteAll(Path("d.ifs"), "the old object");
    RunHooks hooks;
    hooks.Writer.WriteAll = FullDiskAfterOneFile;
    writesLeft = 1;
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "1000", "--export", Path("d.ifs")}, hooks);
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("cannot write the object file"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("the picture was written"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadAll(Path("d.ifs")), "the old object");
    EXPECT_TRUE(fs::exists(Path("d.bmp")));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"d.bmp", "d.ifs", "d.txt"}));
}

// ======================= interrupt =======================

TEST_F(RenderTool, InterruptedRenderingWritesNothing) {
    WriteAll(Path("d.txt"), ThreeMaps);
    RunHooks hooks;
    hooks.RenderFlag = StopAtOnce;
    hooks.Writing = RecordWriting;
    hookCalls.clear();
    const RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--export", Path("d.ifs")}, hooks);
    EXPECT_EQ(r.Code, ExitInterrupted);
    EXPECT_NE(r.Err.find("interrupted after 0 steps"), std::string::npos) << r.Err;
    EXPECT_EQ(Entries(), std::vector<std::string>{"d.txt"});
    EXPECT_EQ(hookCalls, (std::vector<std::string>{"render", "rendered"}));

    hooks.RenderFlag = RecordFlag;
    hookCalls.clear();
    ASSERT_EQ(Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "10", "--export", Path("d.ifs")}, hooks).Code,
              ExitOk);
    EXPECT_EQ(hookCalls, (std::vector<std::string>{"render", "write", "written", "rendered"}));
}

// An interrupt while the picture goes out leaves the old file whole (exit 130);
// one after the picture is in place changes nothing (exit 0). Never both.
std::atomic<bool>* interruptFlag = nullptr;
void KeepFlag(std::atomic<bool>* stop) {
    if (stop) interruptFlag = stop;
}
bool InterruptedWrite(int fd, const std::uint8_t* data, std::size_t size) {
    interruptFlag->store(true);
    return WriteAllToDescriptor(fd, data, size);
}
bool InterruptAtTheSecondFile(int fd, const std::uint8_t* data, std::size_t size) {
    if (writesLeft.fetch_sub(1) <= 0) interruptFlag->store(true);
    return WriteAllToDescriptor(fd, data, size);
}

TEST_F(RenderTool, AnInterruptIsReportedOnlyWhenNothingWasWritten) {
    WriteAll(Path("d.txt"), ThreeMaps);
    WriteAll(Path("d.bmp"), "the old picture");
    RunHooks hooks;
    hooks.RenderFlag = KeepFlag;
    hooks.Writer.WriteAll = InterruptedWrite;
    RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "1000"}, hooks);
    EXPECT_EQ(r.Code, ExitInterrupted);
    EXPECT_NE(r.Err.find("nothing written"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadAll(Path("d.bmp")), "the old picture");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"d.bmp", "d.txt"}));

    hooks.Writer.WriteAll = InterruptAtTheSecondFile;
    writesLeft = 1;
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--steps", "1000", "--export", Path("d.ifs")}, hooks);
    EXPECT_EQ(r.Code, ExitOk) << r.Err;
    EXPECT_EQ(ReadAll(Path("d.bmp")).substr(0, 2), "BM");
    EXPECT_EQ(ReadAll(Path("d.ifs")).substr(0, 2), "\xB6\xA3");
}

// ======================= the program itself =======================

// Quoted for the shell (our temporary paths hold no quote).
std::string Sh(const std::string& s) {
    std::string q = "'";
    q += s;
    q += '\'';
    return q;
}

int RunBinary(const std::string& args, const std::string& redirect = " >/dev/null 2>&1",
              const std::string& before = "") {
    std::string command = before + Sh(FERNWEAVE_RENDER_BINARY);
    command += ' ';
    command += args;
    command += redirect;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The picture files for several thread counts, byte for byte, in both shadings;
// supersampling renders the object K times the size into the same picture.
TEST_F(RenderTool, ThreadCountsWriteTheSameFile) {
    WriteAll(Path("d.txt"), ThreeMaps);
    for (const char* shading : {"plain", "density"}) {
        std::string first;
        for (const char* threads : {"1", "3"}) {
            const std::vector<std::string> args = {Path("d.txt"), "-o", Path("d.bmp"), "--steps", "150001", "--size",
                                                   "120x110", "--shading", shading, "--threads", threads};
            std::vector<std::string> all = args;
            if (std::string(shading) == "density") all.insert(all.end(), {"--supersample", "3", "--gamma", "1.5"});
            std::ostringstream out, err;
            ASSERT_EQ(RunRenderTool(all, out, err), ExitOk) << err.str();
            EXPECT_EQ(err.str(), "");
            const std::string file = ReadAll(Path("d.bmp"));
            if (first.empty())
                first = file;
            else
                EXPECT_TRUE(file == first) << shading << " with " << threads << " threads";
        }
        // The maps lie inside 10..100: density shows them lit at their place.
        const Bmp picture{first};
        EXPECT_NE(picture.Pixel(12, 95), clBlack) << shading;
        EXPECT_EQ(picture.Pixel(110, 105), clBlack) << shading;
    }
}

// A deep PNG: 16-bit RGBA in its header, and the command line in a text chunk.
TEST_F(RenderTool, PngPostersCarryAlphaSixteenBitsAndTheirOptions) {
    WriteAll(Path("d.txt"), ThreeMaps);
    RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--transparent"});
    EXPECT_EQ(r.Err, "fernweave-render: --transparent is for PNG pictures (see --help)\n");
    r = Run({Path("d.txt"), "-o", Path("d.png"), "--bits", "16"});
    EXPECT_EQ(r.Err, "fernweave-render: --bits 16 is for --shading density (see --help)\n");
    r = Run({Path("d.txt"), "-o", Path("d.png"), "--shading", "density", "--bits", "16", "--transparent", "--steps",
             "20000"});
    ASSERT_EQ(r.Code, ExitOk) << r.Err;
    const std::string png = ReadAll(Path("d.png"));
    EXPECT_EQ(png.substr(24, 2), std::string("\x10\x06", 2));  // IHDR: bit depth 16, colour type RGBA
    EXPECT_NE(png.find("fernweave-options"), std::string::npos);
    EXPECT_NE(png.find("--bits 16 --transparent"), std::string::npos);
}

TEST_F(RenderTool, RefusesWhatTheShadingOrTheMemoryCannotTake) {
    WriteAll(Path("d.txt"), ThreeMaps);
    RunResult r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--supersample", "2"});
    EXPECT_EQ(r.Code, ExitUsage);
    EXPECT_EQ(r.Err, "fernweave-render: --supersample is for --shading density (see --help)\n");
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--white-point", "90"});
    EXPECT_EQ(r.Err, "fernweave-render: --white-point is for --shading density (see --help)\n");
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--shading", "density", "--exposure", "-12"});
    EXPECT_EQ(r.Err, "fernweave-render: bad exposure '-12' (expected a number from -10 to 10) (see --help)\n");
    // --memory caps the job; the format's own limits are met before any work.
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--shading", "density", "--size", "4000x3000", "--memory", "16M"});
    EXPECT_EQ(r.Code, ExitFailed);
    EXPECT_NE(r.Err.find("only 16 MiB can be had (--memory)"), std::string::npos) << r.Err;
    r = Run({Path("d.txt"), "-o", Path("d.jpg"), "--size", "65536x10"});
    EXPECT_NE(r.Err.find("at most 65500 pixels on a side"), std::string::npos) << r.Err;
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--size", "40000x40000"});
    EXPECT_NE(r.Err.find("under 4 GiB"), std::string::npos) << r.Err;
    EXPECT_EQ(Entries(), std::vector<std::string>{"d.txt"});
    EXPECT_EQ(ParseMemorySize("40M"), std::uint64_t{40} << 20);
    EXPECT_EQ(ParseMemorySize("3g"), std::uint64_t{3} << 30);
    EXPECT_EQ(ParseMemorySize("1048576"), 1048576u);
    EXPECT_EQ(ParseMemorySize("1.5G"), std::nullopt);
    RenderOptions big;
    const std::vector<std::string> args = {"d.txt", "-o", "d.png", "--size", "26400x17600"};
    EXPECT_TRUE(ParseRenderOptions(args, big, r.Err)) << r.Err;  // 600 DPI on a 44-inch roll
    r = Run({Path("d.txt"), "-o", Path("d.bmp"), "--shading", "density", "--size", "9000x10", "--supersample", "8"});
    EXPECT_EQ(r.Code, ExitUsage);
#ifndef FERNWEAVE_SANITIZED
    // 10000 x 10000 takes 572 MiB whole with its file: under a 512 MiB
    // address space it is written as it renders instead.
    const std::string err = Path("err.txt");
    EXPECT_EQ(RunBinary(Sh(Path("d.txt")) + " -o " + Sh(Path("d.png")) + " --size 10000x10000 --steps 1000 --threads 1",
                        " 2>" + Sh(err) + " >/dev/null; exit_code=$?; exit $exit_code", "ulimit -v 524288; "),
              ExitOk)
        << ReadAll(err);
    EXPECT_EQ(ReadAll(Path("d.png")).substr(16, 8), std::string("\0\0\x27\x10\0\0\x27\x10", 8));
#endif
}

// A job cut into bands by --memory makes the file the whole job makes.
TEST_F(RenderTool, BandsMakeTheFileOfTheWhole) {
    WriteAll(Path("d.txt"), ThreeMaps);
    for (const char* shading : {"plain", "density"}) {
        RunResult whole = Run({Path("d.txt"), "-o", Path("whole.bmp"), "--shading", shading, "--size", "1500x1000",
                               "--steps", "300000"});
        ASSERT_EQ(whole.Code, ExitOk) << whole.Err;
        RunResult banded = Run({Path("d.txt"), "-o", Path("banded.bmp"), "--shading", shading, "--size", "1500x1000",
                                "--steps", "300000", "--memory", "48M"});
        ASSERT_EQ(banded.Code, ExitOk) << banded.Err;
        EXPECT_TRUE(ReadAll(Path("whole.bmp")) == ReadAll(Path("banded.bmp"))) << shading;
    }
}

TEST_F(RenderTool, ProgramExitCodes) {
    WriteAll(Path("d.txt"), ThreeMaps);
    const std::string in = Sh(Path("d.txt")), out = Sh(Path("d.bmp"));
    EXPECT_EQ(RunBinary("--help"), ExitOk);
    EXPECT_EQ(RunBinary("--version | grep -q 'MIT licence'"), ExitOk);
    EXPECT_EQ(RunBinary("--no-such-option"), ExitUsage);
    EXPECT_EQ(RunBinary(in + " -o " + out + " --steps 1x"), ExitUsage);
    EXPECT_EQ(RunBinary(Sh(Path("missing.txt")) + " -o " + out), ExitFailed);
    EXPECT_EQ(RunBinary(in + " -o " + Sh(Path("d.txt") + "/x.bmp")), ExitFailed);
    EXPECT_FALSE(fs::exists(Path("d.bmp")));
    EXPECT_EQ(RunBinary(in + " -o " + out + " --steps 5000 --stats"), ExitOk);
    EXPECT_TRUE(fs::exists(Path("d.bmp")));
    EXPECT_EQ(RunBinary(in + " -o " + Sh(Path("d.jpg")) + " --steps 5000 --quality 75"), ExitOk);
    EXPECT_EQ(ReadAll(Path("d.jpg")).substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(RunBinary(in + " -o " + out + " --quality 75"), ExitUsage);
    // A closed standard output must not pass for success when there is something to print.
    EXPECT_EQ(RunBinary(in + " -o " + out + " --steps 10 --stats", " >&- 2>/dev/null"), ExitFailed);
}

}  // namespace
}  // namespace fernweave::cli
