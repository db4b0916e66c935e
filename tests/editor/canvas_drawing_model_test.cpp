#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "canvas_drawing_model.h"
#include "strokes.h"

namespace fernweave {
namespace {

// The canvas as the window starts it, with the window's tools at start-up:
// white pen, Diffuse checked, no grid, nothing to undo, no rendering.
class CanvasDrawingModelTest : public ::testing::Test {
protected:
    std::unique_ptr<FractalState> state = std::make_unique<FractalState>();
    Picture24 canvas{550, 364, clBlack};
    TCanvasDrawingModel model{*state};
    TCanvasTools tools;

    bool Move(int x, int y) { return model.Move(canvas, {x, y}, tools.Rendering); }
    TCanvasResult Press(int x, int y) { return model.LeftPress(canvas, {x, y}, tools); }
    TCanvasResult RightPress() { return model.RightPress(canvas, tools); }
    // Wanders over the canvas on the way to the point, then clicks on it, as
    // a hand on a mouse does: the click falls on the last move position.
    TCanvasResult Click(int x, int y) {
        Move((x * 7 + 13) % 500, (y * 3 + 29) % 350);
        Move(x + 1, y);
        Move(x, y);
        return Press(x, y);
    }
};

TEST_F(CanvasDrawingModelTest, CancelRightAfterAClickWithoutMoving) {
    const Picture24 before = canvas;
    Click(100, 100);
    Click(200, 120);
    EXPECT_EQ(RightPress().Action, TCanvasAction::Cancelled);  // no move since the click: no band to remove
    EXPECT_TRUE(canvas == before);
    Click(100, 100);
    Press(300, 200);  // a click away from the last move position
    Move(150, 250);
    EXPECT_EQ(RightPress().Action, TCanvasAction::Cancelled);
    EXPECT_TRUE(canvas == before);
    EXPECT_EQ(state->PointCount, 0);
}

TEST_F(CanvasDrawingModelTest, RubberBandFollowsTheMouse) {
    Click(100, 100);
    EXPECT_TRUE(Move(150, 100));
    EXPECT_EQ(canvas.Pixel(120, 100), clWhite);  // band from the mouse to point 1
    EXPECT_FALSE(Move(150, 100));                // same pixel: nothing drawn
    EXPECT_EQ(canvas.Pixel(120, 100), clWhite);
    EXPECT_TRUE(Move(100, 150));
    EXPECT_EQ(canvas.Pixel(120, 100), clBlack);  // the old band is gone
    EXPECT_EQ(canvas.Pixel(100, 120), clWhite);
}

TEST_F(CanvasDrawingModelTest, Point363StartsTheRenderingWith120Maps) {
    for (int i = 1; i < MaxPoints; ++i)
        ASSERT_EQ(Click(20 + (i * 37) % 500, 20 + (i * 53) % 320).Action, TCanvasAction::None);
    EXPECT_EQ(state->MapCount, 119);
    const TCanvasResult last = Click(250, 150);
    EXPECT_EQ(last.Action, TCanvasAction::Render);
    EXPECT_TRUE(last.PointAdded);
    EXPECT_EQ(state->MapCount, 120);
}

// The placement of an imported object: three clicks on the triangle ask for
// its rendering, and erasing the drawing then leaves the canvas as it was.
TEST_F(CanvasDrawingModelTest, PlaceClicksTheTriangleAndAsksForThePlacementRendering) {
    tools.ShowGrid = true;
    tools.UndoEnabled = true;
    state->BaseTriangle = {TPoint{20, 30}, TPoint{300, 40}, TPoint{60, 330}};
    state->MapCount = 2;
    state->ObjectImported = true;
    const Picture24 before = canvas;
    const TCanvasResult result = model.Place(canvas, state->BaseTriangle, tools);
    EXPECT_EQ(result.Action, TCanvasAction::Render);
    EXPECT_TRUE(result.PlacementComplete && result.PointAdded);
    EXPECT_EQ(state->PointCount, 3);
    EXPECT_EQ(state->MapCount, 2);  // the imported maps stay
    EXPECT_EQ(model.GridOrigin, (TPoint{20, 30}));
    EXPECT_TRUE(model.FUndoWasEnabled);
    EXPECT_FALSE(canvas == before);  // outline and grid
    model.EraseDrawing(canvas, tools.ShowGrid);
    EXPECT_TRUE(canvas == before);
}

// Moves draw the band, each click leaves it behind as outline, the
// foreground colour changes between any two clicks, also in the middle of a
// triangle: the drawing's end (a cancel, or the erasing before its rendering)
// leaves the picture as it was.
TEST(CanvasDrawingModel, TheEndOfADrawingRemovesWhatTheRubberBandLeftBehind) {
    std::mt19937 gen(9);
    const auto any = [&] { return TPoint{static_cast<int>(gen() % 120), static_cast<int>(gen() % 90)}; };
    for (int points : {2, 3, 4, 5, 6, 7, 8, 9, 12, 20}) {
        auto state = std::make_unique<FractalState>();
        TCanvasDrawingModel model(*state);
        Picture24 canvas(120, 90, clBlack);
        TCanvasTools tools;
        for (int i = 0; i < points; ++i) {
            for (int m = 0; m < 4; ++m) model.Move(canvas, any(), false);
            if (gen() % 2) tools.ForeColor = static_cast<TColor>(gen() & 0xFFFFFF);
            const TPoint at = any();
            model.Move(canvas, at, false);
            model.LeftPress(canvas, at, tools);
        }
        model.Move(canvas, any(), false);
        if (model.RightPress(canvas, tools).Action == TCanvasAction::Render) model.EraseDrawing(canvas, false);
        EXPECT_TRUE(canvas == Picture24(120, 90, clBlack)) << points << " points";
    }
}

TEST_F(CanvasDrawingModelTest, GridOutlineAndBandComeOffInAnyOrder) {
    tools.ShowGrid = true;
    const Picture24 before = canvas;
    for (const TPoint p : {TPoint{40, 30}, TPoint{120, 35}, TPoint{60, 90}, TPoint{45, 40}}) {
        Move(p.x, p.y);
        Press(p.x, p.y);
    }
    Move(70, 50);
    EXPECT_EQ(RightPress().Action, TCanvasAction::Cancelled);
    EXPECT_TRUE(canvas == before);
}

}  // namespace
}  // namespace fernweave
