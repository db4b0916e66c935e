// The object editor as the main window hosts it: Edit Object opens the dialog
// on the current object, and Render renders the edited triangles as a drawing.
#include <QAction>

#include "canvas_image.h"
#include "main_window.h"
#include "object_editor_dialog.h"
#include "render_control.h"

namespace fernweave {

bool TfrmMain::CanRefine() const {
    const Picture24& canvas = imgPaint->Picture();
    return FCanvasIsRendering && !state_.ChainBitmap.Empty() && state_.ChainBitmap.Width() == canvas.Width() &&
           state_.ChainBitmap.Height() == canvas.Height();
}

Picture24 TfrmMain::EditorBackground() const {
    if (!CanRefine()) return imgPaint->Picture();
    // A refinement is drawn on the picture the rendering chain started from, on the current background colour.
    Picture24 start = state_.ChainBitmap;
    if (!state_.PictureLoaded) fernweave::RepaintBackground(state_.ChainPaintedBits, start, BackColor);
    return start;
}

void TfrmMain::mnuEditObjectClick() {
    AbandonImport();
    if (!IsIdle()) return;
    const TIfsObject opened = state_.CurrentObject();
    TfrmEditObject dialog(opened, std::make_shared<const Picture24>(EditorBackground()), this, {},
                          std::make_shared<const Picture24>(imgPaint->Picture()));
    dialog.ConfirmDiscard = [this, &dialog] {
        return dialogs_.Message(&dialog, "Edit Object", "Discard the changes to the object?", TDialogs::Buttons::YesNo,
                                TDialogs::Icon::Warning) == TDialogs::Answer::Yes;
    };
    dialog.ChooseColor = [this, &dialog](TColor initial) { return ChooseProgramColor(&dialog, initial); };
    if (dialog.exec() != QDialog::Accepted || !dialog.Model().CanRender()) return;
    RenderEditedObject(dialog.EditedObject(), opened);
}

void TfrmMain::RenderEditedObject(const TDrawing& edited, const TIfsObject& opened) {
    if (!IsIdle() || edited.Maps.empty()) return;
    const bool refining = CanRefine() && BeginRefinement(state_, Canvas());
    if (refining) {
        // The rendering being refined went into the undo slot as it is, and the
        // picture its chain started from came back to be rendered on.
        ++FCanvasGeneration;
        if (!state_.PictureLoaded) fernweave::RepaintBackground(state_, Canvas(), BackColor);
        imgPaint->PictureChanged();
        FUndoSaved = FSaved;
    }
    state_.SetSavedObject(opened);
    LoadDrawing(state_, edited);
    StartRendering(refining ? TRenderStart::EditorRefining : TRenderStart::Editor);
    UpdateCommands();
}

}  // namespace fernweave
