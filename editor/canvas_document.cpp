#include "canvas_document.h"

#include <cstring>
#include <utility>

namespace fernweave {

namespace {

// Bits 0 to the size of `to` take the values of `from`.
void CopyBits(const BitSet& from, BitSet& to) {
    for (std::size_t i = 0; i < to.Size(); ++i) to.Assign(i, from.Test(i));
}

// The picture in `background`, keeping only the pixels whose bit is set;
// pixels beyond the bit set count as not painted.
void RepaintBehind(const BitSet& painted, Picture24& picture, TColor background) {
    Picture24 fresh(picture.Width(), picture.Height(), background);
    const std::size_t W = static_cast<std::size_t>(picture.Width());
    const std::size_t size = painted.Size();
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            const std::size_t bit = static_cast<std::size_t>(y) * W + static_cast<std::size_t>(x);
            if (bit < size && painted.Test(bit))
                std::memcpy(fresh.Row(y) + 3 * static_cast<std::size_t>(x), picture.Row(y) + 3 * static_cast<std::size_t>(x), 3);
        }
    }
    picture = std::move(fresh);
}

}  // namespace

void TCanvasDocument::Saved(std::uint64_t changes) {
    if (changes == FChanges) FSaved = true;
}

void TCanvasDocument::ReplacePicture(Picture24 picture, TResolution resolution) {
    ++FChanges;
    FPicture = std::move(picture);
    FShowsRendering = false;
    Resolution = resolution;
    FSaved = true;
}

void TCanvasDocument::NewPicture(Picture24 picture, TResolution resolution) {
    ReplacePicture(std::move(picture), resolution);
    // No undo, fresh bits, no loaded picture, no object.
    FState.UndoBitmap.Clear();
    FState.ChainBitmap.Clear();
    FState.ResetPaintedBits(static_cast<std::size_t>(FPicture.Width()) * static_cast<std::size_t>(FPicture.Height()));
    FState.PictureLoaded = false;
    FState.MapCount = 0;
    FUndo = TUndoSide::None;
}

void TCanvasDocument::LoadPicture(Picture24 picture, TResolution resolution) {
    ReplacePicture(std::move(picture), resolution);
    FState.PictureLoaded = true;
}

void TCanvasDocument::Clear(TColor background) {
    FPicture.Fill(background);
    NewPicture(std::move(FPicture), Resolution);
}

void TCanvasDocument::BeginRendering(bool takeSnapshot) {
    ++FChanges;
    if (takeSnapshot) {
        // The picture as it is just before the rendering, its bits and the
        // object that made it (the one saved when the drawing began); they
        // are also the start of the rendering chain.
        FState.UndoBitmap = FPicture;
        CopyBits(FState.PaintedBits, FState.UndoPaintedBits);
        FState.CopySavedObjectToUndo();
        FState.ChainBitmap = FPicture;
        FState.ChainPaintedBits = FState.PaintedBits;
        FUndoSaved = FSaved;
    }
    FUndo = TUndoSide::None;
    FSaved = false;
}

bool TCanvasDocument::BeginRefinement(TColor background) {
    if (!CanRefine()) return false;
    ++FChanges;
    FState.UndoBitmap = std::move(FPicture);
    CopyBits(FState.PaintedBits, FState.UndoPaintedBits);
    FState.UndoMapCount = FState.MapCount;
    FState.UndoBaseTriangle = FState.BaseTriangle;
    FState.UndoMaps = FState.Maps;
    FPicture = FState.ChainBitmap;
    FState.PaintedBits = FState.ChainPaintedBits;
    if (!FState.PictureLoaded) RepaintBehind(FState.PaintedBits, FPicture, background);
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
    std::swap(FPicture, FState.UndoBitmap);
    for (std::size_t i = 0; i < FState.UndoPaintedBits.Size(); ++i) {
        const bool current = FState.PaintedBits.Test(i);
        FState.PaintedBits.Assign(i, FState.UndoPaintedBits.Test(i));
        FState.UndoPaintedBits.Assign(i, current);
    }
    FState.SwapObjectWithUndo();
    if (!FState.PictureLoaded) RepaintBehind(FState.PaintedBits, FPicture, background);
    std::swap(FSaved, FUndoSaved);
    // Redo brings a rendering back as it was made; Undo shows the picture from before it.
    FShowsRendering = !undoWasOffered;
    FUndo = undoWasOffered ? TUndoSide::Redo : TUndoSide::Undo;
}

void TCanvasDocument::RestoreUndo(bool undoWasEnabled) { FUndo = undoWasEnabled ? TUndoSide::Undo : TUndoSide::Redo; }

void TCanvasDocument::RepaintBackground(TColor background) {
    ++FChanges;
    RepaintBehind(FState.PaintedBits, FPicture, background);
}

bool TCanvasDocument::CanRefine() const {
    return FShowsRendering && !FState.ChainBitmap.Empty() && FState.ChainBitmap.Width() == FPicture.Width() &&
           FState.ChainBitmap.Height() == FPicture.Height();
}

Picture24 TCanvasDocument::RenderingBackground(TColor background) const {
    if (!CanRefine()) return FPicture;
    Picture24 start = FState.ChainBitmap;
    if (!FState.PictureLoaded) RepaintBehind(FState.ChainPaintedBits, start, background);
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
