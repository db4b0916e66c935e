#include "canvas_drawing_model.h"

#include "strokes.h"

namespace fernweave {

TCanvasResult TCanvasDrawingModel::LeftPress(Picture24& canvas, TPoint at, const TCanvasTools& tools) {
    TCanvasResult result;
    if (tools.Rendering) return result;
    if (state_.PointCount < MaxPoints) {
        // The band must end where the click falls: it stays as the outline,
        // and the outline is later removed with the clicked points.
        if (state_.PointCount > 0) MoveRubberBand(canvas, at);
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
    if (state_.PointCount == MaxPoints) {
        result.Action = TCanvasAction::Render;
    } else if (state_.PointCount == 3 && state_.ObjectImported) {
        result.Action = TCanvasAction::Render;
        result.PlacementComplete = true;
    }
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

bool TCanvasDrawingModel::Move(Picture24& canvas, TPoint to, bool rendering) {
    if (state_.PointCount == 0 || rendering) return false;
    return MoveRubberBand(canvas, to);
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
    TCanvasResult result{TCanvasAction::Cancelled};
    result.ImportAbandoned = state_.CancelDrawing();
    return result;
}

void TCanvasDrawingModel::EraseDrawing(Picture24& canvas, bool showGrid) {
    DrawObjectOutline(canvas, state_);
    if (showGrid) DrawGridStrokes(canvas, GridOrigin.x, GridOrigin.y);
}

bool TCanvasDrawingModel::MoveRubberBand(Picture24& canvas, TPoint to) {
    ++MovesSinceClick;
    const TColor pen = state_.PenColors[state_.PointCount];
    if (MovesSinceClick == 1) {
        RubberBandEnd = to;
        DrawRubberBand(canvas, state_, RubberBandEnd, pen);
    } else if (!(to == RubberBandEnd)) {
        DrawRubberBand(canvas, state_, RubberBandEnd, pen);
        RubberBandEnd = to;
        DrawRubberBand(canvas, state_, RubberBandEnd, pen);
    } else {
        return false;
    }
    return true;
}

}  // namespace fernweave
