#include "solver.h"

#include <cmath>

namespace fernweave {

namespace {

inline float F32(double v) { return static_cast<float>(v); }
inline double D(float v) { return static_cast<double>(v); }

}  // namespace

std::array<float, 6> SolveTriangleMap(const TTriangle& base, const TTriangle& target) {
    const float X1 = static_cast<float>(base[0].x), Y1 = static_cast<float>(base[0].y);
    const float X2 = static_cast<float>(base[1].x), Y2 = static_cast<float>(base[1].y);
    const float X3 = static_cast<float>(base[2].x), Y3 = static_cast<float>(base[2].y);

    // These depend on the base triangle only.
    const float P = F32(D(Y1) * X2 - D(Y2) * X1);
    const float Q = F32(D(X2) - X1);
    const float R = F32(D(Y2) * X3 - D(Y3) * X2);
    const float S = F32(D(X3) - X2);

    // A base vertex 1 in column 0 leaves the elimination without its final
    // divisor: divide by 1 instead, and use 1 for X1 from then on.
    const bool x1Zero = X1 == 0.0f;
    const float divisorX1 = x1Zero ? 1.0f : X1;

    auto determinant1 = [&] {
        float d = F32(D(Q) * R - D(S) * P);
        return d == 0.0f ? 1.0f : d;
    };
    auto determinant2 = [&] {
        float d = F32(D(P) * S - D(R) * Q);
        return d == 0.0f ? 1.0f : d;
    };

    std::array<float, 6> m{};
    // First row: the new x.
    {
        const float U1 = static_cast<float>(target[0].x);
        const float U2 = static_cast<float>(target[1].x);
        const float U3 = static_cast<float>(target[2].x);
        const float G = F32(D(U1) * X2 - D(U2) * X1);
        const float H = F32(D(U2) * X3 - D(U3) * X2);
        const float D1 = determinant1();
        const float C = F32((D(G) * R - D(H) * P) / D1);
        const float D2 = determinant2();
        const float B = F32((D(G) * S - D(H) * Q) / D2);
        const float A = F32((D(U1) - D(B) * Y1 - C) / divisorX1);
        m[0] = A;
        m[1] = B;
        m[2] = C;
    }
    // Second row: the new y.
    {
        const float V1 = static_cast<float>(target[0].y);
        const float V2 = static_cast<float>(target[1].y);
        const float V3 = static_cast<float>(target[2].y);
        const float X1g = x1Zero ? 1.0f : X1;
        const float G = F32(D(V1) * X2 - D(V2) * X1g);
        const float H = F32(D(V2) * X3 - D(V3) * X2);
        const float D1 = determinant1();
        const float F = F32((D(G) * R - D(H) * P) / D1);
        const float D2 = determinant2();
        const float E = F32((D(G) * S - D(H) * Q) / D2);
        const float Dc = F32((D(V1) - D(E) * Y1 - F) / divisorX1);
        m[3] = Dc;
        m[4] = E;
        m[5] = F;
    }
    return m;
}

void SolveMap(FractalState& s, int k) {
    const auto m = SolveTriangleMap(s.BaseTriangle, s.TargetTriangle);
    TIfsMap& map = s.Maps[k];
    map.A = m[0];
    map.B = m[1];
    map.C = m[2];
    map.D = m[3];
    map.E = m[4];
    map.F = m[5];
}

void SolvePlacementMap(FractalState& s) { s.PlacementMap = SolveTriangleMap(s.BaseTriangle, s.TargetTriangle); }

void SolveAllMaps(FractalState& s) {
    s.BaseTriangle = {s.Points[1], s.Points[2], s.Points[3]};
    for (int k = 1; k <= s.MapCount; ++k) {
        s.TargetTriangle = {s.Points[3 * k + 1], s.Points[3 * k + 2], s.Points[3 * k + 3]};
        SolveMap(s, k);
    }
}

void ComputeProbabilities(FractalState& s) {
    const int n = s.MapCount;
    if (n < 1) return;
    auto weight = [&](int k) {
        const TIfsMap& m = s.Maps[k];
        return F32(std::fabs(D(m.A) * m.E - D(m.B) * m.D));
    };
    float sum = 0.0f;
    for (int k = 1; k <= n; ++k) sum = F32(D(sum) + weight(k));
    if (sum == 0.0f) sum = 1.0f;
    for (int k = 1; k < n; ++k) s.Maps[k].Probability = F32(D(weight(k)) / sum);
    // The last map takes whatever remains, so the probabilities add up to 1.
    float last = 1.0f;
    for (int k = 1; k < n; ++k) last = F32(D(last) - s.Maps[k].Probability);
    s.Maps[n].Probability = last;
}

double RandomFraction(FractalState& s) {
    s.RandomState = NextRandomState(s.RandomState);
    return RandomValue(s.RandomState);
}

int ChooseMapForState(const TMapArray& maps, int mapCount, std::uint32_t state) {
    const float r = F32(RandomValue(state));
    int i = 1;
    float running = maps[1].Probability;
    // Rounding can leave the running sum just below r after the last map:
    // the choice never goes beyond it.
    while (running < r && i < mapCount) {
        ++i;
        running = F32(D(running) + maps[i].Probability);
    }
    return i;
}

int ChooseMap(FractalState& s) {
    RandomFraction(s);
    return ChooseMapForState(s.Maps, s.MapCount, s.RandomState);
}

void ApplyMap(FractalState& s, int k) {
    const TIfsMap& m = s.Maps[k];
    const double x = s.CurrentPoint.x, y = s.CurrentPoint.y;
    s.CurrentPoint.x = F32(D(m.A) * x + D(m.B) * y + m.C);
    s.CurrentPoint.y = F32(D(m.D) * x + D(m.E) * y + m.F);
}

void ApplyMapPlaced(FractalState& s, int k) {
    ApplyMap(s, k);
    const auto& p = s.PlacementMap;
    const double x = s.CurrentPoint.x, y = s.CurrentPoint.y;
    s.PlacedPoint.x = F32(D(p[0]) * x + D(p[1]) * y + p[2]);
    s.PlacedPoint.y = F32(D(p[3]) * x + D(p[4]) * y + p[5]);
}

void MapChooser::Build(const TMapArray& maps, int mapCount) {
    mapCount_ = mapCount < 1 ? 1 : mapCount;
    // The choice is monotonic in the state, so each boundary is found by bisection.
    for (int k = 1; k < mapCount_; ++k) {
        std::uint64_t lo = 0, hi = std::uint64_t{1} << 32;  // answer in [lo, hi]
        while (lo < hi) {
            const std::uint64_t mid = lo + (hi - lo) / 2;
            if (ChooseMapForState(maps, mapCount_, static_cast<std::uint32_t>(mid)) > k)
                hi = mid;
            else
                lo = mid + 1;
        }
        threshold_[k] = lo;
    }
    threshold_[mapCount_] = std::uint64_t{1} << 32;

    const std::size_t buckets = std::size_t{1} << BucketBits;
    std::vector<std::uint8_t> first(buckets + 1, 0);
    int k = 1;
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::uint64_t firstState = static_cast<std::uint64_t>(b) << BucketShift;
        while (k < mapCount_ && firstState >= threshold_[k]) ++k;
        first[b] = static_cast<std::uint8_t>(k);
    }
    first[buckets] = static_cast<std::uint8_t>(mapCount_);
    bucket_.assign(buckets, 0);
    for (std::size_t b = 0; b < buckets; ++b)
        bucket_[b] = static_cast<std::uint8_t>(first[b] | (first[b] != first[b + 1] ? Mixed : 0u));
}

std::int64_t DoubleArea(const TTriangle& t) {
    const std::int64_t x1 = t[0].x, y1 = t[0].y;
    return (t[1].x - x1) * (t[2].y - y1) - (t[2].x - x1) * (t[1].y - y1);
}

TBaseWarnings CheckBaseTriangle(const TTriangle& base) {
    // An object file may hold any 32-bit coordinates: the products need 128 bits.
    __extension__ typedef __int128 Wide;
    const std::int64_t x1 = base[0].x, y1 = base[0].y;
    const Wide area2 = static_cast<Wide>(base[1].x - x1) * (base[2].y - y1) - static_cast<Wide>(base[2].x - x1) * (base[1].y - y1);
    return {base[0].x == 0 || base[1].x == 0, area2 == 0};
}

}  // namespace fernweave
