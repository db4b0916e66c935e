// The object editor as the main window hosts it: Edit Object opens the dialog
// on the current object, and Render renders the edited triangles as a drawing.
#include <QAction>

#include "canvas_image.h"
#include "main_window.h"
#include "object_editor_dialog.h"
#include "render_control.h"

namespace fernweave {

Picture24 TfrmMain::EditorBackground() const {
    if (!FCanvasIsRendering || state_.UndoBitmap.Empty()) return imgPaint->Picture();
    // What Undo would show: the picture from before the rendering, on the current background colour.
    Picture24 earlier = state_.UndoBitmap;
    if (!state_.PictureLoaded) fernweave::RepaintBackground(state_.UndoPaintedBits, earlier, BackColor);
    return earlier;
}

void TfrmMain::mnuEditObjectClick() {
    AbandonImport();
    if (!IsIdle()) return;
    const TIfsObject opened = state_.CurrentObject();
    TfrmEditObject dialog(opened, std::make_shared<const Picture24>(EditorBackground()), this);
    dialog.ChooseColor = [this, &dialog](TColor initial) {
        std::optional<TColor> result;
        Guard([&] {
            if (const auto chosen = dialogs_.ChooseColor(&dialog, QColor(RedOf(initial), GreenOf(initial), BlueOf(initial))))
                result = MakeColor(chosen->red(), chosen->green(), chosen->blue());
        });
        return result;
    };
    if (dialog.exec() != QDialog::Accepted || !dialog.Model().CanRender()) return;
    RenderEditedObject(dialog.EditedObject(), opened);
}

void TfrmMain::RenderEditedObject(const TEditObject& edited, const TIfsObject& opened) {
    if (!IsIdle() || edited.Maps.empty()) return;
    const bool refining = FCanvasIsRendering && !state_.UndoBitmap.Empty();
    if (refining) {
        // The rendering being refined goes into the undo slot as it is, and the
        // picture from before it comes back to be rendered on: Undo's exchange.
        ++FCanvasGeneration;
        SwapWithUndoSlot(state_, Canvas());
        if (!state_.PictureLoaded) fernweave::RepaintBackground(state_, Canvas(), BackColor);
        imgPaint->PictureChanged();
        std::swap(FSaved, FUndoSaved);
    }
    state_.SetSavedObject(opened);
    LoadDrawing(state_, edited);
    StartRendering(refining ? TRenderStart::EditorRefining : TRenderStart::Editor);
    UpdateCommands();
}

}  // namespace fernweave
