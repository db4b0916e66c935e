#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "design.h"
#include "ifs_text.h"

namespace fernweave {
namespace {

// Barnsley's fern, a Sierpinski triangle and Heighway's dragon, typed from
// their published coefficients; comments and commas where files have them.
const std::string Classics = R"(; three classics
fern {  ; Barnsley
  0     0     0    .16  0  0     .01
  .85   .04  -.04  .85  0  1.6   .85  ; the leaflets
  .2   -.26   .23  .22  0  1.6   .07
 -.15   .28   .26  .24  0  .44   .07
}
sierpinski
{ .5,0,0,.5,0,0,.33	.5,0,0,.5,.5,0,.33
  .5 0 0 .5 .25 .5 .34 }
fern3d (3D) { 0 0 0 0 .18 0 0 0 0 0 0 0 .01
  .85 0 0 0 .85 .1 0 -.1 .85 0 1.6 0 .99 }
dragon{.5 -.5 .5 .5 0 0 .5 -.5 -.5 .5 -.5 1 0 .5}
)";

IfsTextEntry EntryOf(const std::string& text, std::size_t index = 0) {
    const auto file = ParseIfsText(text);
    EXPECT_TRUE(file.Ok()) << file.Error;
    return file.Ok() && index < file.Entries.size() ? file.Entries[index] : IfsTextEntry{};
}

Design DesignOf(const IfsTextEntry& entry) {
    Design design;
    std::string error;
    EXPECT_TRUE(EntryDesign(entry, design, error)) << error;
    return design;
}

TEST(IfsText, ReadsEntriesWithCommentsCommasAndTabsAndListsButRefuses3D) {
    const auto file = ParseIfsText(Classics);
    ASSERT_TRUE(file.Ok()) << file.Error;
    ASSERT_EQ(file.Entries.size(), 4u);
    EXPECT_EQ(file.Entries[0].Name, "fern");
    EXPECT_EQ(file.Entries[0].Line, 2);
    ASSERT_EQ(file.Entries[0].Rows.size(), 4u);
    EXPECT_EQ(file.Entries[0].Rows[1], (std::vector<double>{.85, .04, -.04, .85, 0, 1.6, .85}));
    EXPECT_EQ(file.Entries[1].Name, "sierpinski");
    EXPECT_EQ(file.Entries[1].Rows.size(), 3u);
    EXPECT_EQ(file.Entries[1].Rows[1][4], .5);
    EXPECT_EQ(file.Entries[3].Name, "dragon");
    EXPECT_EQ(file.Entries[3].Rows.size(), 2u);

    const IfsTextEntry& solid = file.Entries[2];
    EXPECT_EQ(solid.Name, "fern3d (3D)");
    EXPECT_TRUE(solid.Is3D);
    EXPECT_EQ(solid.Rows.size(), 2u);
    Design design;
    std::string error;
    EXPECT_FALSE(EntryDesign(solid, design, error));
    EXPECT_EQ(error, "fern3d (3D) is a 3D IFS; Fernweave draws 2D IFS only");

    // The fern's second row: x' = a x + b y + e, y' = c x + d y + f.
    const Affine m = DesignOf(file.Entries[0]).Maps[1].Map;
    EXPECT_EQ(m.a, .85);
    EXPECT_EQ(m.b, .04);
    EXPECT_EQ(m.c, 0);
    EXPECT_EQ(m.d, -.04);
    EXPECT_EQ(m.e, .85);
    EXPECT_EQ(m.f, 1.6);
}

TEST(IfsText, BrokenFilesNameTheEntryAndTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"a {\n 1 2 3 4 5 6 7\n 1 2 3 4 5 6\n 1 2 3 4 5 6 7\n}\n", "Entry \"a\", line 3: a row needs 7 numbers."},
        {"a {\n 1 2 3 4 5 6 7\n 1 2 3 4 5 6 x7\n}\n", "Entry \"a\", line 3: \"x7\" is not a number."},
        {"a {\n 1 2 3 4 5 6 7\n\nb {\n 1 2 3 4 5 6 7 }\n", "Entry \"a\", line 4: the entry's \"}\" is missing before the next entry."},
        {"a {\n 1 2 3 4 5 6 7\n", "Entry \"a\", line 3: the entry's \"}\" is missing at the end of the file."},
        {"a { 1 2 3 4 5 6 1e999 }", "Entry \"a\", line 1: \"1e999\" is not a number."},
        {"a { 1 2 3 4 5 6 7 }\n}", "Line 2: \"}\" without an entry."},
        {"; nothing but a comment\n", "The file holds no IFS entry."},
    };
    for (const auto& c : cases) {
        const auto file = ParseIfsText(c.text);
        EXPECT_EQ(file.Error, c.error) << c.text;
        EXPECT_TRUE(file.Entries.empty() || !file.Ok());
    }
}

TEST(IfsText, ChancesFollowTheRunningSumClippedToOne) {
    const auto near = [](const std::vector<float>& got, const std::vector<float>& want) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-7) << k;
    };
    near(ClassicChances(std::vector<double>{.2, .3, .1}), {.2f, .3f, .5f});          // the last takes the rest
    near(ClassicChances(std::vector<double>{.6, .7, .4}), {.6f, .4f, 0});            // over 1: clipped
    near(ClassicChances(std::vector<double>{.5, -.3, .6, .2}), {.5f, 0, .3f, .2f});  // a negative chance
    near(ClassicChances(std::vector<double>{-.5, .7, .1}), {0, .2f, .8f});
}

TEST(IfsText, RefusesEntriesWithoutMapsOrWithTooManyOrRunningAway) {
    std::string big = "big {";
    for (int k = 0; k < 121; ++k) big += " .5 0 0 .5 0 0 .01\n";
    big += "}\nnone { ; empty\n}\nwild { 2 0 0 2 1 1 1 }\nhuge { .5 0 0 .5 0 0 1 1e300 0 0 1 0 0 0 }\n";
    const auto file = ParseIfsText(big);
    ASSERT_TRUE(file.Ok()) << file.Error;
    Design design;
    std::string error;
    EXPECT_FALSE(EntryDesign(file.Entries[0], design, error));
    EXPECT_EQ(error, "big has 121 maps; Fernweave draws at most 120.");
    EXPECT_FALSE(EntryDesign(file.Entries[1], design, error));
    EXPECT_EQ(error, "none has no map.");
    ASSERT_TRUE(EntryDesign(file.Entries[2], design, error));
    EXPECT_FALSE(PlaceDesign(design, 400, 300, {}, error));
    EXPECT_EQ(error, "wild has no bounded attractor: its points run away.");
    // A map of no chance is never applied, but still has to fit in a float.
    ASSERT_TRUE(EntryDesign(file.Entries[3], design, error));
    EXPECT_FALSE(PlaceDesign(design, 400, 300, {}, error));
    EXPECT_EQ(error, "huge has a map too large to draw (map 2).");
}

TEST(IfsText, PlacingKeepsYUpAndFitsTheBoxIntoTheCanvas) {
    std::string error;
    const auto object = PlaceDesign(DesignOf(EntryOf(Classics)), 800, 600, {}, error);
    ASSERT_TRUE(object) << error;
    ASSERT_EQ(object->MapCount, 4);
    const TTriangle& base = object->BaseTriangle;
    // Bottom left, bottom right, top left; the fern is taller than wide and fills the height.
    EXPECT_EQ(base[0].y, base[1].y);
    EXPECT_EQ(base[0].x, base[2].x);
    EXPECT_GT(base[0].y, base[2].y);
    EXPECT_LT(base[1].x - base[0].x, base[0].y - base[2].y);
    EXPECT_GE(base[2].y, 10);
    EXPECT_LE(base[0].y, 590);
    EXPECT_GT(base[2].y, 20);
    EXPECT_NEAR(base[0].x + base[1].x, 800, 2);  // centred

    // The fern's tip (the fixed point of its second map) is at the top, its stem at the bottom.
    const TIfsMap& leaf = object->Maps[2];
    const double det = (1 - leaf.A) * (1 - leaf.E) - leaf.B * leaf.D;
    const double tipY = ((1 - leaf.A) * leaf.F + leaf.D * leaf.C) / det;
    EXPECT_NEAR(tipY, base[2].y, 3);
    const TIfsMap& stem = object->Maps[1];
    EXPECT_NEAR(stem.F / (1 - stem.E), base[0].y, 3);

    EXPECT_FLOAT_EQ(object->Maps[1].Probability, .01f);
    EXPECT_FLOAT_EQ(object->Maps[4].Probability, .07f);
    EXPECT_EQ(object->Maps[1].Diffuse, 0);
    EXPECT_NE(object->Maps[1].Color, object->Maps[2].Color);
}

TEST(IfsText, AnExportedEntryGivesBackTheSameAttractor) {
    for (std::size_t index : {0u, 1u, 3u}) {
        std::string error;
        const auto placed = PlaceDesign(DesignOf(EntryOf(Classics, index)), 640, 480, {}, error);
        ASSERT_TRUE(placed) << error;
        const std::string text = FormatIfsText(*placed, "again");
        const auto back = EntryOf(text);
        EXPECT_EQ(back.Name, "again");
        const auto again = PlaceDesign(DesignOf(back), 640, 480, {}, error);
        ASSERT_TRUE(again) << error;
        for (int v = 0; v < 3; ++v) {
            EXPECT_NEAR(again->BaseTriangle[v].x, placed->BaseTriangle[v].x, 1) << index;
            EXPECT_NEAR(again->BaseTriangle[v].y, placed->BaseTriangle[v].y, 1) << index;
        }
        for (int k = 1; k <= placed->MapCount; ++k) {
            const TIfsMap &a = placed->Maps[k], &b = again->Maps[k];
            // The linear parts keep their shape exactly; the offsets move by the rounding of the corners.
            EXPECT_NEAR(a.A, b.A, 1e-5) << index;
            EXPECT_NEAR(a.B, b.B, 1e-5);
            EXPECT_NEAR(a.D, b.D, 1e-5);
            EXPECT_NEAR(a.E, b.E, 1e-5);
            EXPECT_NEAR(a.C, b.C, 1);
            EXPECT_NEAR(a.F, b.F, 1);
            EXPECT_NEAR(a.Probability, b.Probability, 1e-6);
        }
        // The frame: the base triangle's box is 10 high, its bottom-left corner at the origin.
        const Affine frame = ExportFrame(placed->BaseTriangle, 10);
        const auto bottomLeft = frame.Apply(placed->BaseTriangle[0].x, placed->BaseTriangle[0].y);
        const auto topLeft = frame.Apply(placed->BaseTriangle[2].x, placed->BaseTriangle[2].y);
        EXPECT_NEAR(bottomLeft[0], 0, 1e-12);
        EXPECT_NEAR(bottomLeft[1], 0, 1e-12);
        EXPECT_NEAR(topLeft[1], 10, 1e-12);
    }
    // Named after its file, as one word that does not call the entry 3D.
    EXPECT_EQ(EntryNameFor("/designs/my fern (3D).ifs"), "my_fern__3D)");
}

TEST(IfsText, WritesSevenDigitsWithADotInAGermanLocale) {
    TIfsObject object;
    object.MapCount = 1;
    object.BaseTriangle = {TPoint{0, 30}, TPoint{30, 30}, TPoint{0, 0}};
    object.Maps[1] = TIfsMap{1.0f / 3, 0, 10, 0, 0.5f, 0, 1, 0, 0, {}};
    const std::string inC = FormatIfsText(object, "third");
    // x' = x/3 + 10/3, y' = y/2 + 5 in the frame of the 30-pixel box.
    EXPECT_EQ(inC, "third {\n  0.3333333 0 0 0.5 3.333333 5 1\n}\n");
    // A chance that is no number (an object file from elsewhere; found by fuzzing) is written as 0.
    TIfsObject odd = object;
    odd.Maps[1].Probability = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(FormatIfsText(odd, "odd"), "odd {\n  0.3333333 0 0 0.5 3.333333 5 0\n}\n");

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale here";
    const std::locale previousGlobal = std::locale::global(std::locale(""));
    const std::string inGerman = FormatIfsText(object, "third");
    const auto read = ParseIfsText(inGerman);
    std::locale::global(previousGlobal);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(inGerman, inC);
    ASSERT_TRUE(read.Ok()) << read.Error;
    EXPECT_EQ(read.Entries[0].Rows[0][4], 3.333333);
}

}  // namespace
}  // namespace fernweave
