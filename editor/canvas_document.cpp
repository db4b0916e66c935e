#include "canvas_document.h"

#include <utility>

#include "render_control.h"

namespace fernweave {

void TCanvasDocument::Saved(std::uint64_t changes) {
    if (changes == FChanges) FSaved = true;
}

void TCanvasDocument::NewPicture(Picture24 picture, TResolution resolution) {
    ++FChanges;
    FPicture = std::move(picture);
    ForgetRendering(FState, FPicture);
    FShowsRendering = false;
    FUndo = TUndoSide::None;
    Resolution = resolution;
    FSaved = true;
}

void TCanvasDocument::LoadPicture(Picture24 picture, TResolution resolution) {
    ++FChanges;
    FPicture = std::move(picture);
    FState.PictureLoaded = true;
    FShowsRendering = false;
    Resolution = resolution;
    FSaved = true;
}

void TCanvasDocument::Clear(TColor background) {
    FPicture.Fill(background);
    NewPicture(std::move(FPicture), Resolution);
}

void TCanvasDocument::BeginRendering(bool takeSnapshot) {
    ++FChanges;
    if (takeSnapshot) {
        TakeUndoSnapshot(FState, FPicture);
        FUndoSaved = FSaved;
    }
    FUndo = TUndoSide::None;
    FSaved = false;
}

bool TCanvasDocument::BeginRefinement(TColor background) {
    if (!CanRefine() || !fernweave::BeginRefinement(FState, FPicture)) return false;
    ++FChanges;
    if (!FState.PictureLoaded) fernweave::RepaintBackground(FState, FPicture, background);
    FUndoSaved = FSaved;
    return true;
}

void TCanvasDocument::RenderEnded() {
    FUndo = TUndoSide::Undo;
    FShowsRendering = true;
}

void TCanvasDocument::SwapWithUndoSlot(TColor background) {
    const bool undoWasOffered = UndoOffered();
    ++FChanges;
    fernweave::SwapWithUndoSlot(FState, FPicture);
    if (!FState.PictureLoaded) fernweave::RepaintBackground(FState, FPicture, background);
    std::swap(FSaved, FUndoSaved);
    // Redo brings a rendering back as it was made; Undo shows the picture from before it.
    FShowsRendering = !undoWasOffered;
    FUndo = undoWasOffered ? TUndoSide::Redo : TUndoSide::Undo;
}

void TCanvasDocument::RestoreUndo(bool undoWasEnabled) { FUndo = undoWasEnabled ? TUndoSide::Undo : TUndoSide::Redo; }

void TCanvasDocument::RepaintBackground(TColor background) {
    ++FChanges;
    fernweave::RepaintBackground(FState, FPicture, background);
}

bool TCanvasDocument::CanRefine() const {
    return FShowsRendering && !FState.ChainBitmap.Empty() && FState.ChainBitmap.Width() == FPicture.Width() &&
           FState.ChainBitmap.Height() == FPicture.Height();
}

Picture24 TCanvasDocument::RenderingBackground(TColor background) const {
    if (!CanRefine()) return FPicture;
    Picture24 start = FState.ChainBitmap;
    if (!FState.PictureLoaded) fernweave::RepaintBackground(FState.ChainPaintedBits, start, background);
    return start;
}

TCommandStates CommandStates(const TCanvasDocument& document, bool rendering, bool posterRunning) {
    const FractalState& s = document.State();
    const bool drawing = !rendering && s.PointCount != 0;
    const bool idle = !rendering && !drawing;
    // The commands added beside the original set also wait for an import's placement.
    const bool quiet = idle && !s.ObjectImported;
    const bool undoSlotFull = !s.UndoBitmap.Empty();
    TCommandStates states;
    auto set = [&](TCommand command, bool on) { states.Enabled[static_cast<std::size_t>(command)] = on; };
    set(TCommand::New, idle);
    set(TCommand::Load, idle);
    set(TCommand::Save, idle);
    set(TCommand::Poster, quiet && s.MapCount > 0 && !posterRunning);
    set(TCommand::Export, rendering || (idle && s.MapCount > 0));
    set(TCommand::Import, idle);
    set(TCommand::Print, idle);
    // Once the slot holds a picture, exactly one of the two is offered.
    set(TCommand::Undo, idle && document.UndoOffered());
    set(TCommand::Redo, idle && document.RedoOffered());
    set(TCommand::Clear, idle && (undoSlotFull || s.PictureLoaded));
    set(TCommand::EditObject, quiet);
    set(TCommand::Start, drawing && s.PointCount > 3 && s.PointCount % 3 == 0);
    set(TCommand::Stop, rendering);
    set(TCommand::ShowGrid, !drawing);
    set(TCommand::Diffuse, drawing && s.PointCount >= 3);
    return states;
}

}  // namespace fernweave
