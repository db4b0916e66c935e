// The whole state of the fractal engine: the drawing, the object, its saved
// copy for a cancel, the undo slot, the render flags and the painted-pixel bits.
// One instance per program (tests make their own); passed by reference.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "bit_set.h"
#include "ifs_types.h"
#include "picture.h"

namespace fernweave {

struct TFloatPoint {
    float x = 0;
    float y = 0;
};

struct FractalState {
    // Drawing
    TPointArray Points{};           // 1-based, click order
    std::int32_t PointCount = 0;    // 0: no drawing in progress
    std::int32_t UsedColorCount = 0;
    // The pen each click set: white for the base triangle, else the foreground
    // colour. The rubber band after click n is drawn in PenColors[n], so the
    // outline it leaves can be removed in the same colour even when the
    // foreground colour changed in the middle of a triangle.
    std::array<TColor, MaxPoints + 1> PenColors{};

    // The object
    TTriangle BaseTriangle{};
    TMapArray Maps{};               // 1-based; entries beyond MapCount keep stale contents
    std::int32_t MapCount = 0;
    TTriangle TargetTriangle{};     // scratch triangle for the solver

    // Saved copy, for cancelling a drawing or a refused import
    std::int32_t SavedMapCount = 0;
    TTriangle SavedBaseTriangle{};
    TMapArray SavedMaps{};

    // Undo slot
    std::int32_t UndoMapCount = 0;
    TTriangle UndoBaseTriangle{};
    TMapArray UndoMaps{};
    Picture24 UndoBitmap;           // empty: nothing to undo or redo
    BitSet UndoPaintedBits;
    // The picture the rendering chain started from: the canvas before the
    // rendering that a series of refinements goes back to, and its painted bits.
    Picture24 ChainBitmap;          // empty: no chain
    BitSet ChainPaintedBits;

    // Render state
    TFloatPoint CurrentPoint;
    TFloatPoint PlacedPoint;
    std::array<float, 6> PlacementMap{};  // A, B, C, D, E, F
    std::array<std::int32_t, 4> RecentMaps{};  // oldest first, 0 = none yet
    TColor PlotColor = 0;
    std::atomic<bool> Rendering{false};
    std::atomic<bool> StopRequested{false};
    // The steps of the loop running now, brought up to date once per batch,
    // so that a benchmark can read the worker's speed while it runs.
    std::atomic<std::uint64_t> StepsRendered{0};
    bool ObjectImported = false;
    // The drawn maps carry probabilities of their own (chances set by hand in
    // the object editor): the next rendering keeps them instead of the areas'.
    bool DrawnChances = false;
    bool PictureLoaded = false;
    // Set when the prepared rendering is of an imported object placed on a triangle.
    bool RenderPlacedObject = false;
    std::uint32_t RandomState = 0;  // the chaos game's generator; never reseeded

    BitSet PaintedBits;

    FractalState() = default;
    FractalState(const FractalState&) = delete;
    FractalState& operator=(const FractalState&) = delete;

    // Both bit sets sized to the canvas and cleared (start-up, New Image, Clear).
    void ResetPaintedBits(std::size_t pixelCount);

    // --- the object as a whole ---
    TIfsObject CurrentObject() const { return {MapCount, BaseTriangle, Maps}; }
    void SetObject(const TIfsObject& object);
    // Current object -> saved copy (all 120 records).
    void SaveObject();
    void SetSavedObject(const TIfsObject& object);
    // Saved copy -> current object (all 120 records).
    void RestoreSavedObject();
    // Saved copy -> undo slot (the object that made the picture being snapshotted).
    void CopySavedObjectToUndo();
    // Exchanges the current object with the one in the undo slot.
    void SwapObjectWithUndo();

    // --- drawing ---
    // On the first left click of a drawing, before its point is added.
    void BeginDrawing();
    // Adds a clicked point; when it completes a map triangle, creates the map with
    // the given colour and Diffuse state and returns true. Ignored when full.
    bool AddPoint(std::int32_t x, std::int32_t y, TColor foreColor, bool diffuse);
    // After a map was created: the colour-grid cell (1-based) the new colour fills,
    // or 0 when an earlier map of the drawing has the same colour.
    int RecordMapColor();
    // The cancel path turns the rubber band into an ordinary stroke by appending
    // its end as a point; a map triangle holding it takes the band's colour.
    void AppendRubberBandPoint(TPoint end, TColor foreColor);
    // Ends a drawing without rendering: the object from before it comes back.
    // Returns true when a waiting import was abandoned.
    bool CancelDrawing();

    // A rendering may start: at least one map and a complete triangle beyond the base.
    bool CanStartRendering() const {
        return MapCount > 0 && PointCount > 3 && PointCount % 3 == 0;
    }
};

}  // namespace fernweave
