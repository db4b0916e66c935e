#include "object_edit_model.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "solver.h"

namespace fernweave {

namespace {

constexpr std::size_t MaxUndoLevels = 1000;
// Add and Duplicate move the new triangle this far, so it does not hide the old one.
constexpr int NewTriangleShift = 12;

TEditPoint Centre(const TTriangle& t) {
    return {(double(t[0].x) + t[1].x + t[2].x) / 3.0, (double(t[0].y) + t[1].y + t[2].y) / 3.0};
}

TPoint Rounded(double x, double y) { return {RoundCoordinate(x), RoundCoordinate(y)}; }

TTriangle Shifted(TTriangle t, int dx, int dy) {
    for (TPoint& v : t) v = Rounded(double(v.x) + dx, double(v.y) + dy);
    return t;
}

bool Contains(const TTriangle& t, TEditPoint p) {
    auto side = [&](const TPoint& a, const TPoint& b) {
        return (double(b.x) - a.x) * (p.y - a.y) - (double(b.y) - a.y) * (p.x - a.x);
    };
    const double s1 = side(t[0], t[1]), s2 = side(t[1], t[2]), s3 = side(t[2], t[0]);
    const bool neg = s1 < 0 || s2 < 0 || s3 < 0;
    const bool pos = s1 > 0 || s2 > 0 || s3 > 0;
    return !(neg && pos) && DoubleArea(t) != 0;
}

int SnapTo(int v, int origin) {
    const double steps = std::nearbyint((double(v) - origin) / EditGridSpacing);
    return RoundCoordinate(origin + steps * EditGridSpacing);
}

}  // namespace

std::int32_t RoundCoordinate(double v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -double(EditCoordinateLimit), double(EditCoordinateLimit));
    return static_cast<std::int32_t>(std::nearbyint(v));  // the default mode: halves to even
}

TEditObject TrianglesOfObject(const TIfsObject& object) {
    TEditObject result;
    result.Base = object.BaseTriangle;
    for (TPoint& v : result.Base) v = Rounded(v.x, v.y);
    const int n = std::clamp(object.MapCount, 0, MaxMaps);
    for (int k = 1; k <= n; ++k) {
        const TIfsMap& m = object.Maps[k];
        TEditMap map;
        for (int i = 0; i < 3; ++i) {
            const double x = result.Base[i].x, y = result.Base[i].y;
            map.Triangle[i] = Rounded(double(m.A) * x + double(m.B) * y + double(m.C),
                                      double(m.D) * x + double(m.E) * y + double(m.F));
        }
        map.Color = m.Color;
        map.Diffuse = m.Diffuse != 0;
        result.Maps.push_back(map);
    }
    return result;
}

TEditObject DefaultEditObject(int canvasWidth, int canvasHeight) {
    const int cx = canvasWidth / 2, cy = canvasHeight / 2;
    const int h = std::min(canvasWidth, canvasHeight) / 3;
    TEditObject result;
    result.Base = {TPoint{cx - h, cy + h / 2}, TPoint{cx + h, cy + h / 2}, TPoint{cx, cy - h}};
    return result;
}

void LoadDrawing(FractalState& s, const TEditObject& object) {
    s.PointCount = 0;
    s.UsedColorCount = 0;
    s.MapCount = 0;
    for (const TPoint& p : object.Base) s.AddPoint(p.x, p.y, clWhite, true);
    for (const TEditMap& map : object.Maps)
        for (const TPoint& p : map.Triangle) s.AddPoint(p.x, p.y, map.Color, map.Diffuse);
}

bool StoredChancesDiffer(const TIfsObject& object, const TEditObject& triangles) {
    if (triangles.Maps.empty()) return false;
    auto s = std::make_unique<FractalState>();
    LoadDrawing(*s, triangles);
    SolveAllMaps(*s);
    ComputeProbabilities(*s);
    for (int k = 1; k <= s->MapCount; ++k)
        if (!(std::fabs(double(s->Maps[k].Probability) - double(object.Maps[k].Probability)) <= 0.0005)) return true;
    return false;
}

// --- the model ---

TObjectEditModel::TObjectEditModel(TEditObject object) : object_(std::move(object)) {
    if (object_.Maps.size() > MaxMaps) object_.Maps.resize(MaxMaps);
}

const TTriangle& TObjectEditModel::TriangleOf(int t) const {
    return t == 0 ? object_.Base : object_.Maps.at(static_cast<std::size_t>(t - 1)).Triangle;
}

TTriangle& TObjectEditModel::MutableTriangle(int t) {
    return t == 0 ? object_.Base : object_.Maps.at(static_cast<std::size_t>(t - 1)).Triangle;
}

void TObjectEditModel::Select(Selection s) {
    if (!ValidTriangle(s.Triangle)) s = {};
    if (s.Vertex < -1 || s.Vertex > 2) s.Vertex = -1;
    selected_ = s;
}

std::optional<TPoint> TObjectEditModel::SelectedVertex() const {
    if (!ValidTriangle(selected_.Triangle) || selected_.Vertex < 0) return std::nullopt;
    return TriangleOf(selected_.Triangle)[static_cast<std::size_t>(selected_.Vertex)];
}

TObjectEditModel::Selection TObjectEditModel::HitTest(TEditPoint p, double grab) {
    const double spot = std::max(grab / 3.0, 0.5);
    if (!cycle_.empty() && cycleRevision_ == revision_ && std::hypot(p.x - cycleSpot_.x, p.y - cycleSpot_.y) <= spot) {
        cycleIndex_ = (cycleIndex_ + 1) % cycle_.size();
        return cycle_[cycleIndex_];
    }
    // The selected triangle first, then from the top of the list down.
    std::vector<int> order;
    if (ValidTriangle(selected_.Triangle)) order.push_back(selected_.Triangle);
    for (int t = MapCount(); t >= 0; --t)
        if (t != selected_.Triangle) order.push_back(t);

    std::vector<Selection> found;
    for (int t : order) {
        const TTriangle& tri = TriangleOf(t);
        int best = -1;
        double bestDistance = grab;
        for (int i = 0; i < 3; ++i) {
            const double d = std::hypot(tri[i].x - p.x, tri[i].y - p.y);
            if (d <= bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        if (best >= 0) found.push_back({t, best});
    }
    std::vector<int> inside;
    for (int t = MapCount(); t >= 0; --t)
        if (Contains(TriangleOf(t), p)) inside.push_back(t);
    std::stable_sort(inside.begin(), inside.end(), [&](int a, int b) {
        return std::llabs(DoubleArea(TriangleOf(a))) < std::llabs(DoubleArea(TriangleOf(b)));
    });
    for (int t : inside) found.push_back({t, -1});

    cycle_ = found;
    cycleIndex_ = 0;
    cycleSpot_ = p;
    cycleRevision_ = revision_;
    return found.empty() ? Selection{} : found.front();
}

bool TObjectEditModel::BeginDrag(TEditPoint p, double grab, TDragKind wholeTriangle) {
    drag_.reset();
    const Selection hit = HitTest(p, grab);
    Select(hit);
    if (hit.Triangle < 0) return false;
    TDragKind kind = wholeTriangle == TDragKind::Vertex ? TDragKind::Move : wholeTriangle;
    if (hit.Vertex >= 0) kind = TDragKind::Vertex;
    drag_ = Drag{hit, kind, p, TriangleOf(hit.Triangle), object_.Base[0]};
    return true;
}

bool TObjectEditModel::DragTo(TEditPoint p) {
    if (!drag_ || !ValidTriangle(drag_->What.Triangle)) return false;
    const Drag& d = *drag_;
    const TTriangle& o = d.Original;
    const double dx = p.x - d.Start.x, dy = p.y - d.Start.y;
    TTriangle t = o;
    switch (d.Kind) {
        case TDragKind::Vertex: {
            TPoint& v = t[static_cast<std::size_t>(d.What.Vertex)];
            v = Rounded(v.x + dx, v.y + dy);
            if (Snap) v = {SnapTo(v.x, d.GridOrigin.x), SnapTo(v.y, d.GridOrigin.y)};
            break;
        }
        case TDragKind::Move: {
            TPoint first = Rounded(o[0].x + dx, o[0].y + dy);
            if (Snap) first = {SnapTo(first.x, d.GridOrigin.x), SnapTo(first.y, d.GridOrigin.y)};
            t = Shifted(o, first.x - o[0].x, first.y - o[0].y);
            break;
        }
        case TDragKind::Rotate:
        case TDragKind::Scale: {
            const TEditPoint c = Centre(o);
            const double sx = d.Start.x - c.x, sy = d.Start.y - c.y;
            const double px = p.x - c.x, py = p.y - c.y;
            const double startRadius = std::hypot(sx, sy);
            if (startRadius < 1e-9) break;  // a press at the centre gives no direction
            double cosA = 1, sinA = 0, f = 1;
            if (d.Kind == TDragKind::Rotate) {
                const double angle = std::atan2(py, px) - std::atan2(sy, sx);
                cosA = std::cos(angle);
                sinA = std::sin(angle);
            } else {
                f = std::min(std::hypot(px, py) / startRadius, 1000.0);
            }
            for (int i = 0; i < 3; ++i) {
                const double vx = o[i].x - c.x, vy = o[i].y - c.y;
                t[i] = Rounded(c.x + f * (cosA * vx - sinA * vy), c.y + f * (sinA * vx + cosA * vy));
            }
            break;
        }
    }
    TTriangle& current = MutableTriangle(d.What.Triangle);
    if (t == current) return false;
    if (!d.Changed) {
        Remember();
        drag_->Changed = true;
    }
    current = t;
    Changed();
    return true;
}

void TObjectEditModel::EndDrag() { drag_.reset(); }

bool TObjectEditModel::Nudge(int dx, int dy) {
    if (!ValidTriangle(selected_.Triangle) || (dx == 0 && dy == 0)) return false;
    EndDrag();
    const TTriangle& old = TriangleOf(selected_.Triangle);
    TTriangle t = old;
    if (selected_.Vertex >= 0) {
        TPoint& v = t[static_cast<std::size_t>(selected_.Vertex)];
        v = Rounded(double(v.x) + dx, double(v.y) + dy);
    } else {
        t = Shifted(t, dx, dy);
    }
    if (t == old) return false;
    Remember();
    MutableTriangle(selected_.Triangle) = t;
    Changed();
    return true;
}

bool TObjectEditModel::SetSelectedVertex(TPoint p) {
    const auto v = SelectedVertex();
    if (!v) return false;
    p = Rounded(p.x, p.y);
    if (p == *v) return false;
    EndDrag();
    Remember();
    MutableTriangle(selected_.Triangle)[static_cast<std::size_t>(selected_.Vertex)] = p;
    Changed();
    return true;
}

bool TObjectEditModel::AddMap(TColor color) {
    if (MapCount() >= MaxMaps) return false;
    const TTriangle& source = TriangleOf(ValidTriangle(selected_.Triangle) ? selected_.Triangle : 0);
    const TEditPoint c = Centre(source);
    TTriangle t;
    for (int i = 0; i < 3; ++i) t[i] = Rounded(c.x + (source[i].x - c.x) / 2, c.y + (source[i].y - c.y) / 2);
    // A triangle too small to halve keeps its size.
    if (std::llabs(DoubleArea(t)) < 64) t = source;
    EndDrag();
    Remember();
    object_.Maps.push_back({Shifted(t, NewTriangleShift, NewTriangleShift), color, true});
    selected_ = {MapCount(), -1};
    Changed();
    return true;
}

bool TObjectEditModel::DuplicateMap() {
    if (MapCount() >= MaxMaps || selected_.Triangle < 1 || !ValidTriangle(selected_.Triangle)) return false;
    TEditMap copy = object_.Maps[static_cast<std::size_t>(selected_.Triangle - 1)];
    copy.Triangle = Shifted(copy.Triangle, NewTriangleShift, NewTriangleShift);
    EndDrag();
    Remember();
    object_.Maps.push_back(copy);
    selected_ = {MapCount(), -1};
    Changed();
    return true;
}

bool TObjectEditModel::DeleteMap() {
    if (selected_.Triangle < 1 || !ValidTriangle(selected_.Triangle)) return false;
    EndDrag();
    Remember();
    object_.Maps.erase(object_.Maps.begin() + (selected_.Triangle - 1));
    selected_ = {};
    Changed();
    return true;
}

template <class Field, class Value>
bool TObjectEditModel::SetMapField(int k, Field TEditMap::*field, Value value) {
    if (k < 1 || k > MapCount()) return false;
    Field& target = object_.Maps[static_cast<std::size_t>(k - 1)].*field;
    if (target == value) return false;
    Remember();
    target = value;
    Changed();
    return true;
}

bool TObjectEditModel::SetMapColor(int k, TColor color) { return SetMapField(k, &TEditMap::Color, color); }

bool TObjectEditModel::SetMapDiffuse(int k, bool diffuse) { return SetMapField(k, &TEditMap::Diffuse, diffuse); }

std::vector<double> TObjectEditModel::Shares() const {
    std::vector<double> shares;
    double sum = 0;
    for (const TEditMap& m : object_.Maps) {
        shares.push_back(double(std::llabs(DoubleArea(m.Triangle))));
        sum += shares.back();
    }
    // As the chaos game does: with no area at all, the last map takes everything.
    if (sum == 0) {
        if (!shares.empty()) shares.back() = 100;
        return shares;
    }
    for (double& s : shares) s = 100.0 * s / sum;
    return shares;
}

void TObjectEditModel::Remember() {
    undo_.push_back({object_, selected_});
    if (undo_.size() > MaxUndoLevels) undo_.erase(undo_.begin());
    redo_.clear();
}

bool TObjectEditModel::Step(std::vector<Snapshot>& from, std::vector<Snapshot>& to) {
    if (from.empty()) return false;
    EndDrag();
    to.push_back({object_, selected_});
    object_ = std::move(from.back().Object);
    selected_ = from.back().Selected;
    from.pop_back();
    Changed();
    return true;
}

bool TObjectEditModel::Undo() { return Step(undo_, redo_); }

bool TObjectEditModel::Redo() { return Step(redo_, undo_); }

}  // namespace fernweave
