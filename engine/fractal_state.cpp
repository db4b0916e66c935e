#include "fractal_state.h"

#include <utility>

namespace fernweave {

void FractalState::ResetPaintedBits(std::size_t pixelCount) {
    PaintedBits.Resize(pixelCount);
    UndoPaintedBits.Resize(pixelCount);
}

void FractalState::SetObject(const TIfsObject& object) {
    MapCount = object.MapCount;
    BaseTriangle = object.BaseTriangle;
    Maps = object.Maps;
}

void FractalState::SaveObject() {
    SavedMapCount = MapCount;
    SavedBaseTriangle = BaseTriangle;
    SavedMaps = Maps;
}

void FractalState::SetSavedObject(const TIfsObject& object) {
    SavedMapCount = object.MapCount;
    SavedBaseTriangle = object.BaseTriangle;
    SavedMaps = object.Maps;
}

void FractalState::RestoreSavedObject() {
    MapCount = SavedMapCount;
    BaseTriangle = SavedBaseTriangle;
    Maps = SavedMaps;
}

void FractalState::CopySavedObjectToUndo() {
    UndoMapCount = SavedMapCount;
    UndoBaseTriangle = SavedBaseTriangle;
    UndoMaps = SavedMaps;
}

void FractalState::SwapObjectWithUndo() {
    std::swap(MapCount, UndoMapCount);
    std::swap(BaseTriangle, UndoBaseTriangle);
    std::swap(Maps, UndoMaps);
}

void FractalState::BeginDrawing() {
    // A waiting import has saved the previous object already; its maps stay
    // in place while the placement triangle is drawn.
    if (ObjectImported) return;
    DrawnChances = false;
    SaveObject();
    MapCount = 0;
}

bool FractalState::AddPoint(std::int32_t x, std::int32_t y, TColor foreColor, bool diffuse) {
    if (PointCount >= MaxPoints) return false;
    ++PointCount;
    Points[PointCount] = {x, y};
    PenColors[PointCount] = PointCount <= 3 ? clWhite : foreColor;
    if (PointCount > 3 && PointCount % 3 == 0) {
        ++MapCount;
        TIfsMap& map = Maps[MapCount];
        map.Color = foreColor;
        map.Diffuse = diffuse ? 1 : 0;
        // The slot may still hold an imported record; a drawn map has no padding of its own.
        map.Padding[0] = map.Padding[1] = map.Padding[2] = 0;
        return true;
    }
    return false;
}

int FractalState::RecordMapColor() {
    const int m = MapCount;
    if (m < 1) return 0;
    if (m == 1) {
        UsedColorCount = 1;
        return 1;
    }
    for (int k = m - 1; k >= 1; --k)
        if (Maps[k].Color == Maps[m].Color) return 0;
    return ++UsedColorCount;
}

void FractalState::AppendRubberBandPoint(TPoint end, TColor foreColor) {
    if (PointCount >= MaxPoints) return;
    ++PointCount;
    Points[PointCount] = end;
    if (PointCount > 3) Maps[(PointCount + 2) / 3 - 1].Color = foreColor;
}

bool FractalState::CancelDrawing() {
    PointCount = 0;
    UsedColorCount = 0;
    RestoreSavedObject();
    const bool abandoned = ObjectImported;
    ObjectImported = false;
    return abandoned;
}

}  // namespace fernweave
