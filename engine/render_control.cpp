#include "render_control.h"

#include <cstring>
#include <utility>

namespace fernweave {

void TakeUndoSnapshot(FractalState& s, const Picture24& canvas) {
    s.UndoBitmap = canvas;
    for (std::size_t i = 0; i < s.UndoPaintedBits.Size(); ++i) s.UndoPaintedBits.Assign(i, s.PaintedBits.Test(i));
    s.CopySavedObjectToUndo();
    s.ChainBitmap = canvas;
    s.ChainPaintedBits = s.PaintedBits;
}

bool BeginRefinement(FractalState& s, Picture24& canvas) {
    if (s.ChainBitmap.Empty() || s.ChainBitmap.Width() != canvas.Width() || s.ChainBitmap.Height() != canvas.Height())
        return false;
    s.UndoBitmap = std::move(canvas);
    for (std::size_t i = 0; i < s.UndoPaintedBits.Size(); ++i) s.UndoPaintedBits.Assign(i, s.PaintedBits.Test(i));
    s.UndoMapCount = s.MapCount;
    s.UndoBaseTriangle = s.BaseTriangle;
    s.UndoMaps = s.Maps;
    canvas = s.ChainBitmap;
    s.PaintedBits = s.ChainPaintedBits;
    return true;
}

void SwapWithUndoSlot(FractalState& s, Picture24& canvas) {
    std::swap(canvas, s.UndoBitmap);
    for (std::size_t i = 0; i < s.UndoPaintedBits.Size(); ++i) {
        const bool current = s.PaintedBits.Test(i);
        s.PaintedBits.Assign(i, s.UndoPaintedBits.Test(i));
        s.UndoPaintedBits.Assign(i, current);
    }
    s.SwapObjectWithUndo();
}

void RepaintBackground(const FractalState& s, Picture24& canvas, TColor background) {
    RepaintBackground(s.PaintedBits, canvas, background);
}

void RepaintBackground(const BitSet& painted, Picture24& canvas, TColor background) {
    Picture24 fresh(canvas.Width(), canvas.Height(), background);
    const std::size_t W = static_cast<std::size_t>(canvas.Width());
    const std::size_t size = painted.Size();
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            const std::size_t bit = static_cast<std::size_t>(y) * W + static_cast<std::size_t>(x);
            if (bit < size && painted.Test(bit))
                std::memcpy(fresh.Row(y) + 3 * static_cast<std::size_t>(x), canvas.Row(y) + 3 * static_cast<std::size_t>(x), 3);
        }
    }
    canvas = std::move(fresh);
}

void ForgetRendering(FractalState& s, const Picture24& canvas) {
    s.UndoBitmap.Clear();
    s.ChainBitmap.Clear();
    s.ResetPaintedBits(static_cast<std::size_t>(canvas.Width()) * static_cast<std::size_t>(canvas.Height()));
    s.PictureLoaded = false;
    s.MapCount = 0;
}

}  // namespace fernweave
