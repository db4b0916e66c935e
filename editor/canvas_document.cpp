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
    if (changes == changes_) FSaved = true;
}

void TCanvasDocument::ReplacePicture(Picture24 picture, TResolution resolution) {
    ++changes_;
    picture_ = std::move(picture);
    showsRendering_ = false;
    Resolution = resolution;
    FSaved = true;
}

void TCanvasDocument::NewPicture(Picture24 picture, TResolution resolution) {
    ReplacePicture(std::move(picture), resolution);
    // No undo, fresh bits, no loaded picture, no object.
    state_.UndoBitmap.Clear();
    state_.ChainBitmap.Clear();
    state_.ResetPaintedBits(static_cast<std::size_t>(picture_.Width()) * static_cast<std::size_t>(picture_.Height()));
    state_.PictureLoaded = false;
    state_.MapCount = 0;
    undo_ = TUndoSide::None;
}

void TCanvasDocument::LoadPicture(Picture24 picture, TResolution resolution) {
    ReplacePicture(std::move(picture), resolution);
    state_.PictureLoaded = true;
}

void TCanvasDocument::Clear(TColor background) {
    picture_.Fill(background);
    NewPicture(std::move(picture_), Resolution);
}

void TCanvasDocument::BeginRendering(bool takeSnapshot) {
    ++changes_;
    if (takeSnapshot) {
        // The picture as it is just before the rendering, its bits and the
        // object that made it (the one saved when the drawing began); they
        // are also the start of the rendering chain.
        state_.UndoBitmap = picture_;
        CopyBits(state_.PaintedBits, state_.UndoPaintedBits);
        state_.CopySavedObjectToUndo();
        state_.ChainBitmap = picture_;
        state_.ChainPaintedBits = state_.PaintedBits;
        FUndoSaved = FSaved;
    }
    undo_ = TUndoSide::None;
    FSaved = false;
}

bool TCanvasDocument::BeginRefinement(TColor background) {
    if (!CanRefine()) return false;
    ++changes_;
    state_.UndoBitmap = std::move(picture_);
    CopyBits(state_.PaintedBits, state_.UndoPaintedBits);
    state_.UndoMapCount = state_.MapCount;
    state_.UndoBaseTriangle = state_.BaseTriangle;
    state_.UndoMaps = state_.Maps;
    picture_ = state_.ChainBitmap;
    state_.PaintedBits = state_.ChainPaintedBits;
    if (!state_.PictureLoaded) RepaintBehind(state_.PaintedBits, picture_, background);
    FUndoSaved = FSaved;
    return true;
}

void TCanvasDocument::RenderEnded() {
    undo_ = TUndoSide::Undo;
    showsRendering_ = true;
}

void TCanvasDocument::SwapWithUndoSlot(TColor background) {
    const bool undoWasOffered = UndoOffered();
    ++changes_;
    std::swap(picture_, state_.UndoBitmap);
    for (std::size_t i = 0; i < state_.UndoPaintedBits.Size(); ++i) {
        const bool current = state_.PaintedBits.Test(i);
        state_.PaintedBits.Assign(i, state_.UndoPaintedBits.Test(i));
        state_.UndoPaintedBits.Assign(i, current);
    }
    state_.SwapObjectWithUndo();
    if (!state_.PictureLoaded) RepaintBehind(state_.PaintedBits, picture_, background);
    std::swap(FSaved, FUndoSaved);
    // Redo brings a rendering back as it was made; Undo shows the picture from before it.
    showsRendering_ = !undoWasOffered;
    undo_ = undoWasOffered ? TUndoSide::Redo : TUndoSide::Undo;
}

void TCanvasDocument::RepaintBackground(TColor background) {
    ++changes_;
    RepaintBehind(state_.PaintedBits, picture_, background);
}

bool TCanvasDocument::CanRefine() const {
    return showsRendering_ && !state_.ChainBitmap.Empty() && state_.ChainBitmap.Width() == picture_.Width() &&
           state_.ChainBitmap.Height() == picture_.Height();
}

Picture24 TCanvasDocument::RenderingBackground(TColor background) const {
    if (!CanRefine()) return picture_;
    Picture24 start = state_.ChainBitmap;
    if (!state_.PictureLoaded) RepaintBehind(state_.ChainPaintedBits, start, background);
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
