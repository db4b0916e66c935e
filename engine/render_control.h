// Undo bookkeeping of renderings: the snapshot taken when a rendering starts,
// the exchange that Undo and Redo perform, and the repaint of the background
// behind the rendered pixels.
#pragma once

#include "fractal_state.h"
#include "picture.h"

namespace fernweave {

// The picture as it is just before a rendering, its painted bits and the
// object that made it (the one saved when the drawing began) go to the slot.
// The picture and its bits are also kept as the start of the rendering chain.
void TakeUndoSnapshot(FractalState& s, const Picture24& canvas);

// Before a refinement of the rendering on the canvas: the rendering, its bits
// and its object go to the undo slot, and the picture the chain started from
// comes back with its bits, to be rendered on however often the object is
// refined. False (nothing changed) when there is no chain start of the
// canvas's size.
bool BeginRefinement(FractalState& s, Picture24& canvas);

// Exchanges the canvas picture, the painted bits and the object with the slot.
void SwapWithUndoSlot(FractalState& s, Picture24& canvas);

// Rebuilds the canvas in `background`, keeping only the pixels whose painted
// bit is set. Pixels beyond the bit set count as not painted.
void RepaintBackground(const FractalState& s, Picture24& canvas, TColor background);
// The same with the painted bits of another picture (the one in the undo slot).
void RepaintBackground(const BitSet& painted, Picture24& canvas, TColor background);

// What Clear and New Image do to the engine: no object, no undo, fresh bits.
void ForgetRendering(FractalState& s, const Picture24& canvas);

}  // namespace fernweave
