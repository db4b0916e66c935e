#include "text_drawing.h"

#include <optional>

#include "strict_number.h"

namespace fernweave::cli {

namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (auto start = line.find_first_not_of(" \t"); start != std::string_view::npos;) {
        const auto end = line.find_first_of(" \t", start);
        fields.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(" \t", end);
    }
    return fields;
}

// Quoted for a message, cut short so that a binary file cannot flood the terminal,
// with control bytes shown as '?'.
std::string Quote(std::string_view field) {
    constexpr std::size_t limit = 24;
    std::string s = "'";
    for (std::size_t i = 0; i < field.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        s += (c < 0x20 || c == 0x7F) ? '?' : field[i];
    }
    if (field.size() > limit) s += "...";
    return s + "'";
}

struct LineParser {
    std::vector<std::string_view> fields;
    std::size_t next = 1;  // field 0 is the keyword
    std::string error;

    bool Fail(std::string message) {
        error = std::move(message);
        return false;
    }

    // No field is left before the end of the line or a comment.
    bool AtEnd() const { return next >= fields.size() || fields[next].front() == '#'; }

    bool Triangle(TTriangle& t) {
        for (int v = 0; v < 3; ++v) {
            for (int c = 0; c < 2; ++c) {
                if (AtEnd())
                    return Fail(fields[0] == "base" ? "base needs six coordinates: base x1 y1 x2 y2 x3 y3"
                                                    : "map needs six coordinates, a colour and diffuse or plain");
                const auto value = ParseInteger(fields[next], -DrawingCoordinateLimit, DrawingCoordinateLimit);
                if (!value)
                    return Fail("bad coordinate " + Quote(fields[next]) +
                                " (whole numbers from -16777216 to 16777216)");
                (c == 0 ? t[v].x : t[v].y) = static_cast<std::int32_t>(*value);
                ++next;
            }
        }
        return true;
    }

    bool Color(TColor& color) {
        if (next >= fields.size()) return Fail("map needs a colour #RRGGBB after its coordinates");
        const auto value = ParseColor(fields[next], false);
        if (!value) return Fail("bad colour " + Quote(fields[next]) + " (expected #RRGGBB)");
        color = *value;
        ++next;
        return true;
    }

    bool Diffuse(bool& diffuse) {
        if (AtEnd()) return Fail("map needs diffuse or plain after its colour");
        if (fields[next] != "diffuse" && fields[next] != "plain")
            return Fail("expected diffuse or plain, found " + Quote(fields[next]));
        diffuse = fields[next++] == "diffuse";
        return true;
    }

    // After the last field only a comment may follow.
    bool End() {
        if (!AtEnd()) return Fail("unexpected " + Quote(fields[next]) + " after the last field");
        return true;
    }
};

}  // namespace

bool ParseTextDrawing(std::string_view text, TDrawing& drawing, DrawingError& error) {
    // A byte-order mark from an editor is not part of the first line.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

    TDrawing result;
    int baseLine = 0;
    int lineNumber = 0;
    auto fail = [&](int line, std::string message) {
        error = {line, std::move(message)};
        return false;
    };

    while (!text.empty()) {
        ++lineNumber;
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);

        LineParser parser;
        parser.fields = SplitFields(line);
        if (parser.fields.empty() || parser.fields[0].front() == '#') continue;

        const std::string_view keyword = parser.fields[0];
        if (keyword == "base") {
            if (baseLine != 0) return fail(lineNumber, "a second base line (the first is line " + std::to_string(baseLine) + ")");
            if (!parser.Triangle(result.Base) || !parser.End()) return fail(lineNumber, parser.error);
            baseLine = lineNumber;
        } else if (keyword == "map") {
            if (baseLine == 0) return fail(lineNumber, "map before the base line");
            if (result.Maps.size() >= static_cast<std::size_t>(MaxMaps))
                return fail(lineNumber, "more than 120 maps");
            TDrawnMap map;
            if (!parser.Triangle(map.Triangle) || !parser.Color(map.Color) || !parser.Diffuse(map.Diffuse) ||
                !parser.End())
                return fail(lineNumber, parser.error);
            result.Maps.push_back(map);
        } else {
            return fail(lineNumber, "unknown keyword " + Quote(keyword) + " (expected base or map)");
        }
    }

    if (baseLine == 0) return fail(0, "no base line");
    if (result.Maps.empty()) return fail(0, "no map line (a drawing needs 1 to 120 maps)");
    drawing = std::move(result);
    return true;
}

std::string FormatTextDrawing(const TDrawing& drawing) {
    auto triangle = [](const TTriangle& t) {
        std::string s;
        for (const TPoint& p : t) s += ' ' + std::to_string(p.x) + ' ' + std::to_string(p.y);
        return s;
    };
    std::string text = "base" + triangle(drawing.Base) + "\n";
    for (const TDrawnMap& m : drawing.Maps)
        text += "map" + triangle(m.Triangle) + " " + FormatColor(m.Color) + (m.Diffuse ? " diffuse\n" : " plain\n");
    return text;
}

}  // namespace fernweave::cli
