// The canvas's drawing model: the mouse protocol that turns clicks into the
// base triangle and the map triangles, with the rubber band, the outlines and
// the grid drawn by exclusive-or into the canvas picture, so that drawing them
// again removes them. No windowing: the main window translates its mouse
// events into these calls and follows up on what a press did.
#pragma once

#include "fractal_state.h"
#include "picture.h"

namespace fernweave {

// What the window knows at a press: the pen, the Diffuse box, Show Grid,
// Undo Rendering's enabled state, a rendering running on the window's side.
struct TCanvasTools {
    TColor ForeColor = clWhite;
    bool Diffuse = true;
    bool ShowGrid = false;
    bool UndoEnabled = false;
    bool Rendering = false;
};

enum class TCanvasAction { None, Render, Cancelled, Stop };

struct TCanvasResult {
    TCanvasAction Action = TCanvasAction::None;
    bool PointAdded = false;
    int ColorCell = 0;               // the colour-grid cell a new map's colour fills; 0: none
    bool PlacementComplete = false;  // Render: an import's placement triangle is complete
    bool ImportAbandoned = false;    // Cancelled: a waiting import ended too
};

class TCanvasDrawingModel {
public:
    explicit TCanvasDrawingModel(FractalState& state) : state_(state) {}

    // With both buttons held the window asks for the left press first.
    TCanvasResult LeftPress(Picture24& canvas, TPoint at, const TCanvasTools& tools);
    TCanvasResult RightPress(Picture24& canvas, const TCanvasTools& tools);
    // The rubber band follows the mouse. True when it drew.
    bool Move(Picture24& canvas, TPoint to, bool rendering);
    // An imported object placed on `triangle` as three clicks on its points would place it.
    TCanvasResult Place(Picture24& canvas, TTriangle triangle, const TCanvasTools& tools);
    // Outline and grid come off and the object from before the drawing comes back.
    TCanvasResult Cancel(Picture24& canvas, bool showGrid);
    // Outline and grid come off, before the drawing is rendered.
    void EraseDrawing(Picture24& canvas, bool showGrid);

    // Undo Rendering's enabled state at the first point; a cancel gives it
    // back to Undo and the opposite to Redo.
    bool FUndoWasEnabled = false;
    TPoint GridOrigin{};      // the first point of the drawing
    TPoint RubberBandEnd{};   // where the band was last drawn
    int MovesSinceClick = 0;  // since the last accepted left click

private:
    FractalState& state_;
};

}  // namespace fernweave
