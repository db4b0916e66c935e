#include "text_drawing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "strict_number.h"

namespace fernweave::cli {
namespace {

constexpr const char* Sierpinski =
    "base 275 12  25 352  525 352\n"
    "map  275 12  150 182  400 182  #FF4040 diffuse\n"
    "map  150 182  25 352  275 352  #40FF40 plain\n"
    "map  400 182  275 352  525 352  #4080FF diffuse\n";

TDrawing MustParse(std::string_view text) {
    TDrawing d;
    DrawingError e;
    EXPECT_TRUE(ParseTextDrawing(text, d, e)) << "line " << e.Line << ": " << e.Message;
    return d;
}

DrawingError MustFail(std::string_view text) {
    TDrawing d;
    DrawingError e;
    EXPECT_FALSE(ParseTextDrawing(text, d, e)) << text;
    return e;
}

TEST(TextDrawing, ReadsBaseAndMapsInOrder) {
    const TDrawing d = MustParse(Sierpinski);
    EXPECT_EQ(d.Base, (TTriangle{TPoint{275, 12}, TPoint{25, 352}, TPoint{525, 352}}));
    ASSERT_EQ(d.Maps.size(), 3u);
    EXPECT_EQ(d.Maps[0].Triangle, (TTriangle{TPoint{275, 12}, TPoint{150, 182}, TPoint{400, 182}}));
    EXPECT_EQ(d.Maps[2].Triangle, (TTriangle{TPoint{400, 182}, TPoint{275, 352}, TPoint{525, 352}}));
    EXPECT_TRUE(d.Maps[0].Diffuse);
    EXPECT_FALSE(d.Maps[1].Diffuse);
}

TEST(TextDrawing, ColoursAreRedInTheLowByte) {
    const TDrawing d = MustParse("base 1 1 9 1 1 9\nmap 1 1 5 1 1 5 #123456 diffuse\nmap 1 1 5 1 1 5 #FF0000 plain\n");
    EXPECT_EQ(d.Maps[0].Color, MakeColor(0x12, 0x34, 0x56));
    EXPECT_EQ(d.Maps[0].Color, 0x00563412);
    EXPECT_EQ(d.Maps[1].Color, 0x000000FF);
}

TEST(TextDrawing, CommentsBlankLinesTabsCrLfAndByteOrderMark) {
    const std::string text =
        "\xEF\xBB\xBF# a comment\r\n"
        "\r\n"
        "   # indented comment\n"
        "\tbase\t275 12 25 352 525 352   # trailing comment\r\n"
        "map 275 12 150 182 400 182 #ff4040 diffuse #and one here\n"
        "\n"
        "map 150 182 25 352 275 352 #40Ff40 plain";  // no final newline
    const TDrawing d = MustParse(text);
    EXPECT_EQ(d.Base[0], (TPoint{275, 12}));
    ASSERT_EQ(d.Maps.size(), 2u);
    EXPECT_EQ(d.Maps[0].Color, MakeColor(0xFF, 0x40, 0x40));
    EXPECT_EQ(d.Maps[1].Color, MakeColor(0x40, 0xFF, 0x40));
    EXPECT_FALSE(d.Maps[1].Diffuse);
}

TEST(TextDrawing, CoordinateLimitsAndNegatives) {
    const TDrawing d = MustParse("base -16777216 0 16777216 -5 0 16777216\nmap -1 -2 -3 -4 -5 -6 #000000 plain\n");
    EXPECT_EQ(d.Base[0].x, -16777216);
    EXPECT_EQ(d.Base[1].x, 16777216);
    EXPECT_EQ(d.Maps[0].Triangle[2], (TPoint{-5, -6}));
}

TEST(TextDrawing, FormatReadsBackUnchanged) {
    const TDrawing d = MustParse(Sierpinski);
    EXPECT_EQ(MustParse(FormatTextDrawing(d)), d);
}

TEST(TextDrawing, HundredAndTwentyMapsAreAllowedButNotOneMore) {
    std::string text = "base 10 10 100 10 10 100\n";
    for (int i = 0; i < 120; ++i) text += "map 10 10 20 10 10 20 #808080 diffuse\n";
    EXPECT_EQ(MustParse(text).Maps.size(), 120u);
    text += "map 10 10 20 10 10 20 #808080 diffuse\n";
    const DrawingError e = MustFail(text);
    EXPECT_EQ(e.Line, 122);
    EXPECT_NE(e.Message.find("more than 120"), std::string::npos) << e.Message;
}

struct BadLine {
    const char* Text;
    int Line;
    const char* Says;
};

constexpr const char* B = "base 10 10 100 10 10 100\n";  // one line

const BadLine BadLines[] = {
    BadLine{"base 10 10 100 10 10\nmap 1 1 2 2 3 3 #000000 plain\n", 1, "six coordinates"},
    BadLine{"base 10 10 100 10 10 100 7\nmap 1 1 2 2 3 3 #000000 plain\n", 1, "unexpected '7'"},
    BadLine{"base 10 10 100 10 10 # 100\n", 1, "six coordinates"},
    BadLine{"# fine\nmap 1 1 2 2 3 3 #000000 plain\nbase 10 10 100 10 10 100\n", 2, "before the base"},
    BadLine{"base 10 10 100 10 10 100\n\nbase 10 10 100 10 10 100\n", 3, "line 1"},
    BadLine{"base 1.5 10 100 10 10 100\n", 1, "bad coordinate '1.5'"},
    BadLine{"base +1 10 100 10 10 100\n", 1, "bad coordinate '+1'"},
    BadLine{"base 0x10 10 100 10 10 100\n", 1, "bad coordinate"},
    BadLine{"base 16777217 10 100 10 10 100\n", 1, "bad coordinate"},
    BadLine{"base -16777217 10 100 10 10 100\n", 1, "bad coordinate"},
    BadLine{"base 99999999999999999999 10 100 10 10 100\n", 1, "bad coordinate"},
    BadLine{"base 10 10 100 10 10 1e2\n", 1, "bad coordinate '1e2'"},
    BadLine{"base 10 10 100 10 10 1\x01\n", 1, "bad coordinate"},
    BadLine{"Base 10 10 100 10 10 100\n", 1, "unknown keyword 'Base'"},
    BadLine{"triangle 1 2 3\n", 1, "unknown keyword"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3\n", 2, "colour"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 #12345 plain\n", 2, "bad colour '#12345'"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 #1234567 plain\n", 2, "bad colour"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 #GG0000 plain\n", 2, "bad colour"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 123456 plain\n", 2, "bad colour '123456'"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 # red plain\n", 2, "bad colour '#'"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 #FF0000\n", 2, "diffuse or plain"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 #FF0000 Diffuse\n", 2, "found 'Diffuse'"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 3 #FF0000 plain x\n", 2, "unexpected 'x'"},
    BadLine{"base 10 10 100 10 10 100\nmap 1 1 2 2 3 #FF0000 plain\n", 2, "six coordinates"},
    BadLine{"base 10 10 100 10 10 100\r\nmap 1 1 2 2 3 3 #FF0000 plain\r\nmap 1 1 2 2 3\r\n", 3,
            "six coordinates"},
    BadLine{"# nothing but a comment\n\n", 0, "no base line"},
    BadLine{"", 0, "no base line"},
    BadLine{"base 10 10 100 10 10 100\n# no maps\n", 0, "no map line"}};
const int BadLineCount = static_cast<int>(std::size(BadLines));

// Parameterised by index, so that the test names stay short and stable.
class MalformedDrawing : public ::testing::TestWithParam<int> {};

TEST_P(MalformedDrawing, ReportsTheLine) {
    const BadLine& c = BadLines[GetParam()];
    const DrawingError e = MustFail(c.Text);
    EXPECT_EQ(e.Line, c.Line) << e.Message;
    EXPECT_NE(e.Message.find(c.Says), std::string::npos) << "message: " << e.Message;
}

INSTANTIATE_TEST_SUITE_P(Lines, MalformedDrawing, ::testing::Range(0, BadLineCount));

TEST(TextDrawing, MessagesDoNotEchoControlBytesOrEndlessText) {
    const std::string longField(500, '7');
    DrawingError e = MustFail(std::string(B) + "map 1 1 2 2 3 3 #FF0000 plain " + longField + "\n");
    EXPECT_LT(e.Message.size(), 120u) << e.Message;
    e = MustFail(std::string(B) + "map 1 1 2 2 3 3 #FF0000 plain \x1b[2J\n");
    EXPECT_EQ(e.Message.find('\x1b'), std::string::npos);
}

std::string ReadSample(const std::string& name) {
    std::ifstream in(std::string(FERNWEAVE_SAMPLES_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SampleDrawings, ParseAndFitTheDefaultCanvas) {
    const TDrawing sierpinski = MustParse(ReadSample("sierpinski.txt"));
    const TDrawing fern = MustParse(ReadSample("fern.txt"));
    EXPECT_EQ(sierpinski.Maps.size(), 3u);
    EXPECT_EQ(fern.Maps.size(), 4u);
    for (const TDrawing* d : {&sierpinski, &fern}) {
        // Drawn as clicks on the 550 x 364 canvas, base vertices 1 and 2 off column 0.
        EXPECT_NE(d->Base[0].x, 0);
        EXPECT_NE(d->Base[1].x, 0);
        auto onCanvas = [](const TTriangle& t) {
            for (const TPoint& p : t)
                if (p.x < 0 || p.x >= 550 || p.y < 0 || p.y >= 364) return false;
            return true;
        };
        EXPECT_TRUE(onCanvas(d->Base));
        for (const TDrawnMap& m : d->Maps) EXPECT_TRUE(onCanvas(m.Triangle));
    }
}

// --- strict numbers ---

TEST(StrictNumber, IntegersWholeTextOnlyAndInRange) {
    EXPECT_EQ(ParseInteger("0", -5, 5), 0);
    EXPECT_EQ(ParseInteger("-5", -5, 5), -5);
    EXPECT_EQ(ParseInteger("007", 0, 10), 7);
    for (const char* bad : {"", "-", "+1", " 1", "1 ", "1x", "0x1", "1.0", "6", "-6", "9223372036854775808",
                            "99999999999999999999999"})
        EXPECT_FALSE(ParseInteger(bad, -5, 5)) << bad;
    EXPECT_EQ(ParseInteger("9223372036854775807", 0, INT64_MAX), INT64_MAX);
}

TEST(StrictNumber, UnsignedRejectsSignsAndOverflow) {
    EXPECT_EQ(ParseUnsigned("18446744073709551615", 0, UINT64_MAX), UINT64_MAX);
    EXPECT_FALSE(ParseUnsigned("18446744073709551616", 0, UINT64_MAX));
    EXPECT_FALSE(ParseUnsigned("-0", 0, 10));
    EXPECT_FALSE(ParseUnsigned("-1", 0, 10));
    EXPECT_FALSE(ParseUnsigned("11", 0, 10));
    EXPECT_FALSE(ParseUnsigned("4", 5, 10));
}

TEST(StrictNumber, ColoursAndPairs) {
    EXPECT_EQ(ParseColor("#0a0B0c", false), MakeColor(10, 11, 12));
    EXPECT_EQ(ParseColor("0a0B0c", true), MakeColor(10, 11, 12));
    EXPECT_FALSE(ParseColor("0a0B0c", false));
    EXPECT_FALSE(ParseColor("##0a0B0c", true));
    EXPECT_FALSE(ParseColor("#0a0B0", true));
    EXPECT_EQ(FormatColor(MakeColor(0xAB, 0x01, 0xEF)), "#AB01EF");

    const auto p = ParsePair("550x364", 1, 16384, false);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->First, 550);
    EXPECT_EQ(p->Second, 364);
    EXPECT_FALSE(ParsePair("550", 1, 16384, false));
    const auto single = ParsePair("300", 1, 65535, true);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->Second, 300);
    for (const char* bad : {"x", "5x", "x5", "5x5x5", "5X5", "5 x5", "0x5", "5x16385", "-1x5"})
        EXPECT_FALSE(ParsePair(bad, 1, 16384, true)) << bad;
}

}  // namespace
}  // namespace fernweave::cli
