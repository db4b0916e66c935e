// Drawing on the canvas: the window's side of the canvas's drawing model. The
// mouse events become the model's presses and moves, and the window follows
// up on what they did: commands, the colour grid, hints, renderings.
#include <QAction>
#include <QCheckBox>
#include <QLabel>

#include "canvas_document.h"
#include "canvas_drawing_model.h"
#include "canvas_image.h"
#include "color_panel.h"
#include "main_window.h"

namespace fernweave {

void TfrmMain::imgPaintMouseDown(Qt::MouseButtons held, int X, int Y) {
    if (held & Qt::LeftButton) FollowCanvas(FCanvasModel->LeftPress(Canvas(), {X, Y}, CanvasTools()));
    if (held & Qt::RightButton) FollowCanvas(FCanvasModel->RightPress(Canvas(), CanvasTools()));
}

void TfrmMain::imgPaintMouseMove(int X, int Y) {
    StatusPanels[5]->setText(QString::asprintf("(%d,%d)", X, Y));
    imgPaint->setAccessibleDescription(QString("%1 by %2 pixels; pointer at %3, %4")
                                           .arg(imgPaint->width()).arg(imgPaint->height()).arg(X).arg(Y));
    if (FCanvasModel->Move(Canvas(), {X, Y}, RenderActive())) imgPaint->update();
}

TCanvasTools TfrmMain::CanvasTools() const {
    return {ForeColor, cbDiffuse->isChecked(), mnuViewShow->isChecked(), FDocument->UndoOffered(), RenderActive()};
}

void TfrmMain::FollowCanvas(const TCanvasResult& result) {
    if (result.Action == TCanvasAction::Stop) {
        mnuRenderStopClick();
        return;
    }
    if (result.PointAdded) {
        UpdateCommands();
        FillColorCell(result.ColorCell);
    }
    if (result.PlacementComplete || result.ImportAbandoned) {
        // The import's instruction has served: the hints come back.
        ShowInstruction("");
    }
    if (result.Action == TCanvasAction::Render) StartRendering();
    if (result.Action == TCanvasAction::Cancelled) {
        ResetColorGrid();
        FDocument->RestoreUndo(FCanvasModel->FUndoWasEnabled);
    }
    if (result.Action != TCanvasAction::None) UpdateCommands();
    if (result.PointAdded || result.Action != TCanvasAction::None) imgPaint->update();
}

}  // namespace fernweave
