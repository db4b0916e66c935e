// The object editor's model: the base triangle and the map triangles of an
// object as the user edits them, hit testing, drags, nudges, the map list and
// the editor's own undo stack. Plain C++, no windowing: the dialog is a view
// over it, and the tests drive it without a display.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "drawing.h"
#include "fractal_state.h"
#include "ifs_types.h"
#include "solver.h"

namespace fernweave {

// A map as the object holds it: x' = A x + B y + C, y' = D x + E y + F.
using TMapCoefficients = std::array<double, 6>;
// The same map in geometric terms: scaled (x, then y), sheared along x by
// Shear times y, rotated counter-clockwise on the screen, then offset.
struct TMapForm {
    double ScaleX = 1;
    double ScaleY = 1;
    double Rotation = 0;  // degrees
    double Shear = 0;
    double OffsetX = 0;
    double OffsetY = 0;
};
TMapForm FormOfMap(const TMapCoefficients& m);
TMapCoefficients MapOfForm(const TMapForm& f);

// Why Render cannot be offered, if it cannot.
enum class TRenderBlock { None, NoMaps, BaseUnsolvable, NoArea, NoChance };

// The distance, in screen pixels, within which a press grabs a vertex.
constexpr double GrabDistance = 6.0;
constexpr int EditGridSpacing = 24;  // the canvas grid's spacing
// A rotation or scaling drag works on a lever at least this long, in screen
// pixels, so a press near the centre does not turn the triangle wildly.
constexpr double MinimumLever = 20.0;
// With both modifiers held, rotation and scaling go in these steps.
constexpr double RotationStep = 15.0;  // degrees
constexpr double ScaleStep = 0.05;

// Map k's triangle is map k applied to the base vertices, rounded to whole
// pixels: for a drawn object these are the clicked points. Stored chances
// that differ from the areas' come along as custom chances.
TDrawing TrianglesOfObject(const TIfsObject& object);
// A base triangle centred on a canvas of the given size, no maps.
TDrawing DefaultEditObject(int canvasWidth, int canvasHeight);
// True when the probabilities stored with the object differ from those its
// rebuilt triangles get by area (an imported object, typically).
bool StoredChancesDiffer(const TIfsObject& object, const TDrawing& triangles);

// Rounds to the nearest integer, halves to the even one, clamped to the drawing coordinate limit.
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

    explicit TObjectEditModel(TDrawing object = {});

    const TDrawing& Object() const { return object_; }
    int MapCount() const { return static_cast<int>(object_.Maps.size()); }
    const TTriangle& TriangleOf(int t) const;
    const Selection& Selected() const { return selected_; }
    // Selects one element; any selection of several triangles ends.
    void Select(Selection s);
    // --- several triangles at once ---
    // The selected triangles: several, or the one of the selection, or none.
    std::vector<int> SelectedTriangles() const;
    // Ctrl+click: the triangle joins the selection (and is highlighted), or leaves it.
    void ToggleInSelection(int t);
    // The maps lying wholly within the box from a to b; none selects nothing.
    void SelectInBox(TEditPoint a, TEditPoint b);
    // Several triangles, `primary` highlighted among them.
    void SelectTriangles(std::vector<int> triangles, int primary);
    // Copies of the selected maps, and copies added to the list: shifted, as
    // many as fit under 120, then selected. Returns how many were added.
    std::vector<TDrawnMap> CopyMaps() const;
    int PasteMaps(const std::vector<TDrawnMap>& maps);
    // Where map k sends a point to itself; none when it has no single one.
    std::optional<TEditPoint> FixedPoint(int k) const;
    // The selected vertex, or none.
    std::optional<TPoint> SelectedVertex() const;

    // --- the mouse ---
    // `grab` is GrabDistance screen pixels in canvas units.
    // What a press at canvas point p grabs: a vertex within `grab` canvas
    // units (of the selected triangle first, then from the last triangle in
    // the list), else the smallest triangle containing p. A press at the spot
    // of the previous press, with nothing changed since, takes the next one there.
    Selection HitTest(TEditPoint p, double grab);
    // Press: on the highlighted element, or on any element of the selected
    // triangle, it grabs that; elsewhere it selects what HitTest finds. Then a
    // drag of it starts. Shift rotates and Ctrl scales a grabbed triangle; a
    // grabbed vertex is always moved.
    bool BeginDrag(TEditPoint p, double grab, TDragKind wholeTriangle = TDragKind::Move);
    // Each move recomputes the triangle from its state at the press, so nothing
    // drifts. `steps`: rotation in RotationStep, scaling in ScaleStep.
    bool DragTo(TEditPoint p, bool steps = false);
    void EndDrag() { drag_.reset(); }
    // Release: a click that did not move, on what was highlighted already,
    // steps to the next item lying there. True when the selection changed.
    bool EndPress();
    bool Dragging() const { return drag_.has_value(); }
    // The press being dragged has moved.
    bool PressMoved() const { return drag_ && drag_->Moved; }
    // Vertices at the same point, each group in list order (singletons too).
    std::vector<std::vector<Selection>> CoincidingVertices() const;

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
    // Deletes the selected maps and selects the next one.
    bool DeleteMap();
    bool SetMapColor(int k, TColor color);
    bool SetMapDiffuse(int k, bool diffuse);
    // Each map's share of the chaos game in percent: by area its area over the
    // sum, else the custom shares.
    std::vector<double> Shares() const;
    bool HasArea(int k) const;

    // --- chances ---
    bool CustomChances() const { return object_.CustomChances; }
    // Custom starts from the areas' shares.
    bool SetCustomChances(bool custom);
    // Map k's share in percent; the others keep their proportions and fill the
    // rest, so the shares add up to 100.
    bool SetShare(int k, double percent);

    // --- maps by number (maps 1..n) ---
    std::optional<TMapCoefficients> Coefficients(int k) const;
    bool SetCoefficients(int k, const TMapCoefficients& m);
    bool SetForm(int k, const TMapForm& f) { return SetCoefficients(k, MapOfForm(f)); }
    // The selected triangles turned, scaled, mirrored about their centre
    // (rounded to a whole pixel, so quarter turns and flips are exact) or
    // vertex 1 of the highlighted one.
    bool RotateSelected(double degrees, bool aboutVertex1 = false);
    bool ScaleSelected(double percent, bool aboutVertex1 = false);
    bool FlipSelected(bool horizontal, bool aboutVertex1 = false);

    // --- snapping: to the 24-pixel grid through base vertex 1, to other vertices ---
    bool Snap = false;
    bool SnapToVertices = true;

    TBaseWarnings Warnings() const { return CheckBaseTriangle(object_.Base); }
    TRenderBlock RenderBlock() const;
    bool CanRender() const { return RenderBlock() == TRenderBlock::None; }
    // Anything differs from the object the editor opened with.
    bool Modified() const { return !(object_ == original_); }

    // --- the editor's undo ---
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    bool Undo() { return Step(undo_, redo_); }
    bool Redo() { return Step(redo_, undo_); }

    // Counts every change of the object, for the preview.
    std::uint64_t Revision() const { return revision_; }

private:
    struct Snapshot {
        TDrawing Object;
        Selection Selected;
        std::vector<int> Group;
    };
    struct Drag {
        Selection What;
        TDragKind Kind;
        TEditPoint Start;
        TTriangle Original;
        TPoint GridOrigin;
        double Grab = GrabDistance;
        // The triangles that move, as they were at the press.
        std::vector<std::pair<int, TTriangle>> Members{};
        TEditPoint Centre{};  // of the members, for rotating and scaling
        TEditPoint Lever{};  // from the centre, for rotating and scaling
        bool Kept = false;   // the press was on what was highlighted already
        bool Moved = false;
        bool Changed = false;
    };

    TTriangle& MutableTriangle(int t);
    void Remember();  // before a change: the state goes onto the undo stack
    // Undo and Redo: the newest state of `from` comes back, the current one goes onto `to`.
    bool Step(std::vector<Snapshot>& from, std::vector<Snapshot>& to);
    template <class Field, class Value>
    bool SetMapField(int k, Field TDrawnMap::*field, Value value);
    void Changed() { ++revision_; }
    bool ValidTriangle(int t) const { return t >= 0 && t <= MapCount(); }
    // The element of the selected triangle at p, if any.
    std::optional<Selection> HighlightedAt(TEditPoint p, double grab) const;
    std::vector<Selection> HitsAt(TEditPoint p, double grab) const;
    // Keeps the hits of the previous press when p falls on its spot and nothing
    // changed since (true), else takes the hits at p.
    bool CycleAt(TEditPoint p, double grab);
    // The shift that brings one of `t`'s vertices onto another triangle's vertex within `grab`.
    std::optional<TPoint> VertexSnap(const std::vector<TEditPoint>& moving, int exceptTriangle, double grab) const;
    bool Differs(const std::vector<std::pair<int, TTriangle>>& triangles) const;
    // Several triangles changed in one step of undo.
    bool ReplaceTriangles(const std::vector<std::pair<int, TTriangle>>& triangles);
    // Add and Duplicate: the map, shifted so it does not hide its source, joins the list and is selected.
    bool AppendShifted(TDrawnMap map);
    bool TransformSelected(double a, double b, double d, double e, bool aboutVertex1);

    TDrawing object_;
    TDrawing original_;
    Selection selected_;
    std::vector<int> group_;  // two or more selected triangles, sorted; else empty
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
