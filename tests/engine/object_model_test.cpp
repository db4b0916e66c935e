#include <gtest/gtest.h>

#include <stdexcept>

#include "fractal_state.h"

namespace fernweave {
namespace {

TIfsMap Marked(int k) {
    TIfsMap m;
    m.A = static_cast<float>(k);
    m.Color = k * 3;
    m.Diffuse = static_cast<std::uint8_t>(k % 2);
    m.Padding[0] = static_cast<std::uint8_t>(k);
    return m;
}

// An object with all 120 records filled, also the stale ones beyond MapCount.
void FillObject(FractalState& s, int mapCount) {
    s.MapCount = mapCount;
    s.BaseTriangle = {TPoint{1, 2}, TPoint{3, 4}, TPoint{5, 6}};
    for (int k = 1; k <= MaxMaps; ++k) s.Maps[k] = Marked(k);
}

TEST(Drawing, MapsAreCreatedByEveryThirdPointAfterTheBase) {
    FractalState s;
    FillObject(s, 7);
    s.BeginDrawing();
    EXPECT_EQ(s.MapCount, 0);
    EXPECT_EQ(s.SavedMapCount, 7);
    int created = 0;
    for (int i = 1; i <= 9; ++i) {
        const bool map = s.AddPoint(i, 2 * i, MakeColor(i, 0, 0), i == 6);
        created += map;
        EXPECT_EQ(map, i == 6 || i == 9) << "point " << i;
        EXPECT_EQ(s.MapCount, i < 6 ? 0 : (i < 9 ? 1 : 2));
    }
    EXPECT_EQ(s.Points[9], (TPoint{9, 18}));
    EXPECT_EQ(s.Maps[1].Color, MakeColor(6, 0, 0));
    EXPECT_EQ(s.Maps[1].Diffuse, 1);
    EXPECT_EQ(s.Maps[2].Diffuse, 0);
    // Coefficients are left for the solver.
    EXPECT_EQ(s.Maps[1].A, 1.0f);
}

TEST(Drawing, DrawnMapsHaveZeroPaddingAfterAnImport) {
    FractalState s;
    FillObject(s, 3);  // as an imported file left its records, padding and all
    s.BeginDrawing();
    for (int i = 1; i <= 9; ++i) s.AddPoint(i, i, clWhite, false);
    for (int k = 1; k <= 2; ++k)
        for (const std::uint8_t b : s.Maps[k].Padding) EXPECT_EQ(b, 0) << "map " << k;
}

TEST(Drawing, PointsStopAt363With120Maps) {
    FractalState s;
    s.BeginDrawing();
    for (int i = 1; i <= MaxPoints; ++i) s.AddPoint(i, i, clWhite, true);
    EXPECT_EQ(s.PointCount, 363);
    EXPECT_EQ(s.MapCount, 120);
    EXPECT_TRUE(s.CanStartRendering());
    EXPECT_FALSE(s.AddPoint(1, 1, clWhite, true));
    EXPECT_EQ(s.PointCount, 363);
    EXPECT_EQ(s.MapCount, 120);
}

TEST(Drawing, StartNeedsACompleteMapTriangle) {
    FractalState s;
    s.BeginDrawing();
    for (int i = 1; i <= 7; ++i) {
        s.AddPoint(i, i, clWhite, true);
        EXPECT_EQ(s.CanStartRendering(), i == 6) << i;
    }
}

TEST(Drawing, ColourGridCellsCountDistinctColours) {
    const TColor colors[] = {0xFF, 0xFF, 0xFF00, 0xFF, 0xFF0000};
    const int cells[] = {1, 0, 2, 0, 3};
    FractalState t;
    t.BeginDrawing();
    for (int i = 0; i < 3; ++i) t.AddPoint(i, i, clWhite, true);
    for (int m = 0; m < 5; ++m) {
        for (int i = 0; i < 3; ++i) t.AddPoint(i, i, colors[m], true);
        EXPECT_EQ(t.RecordMapColor(), cells[m]) << "map " << m + 1;
    }
    EXPECT_EQ(t.UsedColorCount, 3);
}

TEST(Drawing, CancelRestoresTheWholePreviousObject) {
    FractalState s;
    FillObject(s, 5);
    const TIfsObject before = s.CurrentObject();
    s.BeginDrawing();
    for (int i = 1; i <= 8; ++i) s.AddPoint(100 + i, i, 0x123456, false);
    s.RecordMapColor();
    s.AppendRubberBandPoint({7, 7}, 0x654321);
    EXPECT_EQ(s.PointCount, 9);
    EXPECT_EQ(s.Maps[2].Color, 0x654321);  // the unfinished triangle's slot takes the band colour
    EXPECT_FALSE(s.CancelDrawing());
    EXPECT_EQ(s.PointCount, 0);
    EXPECT_EQ(s.UsedColorCount, 0);
    EXPECT_TRUE(s.CurrentObject() == before);
}

TEST(Drawing, RubberBandPointOfTheBaseTakesNoMapSlot) {
    FractalState s;
    FillObject(s, 2);
    s.BeginDrawing();
    s.AddPoint(1, 1, clWhite, true);
    s.AppendRubberBandPoint({2, 2}, 0x111111);
    EXPECT_EQ(s.PointCount, 2);
    for (int k = 1; k <= MaxMaps; ++k) EXPECT_EQ(s.Maps[k].Color, Marked(k).Color);
    // The fourth point starts the first map triangle.
    s.AddPoint(3, 3, clWhite, true);
    s.AppendRubberBandPoint({4, 4}, 0x222222);
    EXPECT_EQ(s.Maps[1].Color, 0x222222);
}

TEST(Drawing, PlacementKeepsTheImportedObjectAndCancelBringsBackTheOneBefore) {
    FractalState s;
    FillObject(s, 3);
    const TIfsObject previous = s.CurrentObject();
    // What a successful import does.
    s.SaveObject();
    TIfsObject imported = previous;
    imported.MapCount = 9;
    imported.Maps[1].A = 42;
    s.SetObject(imported);
    s.ObjectImported = true;

    s.BeginDrawing();
    EXPECT_EQ(s.MapCount, 9);
    s.AddPoint(1, 1, clWhite, true);
    s.AddPoint(2, 2, clWhite, true);
    EXPECT_TRUE(s.CurrentObject() == imported);
    EXPECT_TRUE(s.CancelDrawing());
    EXPECT_FALSE(s.ObjectImported);
    EXPECT_TRUE(s.CurrentObject() == previous);
}

TEST(UndoSlot, SavedObjectGoesToTheSlotAndSwapsBack) {
    FractalState s;
    FillObject(s, 4);
    const TIfsObject older = s.CurrentObject();
    s.BeginDrawing();
    for (int i = 1; i <= 6; ++i) s.AddPoint(i, i, 0xABCDEF, true);
    const TIfsObject drawn = s.CurrentObject();
    s.CopySavedObjectToUndo();
    s.SwapObjectWithUndo();
    EXPECT_TRUE(s.CurrentObject() == older);
    s.SwapObjectWithUndo();
    EXPECT_TRUE(s.CurrentObject() == drawn);
    EXPECT_EQ(s.UndoMapCount, 4);
    EXPECT_EQ(s.UndoMaps[120].Color, Marked(120).Color);
}

TEST(BitSet, ReadingBeyondTheSizeIsAnErrorAndSettingGrows) {
    BitSet bits(10);
    EXPECT_FALSE(bits.Test(9));
    EXPECT_THROW(bits.Test(10), std::out_of_range);
    bits.Set(200);
    EXPECT_EQ(bits.Size(), 201u);
    EXPECT_TRUE(bits.Test(200));
    EXPECT_FALSE(bits.Test(199));
    bits.Clear(500);
    EXPECT_EQ(bits.Size(), 501u);
    EXPECT_FALSE(bits.Test(500));
    bits.Resize(64);
    EXPECT_EQ(bits.Size(), 64u);
    EXPECT_THROW(bits.Test(200), std::out_of_range);
    // Bits beyond a shrunken size come back clear when it grows again.
    bits.Set(63);
    bits.GrowTo(300);
    EXPECT_FALSE(bits.Test(200));
    EXPECT_TRUE(bits.Test(63));
}

TEST(BitSet, EqualityLooksAtSizeAndBits) {
    BitSet a(100), b(100);
    a.Set(5);
    EXPECT_FALSE(a == b);
    b.Set(5);
    EXPECT_TRUE(a == b);
    b.Reserve(10000);
    EXPECT_TRUE(a == b);
    b.GrowTo(101);
    EXPECT_FALSE(a == b);
}

}  // namespace
}  // namespace fernweave
