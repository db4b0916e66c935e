#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "object_edit_model.h"
#include "preview_renderer.h"
#include "renderer.h"
#include "solver.h"

namespace fernweave {
namespace {

// A fern-like drawing: base and three maps, as clicked.
TEditObject Drawing() {
    TEditObject o;
    o.Base = {TPoint{100, 300}, TPoint{300, 300}, TPoint{200, 100}};
    o.Maps = {{{TPoint{110, 290}, TPoint{290, 280}, TPoint{205, 120}}, MakeColor(0, 200, 0), true},
              {{TPoint{150, 300}, TPoint{200, 250}, TPoint{120, 220}}, MakeColor(200, 0, 0), false},
              {{TPoint{250, 300}, TPoint{200, 250}, TPoint{280, 220}}, MakeColor(0, 0, 200), true}};
    return o;
}

// The object a rendering of the drawing leaves behind: solved maps and probabilities.
TIfsObject Rendered(const TEditObject& drawing) {
    auto s = std::make_unique<FractalState>();
    LoadDrawing(*s, drawing);
    PrepareRendering(*s);
    return s->CurrentObject();
}

TEST(ObjectEditModel, TrianglesRebuiltFromADrawnObjectAreTheClickedPoints) {
    const TEditObject drawing = Drawing();
    const TIfsObject object = Rendered(drawing);
    EXPECT_EQ(TrianglesOfObject(object), drawing);
    EXPECT_FALSE(StoredChancesDiffer(object, drawing));
    TIfsObject imported = object;  // a file whose chances are not the areas'
    imported.Maps[1].Probability = 0.9f;
    EXPECT_TRUE(StoredChancesDiffer(imported, drawing));
}

TEST(ObjectEditModel, AnImportedObjectWithWildNumbersOpensOnSaneTriangles) {
    TIfsObject object = Rendered(Drawing());
    object.Maps[1].A = std::numeric_limits<float>::quiet_NaN();
    object.Maps[2].C = 1e30f;
    object.Maps[3].E = -std::numeric_limits<float>::infinity();
    const TEditObject t = TrianglesOfObject(object);
    ASSERT_EQ(t.Maps.size(), 3u);
    for (const TEditMap& m : t.Maps)
        for (const TPoint& v : m.Triangle) {
            EXPECT_LE(std::abs(v.x), EditCoordinateLimit);
            EXPECT_LE(std::abs(v.y), EditCoordinateLimit);
        }
    EXPECT_EQ(t.Maps[1].Triangle[0].x, EditCoordinateLimit);
    EXPECT_TRUE(StoredChancesDiffer(object, t));  // solved again from the clamped triangles
}

TEST(ObjectEditModel, DraggingAVertexMovesExactlyThatVertexByWholePixels) {
    TObjectEditModel m(Drawing());
    // 4 pixels off vertex 2 of map 1: within the grab distance.
    ASSERT_TRUE(m.BeginDrag({294, 282}, GrabDistance));
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{1, 1}));
    EXPECT_TRUE(m.DragTo({304.6, 271.5}));
    m.EndDrag();
    TEditObject expected = Drawing();
    expected.Maps[0].Triangle[1] = {301, 270};  // +10.6 and -10.5 from the vertex: halves go to even
    EXPECT_EQ(m.Object(), expected);

    // Dragging inside a triangle moves all of it; the base moves alone.
    ASSERT_TRUE(m.BeginDrag({130, 295}, GrabDistance));
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{0, -1}));
    m.DragTo({135, 290});
    EXPECT_EQ(m.Object().Base, (TTriangle{TPoint{105, 295}, TPoint{305, 295}, TPoint{205, 95}}));
    EXPECT_EQ(m.Object().Maps, expected.Maps);
}

TEST(ObjectEditModel, RotateAndScaleWorkFromTheDragsStartWithoutDrift) {
    TEditObject o;
    o.Base = {TPoint{10, 10}, TPoint{100, 10}, TPoint{10, 100}};
    o.Maps = {{{TPoint{300, 300}, TPoint{330, 300}, TPoint{300, 330}}, clWhite, true}};  // centre (310, 310)
    TObjectEditModel m(o);
    ASSERT_TRUE(m.BeginDrag({315, 310}, 1, TDragKind::Rotate));
    for (int i = 0; i < 50; ++i) m.DragTo({310 + 5 * std::cos(i * 0.1), 310 + 5 * std::sin(i * 0.1)});
    m.DragTo({310, 315});  // a quarter turn
    EXPECT_EQ(m.Object().Maps[0].Triangle, (TTriangle{TPoint{320, 300}, TPoint{320, 330}, TPoint{290, 300}}));
    m.DragTo({315, 310});  // back where the drag began: exactly the start
    EXPECT_EQ(m.Object(), o);
    m.EndDrag();

    ASSERT_TRUE(m.BeginDrag({315, 310}, 1, TDragKind::Scale));
    m.DragTo({320, 310});  // twice as far from the centre
    EXPECT_EQ(m.Object().Maps[0].Triangle, (TTriangle{TPoint{290, 290}, TPoint{350, 290}, TPoint{290, 350}}));
    m.EndDrag();
    EXPECT_TRUE(m.Undo());
    EXPECT_EQ(m.Object(), o);  // a whole drag is one step of undo
}

TEST(ObjectEditModel, PressesPreferTheSelectedVertexThenTheSmallestTriangleAndCycle) {
    TEditObject o = Drawing();
    o.Maps[1].Triangle[0] = o.Base[0];  // map 2 shares base vertex 1
    TObjectEditModel m(o);
    // The last in the list first, unless the selected triangle has a vertex there.
    EXPECT_EQ(m.HitTest({101, 301}, GrabDistance), (TObjectEditModel::Selection{2, 0}));
    m.Select({0, -1});
    EXPECT_EQ(m.HitTest({103, 303}, GrabDistance), (TObjectEditModel::Selection{0, 0}));
    // The same spot again goes through everything under it and comes round.
    EXPECT_EQ(m.HitTest({103, 303}, GrabDistance), (TObjectEditModel::Selection{2, 0}));
    EXPECT_EQ(m.HitTest({103, 303}, GrabDistance), (TObjectEditModel::Selection{0, 0}));
    // Inside several triangles: the smallest first, then the larger ones.
    EXPECT_EQ(m.HitTest({150, 270}, GrabDistance), (TObjectEditModel::Selection{2, -1}));
    EXPECT_EQ(m.HitTest({150, 270}, GrabDistance), (TObjectEditModel::Selection{1, -1}));
    EXPECT_EQ(m.HitTest({150, 270}, GrabDistance), (TObjectEditModel::Selection{0, -1}));
    EXPECT_EQ(m.HitTest({10, 10}, GrabDistance), TObjectEditModel::Selection{});
}

TEST(ObjectEditModel, UndoAndRedoGoThroughEveryChange) {
    TObjectEditModel m(Drawing());
    m.Select({3, 2});
    ASSERT_TRUE(m.Nudge(1, 0));
    ASSERT_TRUE(m.SetSelectedVertex({10, 20}));
    ASSERT_TRUE(m.SetMapColor(1, clWhite));
    ASSERT_TRUE(m.SetMapDiffuse(2, true));
    ASSERT_TRUE(m.DeleteMap());
    const TEditObject last = m.Object();
    int levels = 0;
    while (m.Undo()) ++levels;
    EXPECT_EQ(levels, 5);
    EXPECT_EQ(m.Object(), Drawing());
    while (m.Redo()) --levels;
    EXPECT_EQ(levels, 0);
    EXPECT_EQ(m.Object(), last);
    m.Undo();
    m.Nudge(0, 1);  // a new change forgets what could be redone
    EXPECT_FALSE(m.CanRedo());
}

TEST(ObjectEditModel, AtMost120MapsAndTheNewOnesCanBeGrabbed) {
    TObjectEditModel m(DefaultEditObject(550, 364));
    EXPECT_FALSE(m.CanRender());
    EXPECT_FALSE(m.DuplicateMap());  // nothing selected to duplicate
    ASSERT_TRUE(m.AddMap(clWhite));
    // Half the base's size, shifted off it: none of its vertices on the base's.
    for (const TPoint& v : m.Object().Maps[0].Triangle)
        for (const TPoint& b : m.Object().Base) EXPECT_FALSE(v == b);
    EXPECT_NEAR(double(DoubleArea(m.Object().Maps[0].Triangle)) / double(DoubleArea(m.Object().Base)), 0.25, 0.01);
    while (m.DuplicateMap()) {
    }
    EXPECT_EQ(m.MapCount(), MaxMaps);
    EXPECT_FALSE(m.AddMap(clWhite));
    const std::vector<double> shares = m.Shares();
    EXPECT_NEAR(shares[0], 100.0 / MaxMaps, 1e-9);
}

TEST(ObjectEditModel, SnapNudgeAndBaseWarnings) {
    TObjectEditModel m(Drawing());
    m.Snap = true;  // the grid runs through base vertex 1, (100, 300)
    ASSERT_TRUE(m.BeginDrag({200, 250}, GrabDistance));  // vertex 2 of map 3 (map 2 has one there too)
    m.DragTo({213, 244});
    EXPECT_EQ(m.Object().Maps[2].Triangle[1], (TPoint{220, 252}));
    EXPECT_EQ(m.Object().Maps[1], Drawing().Maps[1]);
    m.EndDrag();
    m.Select({0, 0});
    m.SetSelectedVertex({0, 300});
    EXPECT_TRUE(m.Warnings().ColumnZero);
    m.Nudge(1, 0);
    EXPECT_FALSE(m.Warnings().Any());
    m.Select({0, 2});
    m.SetSelectedVertex({250, 300});
    EXPECT_TRUE(m.Warnings().NoArea);
}

TEST(PreviewRenderer, FramesAreTheHeadlessRenderingAndAChangeStartsAfresh) {
    TPreviewLimits limits;
    limits.MaxSteps = 300000;
    limits.FramePoints = 1;
    TPreviewRenderer preview({}, limits);
    auto background = std::make_shared<const Picture24>(400, 320, MakeColor(10, 20, 30));
    TEditObject other = Drawing();
    other.Maps[0].Triangle[2] = {190, 130};
    preview.Submit(Drawing(), background);
    const std::uint64_t change = preview.Submit(other, background);
    ASSERT_TRUE(preview.WaitFinished(change, std::chrono::seconds(60)));
    Picture24 frame;
    std::uint64_t seen = 0;
    TPreviewFrameInfo info;
    ASSERT_TRUE(preview.TakeFrame(frame, seen, &info));
    EXPECT_EQ(info.Change, change);
    EXPECT_TRUE(info.Finished);
    EXPECT_EQ(info.Steps, limits.MaxSteps);

    // What fernweave-render does with the drawing: a fresh state, the clicks, the loop.
    auto s = std::make_unique<FractalState>();
    LoadDrawing(*s, other);
    Picture24 expected = *background;
    s->ResetPaintedBits(400 * 320);
    RenderObject(*s, expected, {}, limits.MaxSteps);
    EXPECT_TRUE(frame == expected);
}

}  // namespace
}  // namespace fernweave

namespace fernweave {
namespace {

TEST(PreviewRenderer, AGameWithoutChangesRestsAtItsTimeCeiling) {
    TPreviewLimits limits;
    limits.MaxSteps = std::uint64_t{1} << 62;  // only the time can end it
    limits.MaxTime = std::chrono::milliseconds(50);
    TPreviewRenderer preview({}, limits);
    const std::uint64_t change = preview.Submit(Drawing(), std::make_shared<const Picture24>(400, 320));
    ASSERT_TRUE(preview.WaitFinished(change, std::chrono::seconds(60)));
    Picture24 frame;
    std::uint64_t seen = 0;
    TPreviewFrameInfo info;
    ASSERT_TRUE(preview.TakeFrame(frame, seen, &info));
    EXPECT_TRUE(info.Finished);
    EXPECT_GT(info.Steps, 0u);
}

}  // namespace
}  // namespace fernweave
