#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "object_edit_model.h"
#include "object_file.h"
#include "preview_renderer.h"
#include "canvas_document.h"
#include "renderer.h"
#include "solver.h"

namespace fernweave {
namespace {

// A fern-like drawing: base and three maps, as clicked.
TDrawing Drawing() {
    TDrawing o;
    o.Base = {TPoint{100, 300}, TPoint{300, 300}, TPoint{200, 100}};
    o.Maps = {{{TPoint{110, 290}, TPoint{290, 280}, TPoint{205, 120}}, MakeColor(0, 200, 0), true},
              {{TPoint{150, 300}, TPoint{200, 250}, TPoint{120, 220}}, MakeColor(200, 0, 0), false},
              {{TPoint{250, 300}, TPoint{200, 250}, TPoint{280, 220}}, MakeColor(0, 0, 200), true}};
    return o;
}

// The object a rendering of the drawing leaves behind: solved maps and probabilities.
TIfsObject Rendered(const TDrawing& drawing) {
    auto s = std::make_unique<FractalState>();
    LoadDrawing(*s, drawing);
    PrepareRendering(*s);
    return s->CurrentObject();
}

TEST(ObjectEditModel, TrianglesRebuiltFromADrawnObjectAreTheClickedPoints) {
    const TDrawing drawing = Drawing();
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
    const TDrawing t = TrianglesOfObject(object);
    ASSERT_EQ(t.Maps.size(), 3u);
    for (const TDrawnMap& m : t.Maps)
        for (const TPoint& v : m.Triangle) {
            EXPECT_LE(std::abs(v.x), DrawingCoordinateLimit);
            EXPECT_LE(std::abs(v.y), DrawingCoordinateLimit);
        }
    EXPECT_EQ(t.Maps[1].Triangle[0].x, DrawingCoordinateLimit);
    EXPECT_TRUE(StoredChancesDiffer(object, t));  // solved again from the clamped triangles
}

TEST(ObjectEditModel, DraggingAVertexMovesExactlyThatVertexByWholePixels) {
    TObjectEditModel m(Drawing());
    // 4 pixels off vertex 2 of map 1: within the grab distance.
    ASSERT_TRUE(m.BeginDrag({294, 282}, GrabDistance));
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{1, 1}));
    EXPECT_TRUE(m.DragTo({304.6, 271.5}));
    m.EndDrag();
    TDrawing expected = Drawing();
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
    TDrawing o;
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
    TDrawing o = Drawing();
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
    const TDrawing last = m.Object();
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

// A press and a release at p without moving: what a click does in the dialog.
void ClickAt(TObjectEditModel& m, TEditPoint p) {
    m.BeginDrag(p, GrabDistance);
    m.EndPress();
}

TEST(ObjectEditModel, APressDragsWhatIsHighlightedAndOnlyAStillClickStepsOn) {
    TDrawing o = Drawing();
    o.Maps[1].Triangle[0] = o.Base[0];  // map 2 shares base vertex 1
    TObjectEditModel m(o);
    ClickAt(m, {101, 301});
    ASSERT_EQ(m.Selected(), (TObjectEditModel::Selection{2, 0}));
    // A drag from the same spot moves the highlighted vertex, not the next one there.
    ASSERT_TRUE(m.BeginDrag({101, 301}, GrabDistance));
    m.DragTo({91, 311});
    m.EndPress();
    EXPECT_EQ(m.Object().Maps[1].Triangle[0], (TPoint{90, 310}));
    EXPECT_EQ(m.Object().Base, o.Base);
    m.Undo();
    // Still clicks go through what lies there, and come round.
    ClickAt(m, {101, 301});
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{0, 0}));
    ClickAt(m, {101, 301});
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{2, 0}));

    // Inside a selected map (within the base too), a drag moves the map.
    ClickAt(m, {200, 200});
    ASSERT_EQ(m.Selected(), (TObjectEditModel::Selection{1, -1}));
    ASSERT_TRUE(m.BeginDrag({200, 200}, GrabDistance));
    m.DragTo({203, 200});
    m.EndPress();
    EXPECT_EQ(m.Object().Maps[0].Triangle[0], (TPoint{113, 290}));
    EXPECT_EQ(m.Object().Base, o.Base);
    // On a vertex of the selected map, that vertex.
    ASSERT_TRUE(m.BeginDrag({208, 121}, GrabDistance));
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{1, 2}));
}

// Renders `drawing` on `canvas` as the window does: solved maps, then the loop.
void RenderOn(FractalState& s, Picture24& canvas, const TDrawing& drawing) {
    LoadDrawing(s, drawing);
    RenderObject(s, canvas, {}, 100000);
}

bool HasColor(const Picture24& p, TColor c) {
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x)
            if (p.Pixel(x, y) == c) return true;
    return false;
}

TEST(ObjectEditModel, EveryRefinementIsRenderedOnThePictureItsChainStartedFrom) {
    auto s = std::make_unique<FractalState>();
    TCanvasDocument document(*s);
    document.NewPicture(Picture24(400, 320, clBlack), {});
    Picture24& canvas = document.Picture();
    TDrawing drawing = Drawing();
    for (TDrawnMap& map : drawing.Maps) map.Color = clWhite;
    document.BeginRendering(true);
    RenderOn(*s, canvas, drawing);
    document.RenderEnded();
    ASSERT_TRUE(HasColor(canvas, clWhite));

    Picture24 previous = canvas;
    const TColor colors[] = {MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 255)};
    for (int refinement = 0; refinement < 3; ++refinement) {
        for (std::size_t k = 0; k < 3; ++k) drawing.Maps[k].Color = colors[(k + refinement) % 3];
        drawing.Maps[0].Triangle[2].x += 3;
        ASSERT_TRUE(document.BeginRefinement(clBlack));
        EXPECT_TRUE(canvas == Picture24(400, 320, clBlack));
        document.BeginRendering(false);
        RenderOn(*s, canvas, drawing);
        document.RenderEnded();
        EXPECT_FALSE(HasColor(canvas, clWhite)) << "refinement " << refinement;
        EXPECT_TRUE(s->UndoBitmap == previous);  // Undo shows the refinement before
        previous = canvas;
    }
    document.Clear(clBlack);
    EXPECT_FALSE(document.BeginRefinement(clBlack));
}

TEST(ObjectEditModel, RenderWaitsForASolvableBaseAndAMapWithArea) {
    TObjectEditModel m(Drawing());
    EXPECT_EQ(m.RenderBlock(), TRenderBlock::None);
    m.Select({0, 1});
    m.SetSelectedVertex({0, 300});  // base vertex 2 in column 0
    EXPECT_EQ(m.RenderBlock(), TRenderBlock::BaseUnsolvable);
    m.Undo();
    for (int k = 1; k <= 3; ++k) {
        m.Select({k, 2});
        m.SetSelectedVertex(m.TriangleOf(k)[0]);  // flat
        EXPECT_FALSE(m.HasArea(k));
    }
    EXPECT_EQ(m.RenderBlock(), TRenderBlock::NoArea);
    EXPECT_FALSE(m.CanRender());
    EXPECT_EQ(m.Shares()[0], 0);
}

TEST(ObjectEditModel, DeleteSelectsTheNextMapAndModifiedFollowsUndo) {
    TObjectEditModel m(Drawing());
    EXPECT_FALSE(m.Modified());
    m.Select({2, 1});
    ASSERT_TRUE(m.DeleteMap());
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{2, -1}));  // the former map 3
    EXPECT_TRUE(m.Modified());
    ASSERT_TRUE(m.DeleteMap());
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{1, -1}));  // the last one left
    m.Undo();
    m.Undo();
    EXPECT_FALSE(m.Modified());
}

TEST(ObjectEditModel, RotatingNearTheCentreUsesTheMinimumLeverAndStepsSnap) {
    TDrawing o;
    o.Base = {TPoint{10, 10}, TPoint{100, 10}, TPoint{10, 100}};
    o.Maps = {{{TPoint{270, 270}, TPoint{360, 270}, TPoint{270, 360}}, clWhite, true}};  // centre (300, 300)
    TObjectEditModel m(o);
    // 2 px right of the centre, then 30 px down: a lever of 20 px turns about 56 degrees, not 86.
    ASSERT_TRUE(m.BeginDrag({302, 300}, GrabDistance, TDragKind::Rotate));
    m.DragTo({302, 330});
    const TTriangle& t = m.Object().Maps[0].Triangle;
    const double turned = std::atan2(t[1].y - t[0].y, t[1].x - t[0].x) * 180 / 3.141592653589793;
    EXPECT_NEAR(turned, std::atan2(30.0, 20.0) * 180 / 3.141592653589793, 1.0);
    m.DragTo({302, 330}, true);  // in 15 degree steps: 60
    EXPECT_NEAR(std::atan2(t[1].y - t[0].y, t[1].x - t[0].x) * 180 / 3.141592653589793, 60, 0.5);
    m.EndPress();
    m.Undo();
    // Scaling from 1 px off the centre: 10.4 px out of a 20 px lever is 152 %, in steps of 5 % 150 %.
    ASSERT_TRUE(m.BeginDrag({301, 300}, GrabDistance, TDragKind::Scale));
    m.DragTo({311.4, 300});
    EXPECT_EQ(m.Object().Maps[0].Triangle[1], (TPoint{391, 254}));
    m.DragTo({311.4, 300}, true);
    EXPECT_EQ(m.Object().Maps[0].Triangle[1], (TPoint{390, 255}));
}

TEST(ObjectEditModel, VerticesSnapToOtherVerticesAndCoincidingOnesAreGrouped) {
    const TDrawing o = Drawing();
    TObjectEditModel m(o);
    // Vertex 1 of map 3 dragged to 5 px off base vertex 2: it lands on it.
    ASSERT_TRUE(m.BeginDrag({250, 300}, GrabDistance));
    ASSERT_EQ(m.Selected(), (TObjectEditModel::Selection{3, 0}));
    m.DragTo({296, 297});
    EXPECT_EQ(m.Object().Maps[2].Triangle[0], o.Base[1]);
    m.EndPress();
    // Map 2 moved with its vertex 1 to 4 px off base vertex 1: there only with snapping.
    m.SnapToVertices = false;
    ASSERT_TRUE(m.BeginDrag({157, 257}, GrabDistance));
    ASSERT_EQ(m.Selected(), (TObjectEditModel::Selection{2, -1}));
    m.DragTo({110, 260});
    EXPECT_EQ(m.Object().Maps[1].Triangle[0], (TPoint{103, 303}));
    m.EndPress();
    m.Undo();
    m.SnapToVertices = true;
    ASSERT_TRUE(m.BeginDrag({157, 257}, GrabDistance));
    m.DragTo({110, 260});
    EXPECT_EQ(m.Object().Maps[1].Triangle, (TTriangle{o.Base[0], TPoint{150, 250}, TPoint{70, 220}}));
    m.EndPress();

    // Coinciding vertices: one label each, in list order.
    using Group = std::vector<TObjectEditModel::Selection>;
    std::vector<Group> shared;
    for (const Group& group : m.CoincidingVertices())
        if (group.size() > 1) shared.push_back(group);
    EXPECT_EQ(shared, (std::vector<Group>{{{0, 0}, {2, 0}}, {{0, 1}, {3, 0}}}));
}

TEST(ObjectEditModel, MapsByNumberRoundTripAndQuarterTurnsComeBack) {
    const TMapCoefficients maps[] = {{0.5, 0, 10, 0, 0.5, 20},
                                     {0.3, -0.4, 5, 0.4, 0.3, -7},
                                     {-0.2, 0.7, 1, 0.6, 0.1, 2},
                                     {0, 0.3, 0, -0.5, 0, 0}};
    for (const TMapCoefficients& c : maps) {
        const TMapCoefficients back = MapOfForm(FormOfMap(c));
        for (int i = 0; i < 6; ++i) EXPECT_NEAR(back[static_cast<std::size_t>(i)], c[static_cast<std::size_t>(i)], 1e-12);
    }
    const TMapForm quarter = FormOfMap({0, 1, 0, -1, 0, 0});  // x' = y, y' = -x: counter-clockwise on the screen
    EXPECT_NEAR(quarter.Rotation, 90, 1e-12);
    EXPECT_NEAR(quarter.ScaleX, 1, 1e-12);
    EXPECT_NEAR(quarter.ScaleY, 1, 1e-12);

    TObjectEditModel m(Drawing());
    const auto c = m.Coefficients(2);
    ASSERT_TRUE(c);
    EXPECT_FALSE(m.SetCoefficients(2, *c));  // the triangle it came from: no change
    TMapForm f = FormOfMap(*c);
    f.Rotation += 30;
    ASSERT_TRUE(m.SetForm(2, f));
    EXPECT_NEAR(FormOfMap(*m.Coefficients(2)).Rotation, f.Rotation, 1.0);
    m.Undo();
    EXPECT_EQ(m.Object(), Drawing());  // one step

    m.Select({2, -1});
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(m.RotateSelected(90));
    EXPECT_EQ(m.Object(), Drawing());
    ASSERT_TRUE(m.FlipSelected(true));
    ASSERT_TRUE(m.FlipSelected(true));
    ASSERT_TRUE(m.FlipSelected(false, true));
    EXPECT_EQ(m.Object().Maps[1].Triangle[0], Drawing().Maps[1].Triangle[0]);  // about vertex 1: it stays
    ASSERT_TRUE(m.ScaleSelected(200, true));
    EXPECT_EQ(m.Object().Maps[1].Triangle[1], (TPoint{250, 400}));  // (150,300) + 2 * (50, 50), flipped
}

TEST(ObjectEditModel, CustomChancesSurviveRenderExportAndImport) {
    TObjectEditModel m(Drawing());
    ASSERT_TRUE(m.SetCustomChances(true));
    const std::vector<double> byArea = m.Shares();
    ASSERT_TRUE(m.SetShare(1, 10));
    std::vector<double> shares = m.Shares();
    EXPECT_DOUBLE_EQ(shares[0], 10);
    EXPECT_NEAR(shares[1] / shares[2], byArea[1] / byArea[2], 1e-9);  // the others keep their proportions
    EXPECT_NEAR(shares[0] + shares[1] + shares[2], 100, 1e-9);

    // Rendered: the maps keep these chances.
    auto s = std::make_unique<FractalState>();
    LoadDrawing(*s, m.Object());
    PrepareRendering(*s);
    EXPECT_NEAR(s->Maps[1].Probability, 0.1, 1e-7);
    const TIfsObject rendered = s->CurrentObject();
    // Exported and imported: the editor opens in Custom on the same chances.
    const std::vector<std::uint8_t> file = EncodeObject(rendered);
    const auto imported = DecodeObject(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), {});
    ASSERT_TRUE(imported);
    TObjectEditModel again(TrianglesOfObject(*imported));
    EXPECT_TRUE(again.CustomChances());
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(again.Shares()[k], shares[k], 1e-5);
    // And rendered again, the probabilities are the very ones stored.
    auto s2 = std::make_unique<FractalState>();
    LoadDrawing(*s2, again.Object());
    PrepareRendering(*s2);
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(s2->Maps[k].Probability, rendered.Maps[k].Probability) << k;
    // A drawing that is not custom keeps the areas' chances.
    again.SetCustomChances(false);
    LoadDrawing(*s2, again.Object());
    PrepareRendering(*s2);
    EXPECT_EQ(s2->CurrentObject(), Rendered(Drawing()));
}

TEST(ObjectEditModel, SeveralMapsMoveTurnDeleteAndPasteTogether) {
    const TDrawing o = Drawing();
    TObjectEditModel m(o);
    m.Select({2, -1});
    m.ToggleInSelection(3);
    EXPECT_EQ(m.SelectedTriangles(), (std::vector<int>{2, 3}));
    // A drag inside either moves both, in one step of undo.
    ASSERT_TRUE(m.BeginDrag({157, 257}, GrabDistance));
    m.DragTo({177, 247});
    m.EndPress();
    for (std::size_t k : {1u, 2u})
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(m.Object().Maps[k].Triangle[i], (TPoint{o.Maps[k].Triangle[i].x + 20, o.Maps[k].Triangle[i].y - 10}));
    EXPECT_EQ(m.Object().Maps[0], o.Maps[0]);
    EXPECT_EQ(m.SelectedTriangles(), (std::vector<int>{2, 3}));
    m.Undo();
    EXPECT_EQ(m.Object(), o);
    // Quarter turns about their common centre come back; so does Nudge.
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(m.RotateSelected(90));
    EXPECT_EQ(m.Object(), o);
    ASSERT_TRUE(m.Nudge(-10, 0));
    EXPECT_EQ(m.Object().Maps[2].Triangle[0], (TPoint{240, 300}));

    // Copies: pasted after the list, shifted, and selected.
    const std::vector<TDrawnMap> copies = m.CopyMaps();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(m.PasteMaps(copies), 2);
    EXPECT_EQ(m.MapCount(), 5);
    EXPECT_EQ(m.SelectedTriangles(), (std::vector<int>{4, 5}));
    EXPECT_EQ(m.Object().Maps[3].Color, o.Maps[1].Color);
    // Deleting them selects the next map (none after them: the new last one).
    ASSERT_TRUE(m.DeleteMap());
    EXPECT_EQ(m.MapCount(), 3);
    EXPECT_EQ(m.Selected(), (TObjectEditModel::Selection{3, -1}));

    // A box takes the maps lying wholly within it.
    m.SelectInBox({100, 210}, {300, 305});
    EXPECT_EQ(m.SelectedTriangles(), (std::vector<int>{2, 3}));
    m.ToggleInSelection(3);
    EXPECT_EQ(m.SelectedTriangles(), (std::vector<int>{2}));
    // Paste stops at 120 maps.
    std::vector<TDrawnMap> many(200, o.Maps[0]);
    EXPECT_EQ(m.PasteMaps(many), MaxMaps - 3);
    EXPECT_EQ(m.PasteMaps(many), 0);
}

TEST(ObjectEditModel, AFixedPointIsWhereTheMapKeepsAPoint) {
    TDrawing o;
    o.Base = {TPoint{0, 0}, TPoint{200, 0}, TPoint{0, 200}};
    // Half size towards (40, 60): x' = 0.5 x + 20, y' = 0.5 y + 30.
    o.Maps = {{{TPoint{20, 30}, TPoint{120, 30}, TPoint{20, 130}}, clWhite, true},
              {{TPoint{10, 10}, TPoint{210, 10}, TPoint{10, 210}}, clWhite, true}};  // a pure shift
    TObjectEditModel m(o);
    const auto p = m.FixedPoint(1);
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->x, 40, 1e-9);
    EXPECT_NEAR(p->y, 60, 1e-9);
    EXPECT_FALSE(m.FixedPoint(2));
    EXPECT_FALSE(m.FixedPoint(0));
}

TEST(PreviewRenderer, FramesAreTheHeadlessRenderingAndAChangeStartsAfresh) {
    TPreviewLimits limits;
    limits.MaxSteps = 300000;
    limits.FramePoints = 1;
    TPreviewRenderer preview({}, limits);
    auto background = std::make_shared<const Picture24>(400, 320, MakeColor(10, 20, 30));
    TDrawing other = Drawing();
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
