#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "strokes.h"

namespace fernweave {
namespace {

Picture24 Noise(int w, int h, unsigned seed) {
    Picture24 p(w, h);
    std::mt19937 gen(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPixel24(p, x, y, static_cast<TColor>(gen() & 0xFFFFFF));
    return p;
}

std::set<std::pair<int, int>> Changed(const Picture24& a, const Picture24& b) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y)) out.insert({x, y});
    return out;
}

TEST(XorStroke, CoversTheStartPixelAndNotTheEnd) {
    Picture24 p(20, 20);
    XorStroke(p, {TPoint{2, 5}, TPoint{6, 5}}, 1, 0x0000FF);
    EXPECT_EQ(Changed(p, Picture24(20, 20)), (std::set<std::pair<int, int>>{{2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_EQ(p.Pixel(2, 5), 0x0000FF);

    Picture24 q(20, 20);
    XorStroke(q, {TPoint{6, 9}, TPoint{6, 5}}, 1, 0xFFFFFF);  // upwards
    EXPECT_EQ(Changed(q, Picture24(20, 20)), (std::set<std::pair<int, int>>{{6, 9}, {6, 8}, {6, 7}, {6, 6}}));

    Picture24 r(20, 20);
    XorStroke(r, {TPoint{3, 3}, TPoint{3, 3}}, 2, 0xFFFFFF);  // zero length draws nothing
    EXPECT_TRUE(r == Picture24(20, 20));
}

TEST(XorStroke, TwoPixelPenThickensAcrossTheLine) {
    Picture24 p(20, 20);
    XorStroke(p, {TPoint{2, 5}, TPoint{5, 5}}, 2, 0xFFFFFF);
    EXPECT_EQ(Changed(p, Picture24(20, 20)),
              (std::set<std::pair<int, int>>{{2, 5}, {3, 5}, {4, 5}, {2, 6}, {3, 6}, {4, 6}}));
    Picture24 q(20, 20);
    XorStroke(q, {TPoint{8, 1}, TPoint{8, 4}}, 2, 0xFFFFFF);
    EXPECT_EQ(Changed(q, Picture24(20, 20)),
              (std::set<std::pair<int, int>>{{8, 1}, {8, 2}, {8, 3}, {9, 1}, {9, 2}, {9, 3}}));
}

TEST(XorStroke, APolylineFlipsEachOfItsPixelsOnce) {
    // Out and back along the same row: the two segments overlap.
    Picture24 p(40, 20);
    XorStroke(p, {TPoint{10, 10}, TPoint{30, 10}, TPoint{10, 10}}, 2, 0x00FF00);
    for (int x = 10; x <= 30; ++x) {
        EXPECT_EQ(p.Pixel(x, 10), 0x00FF00) << x;
        EXPECT_EQ(p.Pixel(x, 11), 0x00FF00) << x;
    }
    // Separate strokes both act where they cross.
    Picture24 q(40, 40);
    XorStroke(q, {TPoint{0, 20}, TPoint{40, 20}}, 1, 0x00FF00);
    XorStroke(q, {TPoint{20, 0}, TPoint{20, 40}}, 1, 0x00FF00);
    EXPECT_EQ(q.Pixel(20, 20), 0);
    EXPECT_EQ(q.Pixel(21, 20), 0x00FF00);
}

TEST(XorStroke, ClipsAtTheEdgesAndCopesWithFarEnds) {
    Picture24 p(30, 30);
    XorStroke(p, {TPoint{-2000000000, 15}, TPoint{2000000000, 16}}, 2, 0xFFFFFF);
    XorStroke(p, {TPoint{15, 2000000000}, TPoint{-7, -2000000000}, TPoint{29, 29}}, 1, 0xFF);
    XorStroke(p, {TPoint{-5, -5}, TPoint{-1, -100}}, 2, 0xFFFFFF);  // entirely off the picture
    XorStroke(p, {TPoint{-2000000000, 15}, TPoint{2000000000, 16}}, 2, 0xFFFFFF);
    XorStroke(p, {TPoint{15, 2000000000}, TPoint{-7, -2000000000}, TPoint{29, 29}}, 1, 0xFF);
    EXPECT_TRUE(p == Picture24(30, 30));
}

TEST(XorStroke, DrawingTheSameStrokesAgainInAnyOrderRestoresEveryByte) {
    std::mt19937 gen(5);
    const Picture24 original = Noise(97, 61, 1);
    for (int round = 0; round < 20; ++round) {
        struct Stroke {
            std::vector<TPoint> pts;
            int width;
            TColor color;
        };
        std::vector<Stroke> strokes;
        for (int i = 0; i < 25; ++i) {
            Stroke s{{}, 1 + static_cast<int>(gen() % 2), static_cast<TColor>(gen() & 0xFFFFFF)};
            const int n = 2 + static_cast<int>(gen() % 3);
            for (int j = 0; j < n; ++j) s.pts.push_back({static_cast<int>(gen() % 140) - 20, static_cast<int>(gen() % 100) - 20});
            strokes.push_back(s);
        }
        Picture24 p = original;
        for (const auto& s : strokes) XorStroke(p, s.pts, s.width, s.color);
        EXPECT_FALSE(p == original);
        std::shuffle(strokes.begin(), strokes.end(), gen);
        for (const auto& s : strokes) XorStroke(p, s.pts, s.width, s.color);
        ASSERT_TRUE(p == original) << "round " << round;
    }
}

TEST(DrawRubberBand, FollowsThePointsOfTheCurrentTriangle) {
    FractalState s;
    s.BeginDrawing();
    s.AddPoint(10, 10, clWhite, true);
    Picture24 one(60, 60);
    DrawRubberBand(one, s, {30, 10}, clWhite);  // mouse -> point 1, width 2
    EXPECT_EQ(Changed(one, Picture24(60, 60)).size(), 40u);
    EXPECT_EQ(one.Pixel(30, 10), clWhite);
    EXPECT_EQ(one.Pixel(10, 10), 0);

    s.AddPoint(10, 40, clWhite, true);
    Picture24 two(60, 60);
    DrawRubberBand(two, s, {40, 40}, clWhite);  // point 2 -> mouse -> point 1
    EXPECT_EQ(two.Pixel(10, 40), clWhite);
    EXPECT_EQ(two.Pixel(40, 40), clWhite);
    EXPECT_EQ(two.Pixel(10, 10), 0);

    s.AddPoint(40, 40, clWhite, true);
    Picture24 three(60, 60);
    DrawRubberBand(three, s, {50, 50}, clWhite);  // the triangle is complete: no band
    EXPECT_TRUE(three == Picture24(60, 60));
}

TEST(DrawGridStrokes, LaysTheGridThroughTheFirstPoint) {
    Picture24 p(550, 364);
    DrawGridStrokes(p, 30, 30);
    std::set<int> columns, rows;
    for (int x = 0; x < 550; ++x)
        if (p.Pixel(x, 100) != 0) columns.insert(x);
    for (int y = 0; y < 364; ++y)
        if (p.Pixel(100, y) != 0) rows.insert(y);
    std::set<int> wantColumns, wantRows;
    for (int x = 6; x <= 534; x += 24) wantColumns.insert(x);
    for (int y = 6; y <= 342; y += 24) wantRows.insert(y);
    EXPECT_EQ(columns, wantColumns);
    EXPECT_EQ(rows, wantRows);
    for (int x : wantColumns) {
        const bool light = x == 30 || x == 126 || x == 222 || x == 318 || x == 414 || x == 510;
        EXPECT_EQ(p.Pixel(x, 100), light ? GridMajorColor : GridMinorColor) << x;
    }
    for (int y : wantRows) {
        const bool light = y == 30 || y == 126 || y == 222 || y == 318;
        EXPECT_EQ(p.Pixel(101, y), light ? GridMajorColor : GridMinorColor) << y;
    }
    // Where lines cross both act: two of one grey cancel out.
    EXPECT_EQ(p.Pixel(30, 30), 0);
    EXPECT_EQ(p.Pixel(54, 78), 0);
    EXPECT_EQ(p.Pixel(30, 54), GridMajorColor ^ GridMinorColor);
    // Lines span the whole picture.
    EXPECT_NE(p.Pixel(30, 0), 0);
    EXPECT_NE(p.Pixel(30, 363), 0);
    EXPECT_NE(p.Pixel(549, 30), 0);

    DrawGridStrokes(p, 30, 30);
    EXPECT_TRUE(p == Picture24(550, 364));
}

TEST(DrawGridStrokes, NoLineAtColumnOrRowZeroWhenTheOriginIsAMultipleOf24) {
    Picture24 p(200, 150);
    DrawGridStrokes(p, 48, 24);
    for (int y = 1; y < 150; ++y)
        if (y % 24 != 0) {
            EXPECT_EQ(p.Pixel(0, y), 0) << y;
        }
    for (int x = 1; x < 200; ++x)
        if (x % 24 != 0) {
            EXPECT_EQ(p.Pixel(x, 0), 0) << x;
        }
    EXPECT_EQ(p.Pixel(24, 5), GridMinorColor);
    EXPECT_EQ(p.Pixel(48, 5), GridMajorColor);
}

}  // namespace
}  // namespace fernweave
