// The object editor's model: the base triangle and the map triangles of an
// object as the user edits them, hit testing, drags, nudges, the map list and
// the editor's own undo stack. Plain C++, no windowing: the dialog is a view
// over it, and the tests drive it without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fractal_state.h"
#include "ifs_types.h"
#include "solver.h"

namespace fernweave {

struct TEditMap {
    TTriangle Triangle{};
    TColor Color = clWhite;
    bool Diffuse = true;
    friend bool operator==(const TEditMap&, const TEditMap&) = default;
};

// The object as triangles: what a drawing of it would have clicked.
struct TEditObject {
    TTriangle Base{};
    std::vector<TEditMap> Maps;
    friend bool operator==(const TEditObject&, const TEditObject&) = default;
};

// Vertices stay well inside the range where the solver's float conversion is exact.
constexpr std::int32_t EditCoordinateLimit = 1 << 20;
// The distance, in screen pixels, within which a press grabs a vertex.
constexpr double GrabDistance = 6.0;
constexpr int EditGridSpacing = 24;  // the canvas grid's spacing

// Map k's triangle is map k applied to the base vertices, rounded to whole
// pixels: for a drawn object these are the clicked points.
TEditObject TrianglesOfObject(const TIfsObject& object);
// A base triangle centred on a canvas of the given size, no maps.
TEditObject DefaultEditObject(int canvasWidth, int canvasHeight);
// True when the probabilities stored with the object differ from those its
// rebuilt triangles get by area (an imported object, typically).
bool StoredChancesDiffer(const TIfsObject& object, const TEditObject& triangles);

// Puts the object into a state as the clicks of a drawing would: the base,
// then each map triangle, with each map's colour and Diffuse state.
void LoadDrawing(FractalState& s, const TEditObject& object);

// Rounds to the nearest integer, halves to the even one, clamped to the edit range.
std::int32_t RoundCoordinate(double v);

enum class TDragKind { Vertex, Move, Rotate, Scale };

struct TEditPoint {
    double x = 0;
    double y = 0;
};

class TObjectEditModel {
public:
    // Triangle 0 is the base, 1..n the maps. Vertex -1: the whole triangle.
    struct Selection {
        int Triangle = -1;
        int Vertex = -1;
        friend bool operator==(const Selection&, const Selection&) = default;
    };

    explicit TObjectEditModel(TEditObject object = {});

    const TEditObject& Object() const { return object_; }
    int MapCount() const { return static_cast<int>(object_.Maps.size()); }
    const TTriangle& TriangleOf(int t) const;
    const Selection& Selected() const { return selected_; }
    void Select(Selection s);
    // The selected vertex, or none.
    std::optional<TPoint> SelectedVertex() const;

    // --- the mouse ---
    // What a press at canvas point p grabs: a vertex within `grab` canvas
    // units (of the selected triangle first, then from the last triangle in
    // the list), else the smallest triangle containing p. A press at the spot
    // of the previous press, with nothing changed since, takes the next one there.
    Selection HitTest(TEditPoint p, double grab);
    // Press: selects what HitTest finds and starts a drag of it. Shift rotates
    // and Ctrl scales a grabbed triangle; a grabbed vertex is always moved.
    bool BeginDrag(TEditPoint p, double grab, TDragKind wholeTriangle = TDragKind::Move);
    // Each move recomputes the triangle from its state at the press, so nothing drifts.
    bool DragTo(TEditPoint p);
    void EndDrag();
    bool Dragging() const { return drag_.has_value(); }

    // --- keys and numbers ---
    // Moves the selected vertex (or triangle) by whole pixels.
    bool Nudge(int dx, int dy);
    // Places the selected vertex exactly.
    bool SetSelectedVertex(TPoint p);

    // --- the list of maps ---
    // Add: a copy of the selected triangle (else the base), shrunk and shifted
    // so it can be grabbed. Duplicate: the selected map, shifted. False at 120.
    bool AddMap(TColor color);
    bool DuplicateMap();
    bool DeleteMap();
    bool SetMapColor(int k, TColor color);
    bool SetMapDiffuse(int k, bool diffuse);
    // Each map's share of the chaos game in percent: its area over the sum.
    std::vector<double> Shares() const;

    // --- snapping to the 24-pixel grid through base vertex 1 ---
    bool Snap = false;

    TBaseWarnings Warnings() const { return CheckBaseTriangle(object_.Base); }
    bool CanRender() const { return MapCount() >= 1; }

    // --- the editor's undo ---
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    bool Undo();
    bool Redo();

    // Counts every change of the object, for the preview.
    std::uint64_t Revision() const { return revision_; }

private:
    struct Snapshot {
        TEditObject Object;
        Selection Selected;
    };
    struct Drag {
        Selection What;
        TDragKind Kind;
        TEditPoint Start;
        TTriangle Original;
        TPoint GridOrigin;
        bool Changed = false;
    };

    TTriangle& MutableTriangle(int t);
    void Remember();  // before a change: the state goes onto the undo stack
    // Undo and Redo: the newest state of `from` comes back, the current one goes onto `to`.
    bool Step(std::vector<Snapshot>& from, std::vector<Snapshot>& to);
    template <class Field, class Value>
    bool SetMapField(int k, Field TEditMap::*field, Value value);
    void Changed() { ++revision_; }
    bool ValidTriangle(int t) const { return t >= 0 && t <= MapCount(); }

    TEditObject object_;
    Selection selected_;
    std::optional<Drag> drag_;
    std::vector<Snapshot> undo_;
    std::vector<Snapshot> redo_;
    std::uint64_t revision_ = 0;
    // Cycling through what lies under one spot.
    std::vector<Selection> cycle_;
    std::size_t cycleIndex_ = 0;
    TEditPoint cycleSpot_{};
    std::uint64_t cycleRevision_ = ~std::uint64_t{0};
};

}  // namespace fernweave
