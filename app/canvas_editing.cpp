// Drawing on the canvas: the mouse protocol that turns clicks into the base
// triangle and the map triangles, with the rubber band and the outlines drawn
// by exclusive-or, so that drawing them again removes them.
#include <QAction>
#include <QCheckBox>
#include <QLabel>

#include "canvas_image.h"
#include "main_window.h"
#include "strokes.h"

namespace fernweave {

void TfrmMain::imgPaintMouseDown(Qt::MouseButtons held, int X, int Y) {
    if ((held & Qt::LeftButton) && !RenderActive()) {
        if (FState.PointCount < MaxPoints) {
            // The band must end where the click falls: it stays as the outline,
            // and the outline is later removed with the clicked points.
            if (FState.PointCount > 0) MoveRubberBand(X, Y);
            MovesSinceClick = 0;
            if (FState.PointCount == 0) {
                FState.BeginDrawing();
                GridOrigin = {X, Y};
                if (mnuViewShow->isChecked()) DrawGrid(X, Y);
                FUndoWasEnabled = FDocument.UndoOffered();
            }
            const bool mapCreated = FState.AddPoint(X, Y, ForeColor, cbDiffuse->isChecked());
            UpdateCommands();
            if (mapCreated) FillColorCell(FState.RecordMapColor());
        }
        if (FState.PointCount == MaxPoints) {
            StartRendering();
            UpdateCommands();
        } else if (FState.PointCount == 3 && FState.ObjectImported) {
            // The placement triangle of an imported object is complete.
            FAutoHint = true;
            SetHintPanel("");
            StartRendering();
            UpdateCommands();
        }
        imgPaint->update();
    }
    if (held & Qt::RightButton) {
        if (RenderActive()) {
            mnuRenderStopClick();
        } else if (FState.PointCount > 0) {
            if (FState.CanStartRendering()) {
                StartRendering();
                UpdateCommands();
            } else {
                // The band on the screen becomes an outline stroke and goes with
                // the rest. No band is drawn before the first move after a click.
                if (MovesSinceClick > 0) FState.AppendRubberBandPoint(RubberBandEnd, ForeColor);
                CancelDrawingOnCanvas();
            }
        }
    }
}

void TfrmMain::imgPaintMouseMove(int X, int Y) {
    StatusPanels[5]->setText(QString::asprintf("(%d,%d)", X, Y));
    imgPaint->setAccessibleDescription(QString("%1 by %2 pixels; pointer at %3, %4")
                                           .arg(imgPaint->width()).arg(imgPaint->height()).arg(X).arg(Y));
    if (FState.PointCount == 0 || RenderActive()) return;
    MoveRubberBand(X, Y);
}

void TfrmMain::MoveRubberBand(int X, int Y) {
    ++MovesSinceClick;
    Picture24& canvas = Canvas();
    const TColor pen = FState.PenColors[FState.PointCount];
    const TPoint to{X, Y};
    if (MovesSinceClick == 1) {
        RubberBandEnd = to;
        DrawRubberBand(canvas, FState, RubberBandEnd, pen);
    } else if (!(to == RubberBandEnd)) {
        DrawRubberBand(canvas, FState, RubberBandEnd, pen);
        RubberBandEnd = to;
        DrawRubberBand(canvas, FState, RubberBandEnd, pen);
    } else {
        return;
    }
    imgPaint->update();
}

void TfrmMain::DrawGrid(int originX, int originY) {
    DrawGridStrokes(Canvas(), originX, originY);
    imgPaint->update();
}

}  // namespace fernweave
