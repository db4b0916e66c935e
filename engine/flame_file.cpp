#include "flame_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <pugixml.hpp>
#include <optional>
#include <set>
#include <sstream>

namespace fernweave {

namespace {

constexpr int PaletteSize = 256;

// The attributes of an xform that are not variations.
const std::set<std::string, std::less<>> XformAttributes = {
    "weight", "color", "color_speed", "symmetry", "coefs", "post", "chaos", "opacity",
    "animate", "name", "var_color", "plotmode", "motion_frequency", "motion_function"};

bool Numbers(std::string_view text, std::vector<double>& values) {
    values.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::string_view(" \t\r\n,").find(text[i]) != std::string_view::npos) ++i;
        if (i == text.size()) break;
        std::size_t end = i;
        while (end < text.size() && std::string_view(" \t\r\n,").find(text[end]) == std::string_view::npos) ++end;
        std::string_view token = text.substr(i, end - i);
        if (token.size() > 1 && token.front() == '+') token.remove_prefix(1);
        double v = 0;
        const auto [p, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
        if (ec != std::errc{} || p != token.data() + token.size() || !std::isfinite(v)) return false;
        values.push_back(v);
        i = end;
    }
    return true;
}

bool Number(const pugi::xml_attribute& a, double& v) {
    std::vector<double> values;
    if (!Numbers(a.value(), values) || values.size() != 1) return false;
    v = values[0];
    return true;
}

// An affine map from six numbers in the flame order c00 c01 c10 c11 c20 c21.
Affine FromCoefs(const std::vector<double>& c) { return {c[0], c[2], c[4], c[1], c[3], c[5]}; }

std::vector<TColor> ReadPalette(const pugi::xml_node& flame) {
    std::vector<TColor> palette;
    for (const auto& color : flame.children("color")) {
        std::vector<double> rgb;
        double index = 0;
        if (!Number(color.attribute("index"), index) || !Numbers(color.attribute("rgb").value(), rgb) ||
            rgb.size() < 3 || index < 0 || index >= PaletteSize)
            continue;
        if (palette.empty()) palette.assign(PaletteSize, clBlack);
        auto channel = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
        palette[static_cast<std::size_t>(index)] = MakeColor(channel(rgb[0]), channel(rgb[1]), channel(rgb[2]));
    }
    if (!palette.empty()) return palette;
    // The packed form: six hexadecimal digits per entry.
    const pugi::xml_node packed = flame.child("palette");
    if (!packed) return palette;
    std::string digits;
    for (char c : std::string_view(packed.child_value()))
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() < 6 * PaletteSize) return palette;
    for (int i = 0; i < PaletteSize; ++i) {
        const unsigned v = static_cast<unsigned>(std::stoul(digits.substr(6 * static_cast<std::size_t>(i), 6), nullptr, 16));
        palette.push_back(MakeColor(static_cast<int>(v >> 16), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)));
    }
    return palette;
}

// The flame as affine maps, or the reason it is not one.
std::string ReadFlame(const pugi::xml_node& flame, Design& design) {
    if (flame.child("finalxform")) return "uses a final xform; Fernweave draws affine maps only";
    if (flame.child("symmetry")) return "uses symmetry; Fernweave draws its maps only";
    const auto palette = ReadPalette(flame);
    std::vector<double> weights;
    for (const auto& xform : flame.children("xform")) {
        std::vector<double> coefs;
        double weight = 1, linear = 0, color = 0;
        if (xform.attribute("weight") && !Number(xform.attribute("weight"), weight))
            return "has an xform whose weight is not a number";
        if (!Numbers(xform.attribute("coefs").value(), coefs) || coefs.size() != 6)
            return "has an xform without its six coefs";
        Affine map = FromCoefs(coefs);
        for (const auto& a : xform.attributes()) {
            const std::string_view name = a.name();
            double v = 0;
            if (name == "linear" || name == "linear3D") {
                if (!Number(a, v)) return "has an xform whose linear weight is not a number";
                linear += v;
            } else if (name == "chaos") {
                std::vector<double> chaos;
                if (!Numbers(a.value(), chaos) ||
                    std::any_of(chaos.begin(), chaos.end(), [&](double c) { return c != chaos.front(); }))
                    return "uses unequal chaos weights; Fernweave draws affine maps only";
            } else if (!XformAttributes.contains(name) && Number(a, v) && v != 0) {
                return "uses the variation '" + std::string(name) + "'; Fernweave draws affine maps only";
            }
        }
        // The linear variation scales the affine map's result; a post affine follows it.
        map = map.Then(Affine{linear, 0, 0, 0, linear, 0});
        if (xform.attribute("post")) {
            if (!Numbers(xform.attribute("post").value(), coefs) || coefs.size() != 6)
                return "has a post affine without its six numbers";
            map = map.Then(FromCoefs(coefs));
        }
        if (xform.attribute("color") && !Number(xform.attribute("color"), color))
            return "has an xform whose colour is not a number";
        // An xform of no weight is never chosen.
        if (!(weight > 0)) continue;
        DesignMap m;
        m.Map = map;
        if (!palette.empty())
            m.Color = palette[static_cast<std::size_t>(std::clamp(std::lround(color * (PaletteSize - 1)), 0L, 255L))];
        design.Maps.push_back(m);
        weights.push_back(weight);
    }
    if (design.Maps.empty()) return "has no xform with a weight";
    double sum = 0;
    for (double w : weights) sum += w;
    // The last map takes what is left, so the chances add up to 1.
    float used = 0;
    for (std::size_t k = 0; k < weights.size(); ++k) {
        design.Maps[k].Chance = k + 1 < weights.size() ? static_cast<float>(weights[k] / sum) : 1 - used;
        used = static_cast<float>(static_cast<double>(used) + design.Maps[k].Chance);
    }
    return {};
}

// Flame units onto the pixels of a canvas of the flame's size, when the camera is not turned.
std::optional<Affine> ReadCamera(const pugi::xml_node& flame) {
    std::vector<double> size, center;
    double scale = 0, zoom = 0, rotate = 0;
    if (!Numbers(flame.attribute("size").value(), size) || size.size() != 2 ||
        !Numbers(flame.attribute("center").value(), center) || center.size() != 2 ||
        !Number(flame.attribute("scale"), scale) || !(scale > 0))
        return std::nullopt;
    if (flame.attribute("zoom") && !Number(flame.attribute("zoom"), zoom)) return std::nullopt;
    if (flame.attribute("rotate") && (!Number(flame.attribute("rotate"), rotate) || rotate != 0)) return std::nullopt;
    const double s = scale * std::pow(2.0, zoom);
    return Affine{s, 0, (size[0] - 1) / 2 - center[0] * s, 0, s, (size[1] - 1) / 2 - center[1] * s};
}

std::string Num(double v) {
    char buffer[40];
    // The shortest text that reads back as the same float; never the locale's.
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v));
    return std::string(buffer, ec == std::errc{} ? end : buffer);
}

std::string Num(double v, int digits) {
    char buffer[40];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, digits);
    return std::string(buffer, ec == std::errc{} ? end : buffer);
}

}  // namespace

Affine FlameFrame(int canvasWidth, int canvasHeight) {
    // The canvas rounds a point to its nearest pixel, a flame renderer takes
    // the pixel it falls in: pixel centres sit half a pixel from the middle.
    const double unit = std::max(canvasHeight, 1) / 4.0;
    return {1 / unit, 0, -(canvasWidth - 1) / 2.0 / unit, 0, 1 / unit, -(canvasHeight - 1) / 2.0 / unit};
}

bool LooksLikeXml(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const auto first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<';
}

FlameFile ParseFlames(std::string_view text) {
    FlameFile file;
    pugi::xml_document doc;
    const auto parsed = doc.load_buffer(text.data(), text.size());
    if (!parsed) {
        file.Error = std::string("The flame file is not valid XML: ") + parsed.description() + ".";
        return file;
    }
    std::vector<pugi::xml_node> flames;
    for (const auto& node : doc.children("flame")) flames.push_back(node);
    for (const auto& outer : doc.children())
        for (const auto& node : outer.children("flame")) flames.push_back(node);
    if (flames.empty()) {
        file.Error = "The file holds no flame.";
        return file;
    }
    int number = 0;
    for (const auto& node : flames) {
        FlameEntry entry;
        ++number;
        entry.Name = node.attribute("name").value();
        if (entry.Name.empty()) entry.Name = "flame " + std::to_string(number);
        for ([[maybe_unused]] const auto& x : node.children("xform")) ++entry.XformCount;
        entry.Affine.Name = entry.Name;
        entry.Affine.YUp = false;
        entry.Camera = ReadCamera(node);
        const std::string why = ReadFlame(node, entry.Affine);
        if (!why.empty()) {
            entry.Refusal = entry.Name + " " + why;
            entry.Affine.Maps.clear();
        }
        file.Flames.push_back(std::move(entry));
    }
    return file;
}

std::string FormatFlame(const TIfsObject& object, std::string_view name, int canvasWidth, int canvasHeight,
                        TColor background) {
    const int n = std::clamp(object.MapCount, 0, MaxMaps);
    pugi::xml_document doc;
    pugi::xml_node flame = doc.append_child("flames").append_child("flame");
    auto set = [](pugi::xml_node node, const char* attribute, const std::string& value) {
        node.append_attribute(attribute) = value.c_str();
    };
    auto channel = [](int v) { return Num(v / 255.0, 6); };
    set(flame, "name", std::string(name));
    set(flame, "version", "Fernweave " FERNWEAVE_VERSION);
    set(flame, "size", std::to_string(canvasWidth) + " " + std::to_string(canvasHeight));
    const Affine toFlame = FlameFrame(canvasWidth, canvasHeight);
    set(flame, "center", "0 0");
    set(flame, "scale", Num(1 / toFlame.a, 10));
    set(flame, "rotate", "0");
    set(flame, "background",
        channel(RedOf(background)) + " " + channel(GreenOf(background)) + " " + channel(BlueOf(background)));
    set(flame, "brightness", "4");
    set(flame, "gamma", "4");
    set(flame, "vibrancy", "1");
    set(flame, "quality", "50");
    set(flame, "filter", "0.2");
    set(flame, "estimator_radius", "0");
    set(flame, "palette_mode", "step");
    for (int k = 1; k <= n; ++k) {
        const TIfsMap& m = object.Maps[k];
        pugi::xml_node xform = flame.append_child("xform");
        set(xform, "weight", Num(m.Probability));
        // The centre of the map's run of palette entries.
        const int first = (k - 1) * PaletteSize / n, end = k * PaletteSize / n;
        set(xform, "color", Num((first + end - 1) / 2.0 / (PaletteSize - 1), 9));
        set(xform, "color_speed", "1");
        set(xform, "linear", "1");
        const Affine f = MapInFrame(m, toFlame);
        set(xform, "coefs", Num(f.a, 9) + " " + Num(f.d, 9) + " " + Num(f.b, 9) + " " + Num(f.e, 9) + " " +
                                Num(f.c, 9) + " " + Num(f.f, 9));
    }
    // Map k owns the run of entries its xform's colour points into.
    std::vector<TColor> palette(PaletteSize, clBlack);
    for (int k = 1; k <= n; ++k)
        for (int i = (k - 1) * PaletteSize / n; i < k * PaletteSize / n; ++i) palette[static_cast<std::size_t>(i)] = object.Maps[k].Color;
    for (int i = 0; i < PaletteSize && n > 0; ++i) {
        const TColor c = palette[static_cast<std::size_t>(i)];
        pugi::xml_node color = flame.append_child("color");
        set(color, "index", std::to_string(i));
        set(color, "rgb", std::to_string(RedOf(c)) + " " + std::to_string(GreenOf(c)) + " " + std::to_string(BlueOf(c)));
    }
    std::ostringstream out;
    out.imbue(std::locale::classic());
    doc.save(out, "  ", pugi::format_default | pugi::format_no_declaration);
    return out.str();
}

}  // namespace fernweave
