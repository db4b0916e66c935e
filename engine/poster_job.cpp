#include "poster_job.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <cstdio>

#include "drawing.h"
#include "fractal_state.h"
#include "renderer.h"

// A band drops the points of the other rows: they must lie within the reset bound.
static_assert(fernweave::MaxPosterSide < fernweave::FarAwayBound);

namespace fernweave {

TTriangle PosterPlacement(const TTriangle& base, int canvasWidth, int canvasHeight, int posterWidth, int posterHeight) {
    const double scale = std::min(static_cast<double>(posterWidth) / canvasWidth,
                                  static_cast<double>(posterHeight) / canvasHeight);
    const double shiftX = (posterWidth - scale * canvasWidth) / 2;
    const double shiftY = (posterHeight - scale * canvasHeight) / 2;
    // Pixel i covers i - 0.5 .. i + 0.5: the canvas's edges go onto the poster's.
    const auto carry = [&](std::int32_t v, double shift) {
        return static_cast<std::int32_t>(std::nearbyint((v + 0.5) * scale - 0.5 + shift));
    };
    TTriangle t{};
    for (int i = 0; i < 3; ++i) t[i] = {carry(base[i].x, shiftX), carry(base[i].y, shiftY)};
    return t;
}

std::string PosterSettingsProblem(const PosterSettings& s) {
    const auto range = [](const char* what, const std::string& from, const std::string& to) {
        return std::string(what) + " must be from " + from + " to " + to + ".";
    };
    const std::string side = std::to_string(MaxPosterSide);
    if (s.Width < 1 || s.Width > MaxPosterSide) return range("The width", "1", side + " pixels");
    if (s.Height < 1 || s.Height > MaxPosterSide) return range("The height", "1", side + " pixels");
    if (s.Density) {
        if (static_cast<std::int64_t>(std::max(s.Width, s.Height)) * s.Supersample > MaxPosterSamples)
            return "The poster times the supersampling may be at most 65536 pixels on a side.";
        const DensityTone& t = s.Tone;
        if (!(t.Gamma >= 0.1 && t.Gamma <= 10)) return range("The gamma", "0.1", "10");
        if (!(t.Exposure >= -10 && t.Exposure <= 10)) return range("The exposure", "-10", "10 stops");
        if (!(t.WhitePoint >= 50 && t.WhitePoint <= 100)) return range("The white point", "50", "100 %");
        if (!(t.Highlights >= 0 && t.Highlights <= 1)) return range("The highlights", "0", "1");
    }
    if (s.HitsPerPixel < 1 || s.HitsPerPixel > 1000000) return range("The quality", "1", "1000000 hits per pixel");
    if (s.Threads < 0 || s.Threads > 256) return range("The threads", "1", "256");
    return {};
}

const PrintSize PrintSizes[9] = {
    {"A4", 210, 297},          {"A3", 297, 420},           {"A2", 420, 594},
    {"A1", 594, 841},          {"A0", 841, 1189},          {"US Letter", 215.9, 279.4},
    {"8 x 10 in", 203.2, 254}, {"12 x 18 in", 304.8, 457.2}, {"24 x 36 in", 609.6, 914.4},
};

void PrintSizePixels(const PrintSize& size, int dpi, bool landscape, int& width, int& height) {
    const auto pixels = [dpi](double mm) { return static_cast<int>(std::lround(mm / 25.4 * dpi)); };
    width = pixels(landscape ? size.HeightMm : size.WidthMm);
    height = pixels(landscape ? size.WidthMm : size.HeightMm);
}

std::string PosterOptions(const PosterSettings& s, const TTriangle& placement, int dpi) {
    char text[512];
    std::snprintf(text, sizeof text, "--size %dx%d --dpi %d --background #%02X%02X%02X --steps %llu --place %d,%d,%d,%d,%d,%d",
                  s.Width, s.Height, dpi, RedOf(s.Background), GreenOf(s.Background), BlueOf(s.Background),
                  static_cast<unsigned long long>(PosterPictureJob(s).Steps), placement[0].x, placement[0].y,
                  placement[1].x, placement[1].y, placement[2].x, placement[2].y);
    std::string options = text;
    if (s.Density) {
        // Shortest exact digits with a point, whatever the user's locale.
        const auto number = [](double v) {
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
            return std::string(digits, end);
        };
        options += " --shading density --supersample " + std::to_string(s.Supersample) + " --gamma " +
                   number(s.Tone.Gamma) + " --exposure " + number(s.Tone.Exposure) + " --white-point " +
                   number(s.Tone.WhitePoint) + " --highlights " + number(s.Tone.Highlights);
        if (s.Bits == 16) options += " --bits 16";
    }
    if (s.Transparent) options += " --transparent";
    return options;
}

PictureJob PosterPictureJob(const PosterSettings& settings) {
    PictureJob job;
    job.Width = settings.Width;
    job.Height = settings.Height;
    job.Background = settings.Background;
    job.Steps = settings.HitsPerPixel * static_cast<std::uint64_t>(settings.Width) *
                static_cast<std::uint64_t>(settings.Height);
    job.Density = settings.Density;
    job.Supersample = settings.Density ? settings.Supersample : 1;
    job.Tone = settings.Tone;
    job.Transparent = settings.Transparent;
    job.Bits = settings.Density ? settings.Bits : 8;
    return job;
}

void PreparePoster(FractalState& fresh, const TIfsObject& object, const TTriangle& placement, int supersample) {
    // As an import followed by its placement triangle.
    fresh.SetObject(object);
    PlaceImported(fresh, placement, supersample);
    PrepareRendering(fresh);
}

}  // namespace fernweave
