// fernweave-tutorial-frames: the pictures and the page of one tutorial of the
// help file, made at build time from the tutorial's text drawing.
//
//   fernweave-tutorial-frames DRAWING PAGE OUTDIR NAME RENDER.bmp...
//
// It clicks the drawing into a fresh state as the user would and draws the
// outlines with the editor's own strokes onto a black canvas, and writes to
// OUTDIR:
//   NAME_stepK.png      the canvas after triangle K, its vertices numbered
//   NAME_result.png     the last RENDER picture (made by fernweave-render)
//   NAME.gif            the animation: click by click, then every RENDER
//   tutorial_NAME.html  PAGE with "<!-- steps -->" replaced by one section per
//                       triangle (the comment lines above its base or map line,
//                       the first being the title; the clicks, the colour and
//                       Diffuse state, its picture) and a last one that renders.
#include <QImage>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fractal_state.h"
#include "gif_writer.h"
#include "safe_file.h"
#include "strict_number.h"
#include "strokes.h"
#include "text_drawing.h"

using namespace fernweave;
using namespace fernweave::cli;

namespace {

constexpr const char* StepsMarker = "<!-- steps -->";

struct StepNote {
    std::string Title;
    std::string Text;
};

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The comment block right above each base and map line, in order.
std::vector<StepNote> CollectNotes(const std::string& text) {
    std::vector<StepNote> notes;
    std::vector<std::string> block;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::string t = Trim(line);
        if (t.empty()) {
            block.clear();
        } else if (t[0] == '#') {
            block.push_back(Trim(t.substr(1)));
        } else {
            StepNote& note = notes.emplace_back();
            if (!block.empty()) note.Title = block[0];
            for (std::size_t i = 1; i < block.size(); ++i) {
                if (!note.Text.empty()) note.Text += ' ';
                note.Text += block[i];
            }
            block.clear();
        }
    }
    return notes;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// Digits 1 to 3, five columns by seven rows, for the vertex numbers.
constexpr std::uint8_t Digits[3][7] = {
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
};

void Plot(Picture24& p, int x, int y, TColor c) {
    if (x >= 0 && y >= 0 && x < p.Width() && y < p.Height()) SetPixel24(p, x, y, c);
}

constexpr int BadgeRadius = 10;

// A round badge with the vertex number (0-based `vertex`) centred at `at`.
void DrawBadge(Picture24& p, TPoint at, int vertex, TColor colour) {
    const bool dark = RedOf(colour) * 299 + GreenOf(colour) * 587 + BlueOf(colour) * 114 < 128000;
    const TColor ink = dark ? clWhite : clBlack;
    for (int y = -BadgeRadius; y <= BadgeRadius; ++y)
        for (int x = -BadgeRadius; x <= BadgeRadius; ++x)
            if (x * x + y * y <= BadgeRadius * BadgeRadius) Plot(p, at.x + x, at.y + y, colour);
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (Digits[vertex][row] & (0x10 >> col))
                for (int k = 0; k < 4; ++k) Plot(p, at.x - 5 + 2 * col + k % 2, at.y - 7 + 2 * row + k / 2, ink);
}

// Numbers the clicked vertices of the triangle under way (or just completed):
// each badge sits outside the triangle beside its vertex, clear of the others.
void NumberCurrentTriangle(Picture24& p, const FractalState& s) {
    const int n = s.PointCount;
    const int first = n - (n - 1) % 3;
    const int count = n - first + 1;
    double cx = 0, cy = 0;
    for (int i = first; i <= n; ++i) {
        cx += s.Points[i].x;
        cy += s.Points[i].y;
    }
    cx /= count;
    cy /= count;
    if (count < 3) cy += 30;  // a point or a side: the badges go above it
    std::array<double, 6> at{};
    for (int i = 0; i < count; ++i) {
        const TPoint v = s.Points[first + i];
        double dx = v.x - cx, dy = v.y - cy;
        const double len = std::hypot(dx, dy);
        if (len < 1) dx = 0, dy = -1;
        else dx /= len, dy /= len;
        at[2 * i] = v.x + dx * 17;
        at[2 * i + 1] = v.y + dy * 17;
    }
    constexpr double Apart = 2 * BadgeRadius + 3;
    for (int round = 0; round < 4; ++round)
        for (int i = 0; i < count; ++i)
            for (int j = i + 1; j < count; ++j) {
                double dx = at[2 * j] - at[2 * i], dy = at[2 * j + 1] - at[2 * i + 1];
                const double d = std::hypot(dx, dy);
                if (d >= Apart) continue;
                if (d < 1) dx = 1, dy = 0;
                else dx /= d, dy /= d;
                const double push = (Apart - d) / 2;
                at[2 * i] -= dx * push, at[2 * i + 1] -= dy * push;
                at[2 * j] += dx * push, at[2 * j + 1] += dy * push;
            }
    auto clampX = [&](double x) { return std::clamp(static_cast<int>(std::lround(x)), BadgeRadius + 1, p.Width() - BadgeRadius - 2); };
    auto clampY = [&](double y) { return std::clamp(static_cast<int>(std::lround(y)), BadgeRadius + 1, p.Height() - BadgeRadius - 2); };
    for (int i = 0; i < count; ++i) {
        const TPoint v = s.Points[first + i];
        int x = clampX(at[2 * i]), y = clampY(at[2 * i + 1]);
        // Pushed back onto its vertex by the edge of the canvas: beside it instead.
        if (std::hypot(x - v.x, y - v.y) < BadgeRadius + 4) {
            x = clampX(v.x + (v.x >= cx ? 1 : -1) * 18);
            y = clampY(v.y);
        }
        DrawBadge(p, {x, y}, i, s.PenColors[first + i]);
    }
}

bool SavePng(const Picture24& p, const std::string& path) {
    const QImage image(p.Data(), p.Width(), p.Height(), static_cast<qsizetype>(p.Stride()), QImage::Format_BGR888);
    return image.save(QString::fromStdString(path), "PNG");
}

bool LoadPicture(const std::string& path, Picture24& p) {
    QImage image(QString::fromStdString(path));
    if (image.isNull()) return false;
    image = image.convertToFormat(QImage::Format_BGR888);
    p.Reset(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::copy_n(image.constScanLine(y), static_cast<std::size_t>(image.width()) * 3, p.Row(y));
    return true;
}

std::string StepSection(int number, const StepNote& note, const TTriangle& t, const TDrawnMap* map,
                        const std::string& name) {
    std::ostringstream h;
    h << "<h3>Step " << number << ": " << Escape(note.Title.empty() ? "Map " + std::to_string(number - 1) : note.Title)
      << "</h3>\n";
    if (!note.Text.empty()) h << "<p>" << Escape(note.Text) << "</p>\n";
    h << "<p class=\"clicks\">Click";
    for (int i = 0; i < 3; ++i)
        h << (i == 0 ? " " : i == 1 ? ", " : " and ") << "<b>" << i + 1 << "</b>&nbsp;(" << t[static_cast<std::size_t>(i)].x
          << ",&nbsp;" << t[static_cast<std::size_t>(i)].y << ")";
    h << ".</p>\n";
    if (map) {
        const std::string hex = FormatColor(map->Color);
        h << "<p class=\"colour\">Foreground colour <span class=\"chip\" style=\"background-color:" << hex
          << "\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;" << hex << ", Diffuse "
          << (map->Diffuse ? "checked" : "unchecked") << ".</p>\n";
    }
    h << "<p class=\"picture\"><img src=\"" << name << "_step" << number << ".png\" width=\"550\" height=\"364\" alt=\"Step "
      << number << "\"></p>\n";
    return h.str();
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "fernweave-tutorial-frames: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6)
        return Fail("usage: fernweave-tutorial-frames DRAWING PAGE OUTDIR NAME RENDER.bmp...");
    const std::string drawingPath = argv[1], pagePath = argv[2], outDir = argv[3], name = argv[4];
    const std::vector<std::string> renders(argv + 5, argv + argc);

    std::string text, page;
    if (!ReadFilePrefix(drawingPath, SIZE_MAX, text)) return Fail("cannot read " + drawingPath);
    if (!ReadFilePrefix(pagePath, SIZE_MAX, page)) return Fail("cannot read " + pagePath);
    const auto marker = page.find(StepsMarker);
    if (marker == std::string::npos) return Fail(pagePath + " has no " + StepsMarker);

    TDrawing drawing;
    DrawingError bad;
    if (!ParseTextDrawing(text, drawing, bad))
        return Fail(drawingPath + ":" + std::to_string(bad.Line) + ": " + bad.Message);
    const std::vector<StepNote> notes = CollectNotes(text);
    if (notes.size() != drawing.Maps.size() + 1) return Fail(drawingPath + ": the comments do not match the lines");

    std::vector<Picture24> rendered(renders.size());
    for (std::size_t i = 0; i < renders.size(); ++i)
        if (!LoadPicture(renders[i], rendered[i])) return Fail("cannot read the picture " + renders[i]);
    const int W = rendered.back().Width(), H = rendered.back().Height();
    for (const Picture24& r : rendered)
        if (r.Width() != W || r.Height() != H) return Fail("the rendered pictures differ in size");

    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(outDir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.starts_with(name + "_step") && file.ends_with(".png")) std::filesystem::remove(entry.path(), ec);
    }
    if (ec) return Fail("cannot list " + outDir);

    // Click by click, as the user draws it: a frame after each click.
    FractalState state;
    std::deque<Picture24> frames;  // the GIF's frames point into it
    std::vector<GifFrame> gif;
    LoadDrawing(state, drawing, 1, [&] {
        Picture24& frame = frames.emplace_back(W, H, clBlack);
        DrawObjectOutline(frame, state);
        NumberCurrentTriangle(frame, state);
        gif.push_back({&frame, state.PointCount % 3 != 0 ? 45 : 110});
    });
    std::string steps;
    for (std::size_t k = 0; k <= drawing.Maps.size(); ++k) {
        const TDrawnMap* map = k == 0 ? nullptr : &drawing.Maps[k - 1];
        const int number = static_cast<int>(k) + 1;
        const std::string png = outDir + "/" + name + "_step" + std::to_string(number) + ".png";
        if (!SavePng(frames[3 * k + 2], png)) return Fail("cannot write " + png);
        steps += StepSection(number, notes[k], map ? map->Triangle : drawing.Base, map, name);
    }
    const int renderStep = static_cast<int>(drawing.Maps.size()) + 2;
    steps += "<h3>Step " + std::to_string(renderStep) +
             ": Render</h3>\n<p>Right-click the canvas, or choose Render &gt; Start Rendering. The outlines vanish "
             "and the chaos game paints the fractal point by point. After a few seconds right-click again, or choose "
             "Render &gt; Stop Rendering.</p>\n<p class=\"picture\"><img src=\"" +
             name + "_result.png\" width=\"550\" height=\"364\" alt=\"The finished picture\"></p>\n";
    gif.back().DelayCentiseconds = 200;
    for (std::size_t i = 0; i < rendered.size(); ++i) gif.push_back({&rendered[i], i + 1 < rendered.size() ? 70 : 500});

    const std::string result = outDir + "/" + name + "_result.png";
    if (!SavePng(rendered.back(), result)) return Fail("cannot write " + result);

    std::vector<std::uint8_t> bytes;
    try {
        bytes = EncodeAnimatedGif(gif);
    } catch (const std::exception& e) {
        return Fail(std::string("the animation: ") + e.what());
    }
    const std::string gifPath = outDir + "/" + name + ".gif";
    if (!WriteText(gifPath, std::string(bytes.begin(), bytes.end()))) return Fail("cannot write " + gifPath);

    page.replace(marker, std::string(StepsMarker).size(), steps);
    const std::string pageOut = outDir + "/tutorial_" + name + ".html";
    if (!WriteText(pageOut, page)) return Fail("cannot write " + pageOut);
    return 0;
}
