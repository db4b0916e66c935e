// The object editor as the main window hosts it: Edit Object opens the dialog
// on the current object, and Render renders the edited triangles as a drawing.
#include <QAction>

#include "canvas_document.h"
#include "canvas_image.h"
#include "color_panel.h"
#include "dialogs.h"
#include "main_window.h"
#include "object_editor_dialog.h"
#include "renderer.h"

namespace fernweave {

void TfrmMain::mnuEditObjectClick() {
    AbandonImport();
    if (!IsIdle()) return;
    const TIfsObject opened = FState.CurrentObject();
    TfrmEditObject dialog(opened, std::make_shared<const Picture24>(FDocument->RenderingBackground(BackColor)), this, {},
                          std::make_shared<const Picture24>(Canvas()));
    dialog.ConfirmDiscard = [this, &dialog] {
        return FDialogs.Message(&dialog, "Edit Object", "Discard the changes to the object?", TDialogs::Buttons::YesNo,
                                TDialogs::Icon::Warning) == TDialogs::Answer::Yes;
    };
    dialog.ChooseColor = [this, &dialog](TColor initial) { return ChooseProgramColor(&dialog, initial); };
    if (dialog.exec() != QDialog::Accepted || !dialog.Model().CanRender()) return;
    RenderEditedObject(dialog.EditedObject(), opened);
}

void TfrmMain::RenderEditedObject(const TDrawing& edited, const TIfsObject& opened) {
    if (!IsIdle() || edited.Maps.empty()) return;
    // A refined rendering goes into the undo slot as it is, and the picture
    // its chain started from comes back to be rendered on.
    const bool refining = FDocument->BeginRefinement(BackColor);
    if (refining) imgPaint->PictureChanged();
    FState.SetSavedObject(opened);
    LoadDrawing(FState, edited);
    StartRendering(refining ? TRenderStart::EditorRefining : TRenderStart::Editor);
    UpdateCommands();
}

}  // namespace fernweave
