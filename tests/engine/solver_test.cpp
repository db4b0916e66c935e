#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "solver.h"

namespace fernweave {
namespace {

using Coeffs = std::array<float, 6>;

TTriangle Tri(int x1, int y1, int x2, int y2, int x3, int y3) { return {TPoint{x1, y1}, TPoint{x2, y2}, TPoint{x3, y3}}; }

void ExpectCoeffs(const Coeffs& got, const Coeffs& want) {
    for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i], want[i]) << "coefficient " << "ABCDEF"[i];
}

TEST(SolveTriangleMap, CarriesTheBaseOntoTheTarget) {
    const auto base = Tri(10, 10, 100, 10, 10, 100);
    ExpectCoeffs(SolveTriangleMap(base, base), {1, 0, 0, 0, 1, 0});
    ExpectCoeffs(SolveTriangleMap(base, Tri(10, 10, 55, 10, 10, 55)), {0.5f, 0, 5, 0, 0.5f, 5});
    // The vertices moved round by one.
    ExpectCoeffs(SolveTriangleMap(base, Tri(100, 10, 10, 100, 10, 10)), {-1, -1, 120, 1, 0, 0});
}

TEST(SolveTriangleMap, FollowsFloatRoundingRatherThanExactIdentity) {
    // A large triangle onto itself: the determinant does not fit a float, so E
    // comes out one unit below 1 and D slightly off zero.
    const auto base = Tri(468, 209, 650, 62, 45, 52);
    ExpectCoeffs(SolveTriangleMap(base, base), {1, 0, 0, 2.6618312887194406e-08f, 0.9999999403953552f, 0});
}

TEST(SolveTriangleMap, DegenerateBasesGiveFiniteCoefficients) {
    // Collinear base: both determinants vanish and are replaced by 1.
    ExpectCoeffs(SolveTriangleMap(Tri(10, 10, 20, 20, 30, 30), Tri(1, 2, 3, 4, 5, 7)),
                 {0.10000000149011612f, 0, 0, -199.8000030517578f, 200, 0});
    // All three points the same.
    for (float v : SolveTriangleMap(Tri(5, 5, 5, 5, 5, 5), Tri(1, 2, 3, 4, 5, 6))) EXPECT_TRUE(std::isfinite(v));
    // Base vertex 2 in column 0: the determinants vanish.
    ExpectCoeffs(SolveTriangleMap(Tri(10, 10, 0, 100, 100, 50), Tri(20, 20, 30, 90, 80, 60)), {2, 0, 0, 2, 0, 0});
}

TEST(SolveTriangleMap, BaseVertexOneInColumnZeroDividesByOne) {
    // The final divisor X1 is 0: 1 is used instead, and also in place of X1
    // when the second row is formed.
    ExpectCoeffs(SolveTriangleMap(Tri(0, 10, 100, 10, 10, 100), Tri(0, 10, 100, 10, 10, 100)),
                 {0, 0, 0, 0.09999953210353851f, 1.0010000467300415f, -0.10999999940395355f});
    ExpectCoeffs(SolveTriangleMap(Tri(0, 20, 90, 30, 40, 200), Tri(5, 25, 60, 40, 30, 150)),
                 {-6.798654794692993e-08f, 0.0031645570416003466f, 4.936708927154541f, 0.4444441795349121f,
                  0.6754571199417114f, 11.04641342163086f});
}

TEST(SolveAllMaps, TakesBaseAndMapTrianglesFromThePoints) {
    FractalState s;
    const int pts[] = {10, 10, 100, 10, 10, 100, 10, 10, 55, 10, 10, 55, 100, 10, 10, 100, 10, 10};
    s.BeginDrawing();
    for (int i = 0; i < 9; ++i) s.AddPoint(pts[2 * i], pts[2 * i + 1], clWhite, true);
    SolveAllMaps(s);
    EXPECT_EQ(s.BaseTriangle, Tri(10, 10, 100, 10, 10, 100));
    EXPECT_EQ(s.Maps[1].C, 5.0f);
    EXPECT_EQ(s.Maps[2].C, 120.0f);
}

class Probabilities : public ::testing::Test {
protected:
    FractalState s;
    void SetLinear(int k, float a, float b, float d, float e) {
        s.Maps[k].A = a;
        s.Maps[k].B = b;
        s.Maps[k].D = d;
        s.Maps[k].E = e;
    }
};

TEST_F(Probabilities, FollowTheAreas) {
    s.MapCount = 2;
    SetLinear(1, 0.75f, 0, 0, 1);  // area ratio 3 : 1
    SetLinear(2, 0, 0.25f, -1, 0);  // negative determinant counts by its size
    ComputeProbabilities(s);
    EXPECT_EQ(s.Maps[1].Probability, 0.75f);
    EXPECT_EQ(s.Maps[2].Probability, 0.25f);
}

TEST_F(Probabilities, ZeroAreasLeaveEverythingToTheLastMap) {
    s.MapCount = 3;
    for (int k = 1; k <= 3; ++k) SetLinear(k, 1, 2, 2, 4);  // collinear images
    ComputeProbabilities(s);
    EXPECT_EQ(s.Maps[1].Probability, 0.0f);
    EXPECT_EQ(s.Maps[2].Probability, 0.0f);
    EXPECT_EQ(s.Maps[3].Probability, 1.0f);

    s.MapCount = 2;
    SetLinear(1, 0, 0, 0, 0);
    SetLinear(2, 0.5f, 0, 0, 0.5f);
    ComputeProbabilities(s);
    EXPECT_EQ(s.Maps[1].Probability, 0.0f);
    EXPECT_EQ(s.Maps[2].Probability, 1.0f);
}

TEST_F(Probabilities, SingleMapGetsOne) {
    s.MapCount = 1;
    SetLinear(1, 0.3f, 0.1f, 0.2f, 0.4f);
    ComputeProbabilities(s);
    EXPECT_EQ(s.Maps[1].Probability, 1.0f);
}

TEST_F(Probabilities, AddUpToOneInFloat) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> coef(-1, 1);
    for (int round = 0; round < 200; ++round) {
        s.MapCount = 1 + static_cast<int>(gen() % MaxMaps);
        for (int k = 1; k <= s.MapCount; ++k) SetLinear(k, coef(gen), coef(gen), coef(gen), coef(gen));
        ComputeProbabilities(s);
        float sum = 0;
        for (int k = 1; k <= s.MapCount; ++k) sum = static_cast<float>(static_cast<double>(sum) + s.Maps[k].Probability);
        EXPECT_NEAR(sum, 1.0f, 1e-5f);
        EXPECT_GT(s.Maps[s.MapCount].Probability, -1e-6f);
    }
}

TEST(RandomFraction, StartsAtZeroAndCarriesOn) {
    FractalState s;
    EXPECT_EQ(RandomFraction(s), 1.0 / 4294967296.0);
    EXPECT_EQ(RandomFraction(s), 134775814.0 / 4294967296.0);
    EXPECT_EQ(s.RandomState, 134775814u);
    // 32-bit wrap-around
    s.RandomState = 0xFFFFFFFFu;
    RandomFraction(s);
    EXPECT_EQ(s.RandomState, static_cast<std::uint32_t>(0xFFFFFFFFull * 134775813ull + 1));
}

class ChooseMapEdges : public ::testing::Test {
protected:
    FractalState s;
    void SetUp() override {
        s.MapCount = 3;
        s.Maps[1].Probability = 0.5f;
        s.Maps[2].Probability = 0.25f;
        s.Maps[3].Probability = 0.25f;
    }
    int ChooseAt(std::uint32_t state) { return ChooseMapForState(s.Maps, s.MapCount, state); }
};

TEST_F(ChooseMapEdges, TieGoesToTheMapWhoseSumFirstReachesR) {
    EXPECT_EQ(ChooseAt(0), 1);
    EXPECT_EQ(ChooseAt(0x80000000u), 1);      // r = 0.5 exactly
    EXPECT_EQ(ChooseAt(0x80000001u), 1);      // rounds to 0.5 in float
    EXPECT_EQ(ChooseAt(0x80000100u), 2);      // 0.5 + 2^-24
    EXPECT_EQ(ChooseAt(0xC0000000u), 2);      // 0.75
    EXPECT_EQ(ChooseAt(0xC0000100u), 3);
    EXPECT_EQ(ChooseAt(0xFFFFFFFFu), 3);      // r rounds up to 1
}

TEST_F(ChooseMapEdges, NeverBeyondTheLastMap) {
    s.Maps[3].Probability = 0.2f;  // the sum stays below r near 1
    s.Maps[4].Probability = 0.7f;  // stale record beyond MapCount
    EXPECT_EQ(ChooseAt(0xFFFFFFFFu), 3);
    EXPECT_EQ(ChooseAt(0xF0000000u), 3);
    s.MapCount = 1;
    for (std::uint32_t st : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu}) EXPECT_EQ(ChooseAt(st), 1);
}

TEST_F(ChooseMapEdges, ChooseMapDrawsTheNextRandomNumber) {
    s.RandomState = 0x7FFFFFFFu;
    const std::uint32_t next = NextRandomState(s.RandomState);
    EXPECT_EQ(ChooseMap(s), ChooseAt(next));
    EXPECT_EQ(s.RandomState, next);
}

TEST(MapChooser, AgreesWithTheLinearScanEverywhere) {
    std::mt19937 gen(11);
    for (int round = 0; round < 40; ++round) {
        FractalState s;
        s.MapCount = round < 10 ? 1 + round : 1 + static_cast<int>(gen() % MaxMaps);
        for (int k = 1; k <= s.MapCount; ++k) {
            // Some zero, some tiny, some large weights.
            const int kind = static_cast<int>(gen() % 4);
            s.Maps[k].A = kind == 0 ? 0.0f : (kind == 1 ? 1e-5f : static_cast<float>(gen() % 1000) / 1000.0f);
            s.Maps[k].E = 1.0f;
        }
        ComputeProbabilities(s);
        MapChooser chooser;
        chooser.Build(s.Maps, s.MapCount);
        std::uint32_t st = static_cast<std::uint32_t>(gen());
        for (int i = 0; i < 20000; ++i) {
            st = NextRandomState(st);
            ASSERT_EQ(chooser.Choose(st), ChooseMapForState(s.Maps, s.MapCount, st)) << "state " << st;
        }
        // Around every boundary between two maps.
        std::uint32_t prevChoice = 1;
        for (std::uint64_t probe = 0; probe < (std::uint64_t{1} << 32); probe += (std::uint64_t{1} << 20)) {
            const auto state = static_cast<std::uint32_t>(probe);
            const int c = ChooseMapForState(s.Maps, s.MapCount, state);
            if (static_cast<std::uint32_t>(c) != prevChoice) {
                for (std::uint32_t d = 0; d < 64; ++d) {
                    ASSERT_EQ(chooser.Choose(state - d), ChooseMapForState(s.Maps, s.MapCount, state - d));
                }
                prevChoice = static_cast<std::uint32_t>(c);
            }
        }
        for (std::uint32_t d = 0; d < 300; ++d) {
            ASSERT_EQ(chooser.Choose(0xFFFFFFFFu - d), ChooseMapForState(s.Maps, s.MapCount, 0xFFFFFFFFu - d));
            ASSERT_EQ(chooser.Choose(d), ChooseMapForState(s.Maps, s.MapCount, d));
        }
    }
}

TEST(ApplyMap, RoundsEachCoordinateToFloatFromTheOldPoint) {
    FractalState s;
    s.Maps[1] = TIfsMap{0.5f, 0.25f, 3, -0.25f, 0.5f, 7};
    s.CurrentPoint = {10, 20};
    ApplyMap(s, 1);
    EXPECT_EQ(s.CurrentPoint.x, 13.0f);  // 5 + 5 + 3
    EXPECT_EQ(s.CurrentPoint.y, 14.5f);  // -2.5 + 10 + 7: from the old x, not the new
    // Double arithmetic before one rounding: 1/3 * 3 in double is 1 exactly here.
    s.Maps[2] = TIfsMap{1.0f / 3.0f, 0, 0, 0, 1, 0};
    s.CurrentPoint = {3, 0};
    ApplyMap(s, 2);
    EXPECT_EQ(s.CurrentPoint.x, static_cast<float>(static_cast<double>(1.0f / 3.0f) * 3.0));
}

TEST(ApplyMapPlaced, PlacesTheNewPointWithoutChangingTheGame) {
    FractalState s;
    s.Maps[1] = TIfsMap{0.5f, 0, 0, 0, 0.5f, 0};
    s.PlacementMap = {2, 0, 1, 0, 2, -1};
    s.CurrentPoint = {8, 4};
    ApplyMapPlaced(s, 1);
    EXPECT_EQ(s.CurrentPoint.x, 4.0f);
    EXPECT_EQ(s.CurrentPoint.y, 2.0f);
    EXPECT_EQ(s.PlacedPoint.x, 9.0f);
    EXPECT_EQ(s.PlacedPoint.y, 3.0f);
}

}  // namespace
}  // namespace fernweave
