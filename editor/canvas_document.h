// The canvas as a document: its picture and what every command keeps with it
// (the undo slot, whether the picture is saved, its resolution, a count of its
// changes), changed only through the operations the commands perform. The
// painted bits and the undo slot's picture and object stay in the engine
// state, which the render worker writes too; on the user's side this is the
// one place that changes them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "fractal_state.h"
#include "picture.h"
#include "resolution.h"

namespace fernweave {

class TCanvasDocument {
public:
    explicit TCanvasDocument(FractalState& state) : state_(state) {}
    TCanvasDocument(const TCanvasDocument&) = delete;
    TCanvasDocument& operator=(const TCanvasDocument&) = delete;

    const FractalState& State() const { return state_; }
    Picture24& Picture() { return picture_; }
    const Picture24& Picture() const { return picture_; }

    bool FSaved = true;        // the canvas holds no unsaved change
    bool FUndoSaved = false;   // the same of the picture in the undo slot
    TResolution Resolution;

    // Counts the changes of the picture, so that a save that ends after a
    // change does not mark the changed picture as saved.
    std::uint64_t Changes() const { return changes_; }
    // A save of the picture as it was at `changes` has been written.
    void Saved(std::uint64_t changes);

    // A fresh canvas (start-up, New Image): no rendering, no undo, no object.
    void NewPicture(Picture24 picture, TResolution resolution);
    // A picture read from a file becomes the background; the rest stays.
    void LoadPicture(Picture24 picture, TResolution resolution);
    // Clear the Canvas: the background colour, and nothing to undo or export.
    void Clear(TColor background);
    // A rendering starts on the picture as it is now. `takeSnapshot`: the undo
    // slot takes it (a refinement has filled the slot already).
    void BeginRendering(bool takeSnapshot);
    // A refinement of the rendering shown: that rendering goes to the undo
    // slot and the picture its chain started from comes back, on `background`.
    // False (nothing changed) when the chain's start is not known.
    bool BeginRefinement(TColor background);
    void RenderEnded();
    // Undo and Redo: the picture, its bits, its object and FSaved change
    // places with the undo slot; the other of the two commands is offered.
    void SwapWithUndoSlot(TColor background);
    // A cancelled drawing: Undo as it was when the drawing began, Redo the opposite.
    void RestoreUndo(bool undoWasEnabled) { undo_ = undoWasEnabled ? TUndoSide::Undo : TUndoSide::Redo; }
    // Everything but the rendered pixels in the background colour.
    void RepaintBackground(TColor background);

    // Offered while no drawing or rendering is under way (the command table says when).
    bool UndoOffered() const { return !state_.UndoBitmap.Empty() && undo_ == TUndoSide::Undo; }
    bool RedoOffered() const { return !state_.UndoBitmap.Empty() && undo_ == TUndoSide::Redo; }
    // The rendering shown can be refined: the picture its chain started from is known.
    bool CanRefine() const;
    // The picture a rendering from the object editor is drawn on: the chain's
    // start on `background` when the rendering shown is refined, else the picture.
    Picture24 RenderingBackground(TColor background) const;

private:
    enum class TUndoSide { None, Undo, Redo };

    // What New Image and Load Picture share: a new picture, saved as it is.
    void ReplacePicture(Picture24 picture, TResolution resolution);

    FractalState& state_;
    Picture24 picture_;
    std::uint64_t changes_ = 0;
    TUndoSide undo_ = TUndoSide::None;
    // The picture is the current object's rendering, unchanged since it was made.
    bool showsRendering_ = false;
};

// The commands whose state follows the program's state, as the command table lists them.
enum class TCommand { New, Load, Save, Poster, Export, Import, Print, Undo, Redo, Clear, EditObject, Start, Stop, ShowGrid, Diffuse };
constexpr std::size_t CommandCount = static_cast<std::size_t>(TCommand::Diffuse) + 1;

struct TCommandStates {
    std::array<bool, CommandCount> Enabled{};
    bool operator[](TCommand command) const { return Enabled[static_cast<std::size_t>(command)]; }
};

// The command table: which commands are enabled, from the document and the
// work in progress. `rendering`: from a rendering's start until its end has
// been handled; `posterRunning`: a poster is being rendered.
TCommandStates CommandStates(const TCanvasDocument& document, bool rendering, bool posterRunning);

}  // namespace fernweave
