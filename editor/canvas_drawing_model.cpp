#include "canvas_drawing_model.h"

#include "strokes.h"

namespace fernweave {

TCanvasResult TCanvasDrawingModel::LeftPress(Picture24& canvas, TPoint at, const TCanvasTools& tools) {
    TCanvasResult result;
    if (tools.Rendering) return result;
    if (state_.PointCount < MaxPoints) {
        // The band must end where the click falls: it stays as the outline,
        // and the outline is later removed with the clicked points.
        Move(canvas, at, false);
        MovesSinceClick = 0;
        if (state_.PointCount == 0) {
            state_.BeginDrawing();
            GridOrigin = at;
            if (tools.ShowGrid) DrawGridStrokes(canvas, at.x, at.y);
            FUndoWasEnabled = tools.UndoEnabled;
        }
        result.PointAdded = true;
        if (state_.AddPoint(at.x, at.y, tools.ForeColor, tools.Diffuse)) result.ColorCell = state_.RecordMapColor();
    }
    // The drawing is full, or an import's placement triangle is complete.
    result.PlacementComplete = state_.PointCount == 3 && state_.ObjectImported;
    if (state_.PointCount == MaxPoints || result.PlacementComplete) result.Action = TCanvasAction::Render;
    return result;
}

TCanvasResult TCanvasDrawingModel::RightPress(Picture24& canvas, const TCanvasTools& tools) {
    if (tools.Rendering) return {TCanvasAction::Stop};
    if (state_.PointCount == 0) return {};
    if (state_.CanStartRendering()) return {TCanvasAction::Render};
    // The band on the screen becomes an outline stroke and goes with the
    // rest. No band is drawn before the first move after a click.
    if (MovesSinceClick > 0) state_.AppendRubberBandPoint(RubberBandEnd, tools.ForeColor);
    return Cancel(canvas, tools.ShowGrid);
}

TCanvasResult TCanvasDrawingModel::Place(Picture24& canvas, TTriangle triangle, const TCanvasTools& tools) {
    TCanvasResult result;
    for (const TPoint& p : triangle) {
        Move(canvas, p, tools.Rendering);
        result = LeftPress(canvas, p, tools);
    }
    return result;
}

TCanvasResult TCanvasDrawingModel::Cancel(Picture24& canvas, bool showGrid) {
    EraseDrawing(canvas, showGrid);
    return {TCanvasAction::Cancelled, false, 0, false, state_.CancelDrawing()};
}

void TCanvasDrawingModel::EraseDrawing(Picture24& canvas, bool showGrid) {
    DrawObjectOutline(canvas, state_);
    if (showGrid) DrawGridStrokes(canvas, GridOrigin.x, GridOrigin.y);
}

bool TCanvasDrawingModel::Move(Picture24& canvas, TPoint to, bool rendering) {
    if (state_.PointCount == 0 || rendering) return false;
    ++MovesSinceClick;
    const TColor pen = state_.PenColors[state_.PointCount];
    if (MovesSinceClick > 1) {
        if (to == RubberBandEnd) return false;
        DrawRubberBand(canvas, state_, RubberBandEnd, pen);  // the old band goes
    }
    RubberBandEnd = to;
    DrawRubberBand(canvas, state_, RubberBandEnd, pen);
    return true;
}

}  // namespace fernweave
