// The canvas's drawing model: the mouse protocol that turns clicks into the
// base triangle and the map triangles, with the rubber band, the outlines and
// the grid drawn by exclusive-or into the canvas picture, so that drawing them
// again removes them. Plain C++, no windowing: the main window translates its
// mouse events into these calls and follows up on what they return.
#pragma once

#include "fractal_state.h"
#include "ifs_types.h"
#include "picture.h"

namespace fernweave {

// What the window knows at a press.
struct TCanvasTools {
    TColor ForeColor = clWhite;
    bool Diffuse = true;      // the Diffuse box
    bool ShowGrid = false;    // the Show Grid command
    bool UndoEnabled = false; // the Undo Rendering command
    bool Rendering = false;   // a rendering runs, on the window's side
};

enum class TCanvasAction {
    None,
    Render,     // the drawing (or the placement triangle) is complete: start the rendering
    Cancelled,  // the drawing ended without rendering; the object from before is back
    Stop,       // stop the rendering
};

// What a press did.
struct TCanvasResult {
    TCanvasAction Action = TCanvasAction::None;
    bool PointAdded = false;
    // A map was made and its colour fills this cell of the colour grid (1-based);
    // 0 when no map was made or an earlier map of the drawing has its colour.
    int ColorCell = 0;
    bool PlacementComplete = false;  // Render: the third point of an import's placement triangle
    bool ImportAbandoned = false;    // Cancelled: a waiting import ended with the drawing
};

class TCanvasDrawingModel {
public:
    explicit TCanvasDrawingModel(FractalState& state) : state_(state) {}

    // A press with the left or the right button held; with both held the
    // window asks for the left press first, then for the right one.
    TCanvasResult LeftPress(Picture24& canvas, TPoint at, const TCanvasTools& tools);
    TCanvasResult RightPress(Picture24& canvas, const TCanvasTools& tools);
    // The mouse moved over the canvas: the rubber band follows. True when it drew.
    bool Move(Picture24& canvas, TPoint to, bool rendering);
    // An imported object placed on `triangle`, as three clicks on its points
    // would place it: the last click's result.
    TCanvasResult Place(Picture24& canvas, TTriangle triangle, const TCanvasTools& tools);

    // Ends a drawing or placement without rendering: outline and grid come off
    // and the object from before comes back.
    TCanvasResult Cancel(Picture24& canvas, bool showGrid);
    // Before a drawing is rendered: its outline and grid come off the canvas.
    void EraseDrawing(Picture24& canvas, bool showGrid);

    // The enabled state of Undo Rendering when the first point of the drawing
    // was clicked; a cancel gives it back to Undo and the opposite to Redo.
    bool FUndoWasEnabled = false;
    TPoint GridOrigin{};      // the first point of the drawing
    TPoint RubberBandEnd{};   // where the band was last drawn
    int MovesSinceClick = 0;  // since the last accepted left click

private:
    // Moves the rubber band to `to`: removes the old band, draws the new one.
    bool MoveRubberBand(Picture24& canvas, TPoint to);

    FractalState& state_;
};

}  // namespace fernweave
