#include "object_edit_model.h"

#include <algorithm>
#include <cmath>
#include <memory>

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

// The vertex of `t` nearest to p within `grab` (the last of equals), or -1.
int NearestVertex(const TTriangle& t, TEditPoint p, double grab) {
    int best = -1;
    for (int i = 0; i < 3; ++i) {
        const double d = std::hypot(t[i].x - p.x, t[i].y - p.y);
        if (d <= grab) {
            best = i;
            grab = d;
        }
    }
    return best;
}

// The mean of the triangles' centres.
TEditPoint CentreOf(const std::vector<std::pair<int, TTriangle>>& triangles) {
    TEditPoint c{};
    for (const auto& [t, triangle] : triangles) {
        const TEditPoint m = Centre(triangle);
        c.x += m.x / double(triangles.size());
        c.y += m.y / double(triangles.size());
    }
    return c;
}

int SnapTo(int v, int origin) {
    const double steps = std::nearbyint((double(v) - origin) / EditGridSpacing);
    return RoundCoordinate(origin + steps * EditGridSpacing);
}

constexpr double Pi = 3.14159265358979323846;

// Custom shares made to add up to 100, none negative or invalid.
void NormalizeShares(TDrawing& o) {
    if (!o.CustomChances || o.Maps.empty()) return;
    double sum = 0;
    for (TDrawnMap& m : o.Maps) {
        if (!(m.Share > 0) || !std::isfinite(m.Share)) m.Share = 0;
        sum += m.Share;
    }
    for (TDrawnMap& m : o.Maps) m.Share = sum > 0 ? 100.0 * m.Share / sum : 100.0 / double(o.Maps.size());
}

// The map taking `base` to `target`; none when the base has no area.
std::optional<TMapCoefficients> MapBetween(const TTriangle& base, const TTriangle& target) {
    const double x1 = base[0].x, y1 = base[0].y, x2 = base[1].x, y2 = base[1].y, x3 = base[2].x, y3 = base[2].y;
    const double det = (x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1);
    if (det == 0) return std::nullopt;
    TMapCoefficients m{};
    for (int row = 0; row < 2; ++row) {
        auto value = [&](int i) { return row == 0 ? double(target[i].x) : double(target[i].y); };
        const double u1 = value(0), u2 = value(1), u3 = value(2);
        // Solve a x + b y + c = u through the three vertices.
        const double a = ((u2 - u1) * (y3 - y1) - (u3 - u1) * (y2 - y1)) / det;
        const double b = ((x2 - x1) * (u3 - u1) - (x3 - x1) * (u2 - u1)) / det;
        m[3 * row] = a;
        m[3 * row + 1] = b;
        m[3 * row + 2] = u1 - a * x1 - b * y1;
    }
    return m;
}

// `base` under the map, rounded to whole pixels.
TTriangle MappedTriangle(const TMapCoefficients& m, const TTriangle& base) {
    TTriangle t;
    for (int i = 0; i < 3; ++i) {
        const double x = base[i].x, y = base[i].y;
        t[i] = Rounded(m[0] * x + m[1] * y + m[2], m[3] * x + m[4] * y + m[5]);
    }
    return t;
}

}  // namespace

TMapForm FormOfMap(const TMapCoefficients& m) {
    const auto [A, B, C, D, E, F] = m;
    TMapForm f;
    f.ScaleX = std::hypot(A, D);
    const double theta = f.ScaleX > 0 ? std::atan2(D, A) : 0.0;
    const double c = std::cos(theta), s = std::sin(theta);
    // What remains after undoing the rotation: [[ScaleX, ScaleX * Shear], [0, ScaleY]].
    const double upper = c * B + s * E;
    f.ScaleY = -s * B + c * E;
    f.Shear = f.ScaleX > 0 ? upper / f.ScaleX : 0.0;
    f.Rotation = -theta * 180.0 / Pi;  // y runs down the screen
    if (f.Rotation == 0) f.Rotation = 0;  // no "-0"
    f.OffsetX = C;
    f.OffsetY = F;
    return f;
}

TMapCoefficients MapOfForm(const TMapForm& f) {
    const double theta = -f.Rotation * Pi / 180.0;
    const double c = std::cos(theta), s = std::sin(theta);
    const double upper = f.ScaleX * f.Shear;
    return {c * f.ScaleX, c * upper - s * f.ScaleY, f.OffsetX, s * f.ScaleX, s * upper + c * f.ScaleY, f.OffsetY};
}

std::int32_t RoundCoordinate(double v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -double(DrawingCoordinateLimit), double(DrawingCoordinateLimit));
    return static_cast<std::int32_t>(std::nearbyint(v));  // the default mode: halves to even
}

TDrawing TrianglesOfObject(const TIfsObject& object) {
    TDrawing result;
    result.Base = object.BaseTriangle;
    for (TPoint& v : result.Base) v = Rounded(v.x, v.y);
    const int n = std::clamp(object.MapCount, 0, MaxMaps);
    for (int k = 1; k <= n; ++k) {
        const TIfsMap& m = object.Maps[k];
        TDrawnMap map;
        map.Triangle = MappedTriangle({m.A, m.B, m.C, m.D, m.E, m.F}, result.Base);
        map.Color = m.Color;
        map.Diffuse = m.Diffuse != 0;
        result.Maps.push_back(map);
    }
    if (StoredChancesDiffer(object, result)) {
        result.CustomChances = true;
        for (int k = 1; k <= n; ++k) {
            const double p = double(object.Maps[k].Probability);
            result.Maps[static_cast<std::size_t>(k - 1)].Share = std::isfinite(p) ? std::clamp(p, 0.0, 1.0) * 100 : 0.0;
        }
    }
    return result;
}

TDrawing DefaultEditObject(int canvasWidth, int canvasHeight) {
    const int cx = canvasWidth / 2, cy = canvasHeight / 2;
    const int h = std::min(canvasWidth, canvasHeight) / 3;
    TDrawing result;
    result.Base = {TPoint{cx - h, cy + h / 2}, TPoint{cx + h, cy + h / 2}, TPoint{cx, cy - h}};
    return result;
}

bool StoredChancesDiffer(const TIfsObject& object, const TDrawing& triangles) {
    if (triangles.Maps.empty()) return false;
    auto s = std::make_unique<FractalState>();
    TDrawing byArea = triangles;
    byArea.CustomChances = false;
    LoadDrawing(*s, byArea);
    SolveAllMaps(*s);
    ComputeProbabilities(*s);
    for (int k = 1; k <= s->MapCount; ++k)
        if (!(std::fabs(double(s->Maps[k].Probability) - double(object.Maps[k].Probability)) <= 0.0005)) return true;
    return false;
}

// --- the model ---

TObjectEditModel::TObjectEditModel(TDrawing object) : object_(std::move(object)) {
    if (object_.Maps.size() > MaxMaps) object_.Maps.resize(MaxMaps);
    if (object_.CustomChances) NormalizeShares(object_);
    original_ = object_;
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
    group_.clear();
}

std::vector<int> TObjectEditModel::SelectedTriangles() const {
    if (!group_.empty()) return group_;
    if (ValidTriangle(selected_.Triangle)) return {selected_.Triangle};
    return {};
}

void TObjectEditModel::SelectTriangles(std::vector<int> triangles, int primary) {
    std::erase_if(triangles, [&](int t) { return !ValidTriangle(t); });
    std::sort(triangles.begin(), triangles.end());
    triangles.erase(std::unique(triangles.begin(), triangles.end()), triangles.end());
    if (triangles.empty()) {
        Select({});
        return;
    }
    if (!std::binary_search(triangles.begin(), triangles.end(), primary)) primary = triangles.back();
    Select({primary, -1});
    if (triangles.size() > 1) group_ = std::move(triangles);
}

void TObjectEditModel::ToggleInSelection(int t) {
    if (!ValidTriangle(t)) return;
    std::vector<int> now = SelectedTriangles();
    const auto at = std::find(now.begin(), now.end(), t);
    if (at == now.end()) {
        now.push_back(t);
        SelectTriangles(now, t);
        return;
    }
    now.erase(at);
    // The highlighted one stays highlighted unless it left; SelectTriangles then takes the last.
    SelectTriangles(now, selected_.Triangle);
}

void TObjectEditModel::SelectInBox(TEditPoint a, TEditPoint b) {
    const double x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x), y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
    std::vector<int> inside;
    for (int t = 1; t <= MapCount(); ++t) {
        bool all = true;
        for (const TPoint& v : TriangleOf(t)) all = all && v.x >= x0 && v.x <= x1 && v.y >= y0 && v.y <= y1;
        if (all) inside.push_back(t);
    }
    SelectTriangles(inside, inside.empty() ? -1 : inside.back());
}

std::vector<TDrawnMap> TObjectEditModel::CopyMaps() const {
    std::vector<TDrawnMap> maps;
    for (int t : SelectedTriangles())
        if (t >= 1) maps.push_back(object_.Maps[static_cast<std::size_t>(t - 1)]);
    return maps;
}

int TObjectEditModel::PasteMaps(const std::vector<TDrawnMap>& maps) {
    const int room = MaxMaps - MapCount();
    const int count = std::min(room, static_cast<int>(maps.size()));
    if (count <= 0) return 0;
    EndDrag();
    Remember();
    std::vector<int> pasted;
    for (int i = 0; i < count; ++i) {
        TDrawnMap copy = maps[static_cast<std::size_t>(i)];
        copy.Triangle = Shifted(copy.Triangle, NewTriangleShift, NewTriangleShift);
        if (object_.CustomChances && !(copy.Share > 0)) copy.Share = 100.0 / (MapCount() + 1);
        object_.Maps.push_back(copy);
        pasted.push_back(MapCount());
    }
    NormalizeShares(object_);
    SelectTriangles(pasted, pasted.front());
    Changed();
    return count;
}

std::optional<TEditPoint> TObjectEditModel::FixedPoint(int k) const {
    const auto m = Coefficients(k);
    if (!m) return std::nullopt;
    const auto [A, B, C, D, E, F] = *m;
    // (1 - A) x - B y = C, -D x + (1 - E) y = F
    const double det = (1 - A) * (1 - E) - B * D;
    if (std::fabs(det) < 1e-12) return std::nullopt;
    const TEditPoint p{(C * (1 - E) + B * F) / det, ((1 - A) * F + D * C) / det};
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    return p;
}

std::optional<TPoint> TObjectEditModel::SelectedVertex() const {
    if (!ValidTriangle(selected_.Triangle) || selected_.Vertex < 0) return std::nullopt;
    return TriangleOf(selected_.Triangle)[static_cast<std::size_t>(selected_.Vertex)];
}

TObjectEditModel::Selection TObjectEditModel::HitTest(TEditPoint p, double grab) {
    if (CycleAt(p, grab)) cycleIndex_ = (cycleIndex_ + 1) % cycle_.size();
    return cycle_.empty() ? Selection{} : cycle_[cycleIndex_];
}

bool TObjectEditModel::CycleAt(TEditPoint p, double grab) {
    const double spot = std::max(grab / 3.0, 0.5);
    if (!cycle_.empty() && cycleRevision_ == revision_ && std::hypot(p.x - cycleSpot_.x, p.y - cycleSpot_.y) <= spot)
        return true;
    cycle_ = HitsAt(p, grab);
    cycleIndex_ = 0;
    cycleSpot_ = p;
    cycleRevision_ = revision_;
    return false;
}

std::vector<TObjectEditModel::Selection> TObjectEditModel::HitsAt(TEditPoint p, double grab) const {
    // The selected triangle first, then from the top of the list down.
    std::vector<int> order;
    if (ValidTriangle(selected_.Triangle)) order.push_back(selected_.Triangle);
    for (int t = MapCount(); t >= 0; --t)
        if (t != selected_.Triangle) order.push_back(t);

    std::vector<Selection> found;
    for (int t : order)
        if (const int best = NearestVertex(TriangleOf(t), p, grab); best >= 0) found.push_back({t, best});
    std::vector<int> inside;
    for (int t = MapCount(); t >= 0; --t)
        if (Contains(TriangleOf(t), p)) inside.push_back(t);
    std::stable_sort(inside.begin(), inside.end(), [&](int a, int b) {
        return std::llabs(DoubleArea(TriangleOf(a))) < std::llabs(DoubleArea(TriangleOf(b)));
    });
    for (int t : inside) found.push_back({t, -1});
    return found;
}

std::optional<TObjectEditModel::Selection> TObjectEditModel::HighlightedAt(TEditPoint p, double grab) const {
    const int t = selected_.Triangle;
    if (!ValidTriangle(t)) return std::nullopt;
    const TTriangle& tri = TriangleOf(t);
    const int v = selected_.Vertex;
    if (v >= 0 && std::hypot(tri[v].x - p.x, tri[v].y - p.y) <= grab) return selected_;
    if (const int best = NearestVertex(tri, p, grab); best >= 0) return Selection{t, best};
    if (Contains(tri, p)) return Selection{t, -1};
    return std::nullopt;
}

bool TObjectEditModel::BeginDrag(TEditPoint p, double grab, TDragKind wholeTriangle) {
    drag_.reset();
    std::optional<Selection> highlighted = HighlightedAt(p, grab);
    // Inside any of several selected triangles: all of them.
    if (!highlighted && !group_.empty())
        for (int t : group_)
            if (Contains(TriangleOf(t), p)) highlighted = Selection{t, -1};
    const Selection hit = highlighted ? *highlighted : HitTest(p, grab);
    const bool group = hit.Vertex < 0 && std::binary_search(group_.begin(), group_.end(), hit.Triangle);
    const std::vector<int> keep = group_;
    Select(hit);
    if (group) group_ = keep;
    if (hit.Triangle < 0) return false;
    TDragKind kind = wholeTriangle == TDragKind::Vertex ? TDragKind::Move : wholeTriangle;
    if (hit.Vertex >= 0) kind = TDragKind::Vertex;
    Drag d{hit, kind, p, TriangleOf(hit.Triangle), object_.Base[0]};
    d.Grab = grab;
    d.Kept = highlighted.has_value();
    for (int t : SelectedTriangles()) d.Members.push_back({t, TriangleOf(t)});
    d.Centre = CentreOf(d.Members);
    // The lever: from the centre to the press, lengthened to the minimum.
    const double lever = MinimumLever * grab / GrabDistance;
    double lx = p.x - d.Centre.x, ly = p.y - d.Centre.y;
    const double length = std::hypot(lx, ly);
    if (length < lever) {
        if (length > 1e-9) {
            lx *= lever / length;
            ly *= lever / length;
        } else {
            lx = lever;
            ly = 0;
        }
    }
    d.Lever = {lx, ly};
    drag_ = d;
    return true;
}

bool TObjectEditModel::EndPress() {
    if (!drag_) return false;
    const Drag d = *drag_;
    drag_.reset();
    if (!d.Kept || d.Moved) return false;
    // A click on what was highlighted: the next item lying there.
    CycleAt(d.Start, d.Grab);
    if (cycle_.size() < 2) return false;
    const auto at = std::find(cycle_.begin(), cycle_.end(), selected_);
    cycleIndex_ = at == cycle_.end() ? 0 : (static_cast<std::size_t>(at - cycle_.begin()) + 1) % cycle_.size();
    if (cycle_[cycleIndex_] == selected_) return false;
    selected_ = cycle_[cycleIndex_];
    return true;
}

std::optional<TPoint> TObjectEditModel::VertexSnap(const std::vector<TEditPoint>& moving, int exceptTriangle,
                                                   double grab) const {
    std::optional<TPoint> shift;
    double best = grab;
    for (int t = 0; t <= MapCount(); ++t) {
        if (t == exceptTriangle) continue;
        for (const TPoint& v : TriangleOf(t))
            for (const TEditPoint& m : moving) {
                const double d = std::hypot(v.x - m.x, v.y - m.y);
                if (d <= best) {
                    best = d;
                    shift = Rounded(v.x - m.x, v.y - m.y);
                }
            }
    }
    return shift;
}

bool TObjectEditModel::DragTo(TEditPoint p, bool steps) {
    if (!drag_ || !ValidTriangle(drag_->What.Triangle)) return false;
    if (p.x != drag_->Start.x || p.y != drag_->Start.y) drag_->Moved = true;
    const Drag& d = *drag_;
    const TTriangle& o = d.Original;
    const double dx = p.x - d.Start.x, dy = p.y - d.Start.y;
    std::vector<std::pair<int, TTriangle>> result = d.Members;
    // A moved point lands by the vertex snap's shift if there is one, else on the grid when that is on.
    auto snapped = [&](TPoint q, std::optional<TPoint> shift) {
        if (shift) return Rounded(double(q.x) + shift->x, double(q.y) + shift->y);
        return Snap ? TPoint{SnapTo(q.x, d.GridOrigin.x), SnapTo(q.y, d.GridOrigin.y)} : q;
    };
    switch (d.Kind) {
        case TDragKind::Vertex: {
            TTriangle t = o;
            TPoint& v = t[static_cast<std::size_t>(d.What.Vertex)];
            const TPoint rounded = Rounded(v.x + dx, v.y + dy);
            const auto snap = SnapToVertices ? VertexSnap({{double(rounded.x), double(rounded.y)}}, d.What.Triangle, d.Grab)
                                             : std::nullopt;
            v = snapped(rounded, snap);
            result = {{d.What.Triangle, t}};
            break;
        }
        case TDragKind::Move: {
            TPoint first = Rounded(o[0].x + dx, o[0].y + dy);
            std::optional<TPoint> snap;
            if (SnapToVertices && d.Members.size() == 1) {
                std::vector<TEditPoint> moved;
                for (const TPoint& v : o) moved.push_back({double(v.x) + first.x - o[0].x, double(v.y) + first.y - o[0].y});
                snap = VertexSnap(moved, d.What.Triangle, d.Grab);
            }
            first = snapped(first, snap);
            for (auto& member : result) member.second = Shifted(member.second, first.x - o[0].x, first.y - o[0].y);
            break;
        }
        case TDragKind::Rotate:
        case TDragKind::Scale: {
            const TEditPoint c = d.Centre;
            // The lever's end follows the pointer.
            const double sx = d.Lever.x, sy = d.Lever.y;
            const double px = sx + dx, py = sy + dy;
            const double startRadius = std::hypot(sx, sy);
            if (startRadius < 1e-9) break;
            double cosA = 1, sinA = 0, f = 1;
            if (d.Kind == TDragKind::Rotate) {
                double angle = std::atan2(py, px) - std::atan2(sy, sx);
                if (steps) {
                    const double step = RotationStep * Pi / 180.0;
                    angle = std::nearbyint(angle / step) * step;
                }
                cosA = std::cos(angle);
                sinA = std::sin(angle);
            } else {
                f = std::min(std::hypot(px, py) / startRadius, 1000.0);
                if (steps) f = std::max(std::nearbyint(f / ScaleStep), 1.0) * ScaleStep;
            }
            for (auto& member : result)
                for (TPoint& v : member.second) {
                    const double vx = v.x - c.x, vy = v.y - c.y;
                    v = Rounded(c.x + f * (cosA * vx - sinA * vy), c.y + f * (sinA * vx + cosA * vy));
                }
            break;
        }
    }
    if (!Differs(result)) return false;
    if (!d.Changed) {
        Remember();
        drag_->Changed = true;
    }
    for (const auto& [t, triangle] : result) MutableTriangle(t) = triangle;
    Changed();
    return true;
}

bool TObjectEditModel::Nudge(int dx, int dy) {
    if (!ValidTriangle(selected_.Triangle) || (dx == 0 && dy == 0)) return false;
    std::vector<std::pair<int, TTriangle>> moved;
    if (selected_.Vertex >= 0) {
        TTriangle t = TriangleOf(selected_.Triangle);
        TPoint& v = t[static_cast<std::size_t>(selected_.Vertex)];
        v = Rounded(double(v.x) + dx, double(v.y) + dy);
        moved = {{selected_.Triangle, t}};
    } else {
        for (int t : SelectedTriangles()) moved.push_back({t, Shifted(TriangleOf(t), dx, dy)});
    }
    // A single triangle's nudge ends a drag even when it moves nothing.
    if (moved.size() == 1) EndDrag();
    return ReplaceTriangles(moved);
}

bool TObjectEditModel::SetSelectedVertex(TPoint p) {
    if (!SelectedVertex()) return false;
    TTriangle t = TriangleOf(selected_.Triangle);
    t[static_cast<std::size_t>(selected_.Vertex)] = Rounded(p.x, p.y);
    return ReplaceTriangles({{selected_.Triangle, t}});
}

bool TObjectEditModel::AddMap(TColor color) {
    if (MapCount() >= MaxMaps) return false;
    const TTriangle& source = TriangleOf(ValidTriangle(selected_.Triangle) ? selected_.Triangle : 0);
    const TEditPoint c = Centre(source);
    TTriangle t;
    for (int i = 0; i < 3; ++i) t[i] = Rounded(c.x + (source[i].x - c.x) / 2, c.y + (source[i].y - c.y) / 2);
    // A triangle too small to halve keeps its size.
    if (std::llabs(DoubleArea(t)) < 64) t = source;
    return AppendShifted({t, color, true, 100.0 / (MapCount() + 1)});
}

bool TObjectEditModel::DuplicateMap() {
    if (MapCount() >= MaxMaps || selected_.Triangle < 1 || !ValidTriangle(selected_.Triangle)) return false;
    return AppendShifted(object_.Maps[static_cast<std::size_t>(selected_.Triangle - 1)]);
}

bool TObjectEditModel::AppendShifted(TDrawnMap map) {
    map.Triangle = Shifted(map.Triangle, NewTriangleShift, NewTriangleShift);
    EndDrag();
    Remember();
    object_.Maps.push_back(map);
    NormalizeShares(object_);
    selected_ = {MapCount(), -1};
    Changed();
    return true;
}

bool TObjectEditModel::DeleteMap() {
    std::vector<int> maps = SelectedTriangles();
    std::erase(maps, 0);  // the base stays
    if (maps.empty()) return false;
    EndDrag();
    Remember();
    std::sort(maps.begin(), maps.end());
    for (auto t = maps.rbegin(); t != maps.rend(); ++t) object_.Maps.erase(object_.Maps.begin() + (*t - 1));
    NormalizeShares(object_);
    // The next map, or the new last one.
    const int next = std::min(maps.front(), MapCount());
    Select(next >= 1 ? Selection{next, -1} : Selection{});
    Changed();
    return true;
}

template <class Field, class Value>
bool TObjectEditModel::SetMapField(int k, Field TDrawnMap::*field, Value value) {
    if (k < 1 || k > MapCount()) return false;
    Field& target = object_.Maps[static_cast<std::size_t>(k - 1)].*field;
    if (target == value) return false;
    Remember();
    target = value;
    Changed();
    return true;
}

bool TObjectEditModel::SetMapColor(int k, TColor color) { return SetMapField(k, &TDrawnMap::Color, color); }

bool TObjectEditModel::SetMapDiffuse(int k, bool diffuse) { return SetMapField(k, &TDrawnMap::Diffuse, diffuse); }

std::vector<double> TObjectEditModel::Shares() const {
    std::vector<double> shares;
    double sum = 0;
    for (const TDrawnMap& m : object_.Maps) {
        shares.push_back(object_.CustomChances ? std::max(m.Share, 0.0) : double(std::llabs(DoubleArea(m.Triangle))));
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

bool TObjectEditModel::HasArea(int k) const { return k >= 1 && k <= MapCount() && DoubleArea(TriangleOf(k)) != 0; }

bool TObjectEditModel::SetCustomChances(bool custom) {
    if (custom == object_.CustomChances) return false;
    EndDrag();
    Remember();
    if (custom) {
        const std::vector<double> byArea = Shares();
        for (std::size_t i = 0; i < object_.Maps.size(); ++i) object_.Maps[i].Share = byArea[i];
    } else {
        for (TDrawnMap& m : object_.Maps) m.Share = 0;
    }
    object_.CustomChances = custom;
    Changed();
    return true;
}

bool TObjectEditModel::SetShare(int k, double percent) {
    if (!object_.CustomChances || k < 1 || k > MapCount() || !std::isfinite(percent)) return false;
    percent = std::clamp(percent, 0.0, 100.0);
    TDrawing o = object_;
    double others = 0;
    for (int i = 1; i <= MapCount(); ++i)
        if (i != k) others += o.Maps[static_cast<std::size_t>(i - 1)].Share;
    for (int i = 1; i <= MapCount(); ++i) {
        TDrawnMap& m = o.Maps[static_cast<std::size_t>(i - 1)];
        if (i == k)
            m.Share = percent;
        else
            m.Share = others > 0 ? m.Share * (100.0 - percent) / others : (100.0 - percent) / (MapCount() - 1);
    }
    if (MapCount() == 1) o.Maps[0].Share = 100;
    if (o == object_) return false;
    EndDrag();
    Remember();
    object_ = std::move(o);
    Changed();
    return true;
}

std::optional<TMapCoefficients> TObjectEditModel::Coefficients(int k) const {
    if (k < 1 || k > MapCount()) return std::nullopt;
    return MapBetween(object_.Base, TriangleOf(k));
}

bool TObjectEditModel::Differs(const std::vector<std::pair<int, TTriangle>>& triangles) const {
    return std::any_of(triangles.begin(), triangles.end(),
                       [&](const auto& member) { return !(TriangleOf(member.first) == member.second); });
}

bool TObjectEditModel::ReplaceTriangles(const std::vector<std::pair<int, TTriangle>>& triangles) {
    for (const auto& member : triangles)
        if (!ValidTriangle(member.first)) return false;
    if (!Differs(triangles)) return false;
    EndDrag();
    Remember();
    for (const auto& [t, triangle] : triangles) MutableTriangle(t) = triangle;
    Changed();
    return true;
}

bool TObjectEditModel::SetCoefficients(int k, const TMapCoefficients& m) {
    if (k < 1 || k > MapCount() || DoubleArea(object_.Base) == 0) return false;
    for (double c : m)
        if (!std::isfinite(c)) return false;
    return ReplaceTriangles({{k, MappedTriangle(m, object_.Base)}});
}

bool TObjectEditModel::TransformSelected(double a, double b, double d, double e, bool aboutVertex1) {
    if (!ValidTriangle(selected_.Triangle)) return false;
    std::vector<std::pair<int, TTriangle>> result;
    for (int m : SelectedTriangles()) result.push_back({m, TriangleOf(m)});
    const TPoint& v1 = TriangleOf(selected_.Triangle)[0];
    const TEditPoint c = CentreOf(result);
    const TEditPoint pivot = aboutVertex1 ? TEditPoint{double(v1.x), double(v1.y)}
                                          : TEditPoint{std::nearbyint(c.x), std::nearbyint(c.y)};
    for (auto& member : result)
        for (TPoint& v : member.second) {
            const double x = v.x - pivot.x, y = v.y - pivot.y;
            v = Rounded(pivot.x + a * x + b * y, pivot.y + d * x + e * y);
        }
    return ReplaceTriangles(result);
}

bool TObjectEditModel::RotateSelected(double degrees, bool aboutVertex1) {
    if (!std::isfinite(degrees)) return false;
    // Counter-clockwise on the screen, where y runs down.
    const double r = -degrees * Pi / 180.0;
    double c = std::cos(r), s = std::sin(r);
    // Quarter turns exactly, so four of them give the triangle back.
    const double quarters = degrees / 90.0;
    if (quarters == std::nearbyint(quarters)) {
        c = std::nearbyint(c);
        s = std::nearbyint(s);
    }
    return TransformSelected(c, -s, s, c, aboutVertex1);
}

bool TObjectEditModel::ScaleSelected(double percent, bool aboutVertex1) {
    if (!std::isfinite(percent)) return false;
    const double f = percent / 100.0;
    return TransformSelected(f, 0, 0, f, aboutVertex1);
}

bool TObjectEditModel::FlipSelected(bool horizontal, bool aboutVertex1) {
    return horizontal ? TransformSelected(-1, 0, 0, 1, aboutVertex1) : TransformSelected(1, 0, 0, -1, aboutVertex1);
}

TRenderBlock TObjectEditModel::RenderBlock() const {
    if (MapCount() < 1) return TRenderBlock::NoMaps;
    if (Warnings().Any()) return TRenderBlock::BaseUnsolvable;
    auto noArea = [](const TDrawnMap& m) { return DoubleArea(m.Triangle) == 0; };
    if (std::all_of(object_.Maps.begin(), object_.Maps.end(), noArea)) return TRenderBlock::NoArea;
    auto noChance = [](const TDrawnMap& m) { return !(m.Share > 0); };
    if (object_.CustomChances && std::all_of(object_.Maps.begin(), object_.Maps.end(), noChance))
        return TRenderBlock::NoChance;
    return TRenderBlock::None;
}

std::vector<std::vector<TObjectEditModel::Selection>> TObjectEditModel::CoincidingVertices() const {
    std::vector<std::vector<Selection>> groups;
    std::vector<TPoint> at;
    for (int t = 0; t <= MapCount(); ++t)
        for (int i = 0; i < 3; ++i) {
            const TPoint v = TriangleOf(t)[static_cast<std::size_t>(i)];
            const auto found = std::find(at.begin(), at.end(), v);
            if (found == at.end()) {
                at.push_back(v);
                groups.push_back({{t, i}});
            } else {
                groups[static_cast<std::size_t>(found - at.begin())].push_back({t, i});
            }
        }
    return groups;
}

void TObjectEditModel::Remember() {
    undo_.push_back({object_, selected_, group_});
    if (undo_.size() > MaxUndoLevels) undo_.erase(undo_.begin());
    redo_.clear();
}

bool TObjectEditModel::Step(std::vector<Snapshot>& from, std::vector<Snapshot>& to) {
    if (from.empty()) return false;
    EndDrag();
    to.push_back({object_, selected_, group_});
    object_ = std::move(from.back().Object);
    selected_ = from.back().Selected;
    group_ = from.back().Group;
    from.pop_back();
    Changed();
    return true;
}

}  // namespace fernweave
