#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "flame_file.h"

namespace fernweave {
namespace {

// A drawn object of three maps in canvas pixels (a Sierpinski triangle).
TIfsObject Triangle() {
    TIfsObject object;
    object.MapCount = 3;
    object.BaseTriangle = {TPoint{100, 500}, TPoint{500, 500}, TPoint{300, 100}};
    object.Maps[1] = TIfsMap{0.5f, 0, 50, 0, 0.5f, 250, 0.25f, MakeColor(255, 0, 0), 0, {}};
    object.Maps[2] = TIfsMap{0.5f, 0.001f, 250, -0.002f, 0.5f, 250, 0.35f, MakeColor(0, 255, 0), 0, {}};
    object.Maps[3] = TIfsMap{0.5f, 0, 150, 0, 0.5f, 49.75f, 0.4f, MakeColor(0, 0, 255), 0, {}};
    return object;
}

TEST(FlameFile, AnExportedFlameGivesBackTheSameMapsChancesAndColours) {
    const TIfsObject object = Triangle();
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // where there is one: a decimal comma must not come out
    const std::string text = FormatFlame(object, "tri", 640, 480, MakeColor(0, 0, 51));
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_NE(text.find("size=\"640 480\""), std::string::npos);
    EXPECT_NE(text.find("center=\"0 0\" scale=\"120\""), std::string::npos);
    EXPECT_NE(text.find("background=\"0 0 0.2\""), std::string::npos);

    const auto file = ParseFlames(text);
    ASSERT_TRUE(file.Ok()) << file.Error;
    ASSERT_EQ(file.Flames.size(), 1u);
    const FlameEntry& flame = file.Flames[0];
    EXPECT_EQ(flame.Name, "tri");
    ASSERT_TRUE(flame.Refusal.empty()) << flame.Refusal;
    EXPECT_FALSE(flame.Affine.YUp);
    ASSERT_EQ(flame.Affine.Maps.size(), 3u);
    // Through the flame's camera, back in canvas pixels: the same maps within float rounding.
    ASSERT_TRUE(flame.Camera);
    const Affine toCanvas = *flame.Camera, fromCanvas = *flame.Camera->Inverse();
    for (int k = 1; k <= 3; ++k) {
        const DesignMap& m = flame.Affine.Maps[static_cast<std::size_t>(k - 1)];
        const TIfsMap& o = object.Maps[k];
        const Affine back = fromCanvas.Then(m.Map).Then(toCanvas);
        EXPECT_FLOAT_EQ(static_cast<float>(back.a), o.A);
        EXPECT_NEAR(back.b, o.B, 1e-7);
        EXPECT_FLOAT_EQ(static_cast<float>(back.c), o.C);
        EXPECT_NEAR(back.d, o.D, 1e-7);
        EXPECT_FLOAT_EQ(static_cast<float>(back.e), o.E);
        EXPECT_FLOAT_EQ(static_cast<float>(back.f), o.F);
        EXPECT_FLOAT_EQ(m.Chance, o.Probability);
        EXPECT_EQ(m.Color, o.Color);
    }
}

TEST(FlameFile, FoldsPostAffinesAndRefusesWhatIsNotAffine) {
    const std::string text = R"(<flames>
<flame name="folded" size="100 100">
  <xform weight="3" color="0" linear="0.5" coefs="1 0 0 1 2 0" post="0 1 1 0 0 4"/>
  <xform weight="1" color="1" linear="1" spherical="0" coefs="0.5 0 0 0.5 0 0"/>
  <palette count="256" format="RGB">)" + std::string(6 * 255, '0') + R"(ff8000</palette>
</flame>
<flame name="round"><xform weight="1" linear="0.5" spherical="0.5" coefs="1 0 0 1 0 0"/></flame>
<flame name="final"><xform weight="1" linear="1" coefs="1 0 0 1 0 0"/><finalxform linear="1" coefs="1 0 0 1 0 0"/></flame>
<flame name="chaos"><xform weight="1" linear="1" chaos="1 0" coefs="1 0 0 1 0 0"/></flame>
</flames>)";
    const auto file = ParseFlames(text);
    ASSERT_TRUE(file.Ok()) << file.Error;
    ASSERT_EQ(file.Flames.size(), 4u);
    const Design& folded = file.Flames[0].Affine;
    ASSERT_EQ(folded.Maps.size(), 2u);
    // 0.5 (x + 2, y), then the post affine swapping x and y and adding 4 to y'.
    const Affine& m = folded.Maps[0].Map;
    EXPECT_DOUBLE_EQ(m.a, 0);
    EXPECT_DOUBLE_EQ(m.b, 0.5);
    EXPECT_DOUBLE_EQ(m.c, 0);
    EXPECT_DOUBLE_EQ(m.d, 0.5);
    EXPECT_DOUBLE_EQ(m.e, 0);
    EXPECT_DOUBLE_EQ(m.f, 5);
    EXPECT_FLOAT_EQ(folded.Maps[0].Chance, 0.75f);
    EXPECT_FLOAT_EQ(folded.Maps[1].Chance, 0.25f);
    EXPECT_EQ(folded.Maps[0].Color, clBlack);
    EXPECT_EQ(folded.Maps[1].Color, MakeColor(255, 128, 0));

    EXPECT_EQ(file.Flames[1].Refusal, "round uses the variation 'spherical'; Fernweave draws affine maps only");
    EXPECT_EQ(file.Flames[2].Refusal, "final uses a final xform; Fernweave draws affine maps only");
    EXPECT_EQ(file.Flames[3].Refusal, "chaos uses unequal chaos weights; Fernweave draws affine maps only");
    EXPECT_EQ(ParseFlames("<flames/>").Error, "The file holds no flame.");
    EXPECT_FALSE(ParseFlames("<flames><flame>").Ok());
}

}  // namespace
}  // namespace fernweave
